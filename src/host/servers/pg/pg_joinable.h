// Transactions that a write may join: a PostgreSQL audit store's transaction, open on the same
// server and database as the data a control edits, lets the data server's UPDATE run inside it
// and commit it, so that the change and its operator events become durable in one commit (or
// neither does). Internal to host/servers/pg.
#pragma once

#include "host/servers/pg/pg_connection.h"

namespace tabulo::host::pg {

struct JoinableTransaction {
  Endpoint endpoint;  // the server, database and login the transaction runs as
  PGconn* conn = nullptr;
  enum State { kOpen, kCommittedByWrite, kEndedByWrite } state = kOpen;
};

// Offers `transaction` (open, on its connection) to writes until it is withdrawn.
void OfferTransaction(JoinableTransaction* transaction);
void WithdrawTransaction(JoinableTransaction* transaction);

// The open transaction offered for the same host, port, database and login (user and
// password) as `endpoint`; null when none.
JoinableTransaction* JoinableFor(const Endpoint& endpoint);

}  // namespace tabulo::host::pg
