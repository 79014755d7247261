// Thin RAII owners of SQLite connections and statements, and the mapping of SQLite failures
// to the data server's error numbers. Internal to host/servers/sqlite.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/values/com_error.h"

namespace tabulo::host::sqlite {

inline constexpr const char* kErrorSource = "DataServer";

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Opens `path` with `flags` (SQLITE_OPEN_READONLY or READWRITE, never CREATE unless asked)
// and sets the busy timeout. The connection has no mutex of its own: one thread at a time
// may use it. Raises 0x80004005 naming the path when it cannot be opened.
Db OpenDb(const std::filesystem::path& path, int flags, std::chrono::milliseconds busy_timeout);

// Opens `path` for reading. A database in WAL mode that this user may only read (the file or
// its folder not writable, or without write bits) and that no writer has open (no -wal or
// -shm beside it) is opened immutable: SQLite would otherwise create -wal and -shm files
// beside it, or fail where it cannot. `*immutable` tells which. Raises as OpenDb.
Db OpenForReading(const std::filesystem::path& path, std::chrono::milliseconds busy_timeout,
                  bool* immutable = nullptr);

// Whether OpenForReading opens `path` immutable.
bool ReadsImmutable(const std::filesystem::path& path);

// Raises the error for SQLite result `rc` on `db`: statement errors (SQLITE_ERROR, RANGE,
// MISMATCH, CONSTRAINT ...) as 0x80040E14 with SQLite's message; a lock held beyond the wait
// (BUSY, LOCKED) as 0x80030021, a full disk (FULL) as 0x80030070, a damaged file (CORRUPT,
// NOTADB) as 0x80030109, a failing disk (IOERR) as 0x8003001D; other unusable sources
// (CANTOPEN, PERM, READONLY ...) as 0x80004005. Each names `path`.
[[noreturn]] void ThrowSqliteError(sqlite3* db, int rc, const std::filesystem::path& path);

// Prepares one statement; raises as ThrowSqliteError. `tail` receives the unparsed rest.
Stmt Prepare(sqlite3* db, std::string_view sql, const std::filesystem::path& path,
             std::string_view* tail = nullptr);

// Runs SQL without results; raises as ThrowSqliteError.
void Exec(sqlite3* db, const std::string& sql, const std::filesystem::path& path);

// Steps a statement: true for a row, false when done; raises on failure.
bool Step(sqlite3* db, sqlite3_stmt* stmt, const std::filesystem::path& path);

}  // namespace tabulo::host::sqlite
