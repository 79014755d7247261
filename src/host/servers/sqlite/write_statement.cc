// Writes: one statement, a transaction around data changes, the one-row rule for UPDATE and
// DELETE, and the errors an operator can act on.
#include "host/servers/sqlite/write_statement.h"

#include <sys/stat.h>

#include <string>
#include <system_error>

#include "host/data_server.h"
#include "host/servers/sqlite/connection.h"
#include "host/sql_tokens.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;

enum class WriteKind { RowChange, Insert, Other };

// UPDATE and DELETE change rows they find by value; INSERT and REPLACE add rows. A leading
// WITH clause is skipped: the statement's verb is its first top-level keyword of these.
WriteKind KindOf(const std::vector<SqlToken>& tokens) {
  const bool with = !tokens.empty() && tokens.front().Is("WITH");
  for (const SqlToken& t : tokens) {
    if (t.depth != 0 || t.kind != SqlToken::Word) continue;
    if (t.Is("UPDATE") || t.Is("DELETE")) return WriteKind::RowChange;
    if (t.Is("INSERT") || t.Is("REPLACE")) return WriteKind::Insert;
    if (!with) break;  // without WITH the first word is the verb
  }
  return WriteKind::Other;
}

bool NoWriteBits(const fs::path& p) {
  std::error_code ec;
  const fs::file_status status = fs::status(p, ec);
  if (ec || !fs::exists(status)) return false;
  constexpr fs::perms kWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return (status.permissions() & kWrite) == fs::perms::none;
}

ComError ReadOnly(const fs::path& path, const std::string& why) {
  return ComError(
      kErrSourceUnusable,
      "The database " + path.string() + " is read-only" + why + "; nothing was written.",
      kErrorSource);
}

// Whatever busy_timeout allows has been waited already when SQLite reports BUSY.
ComError LockedByWriter(const fs::path& path, std::chrono::milliseconds waited) {
  return ComError(kErrSourceLocked,
                  "The database " + path.string() + " is locked by another writer (waited " +
                      std::to_string(waited.count()) + " ms); nothing was written.",
                  kErrorSource);
}

class Writer {
 public:
  Writer(const fs::path& path, std::chrono::milliseconds busy_timeout,
         WriteConnections* connections)
      : path_(path), busy_timeout_(busy_timeout) {
    // A file or folder without write permission is read-only for everyone, a privileged user
    // included: SQLite would write it as root, and would fail without a journal otherwise.
    if (NoWriteBits(path)) throw ReadOnly(path, " (the file is marked read-only)");
    if (NoWriteBits(fs::absolute(path).parent_path())) {
      throw ReadOnly(path, " (its folder is marked read-only)");
    }
    if (connections) {
      db_ = connections->For(path, busy_timeout);
    } else {
      owned_ = OpenDb(path, SQLITE_OPEN_READWRITE, busy_timeout);
      db_ = owned_.get();
    }
    // SQLite falls back to reading when the operating system refuses to open for writing.
    if (sqlite3_db_readonly(db_, "main") == 1) throw ReadOnly(path, "");
  }

  ~Writer() {
    if (db_ && !sqlite3_get_autocommit(db_)) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }

  sqlite3* db() const { return db_; }

  void Run(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
  }

  void Commit() {
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    if ((rc & 0xff) == SQLITE_BUSY) {
      // In rollback-journal mode a commit waits for the readers of the file to finish.
      throw ComError(kErrSourceLocked,
                     "The database " + path_.string() +
                         " is busy with other readers; the change could not be committed and "
                         "nothing was written.",
                     kErrorSource);
    }
    Fail(rc);
  }

  [[noreturn]] void Fail(int rc) const {
    switch (rc & 0xff) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        throw LockedByWriter(path_, busy_timeout_);
      case SQLITE_READONLY:
        throw ReadOnly(path_, std::string(" (") + sqlite3_errmsg(db_) + ")");
      case SQLITE_CANTOPEN:
        // While writing, this is the journal that cannot be created beside the file.
        throw ComError(kErrSourceUnusable,
                       "The database " + path_.string() +
                           " cannot be written: its journal cannot be created in its folder (" +
                           sqlite3_errmsg(db_) + "); nothing was written.",
                       kErrorSource);
      default:
        ThrowSqliteError(db_, rc, path_);
    }
  }

 private:
  fs::path path_;
  std::chrono::milliseconds busy_timeout_;
  Db owned_;
  sqlite3* db_ = nullptr;
};

}  // namespace

sqlite3* WriteConnections::For(const fs::path& path, std::chrono::milliseconds busy_timeout) {
  struct stat st {};
  const bool known = ::stat(path.c_str(), &st) == 0;
  auto it = open_.find(path.string());
  if (it != open_.end() && known && it->second.dev == st.st_dev && it->second.ino == st.st_ino) {
    sqlite3_busy_timeout(it->second.db.get(), static_cast<int>(busy_timeout.count()));
    return it->second.db.get();
  }
  if (it != open_.end()) open_.erase(it);
  Entry entry;
  entry.db = OpenDb(path, SQLITE_OPEN_READWRITE, busy_timeout);
  entry.dev = known ? st.st_dev : 0;
  entry.ino = known ? st.st_ino : 0;
  sqlite3* db = entry.db.get();
  open_[path.string()] = std::move(entry);
  return db;
}

void WriteConnections::Drop(const fs::path& path) {
  open_.erase(path.string());
}

void RunWriteStatement(const fs::path& path, std::string_view sql,
                       std::chrono::milliseconds busy_timeout, WriteConnections* connections) {
  Writer writer(path, busy_timeout, connections);

  sqlite3_stmt* raw = nullptr;
  const char* rest = nullptr;
  int rc = sqlite3_prepare_v2(writer.db(), sql.data(), static_cast<int>(sql.size()), &raw, &rest);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) writer.Fail(rc);
  if (!stmt) throw ComError(kErrInvalidStatement, "The statement is empty", kErrorSource);
  const std::string_view tail = sql.substr(static_cast<size_t>(rest - sql.data()));
  for (const SqlToken& t : TokenizeSql(tail)) {
    if (t.text != ";") {
      throw ComError(
          kErrInvalidStatement,
          "Only one statement can be run at a time; found more after it: " + std::string(tail),
          kErrorSource);
    }
  }

  const WriteKind kind = KindOf(TokenizeSql(sql.substr(0, sql.size() - tail.size())));
  if (kind != WriteKind::Other) writer.Run("BEGIN IMMEDIATE");
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) writer.Fail(rc);
  stmt.reset();
  if (kind == WriteKind::Other) return;

  if (kind == WriteKind::RowChange) {
    const int64_t changed = sqlite3_changes64(writer.db());
    if (changed == 0) {
      throw ComError(kErrRowNotIdentified,
                     "The row was changed or deleted by someone else since it was read; nothing "
                     "was written.",
                     kErrorSource);
    }
    if (changed > 1) {
      throw ComError(kErrRowNotIdentified,
                     "The row cannot be identified uniquely: the statement would change " +
                         std::to_string(changed) + " rows; nothing was written.",
                     kErrorSource);
    }
  }
  writer.Commit();
}

}  // namespace tabulo::host::sqlite
