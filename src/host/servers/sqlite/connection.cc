// SQLite connection helpers and error mapping.
#include "host/servers/sqlite/connection.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "host/data_server.h"

namespace tabulo::host::sqlite {

using platform::ComError;

namespace {

namespace fs = std::filesystem;

// Not writable for this process, or without any write bit (which a privileged user would
// ignore, but which marks the file or folder read-only for everyone).
bool OnlyReadable(const fs::path& path) {
  std::error_code ec;
  const fs::perms perms = fs::status(path, ec).permissions();
  if (ec) return false;
  constexpr fs::perms kWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return ::access(path.c_str(), W_OK) != 0 || (perms & kWrite) == fs::perms::none;
}

// The header's file format versions are 2 in WAL mode.
bool WalHeader(const fs::path& path) {
  char header[20] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

// A URI for `path`: its characters that a URI treats specially are escaped.
std::string FileUri(const fs::path& path) {
  std::string uri = "file:";
  for (unsigned char c : fs::absolute(path).string()) {
    if (c == '?' || c == '#' || c == '%' || c < 0x21) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri;
}

// Opens `name` (a path, or a URI with SQLITE_OPEN_URI) of the database `path`. Each connection
// is used by one thread at a time (its record set's, or its data server's), so none takes
// SQLite's per-connection mutex, which would otherwise be locked around every call.
Db Open(const std::string& name, const fs::path& path, int flags,
        std::chrono::milliseconds busy_timeout) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) {
    switch (rc & 0xff) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
      case SQLITE_NOTADB:
      case SQLITE_CORRUPT:
      case SQLITE_FULL:
      case SQLITE_IOERR:
        ThrowSqliteError(raw, rc, path);
    }
    std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw ComError(kErrSourceUnusable, "Cannot open the database " + path.string() + ": " + message,
                   kErrorSource);
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, static_cast<int>(busy_timeout.count()));
  return db;
}

bool WriteHitLimit(sqlite3* db) {
  if (!db) return false;
  const int os_error = sqlite3_system_errno(db);
  if (os_error == EFBIG || os_error == ENOSPC) return true;
  rlimit limit{};
  return sqlite3_extended_errcode(db) == SQLITE_IOERR_WRITE &&
         getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}

}  // namespace

Db OpenDb(const fs::path& path, int flags, std::chrono::milliseconds busy_timeout) {
  return Open(path.string(), path, flags, busy_timeout);
}

bool ReadsImmutable(const fs::path& path) {
  std::error_code ec;
  const bool companions =
      fs::exists(path.string() + "-wal", ec) || fs::exists(path.string() + "-shm", ec);
  return !companions && WalHeader(path) &&
         (OnlyReadable(path) || OnlyReadable(fs::absolute(path).parent_path()));
}

Db OpenForReading(const fs::path& path, std::chrono::milliseconds busy_timeout, bool* immutable) {
  const bool fixed = ReadsImmutable(path);
  if (immutable) *immutable = fixed;
  if (!fixed) {
    // A writer killed mid-transaction leaves a hot journal that only a connection able to
    // write may roll back: a read-only one fails on it until some writer comes. A first read
    // on a writable connection rolls it back (a journal a live writer holds is left alone).
    std::error_code ec;
    if (fs::exists(path.string() + "-journal", ec)) {
      sqlite3* raw = nullptr;
      if (sqlite3_open_v2(path.string().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) ==
          SQLITE_OK) {
        sqlite3_busy_timeout(raw, static_cast<int>(busy_timeout.count()));
        sqlite3_exec(raw, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr);
      }
      sqlite3_close_v2(raw);
    }
    return OpenDb(path, SQLITE_OPEN_READONLY, busy_timeout);
  }
  return Open(FileUri(path) + "?immutable=1", path, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
              busy_timeout);
}

void ThrowSqliteError(sqlite3* db, int rc, const std::filesystem::path& path) {
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw ComError(
          kErrSourceLocked,
          "The database " + path.string() + " is locked by another connection: " + message,
          kErrorSource);
    case SQLITE_NOTADB:
      throw ComError(kErrSourceDamaged, "The file " + path.string() + " is not a database",
                     kErrorSource);
    case SQLITE_CORRUPT:
      throw ComError(kErrSourceDamaged, "The database " + path.string() + " is damaged: " + message,
                     kErrorSource);
    case SQLITE_FULL:
      throw ComError(kErrDiskFull, "The disk holding " + path.string() + " is full: " + message,
                     kErrorSource);
    case SQLITE_IOERR:
      // A file at the process's size limit (EFBIG, SIGXFSZ ignored) is full as much as a full
      // disk (ENOSPC); SQLite keeps the system's error number unreliably, so a failed write
      // while a size limit is in force counts as one too.
      if (WriteHitLimit(db))
        throw ComError(
            kErrDiskFull,
            "The disk holding " + path.string() +
                " is full, or the file reached the size limit of the process: " + message,
            kErrorSource);
      throw ComError(kErrDiskFault, "The disk failed while using " + path.string() + ": " + message,
                     kErrorSource);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_NOMEM:
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
