// Where the audit trail is kept, in one description for both of its stores: an SQLite file
// (audit_log.h) or a PostgreSQL table (pg_audit_store.h), and the key that seals the chain
// (audit_chain.h). The host configuration resolves to it (AuditStoreOf); the security manager,
// the audit transaction and the readers of the trail take it as it is.
#pragma once

#include <optional>
#include <string>

#include "host/cluster/host_config.h"

namespace tabulo::host {

// A PostgreSQL audit store: the table `table` (in `schema`, "" = the search path's) of the
// configured connection `name`, in `connection.database`.
struct AuditPgStore {
  std::string name;
  PgConnectionConfig connection;
  std::string schema, table;
};

struct AuditLogOptions {
  std::string path;            // empty: there is no audit database (error at write time)
  bool create_folder = false;  // only for the default location; a configured folder must exist
  int busy_timeout_ms = 5000;  // how long a write waits for another program's lock
  std::optional<AuditPgStore> pg = {};  // set: the records go there, `path` is not used
  std::string key_file = {};            // the audit key's file (audit_chain.h); "": a plain chain
};

}  // namespace tabulo::host
