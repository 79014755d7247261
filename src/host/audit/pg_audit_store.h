// The audit trail in a PostgreSQL table: the SQLite store's columns, chain and pairing
// (audit_log.h) on a configured connection. Created when missing: the table (id bigint, the
// other columns text), its head table "<table>_chain_head" (one row, the id, hash and seal of
// the last record), its marker view "<table>_chain_marker" (chained_from, keyed_from) and the
// triggers operator_events_no_update / operator_events_no_delete that
// refuse changes. A transaction appends under the head row locked FOR UPDATE, so that writers
// in any number of processes chain one after the other; the lock is held until the commit.
//
// While a transaction is open it is offered to writes (pg_joinable.h): an UPDATE the data
// server runs on the same server and database, as the same login, runs inside it and commits
// it, so that the change and its records are durable in one commit; the transaction's own
// Commit then has nothing left to do. Internal to host/servers/pg.
#pragma once

#include <string>

#include "host/audit/audit_log.h"
#include "host/audit/audit_store.h"
#include "host/servers/pg/pg_joinable.h"

namespace tabulo::host::pg {

class PgAuditTransaction {
 public:
  // Connects to the store of `options.pg`, creates the tables when missing and begins. Raises
  // kErrAuditWrite naming the store and the cause.
  // `key`: the audit key read from `options.key_file` ("": a plain chain; refused by a keyed
  // store).
  explicit PgAuditTransaction(const AuditLogOptions& options, const std::string& key = "");
  ~PgAuditTransaction();
  PgAuditTransaction(const PgAuditTransaction&) = delete;
  PgAuditTransaction& operator=(const PgAuditTransaction&) = delete;

  int64_t Append(const AuditRecord& record);
  void Commit();

 private:
  [[noreturn]] void Fail(const std::string& why);
  void CreateTables();

  std::string label_;                            // "the audit store <name>"
  std::string events_, head_, refuse_, marker_;  // quoted names
  std::string key_;
  Conn conn_;
  JoinableTransaction joinable_;
  bool open_ = false;
};

// Every record of the store of `options.pg`, the head and the triggers, read under one
// snapshot. Raises kErrAuditRead.
AuditTrail ReadPgAuditTrail(const AuditLogOptions& options);

}  // namespace tabulo::host::pg
