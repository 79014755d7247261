// The embedded data server: DataServer over SQLite database files.
//
// Source (ServerType 0): a data source name the resolver knows, else the path of an SQLite
// file. The file must exist; it is opened read-only for queries (never created, never
// written) and read-write, without create, for other statements (write_statement.h: one
// statement per call, one row per UPDATE or DELETE). ODBC date and time escapes are translated
// first (odbc_escapes.h). ServerType 1 (server databases) is the PostgreSQL server's
// (server_type_router.h sends it there); this server refuses it with 0x80004005.
//
// Credentials: SQLite has no users. Without configured credentials any user name and
// password are accepted and ignored; with them, a different pair is refused (0x80040E4D).
//
// Queries yield snapshot record sets (sqlite_row_source.h); their store files live in
// temp_folder and are removed when the record set closes, or at the next start of any data
// server on the same folder after a crash.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/data_server.h"

namespace tabulo::host::sqlite {

struct SqliteServerOptions {
  // What MachineName reports.
  std::string machine_name = "localhost";
  // A data source name of the host configuration -> database file path.
  std::function<std::optional<std::string>(std::string_view dsn)> resolve_dsn;
  // The data source names ListCatalogs reports (ServerType 0).
  std::function<std::vector<std::string>()> list_dsns;
  // Where snapshot stores are kept; empty: this user's private default (temp_store.h).
  std::filesystem::path temp_folder;
  // How long a statement waits for another connection's lock before failing.
  std::chrono::milliseconds busy_timeout{5000};
  // Bytes of a copied result kept in memory before it moves to a store file.
  size_t memory_bound = 4 << 20;
  // Hears the rows collected so far while a query's pass lasts longer than about half a
  // second (and then about every half second), on the calling thread. May be empty.
  std::function<void(int64_t rows)> progress;
  // Optional credentials; when set, Query and the listings require exactly these.
  std::optional<std::string> user;
  std::optional<std::string> password;
};

// Raises 0x80004005 when the temp folder cannot be used.
std::shared_ptr<DataServer> NewSqliteDataServer(SqliteServerOptions options);

}  // namespace tabulo::host::sqlite
