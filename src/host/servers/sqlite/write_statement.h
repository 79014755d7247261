// The write path of the embedded data server: one statement without result columns, run on a
// read-write connection. Internal to host/servers/sqlite.
//
// UPDATE and DELETE identify one row by the values it held when it was read (the control has
// no key to rely on), so they must change exactly one row: they run in a transaction (BEGIN
// IMMEDIATE) that is committed only when SQLite reports one changed row, and rolled back with
// kErrRowNotIdentified otherwise (0 rows: changed or deleted meanwhile; more: duplicate rows).
// INSERT and REPLACE run in a transaction without that rule; any other command (CREATE, DROP,
// VACUUM, ...) runs on its own, as some of them cannot run inside a transaction.
//
// Every failure leaves the database as it was: a transaction that was begun is rolled back
// before the error is raised.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "host/servers/sqlite/connection.h"

namespace tabulo::host::sqlite {

// Read-write connections kept open between statements, one per database file. A connection
// opened for each statement would open the file's write-ahead log anew and sync its folder at
// the first commit: a second sync for every edit. A file replaced meanwhile (another inode)
// gets a new connection. An idle connection holds no lock.
class WriteConnections {
 public:
  // The connection for `path`, opened when there is none. Raises what OpenDb raises.
  sqlite3* For(const std::filesystem::path& path, std::chrono::milliseconds busy_timeout);
  // Closes the connection of `path` (after an error that may have left it unusable).
  void Drop(const std::filesystem::path& path);

 private:
  struct Entry {
    dev_t dev = 0;
    ino_t ino = 0;
    Db db;
  };
  std::map<std::string, Entry> open_;
};

// Runs `sql`, one statement (a trailing ";" or comment is allowed). Raises ComError:
//   kErrRowNotIdentified  an UPDATE or DELETE that would change 0 or several rows
//   kErrSourceUnusable    the database is read-only (the file or its folder marked so, or SQLite
//                         opened it read-only), or cannot be opened
//   kErrSourceLocked      locked by another writer beyond `busy_timeout`, or its readers hold
//                         off the commit
//   kErrDiskFull, kErrSourceDamaged  as ThrowSqliteError (connection.h)
//   kErrInvalidStatement  a statement SQLite rejects (its own message), more than one statement
void RunWriteStatement(const std::filesystem::path& path, std::string_view sql,
                       std::chrono::milliseconds busy_timeout,
                       WriteConnections* connections = nullptr);

}  // namespace tabulo::host::sqlite
