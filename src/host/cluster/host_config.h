// The host configuration: which clusters, servers and data sources the host runtime has.
// The cluster manager serves it; the container reads it from a JSON file (--host CONFIG)
// or uses the embedded default, so that a newcomer needs no file.
//
// File format (JSON, UTF-8; every key optional unless marked; unknown keys are errors):
//   {
//     "format": 1,                                  // required; the only version so far
//     "data_sources": { "Plant": "plant.db" },      // data source name -> SQLite file
//     "resources": "texts.txt",                     // the resource store's texts
//                                                   // (resource_store.h); none: no store
//     "postgresql": {                               // PostgreSQL connections (ServerType 1)
//       "plant-db": { "host": "db1.example",        // required: name, address or socket folder
//                     "port": 5432,                 // default 5432
//                     "database": "plant",          // used when the control names none
//                     "user": "viewer", "password": "..." } },  // used when it gives no login
//     "clusters": [
//       { "name": "Local",                          // required, unique
//         "type": "DizuvAdar",                      // "DizuvAdar" (data) or "Logging"
//         "coordinator": "Local",
//         "active_server": "alpha",                 // default: the first server
//         "servers": [
//           { "name": "alpha",                      // required, unique in the cluster
//             "reachable": true,                    // false: its data server cannot be had
//             "data_sources": { "Plant": "a.db" },  // overrides the global names
//             "postgresql": { ... } }               // overrides the global connections
//         ] },
//       { "name": "Local Logging", "type": "Logging", "coordinator": "Local" }
//     ],
//     "security": {                                 // the security manager
//       "users": [
//         { "name": "alice",                        // required, unique (case matters)
//           "level": 50,                            // required: command level, 0 or more
//           "password_hash": "pbkdf2-sha256$600000$...$..." } ],  // `tabulo hash-password`
//       "reason_categories": [ "Correction", "Maintenance" ],
//       "audit_database": "audit.db",             // SQLite file of the operator events
//       "audit": {                                  // or: a PostgreSQL audit store instead
//         "postgresql": "plant-db",                 // required: a "postgresql" connection above
//         "database": "plant",                      // default: the connection's
//         "table": "audit.operator_events" },       // [schema.]table, default operator_events
//       "audit_key_file": "audit.key" }             // the audit chain's key (mode 0600, 32+
//                                                   // bytes); none: a plain chain
//   }
// A control with ServerType 1 names a PostgreSQL connection of the server (or the
// configuration) in DSNname, else a server as "host[:port]". Relative paths are taken from the
// configuration file's folder. A data source name that no map knows is used as a path to an SQLite
// file. A file replaces the embedded default's security settings: without a "security" object it
// has no users (every signature fails) and no reason categories.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tabulo::host {

// Cluster types as the cluster manager numbers them.
inline constexpr int kClusterTypeLogging = 1;
inline constexpr int kClusterTypeDizuvAdar = 4;

struct PgConnectionConfig {
  std::string host;
  int port = 5432;
  std::string database;
  std::string user;
  std::string password;
};
using PgConnectionMap = std::map<std::string, PgConnectionConfig>;

struct ServerConfig {
  std::string name;
  bool reachable = true;
  std::map<std::string, std::string> data_sources;  // name -> absolute or relative path
  PgConnectionMap postgresql = {};                  // name -> PostgreSQL connection
};

struct ClusterConfig {
  std::string name;
  int type = kClusterTypeDizuvAdar;
  std::string coordinator;
  std::string active_server;  // empty: the first server
  std::vector<ServerConfig> servers;
};

struct SecurityUser {
  std::string name;
  int32_t level = 0;          // command level
  std::string password_hash;  // see password_hash.h
};

// Operator events in a PostgreSQL table rather than the SQLite audit database.
struct PgAuditConfig {
  std::string connection;  // a connection of HostConfig::postgresql; "" = none (SQLite store)
  std::string database;    // "" = the connection's
  std::string schema;      // "" = the login's search path
  std::string table = "operator_events";
};

struct SecurityConfig {
  std::vector<SecurityUser> users;
  std::vector<std::string> reason_categories;
  std::string audit_database;  // empty: DefaultAuditDatabasePath()
  PgAuditConfig audit_pg;
  std::string audit_key_file;  // empty: the audit chain is not keyed
};

struct HostConfig {
  std::string base_dir;  // folder that relative paths start from ("" = current folder)
  std::map<std::string, std::string> data_sources;
  PgConnectionMap postgresql;
  std::vector<ClusterConfig> clusters;
  SecurityConfig security;
  std::string resources;  // the resource store's file; "" = no store
};

// The embedded default: the DizuvAdar cluster "Local" (coordinator "Local") with one server
// named after the machine, serving local SQLite files, and the logging cluster
// "Local Logging" of the same coordinator. Its security manager knows one demo user, "demo"
// with the password "demo" and command level 10, and the reason categories "Correction" and
// "Maintenance"; operator events go to the default audit database.
HostConfig DefaultHostConfig(const std::string& machine_name);

// Parses a configuration text. Errors raise platform::ComError whose description names the
// file, the line and the key: `host.json, line 7, key "reachable": expected true or false`.
HostConfig ParseHostConfig(const std::string& text, const std::string& file_name);

// Reads and parses a configuration file; an unreadable file is an error naming it.
HostConfig LoadHostConfig(const std::string& path);

// Where the operator events go: the configured "audit_database" (relative to base_dir), or
// the default. `is_default` tells the audit log that it may create the folder.
struct AuditDatabaseLocation {
  std::string path;  // empty: no default could be found (no HOME)
  bool is_default = false;
};
AuditDatabaseLocation ResolveAuditDatabase(const HostConfig& config);

// The configured "resources" file (relative to base_dir); "" when none is configured.
std::string ResolveResourceFile(const HostConfig& config);

// The configured "audit_key_file" (relative to base_dir); "" when none is configured.
std::string ResolveAuditKeyFile(const HostConfig& config);

// The default audit database: $XDG_STATE_HOME/tabulo/audit.db when that variable is set and
// absolute, else $HOME/.local/state/tabulo/audit.db; "" when neither is usable. The
// arguments are the variables' values (null when unset).
std::string DefaultAuditDatabasePath(const char* xdg_state_home, const char* home);

// The machine's host name ("localhost" when it cannot be read).
std::string LocalMachineName();

// Resolves a data source name for a server: the server's own map, then the configuration's,
// else the name itself as a path; relative paths are joined to base_dir.
std::string ResolveDataSource(const HostConfig& config, const ServerConfig& server,
                              const std::string& dsn);

// The PostgreSQL connections a server knows: its own, then the configuration's.
PgConnectionMap PgConnectionsOf(const HostConfig& config, const ServerConfig& server);

}  // namespace tabulo::host
