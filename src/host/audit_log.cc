#include "host/audit_log.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

constexpr const char* kSource = "SecurityManager";
constexpr const char* kNotSigned = "<Default>";

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS operator_events (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  recorded_at TEXT NOT NULL,
  cluster TEXT NOT NULL,
  event_type TEXT NOT NULL,
  column_name TEXT NOT NULL,
  source TEXT NOT NULL,
  signature1 TEXT NOT NULL,
  signature2 TEXT NOT NULL,
  old_value TEXT NOT NULL,
  new_value TEXT NOT NULL,
  signature3 TEXT NOT NULL,
  signed_by1 TEXT NOT NULL,
  signed_by2 TEXT NOT NULL,
  signed_reason TEXT NOT NULL,
  signed_at TEXT NOT NULL,
  operator TEXT NOT NULL,
  row_key TEXT NOT NULL DEFAULT '');
CREATE TRIGGER IF NOT EXISTS operator_events_no_update BEFORE UPDATE ON operator_events
  BEGIN SELECT RAISE(ABORT, 'audit records cannot be changed'); END;
CREATE TRIGGER IF NOT EXISTS operator_events_no_delete BEFORE DELETE ON operator_events
  BEGIN SELECT RAISE(ABORT, 'audit records cannot be deleted'); END;
)sql";

constexpr const char* kInsert =
    "INSERT INTO operator_events (recorded_at, cluster, event_type, column_name, source, "
    "signature1, signature2, old_value, new_value, signature3, signed_by1, signed_by2, "
    "signed_reason, signed_at, operator, row_key) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// %s: row_key, or '' in a database written before the column existed.
constexpr const char* kSelect =
    "SELECT id, recorded_at, cluster, event_type, column_name, source, signature1, signature2, "
    "old_value, new_value, signature3, signed_by1, signed_by2, signed_reason, signed_at, "
    "operator, %s FROM operator_events ORDER BY id";

bool HasRowKey(sqlite3* db) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT 1 FROM pragma_table_info('operator_events') WHERE name = "
                         "'row_key'",
                         -1, &raw, nullptr) != SQLITE_OK)
    return false;
  const bool found = sqlite3_step(raw) == SQLITE_ROW;
  sqlite3_finalize(raw);
  return found;
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

[[noreturn]] void WriteFailed(const std::string& why) {
  throw platform::ComError(kErrAuditWrite, "Cannot write the operator event: " + why, kSource);
}

// Says why SQLite refused, in the operator's terms.
[[noreturn]] void WriteFailed(sqlite3* db, int rc, const std::string& path) {
  switch (rc & 0xFF) {
    case SQLITE_READONLY:
      WriteFailed("the audit database " + path + " is read-only");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      WriteFailed("the audit database " + path + " is locked by another program");
    case SQLITE_NOTADB:
      WriteFailed(path + " is not an audit database");
    case SQLITE_CANTOPEN:
      WriteFailed("the audit database " + path + " cannot be opened");
    default:
      WriteFailed("the audit database " + path + " could not be written (" +
                  (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ")");
  }
}

[[noreturn]] void ReadFailed(const std::string& why) {
  throw platform::ComError(kErrAuditRead, why, kSource);
}

void PrepareFolder(const AuditLogOptions& options) {
  namespace fs = std::filesystem;
  if (options.path.empty()) WriteFailed("no audit database is configured and HOME is not set");
  fs::path folder = fs::absolute(options.path).parent_path();
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  if (!options.create_folder)
    WriteFailed("the folder of the audit database does not exist: " + folder.string());
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder))
    WriteFailed("the folder " + folder.string() + " cannot be created (" + ec.message() + ")");
}

// Runs `sql` or raises the write error.
void Exec(sqlite3* db, const char* sql, const std::string& path) {
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) WriteFailed(db, rc, path);
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::string Column(sqlite3_stmt* s, int i) {
  const unsigned char* text = sqlite3_column_text(s, i);
  return text ? reinterpret_cast<const char*>(text) : std::string();
}

}  // namespace

std::string FormatUtcTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
  // Floor division keeps times before 1970 in the right second.
  int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
  int millis = static_cast<int>(ms - seconds * 1000);
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buffer;
}

void AppendAuditRecord(const AuditLogOptions& options, const AuditRecord& record) {
  PrepareFolder(options);
  const std::string& path = options.path;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) WriteFailed(db.get(), rc, path);
  sqlite3_busy_timeout(db.get(), options.busy_timeout_ms);
  Exec(db.get(), "PRAGMA synchronous=FULL", path);
  Exec(db.get(), "BEGIN IMMEDIATE", path);
  try {
    Exec(db.get(), kSchema, path);
    // A database from before the row was recorded gains the column; its records name none.
    if (!HasRowKey(db.get()))
      Exec(db.get(), "ALTER TABLE operator_events ADD COLUMN row_key TEXT NOT NULL DEFAULT ''",
           path);
    sqlite3_stmt* raw_stmt = nullptr;
    rc = sqlite3_prepare_v2(db.get(), kInsert, -1, &raw_stmt, nullptr);
    Stmt stmt(raw_stmt);
    if (rc != SQLITE_OK) WriteFailed(db.get(), rc, path);
    const OperatorEvent& e = record.event;
    const std::string* values[] = {&record.recorded_at,
                                   &e.cluster,
                                   &e.event_type,
                                   &e.column_name,
                                   &e.source,
                                   &e.signature1,
                                   &e.signature2,
                                   &e.old_value,
                                   &e.new_value,
                                   &e.signature3,
                                   &record.signed_by1,
                                   &record.signed_by2,
                                   &record.signed_reason,
                                   &record.signed_at,
                                   &record.operator_name,
                                   &record.row};
    int index = 1;
    for (const std::string* v : values)
      sqlite3_bind_text(stmt.get(), index++, v->data(), static_cast<int>(v->size()),
                        SQLITE_TRANSIENT);
    rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_DONE) WriteFailed(db.get(), rc, path);
    stmt.reset();
    Exec(db.get(), "COMMIT", path);
  } catch (...) {
    sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::vector<AuditRecord> ReadAuditRecords(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) ReadFailed("No audit database at " + path);
  if (std::filesystem::is_directory(path, ec))
    ReadFailed(path + " is a folder, not an audit database");
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) ReadFailed("Cannot open the audit database " + path);
  sqlite3_busy_timeout(db.get(), 5000);
  char select[512];
  std::snprintf(select, sizeof select, kSelect, HasRowKey(db.get()) ? "row_key" : "''");
  sqlite3_stmt* raw_stmt = nullptr;
  rc = sqlite3_prepare_v2(db.get(), select, -1, &raw_stmt, nullptr);
  Stmt stmt(raw_stmt);
  if (rc != SQLITE_OK)
    ReadFailed(path + " is not a readable audit database (" + sqlite3_errmsg(db.get()) + ")");
  std::vector<AuditRecord> records;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    AuditRecord r;
    sqlite3_stmt* s = stmt.get();
    r.id = sqlite3_column_int64(s, 0);
    r.recorded_at = Column(s, 1);
    r.event = OperatorEvent{Column(s, 2), Column(s, 3), Column(s, 4), Column(s, 5), Column(s, 6),
                            Column(s, 7), Column(s, 8), Column(s, 9), Column(s, 10)};
    r.signed_by1 = Column(s, 11);
    r.signed_by2 = Column(s, 12);
    r.signed_reason = Column(s, 13);
    r.signed_at = Column(s, 14);
    r.operator_name = Column(s, 15);
    r.row = Column(s, 16);
    records.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE)
    ReadFailed("Cannot read the audit database " + path + " (" + sqlite3_errmsg(db.get()) + ")");
  return records;
}

std::string FormatAuditRecord(const AuditRecord& r) {
  const OperatorEvent& e = r.event;
  std::string line = "#";
  line += std::to_string(r.id);
  line += ' ';
  line += r.recorded_at;
  line += ' ';
  if (e.signature1 == kNotSigned || e.signature1.empty()) {
    line += "not signed";
  } else {
    line += "signed by " + e.signature1;
    if (!e.signature2.empty() && e.signature2 != kNotSigned) line += " and " + e.signature2;
    if (!e.signature3.empty() && e.signature3 != kNotSigned)
      line += ", reason " + Quote(e.signature3);
  }
  line += "; " + e.source + ", column " + e.column_name + ": " + Quote(e.old_value) + " -> " +
          Quote(e.new_value);
  if (!r.row.empty()) line += "; row " + r.row;
  line += "; " + e.event_type + ", cluster " + e.cluster;
  if (!r.operator_name.empty()) line += "; operator " + r.operator_name;
  return line;
}

}  // namespace tabulo::host
