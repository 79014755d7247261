// SQLite connection helpers and error mapping.
#include "host/sqlite/connection.h"

#include "host/data_server.h"

namespace tabulo::host::sqlite {

using platform::ComError;

Db OpenDb(const std::filesystem::path& path, int flags, std::chrono::milliseconds busy_timeout) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) {
    std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw ComError(kErrSourceUnusable, "Cannot open the database " + path.string() + ": " + message,
                   kErrorSource);
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, static_cast<int>(busy_timeout.count()));
  return db;
}

void ThrowSqliteError(sqlite3* db, int rc, const std::filesystem::path& path) {
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw ComError(
          kErrSourceUnusable,
          "The database " + path.string() + " is locked by another connection: " + message,
          kErrorSource);
    case SQLITE_NOTADB:
      throw ComError(kErrSourceUnusable, "The file " + path.string() + " is not a database",
                     kErrorSource);
    case SQLITE_CORRUPT:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_NOMEM:
    case SQLITE_FULL:
    case SQLITE_PROTOCOL:
    case SQLITE_AUTH:
      throw ComError(kErrSourceUnusable,
                     "The database " + path.string() + " cannot be used: " + message, kErrorSource);
    default:
      throw ComError(kErrInvalidStatement, message, kErrorSource);
  }
}

Stmt Prepare(sqlite3* db, std::string_view sql, const std::filesystem::path& path,
             std::string_view* tail) {
  sqlite3_stmt* raw = nullptr;
  const char* rest = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &rest);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) ThrowSqliteError(db, rc, path);
  if (tail) *tail = sql.substr(static_cast<size_t>(rest - sql.data()));
  return stmt;
}

void Exec(sqlite3* db, const std::string& sql, const std::filesystem::path& path) {
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowSqliteError(db, rc, path);
}

bool Step(sqlite3* db, sqlite3_stmt* stmt, const std::filesystem::path& path) {
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  ThrowSqliteError(db, rc, path);
}

}  // namespace tabulo::host::sqlite
