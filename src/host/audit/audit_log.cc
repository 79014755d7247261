#include "host/audit/audit_log.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "host/audit/audit_chain.h"
#include "host/audit/pg_audit_store.h"
#include "platform/text/plain_text.h"
#include "platform/text/visible_text.h"
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
  row_key TEXT NOT NULL DEFAULT '',
  hash TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL DEFAULT 'written' CHECK (state IN ('written', 'pending', 'not written')));
CREATE TABLE IF NOT EXISTS audit_chain_head (
  one INTEGER PRIMARY KEY CHECK (one = 1),
  last_id INTEGER NOT NULL,
  last_hash TEXT NOT NULL,
  seal TEXT NOT NULL DEFAULT '');
CREATE TRIGGER IF NOT EXISTS operator_events_no_delete BEFORE DELETE ON operator_events
  BEGIN SELECT RAISE(ABORT, 'audit records cannot be deleted'); END;
)sql";

// The one change a record allows: a pending one becomes written or not written, every other
// column as it was. Created once the state column exists (older stores gain it first).
constexpr const char* kUpdateTrigger = R"sql(
CREATE TRIGGER operator_events_no_update BEFORE UPDATE ON operator_events
  WHEN NOT (OLD.state = 'pending' AND NEW.state IN ('written', 'not written')
    AND NEW.id IS OLD.id AND NEW.recorded_at IS OLD.recorded_at AND NEW.cluster IS OLD.cluster
    AND NEW.event_type IS OLD.event_type AND NEW.column_name IS OLD.column_name
    AND NEW.source IS OLD.source AND NEW.signature1 IS OLD.signature1
    AND NEW.signature2 IS OLD.signature2 AND NEW.old_value IS OLD.old_value
    AND NEW.new_value IS OLD.new_value AND NEW.signature3 IS OLD.signature3
    AND NEW.signed_by1 IS OLD.signed_by1 AND NEW.signed_by2 IS OLD.signed_by2
    AND NEW.signed_reason IS OLD.signed_reason AND NEW.signed_at IS OLD.signed_at
    AND NEW.operator IS OLD.operator AND NEW.row_key IS OLD.row_key AND NEW.hash IS OLD.hash)
  BEGIN SELECT RAISE(ABORT, 'audit records cannot be changed'); END;
)sql";
// Found in the update trigger's text once it allows the state transition.
constexpr const char* kUpdateTriggerMark = "%OLD.state = 'pending'%";

constexpr const char* kTriggers[] = {"operator_events_no_update", "operator_events_no_delete"};
constexpr const char* kMarker = "audit_chain_marker";

constexpr const char* kInsert =
    "INSERT INTO operator_events (id, recorded_at, cluster, event_type, column_name, source, "
    "signature1, signature2, old_value, new_value, signature3, signed_by1, signed_by2, "
    "signed_reason, signed_at, operator, row_key, hash, state) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// %s: row_key, hash and state, or their defaults in a database written before the column
// existed.
constexpr const char* kSelect =
    "SELECT id, recorded_at, cluster, event_type, column_name, source, signature1, signature2, "
    "old_value, new_value, signature3, signed_by1, signed_by2, signed_reason, signed_at, "
    "operator, %s, %s, %s FROM operator_events ORDER BY id";

bool Exists(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return false;
  const bool found = sqlite3_step(raw) == SQLITE_ROW;
  sqlite3_finalize(raw);
  return found;
}

bool HasColumn(sqlite3* db, const std::string& name, const std::string& table = "operator_events") {
  return Exists(db, "SELECT 1 FROM pragma_table_info('" + table + "') WHERE name = '" + name + "'");
}

// The marker view: the first chained record and the first keyed one (0: none).
std::string MarkerView(int64_t chained_from, int64_t keyed_from) {
  return std::string("CREATE VIEW ") + kMarker + " AS SELECT " + std::to_string(chained_from) +
         " AS chained_from, " + std::to_string(keyed_from) + " AS keyed_from";
}

bool UpdateTriggerCurrent(sqlite3* db) {
  return Exists(db, std::string("SELECT 1 FROM sqlite_master WHERE name = "
                                "'operator_events_no_update' AND sql LIKE \"") +
                        kUpdateTriggerMark + "\"");
}

// Every table, column and trigger of the store is there: nothing to create (a check that
// takes no write lock, which every writer would otherwise wait for twice).
bool Complete(sqlite3* db) {
  int found = 0;
  for (const char* name :
       {"operator_events", "audit_chain_head", kTriggers[0], kTriggers[1], kMarker})
    found += Exists(db, std::string("SELECT 1 FROM sqlite_master WHERE name = '") + name + "'");
  return found == 5 && HasColumn(db, "row_key") && HasColumn(db, "hash") &&
         HasColumn(db, "seal", "audit_chain_head") && HasColumn(db, "state") &&
         UpdateTriggerCurrent(db);
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

// A file grown to the process's size limit fails with EFBIG (SIGXFSZ ignored), which SQLite
// reports as a failed write (its system error number is not kept reliably): with a size limit
// in force, such a failure is the limit as much as ENOSPC is a full disk.
bool DiskFull(sqlite3* db, int rc) {
  if ((rc & 0xFF) == SQLITE_FULL) return true;
  if (!db || (rc & 0xFF) != SQLITE_IOERR) return false;
  const int os_error = sqlite3_system_errno(db);
  if (os_error == EFBIG || os_error == ENOSPC) return true;
  rlimit limit{};
  return sqlite3_extended_errcode(db) == SQLITE_IOERR_WRITE &&
         getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}

// Says why SQLite refused, in the operator's terms.
[[noreturn]] void WriteFailed(sqlite3* db, int rc, const std::string& path) {
  if (DiskFull(db, rc))
    WriteFailed("the disk holding the audit database " + path +
                " is full, or the file reached the size limit of the process (free space or "
                "raise the limit, then try again)");
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

// Other control characters are left for VisibleText, which shows the line's as "\xHH".
std::string Quote(const std::string& text) {
  return platform::QuotedText(text, false);
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

struct AuditTransaction::Impl {
  std::string path;
  std::string key;  // the audit key; "": a plain chain
  Db db;
  bool open = false;
  int timeout_ms = 0;
  std::chrono::steady_clock::time_point waiting_since;

  // SQLite's own busy handler backs off to sleeps of 100 ms: a program committing in a loop
  // then takes the lock again and again before a waiting one wakes. Even 1 ms waits share it.
  static int Wait(void* self, int count) {
    Impl& impl = *static_cast<Impl*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) impl.waiting_since = now;
    if (now - impl.waiting_since >= std::chrono::milliseconds(impl.timeout_ms)) return 0;
    sqlite3_sleep(1);
    return 1;
  }

  void Exec(const char* sql) const { host::Exec(db.get(), sql, path); }
  Stmt Prepare(const char* sql) const {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db.get(), sql, -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) WriteFailed(db.get(), rc, path);
    return stmt;
  }
  // The first row's integer and text, if the query yields a row.
  bool First(const char* sql, int64_t& id, std::string& text) const {
    Stmt stmt = Prepare(sql);
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) WriteFailed(db.get(), rc, path);
    id = sqlite3_column_int64(stmt.get(), 0);
    text = Column(stmt.get(), 1);
    return true;
  }
  void Rollback() {
    if (open) sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    open = false;
  }
};

AuditTransaction::AuditTransaction(const AuditLogOptions& options)
    : impl_(std::make_unique<Impl>()) {
  if (!options.key_file.empty()) {
    try {
      impl_->key = ReadAuditKey(options.key_file);
    } catch (const platform::ComError& e) {
      WriteFailed(e.description());
    }
  }
  if (options.pg) {
    pg_ = std::make_unique<pg::PgAuditTransaction>(options, impl_->key);
    return;
  }
  PrepareFolder(options);
  impl_->path = options.path;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(options.path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                           nullptr);
  impl_->db.reset(raw);
  if (rc != SQLITE_OK) WriteFailed(raw, rc, options.path);
  impl_->timeout_ms = options.busy_timeout_ms;
  sqlite3_busy_handler(raw, &Impl::Wait, impl_.get());
  impl_->Exec("PRAGMA synchronous=FULL");
  if (!Complete(raw)) CreateTables(*impl_);
  // Exclusive from the start: in rollback-journal mode the commit then waits for no reader,
  // which leaves it only the failures of the storage itself.
  impl_->Exec("BEGIN EXCLUSIVE");
  impl_->open = true;
}

// The tables first, in a transaction of their own, so that a store stays readable whatever
// becomes of a batch.
void AuditTransaction::CreateTables(Impl& impl) {
  sqlite3* raw = impl.db.get();
  impl.Exec("BEGIN IMMEDIATE");
  impl.open = true;
  try {
    // The seal column came with the marker: a store that has it and lacks the marker had the
    // marker removed, and its chain is taken to start at the first record.
    const bool marked_before = HasColumn(raw, "seal", "audit_chain_head");
    impl.Exec(kSchema);
    // A database from before these columns gains them; its records have neither.
    for (const char* column : {"row_key", "hash"})
      if (!HasColumn(raw, column))
        impl.Exec(("ALTER TABLE operator_events ADD COLUMN " + std::string(column) +
                   " TEXT NOT NULL DEFAULT ''")
                      .c_str());
    if (!HasColumn(raw, "seal", "audit_chain_head"))
      impl.Exec("ALTER TABLE audit_chain_head ADD COLUMN seal TEXT NOT NULL DEFAULT ''");
    // The chain starts at the first hashed record, or with the next one written.
    int64_t from = 0;
    std::string unused;
    if (!Exists(raw, std::string("SELECT 1 FROM sqlite_master WHERE name = '") + kMarker + "'") &&
        impl.First("SELECT COALESCE((SELECT min(id) FROM operator_events WHERE hash <> ''), "
                   "max(COALESCE((SELECT max(id) FROM operator_events), 0), COALESCE((SELECT "
                   "seq FROM sqlite_sequence WHERE name = 'operator_events'), 0)) + 1), ''",
                   from, unused))
      impl.Exec(MarkerView(marked_before ? 1 : std::max<int64_t>(from, 1), 0).c_str());
    if (!HasColumn(raw, "state"))
      impl.Exec(
          "ALTER TABLE operator_events ADD COLUMN state TEXT NOT NULL DEFAULT 'written' "
          "CHECK (state IN ('written', 'pending', 'not written'))");
    // An older store's trigger refuses every UPDATE: it gives way to the one that lets a
    // pending record be marked.
    if (!UpdateTriggerCurrent(raw)) {
      impl.Exec("DROP TRIGGER IF EXISTS operator_events_no_update");
      impl.Exec(kUpdateTrigger);
    }
    impl.Exec("COMMIT");
    impl.open = false;
  } catch (...) {
    impl.Rollback();
    throw;
  }
}

AuditTransaction::~AuditTransaction() {
  impl_->Rollback();
}

int64_t AuditTransaction::Append(const AuditRecord& given) {
  if (pg_) return pg_->Append(given);
  if (!impl_->open) WriteFailed("the transaction is over");
  AuditRecord record = given;
  // The chain's end is the head; a store from before the head continues from its last record.
  int64_t last_id = 0;
  std::string last_hash;
  if (!impl_->First("SELECT last_id, last_hash FROM audit_chain_head WHERE one = 1", last_id,
                    last_hash))
    impl_->First("SELECT id, hash FROM operator_events ORDER BY id DESC LIMIT 1", last_id,
                 last_hash);
  // Numbering never restarts: not after records removed at the end, nor in a table made anew.
  int64_t used = 0;
  std::string unused;
  if (impl_->First("SELECT max(COALESCE((SELECT MAX(id) FROM operator_events), 0), "
                   "COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'operator_events'), "
                   "0)), ''",
                   used, unused))
    last_id = std::max(last_id, used);
  record.id = last_id + 1;
  // A store once written with the audit key is keyed for good: a write without it would end
  // the proof silently.
  int64_t chained_from = 0, keyed_from = 0;
  std::string keyed;
  if (impl_->First("SELECT chained_from, keyed_from FROM audit_chain_marker", chained_from, keyed))
    keyed_from = std::atoll(keyed.c_str());
  if (keyed_from > 0 && impl_->key.empty())
    WriteFailed("the audit database " + impl_->path + " is signed with an audit key from record #" +
                std::to_string(keyed_from) +
                " on; set \"audit_key_file\" in the host configuration's \"security\" to the "
                "file of that key");
  if (keyed_from == 0 && !impl_->key.empty()) {
    keyed_from = record.id;
    impl_->Exec((std::string("DROP VIEW IF EXISTS ") + kMarker).c_str());
    impl_->Exec(MarkerView(chained_from > 0 ? chained_from : record.id, keyed_from).c_str());
  }
  record.hash = ChainHash(last_hash, record, keyed_from > 0 ? impl_->key : "");

  Stmt stmt = impl_->Prepare(kInsert);
  const OperatorEvent& e = record.event;
  const std::string state = AuditStateName(record.state);
  const std::string* values[] = {&record.recorded_at,   &e.cluster,         &e.event_type,
                                 &e.column_name,        &e.source,          &e.signature1,
                                 &e.signature2,         &e.old_value,       &e.new_value,
                                 &e.signature3,         &record.signed_by1, &record.signed_by2,
                                 &record.signed_reason, &record.signed_at,  &record.operator_name,
                                 &record.row,           &record.hash,       &state};
  sqlite3_bind_int64(stmt.get(), 1, record.id);
  int index = 2;
  for (const std::string* v : values)
    sqlite3_bind_text(stmt.get(), index++, v->data(), static_cast<int>(v->size()),
                      SQLITE_TRANSIENT);
  int rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_DONE) WriteFailed(impl_->db.get(), rc, impl_->path);
  Stmt head = impl_->Prepare(
      "INSERT OR REPLACE INTO audit_chain_head (one, last_id, last_hash, seal) "
      "VALUES (1, ?, ?, ?)");
  const std::string seal = keyed_from > 0 ? HeadSeal(record.id, record.hash, impl_->key) : "";
  sqlite3_bind_int64(head.get(), 1, record.id);
  sqlite3_bind_text(head.get(), 2, record.hash.data(), static_cast<int>(record.hash.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_text(head.get(), 3, seal.data(), static_cast<int>(seal.size()), SQLITE_TRANSIENT);
  rc = sqlite3_step(head.get());
  if (rc != SQLITE_DONE) WriteFailed(impl_->db.get(), rc, impl_->path);
  return record.id;
}

void AuditTransaction::Commit() {
  if (pg_) return pg_->Commit();
  if (!impl_->open) WriteFailed("the transaction is over");
  const int rc = sqlite3_exec(impl_->db.get(), "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    impl_->open = false;
    return;
  }
  // The error is read before the rollback, which would overwrite it.
  try {
    WriteFailed(impl_->db.get(), rc, impl_->path);
  } catch (...) {
    impl_->Rollback();
    throw;
  }
}

void AuditTransaction::Mark(const std::vector<int64_t>& ids, AuditState state) {
  if (pg_) WriteFailed("a PostgreSQL audit store keeps no pending records");
  if (!impl_->open) WriteFailed("the transaction is over");
  for (int64_t id : ids) {
    Stmt stmt =
        impl_->Prepare("UPDATE operator_events SET state = ? WHERE id = ? AND state = 'pending'");
    const char* name = AuditStateName(state);
    sqlite3_bind_text(stmt.get(), 1, name, -1, SQLITE_STATIC);
    sqlite3_bind_int64(stmt.get(), 2, id);
    const int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_DONE) WriteFailed(impl_->db.get(), rc, impl_->path);
  }
}

void AppendAuditRecord(const AuditLogOptions& options, const AuditRecord& record) {
  AuditTransaction transaction(options);
  transaction.Append(record);
  transaction.Commit();
}

void MarkAuditRecords(const AuditLogOptions& options, const std::vector<int64_t>& ids,
                      AuditState state) {
  if (ids.empty()) return;
  AuditTransaction transaction(options);
  transaction.Mark(ids, state);
  transaction.Commit();
}

const char* AuditStateName(AuditState state) {
  switch (state) {
    case AuditState::kPending:
      return "pending";
    case AuditState::kNotWritten:
      return "not written";
    case AuditState::kWritten:
      break;
  }
  return "written";
}

namespace {

int OpenIntentLock(const std::string& audit_path) {
  return ::open((audit_path + "-intents").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

}  // namespace

AuditIntentLock::AuditIntentLock(const AuditLogOptions& options) {
  PrepareFolder(options);
  fd_ = OpenIntentLock(options.path);
  if (fd_ < 0)
    WriteFailed("the lock file " + options.path + "-intents cannot be opened (" +
                std::strerror(errno) + ")");
  while (::flock(fd_, LOCK_SH) != 0 && errno == EINTR) {
  }
}

AuditIntentLock::~AuditIntentLock() {
  if (fd_ >= 0) ::close(fd_);
}

PendingResolution ResolvePendingAuditRecords(const AuditLogOptions& options,
                                             const PendingRowCheck& check) {
  PendingResolution result;
  std::error_code ec;
  if (options.pg || options.path.empty() || !std::filesystem::is_regular_file(options.path, ec))
    return result;
  std::vector<AuditRecord> pending = ReadAuditRecords(options.path);
  std::erase_if(pending, [](const AuditRecord& r) { return r.state != AuditState::kPending; });
  if (pending.empty()) return result;
  // A writer between its intents and its change holds the lock shared: its records are left
  // to it (the next start resolves them should it die).
  const int fd = OpenIntentLock(options.path);
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    result.pending = static_cast<int64_t>(pending.size());
    result.skipped = true;
    return result;
  }
  std::vector<int64_t> written, not_written;
  for (const AuditRecord& record : pending) {
    RowOutcome outcome = RowOutcome::kUnknown;
    try {
      outcome = check(record);
    } catch (const platform::ComError&) {
    }
    if (outcome == RowOutcome::kWritten) written.push_back(record.id);
    if (outcome == RowOutcome::kNotWritten) not_written.push_back(record.id);
    if (outcome == RowOutcome::kUnknown) ++result.pending;
  }
  try {
    if (!written.empty() || !not_written.empty()) {
      AuditTransaction transaction(options);
      transaction.Mark(written, AuditState::kWritten);
      transaction.Mark(not_written, AuditState::kNotWritten);
      transaction.Commit();
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  result.written = static_cast<int64_t>(written.size());
  result.not_written = static_cast<int64_t>(not_written.size());
  return result;
}

bool SplitAuditSource(const std::string& source, std::string& dsn, std::string& database,
                      std::string& table) {
  const size_t colon = source.find(": ");
  const size_t dash = source.rfind(" - ");
  if (colon == std::string::npos || dash == std::string::npos || dash < colon + 2) return false;
  dsn = source.substr(0, colon);
  database = source.substr(colon + 2, dash - colon - 2);
  table = source.substr(dash + 3);
  return !dsn.empty() && !table.empty();
}

std::vector<AuditRecord> ReadAuditRecords(const std::string& path) {
  return ReadAuditTrail(path).records;
}

AuditTrail ReadAuditTrail(const AuditLogOptions& store) {
  return store.pg ? pg::ReadPgAuditTrail(store) : ReadAuditTrail(store.path);
}

AuditLogOptions AuditStoreOf(const HostConfig& config) {
  AuditLogOptions options;
  options.key_file = ResolveAuditKeyFile(config);
  const PgAuditConfig& pg = config.security.audit_pg;
  if (!pg.connection.empty()) {
    auto it = config.postgresql.find(pg.connection);
    if (it == config.postgresql.end())
      WriteFailed("no PostgreSQL connection named \"" + pg.connection + "\" is configured");
    AuditPgStore store{pg.connection, it->second, pg.schema, pg.table};
    if (!pg.database.empty()) store.connection.database = pg.database;
    options.pg = std::move(store);
    return options;
  }
  const AuditDatabaseLocation location = ResolveAuditDatabase(config);
  options.path = location.path;
  options.create_folder = location.is_default;
  return options;
}

AuditTrail ReadAuditTrail(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) ReadFailed("No audit database at " + path);
  if (std::filesystem::is_directory(path, ec))
    ReadFailed(path + " is a folder, not an audit database");
  // A writer killed mid-transaction leaves a hot journal that only a connection able to write
  // may roll back; a first read on one does (a live writer's journal is left alone).
  if (std::filesystem::exists(path + "-journal", ec)) {
    sqlite3* writable = nullptr;
    if (sqlite3_open_v2(path.c_str(), &writable, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(writable, 5000);
      sqlite3_exec(writable, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(writable);
  }
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) ReadFailed("Cannot open the audit database " + path);
  sqlite3_busy_timeout(db.get(), 5000);
  // One read transaction: the records, the head and the numbering agree with each other.
  sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
  AuditTrail trail;
  // A piece the disk would not give is a read error, never a missing piece: a head, seal,
  // marker or trigger reported missing would read as tampering. Only a statement naming what
  // the store does not have (an older store's absent table) finds nothing.
  auto step = [&](sqlite3_stmt* q) {
    const int stepped = sqlite3_step(q);
    if (stepped != SQLITE_ROW && stepped != SQLITE_DONE)
      ReadFailed("Cannot read the audit database " + path + " (" + sqlite3_errmsg(db.get()) + ")");
    return stepped == SQLITE_ROW;
  };
  auto prepare = [&](const std::string& sql) {
    sqlite3_stmt* q = nullptr;
    const int prepared = sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &q, nullptr);
    Stmt owned(q);
    if (prepared != SQLITE_OK && (prepared & 0xFF) != SQLITE_ERROR)
      ReadFailed("Cannot read the audit database " + path + " (" + sqlite3_errmsg(db.get()) + ")");
    return owned;
  };
  auto first = [&](const char* sql, int64_t& id, std::string* text) {
    Stmt q = prepare(sql);
    if (!q || !step(q.get())) return false;
    id = sqlite3_column_int64(q.get(), 0);
    if (text) *text = Column(q.get(), 1);
    return true;
  };
  auto exists = [&](const std::string& sql) {
    Stmt q = prepare(sql);
    return q && step(q.get());
  };
  auto has_column = [&](const char* table, const char* name) {
    return exists(std::string("SELECT 1 FROM pragma_table_info('") + table + "') WHERE name = '" +
                  name + "'");
  };
  char select[512];
  std::snprintf(select, sizeof select, kSelect,
                has_column("operator_events", "row_key") ? "row_key" : "''",
                has_column("operator_events", "hash") ? "hash" : "''",
                has_column("operator_events", "state") ? "state" : "'written'");
  sqlite3_stmt* raw_stmt = nullptr;
  rc = sqlite3_prepare_v2(db.get(), select, -1, &raw_stmt, nullptr);
  Stmt stmt(raw_stmt);
  if (rc != SQLITE_OK)
    ReadFailed(path + " is not a readable audit database (" + sqlite3_errmsg(db.get()) + ")");
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
    r.hash = Column(s, 17);
    const std::string state = Column(s, 18);
    r.state = state == "pending"       ? AuditState::kPending
              : state == "not written" ? AuditState::kNotWritten
                                       : AuditState::kWritten;
    trail.records.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE)
    ReadFailed("Cannot read the audit database " + path + " (" + sqlite3_errmsg(db.get()) + ")");
  stmt.reset();
  trail.has_head = first("SELECT last_id, last_hash FROM audit_chain_head WHERE one = 1",
                         trail.head_id, &trail.head_hash);
  if (has_column("audit_chain_head", "seal")) {
    int64_t unused = 0;
    first("SELECT 0, seal FROM audit_chain_head WHERE one = 1", unused, &trail.head_seal);
  }
  std::string keyed;
  trail.has_marker =
      first("SELECT chained_from, keyed_from FROM audit_chain_marker", trail.chained_from, &keyed);
  trail.keyed_from = std::atoll(keyed.c_str());
  first("SELECT seq FROM sqlite_sequence WHERE name = 'operator_events'", trail.last_assigned,
        nullptr);
  for (const char* trigger : kTriggers)
    if (!exists(std::string("SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND "
                            "tbl_name = 'operator_events' AND name = '") +
                trigger + "'"))
      trail.missing_triggers.push_back(trigger);
  sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
  return trail;
}

std::string FormatAuditRecord(const AuditRecord& r) {
  const OperatorEvent& e = r.event;
  std::string line = "#";
  line += std::to_string(r.id);
  line += ' ';
  line += r.recorded_at;
  line += ' ';
  if (e.event_type == kRefusedSignatureEvent) {
    line += "sign-in refused for " + e.signature1 + " (" + Quote(e.signature3) + ")";
  } else if (e.signature1 == kNotSigned || e.signature1.empty()) {
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
  if (r.state == AuditState::kPending)
    line += "; pending: whether the change was written is not known yet";
  if (r.state == AuditState::kNotWritten) line += "; not written: the change was not made";
  // Any field may hold what a terminal would obey (a user name typed at a refused sign-in).
  return platform::VisibleText(line);
}

}  // namespace tabulo::host
