// The records of a logged change as intents: committed pending before the change, marked
// after it, settled from the row when a process died in between; the one UPDATE the store
// allows; a file at its size limit told as a full disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "host/audit/audit_chain.h"
#include "host/audit/audit_log.h"
#include "host/audit/security_manager.h"
#include "host/servers/sqlite/sqlite_data_server.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/conversions.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using platform::Variant;
using testing::Raised;
using testing::TestDb;

class AuditIntentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestDb(data_).Exec(
        "CREATE TABLE Orders (Id INTEGER, Qty INTEGER);"
        "INSERT INTO Orders VALUES (1, 10), (2, 20), (3, 30)");
    store_.path = (folder_ / "audit.db").string();
    store_.busy_timeout_ms = 0;
  }
  std::unique_ptr<SecurityManager> Manager() {
    SecurityManagerOptions options;
    options.audit = store_;
    options.operator_name = "op";
    return std::make_unique<SecurityManager>(container_, std::move(options));
  }
  // Begins a batch, records Qty of row `id` going to `qty` and commits it as an intent.
  void Prepare(SecurityManager& m, int id, int qty) {
    m.BeginOperatorEvents();
    OperatorEvent e{"Local Logging",         "dbUpdate",          "Qty",
                    "orders.db:  - Orders",  "<Default>",         "<Default>",
                    std::to_string(id * 10), std::to_string(qty), "<Default>"};
    m.WriteOperatorEvent(e, "Id = " + std::to_string(id) + " AND Qty = " + std::to_string(id * 10));
    m.PrepareOperatorEvents();
  }
  void WriteData(int id, int qty) {
    TestDb(data_).Exec("UPDATE Orders SET Qty = " + std::to_string(qty) +
                       " WHERE Id = " + std::to_string(id));
  }
  // As a start of the program settles them: the old values still there, not written.
  PendingResolution Resolve(bool readable = true) {
    return ResolvePendingAuditRecords(store_, [&](const AuditRecord& r) {
      if (!readable) return RowOutcome::kUnknown;
      const std::string n = TestDb(data_).Text("SELECT COUNT(*) FROM Orders WHERE " + r.row);
      return n == "0" ? RowOutcome::kWritten : RowOutcome::kNotWritten;
    });
  }
  std::string States() {
    std::string out;
    for (const AuditRecord& r : ReadAuditRecords(store_.path))
      out += std::string(out.empty() ? "" : ",") + AuditStateName(r.state);
    return out;
  }

  testing::TestFolder folder_;
  std::filesystem::path data_ = folder_ / "orders.db";
  AuditLogOptions store_;
  platform::HeadlessContainer container_;
};

// The intent is durable before the change: another connection reads it, pending, and the
// store is not locked while the change is written.
TEST_F(AuditIntentTest, IntentsAreCommittedPendingBeforeTheChangeAndMarkedAfterIt) {
  auto m = Manager();
  Prepare(*m, 1, 11);
  EXPECT_EQ(TestDb(store_.path).Text("SELECT state FROM operator_events"), "pending");
  WriteData(1, 11);
  m->CommitOperatorEvents();
  Prepare(*m, 2, 22);
  m->RollbackOperatorEvents();  // the write failed
  EXPECT_EQ(States(), "written,not written");
  // The marks leave the chain whole: the state is not part of a record's hash.
  EXPECT_TRUE(VerifyAuditTrail(ReadAuditTrail(store_.path)).intact);
  // Without a prepare the batch is rolled back as before: nothing recorded.
  m->BeginOperatorEvents();
  m->WriteOperatorEvent(OperatorEvent{"c", "e", "Qty", "s", "", "", "1", "2", ""}, "Id = 3");
  m->RollbackOperatorEvents();
  EXPECT_EQ(ReadAuditRecords(store_.path).size(), 2u);
  // A batch begun again over intents never marked leaves them pending, for a start to read.
  Prepare(*m, 3, 33);
  m->BeginOperatorEvents();
  m->RollbackOperatorEvents();
  EXPECT_EQ(States(), "written,not written,pending");
}

// A process killed between its intents and their marks (the manager dropped without a word)
// leaves them pending; the next start reads each row.
TEST_F(AuditIntentTest, AKilledWritersIntentsAreSettledFromTheirRows) {
  EXPECT_EQ(Resolve().pending, 0);  // no store yet: nothing to settle, and no error
  Prepare(*Manager(), 1, 11);       // killed after the data commit
  WriteData(1, 11);
  Prepare(*Manager(), 2, 22);  // killed before it
  EXPECT_EQ(States(), "pending,pending");
  EXPECT_NE(FormatAuditRecord(ReadAuditRecords(store_.path)[0]).find("; pending: "),
            std::string::npos);

  // A data source that cannot be read leaves them pending, said so, and no tampering.
  PendingResolution r = Resolve(/*readable=*/false);
  EXPECT_EQ(std::to_string(r.written + r.not_written) + "/" + std::to_string(r.pending), "0/2");
  EXPECT_EQ(States(), "pending,pending");
  EXPECT_TRUE(VerifyAuditTrail(ReadAuditTrail(store_.path)).intact);

  // A live writer between its intents and its change: its records (and all) wait for it.
  auto live = Manager();
  Prepare(*live, 3, 33);
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto files = open_files();
  r = Resolve();
  EXPECT_EQ(open_files(), files);  // the lock file is closed again
  EXPECT_TRUE(r.skipped);
  EXPECT_EQ(r.pending, 3);
  EXPECT_EQ(States(), "pending,pending,pending");
  WriteData(3, 33);
  live->CommitOperatorEvents();

  r = Resolve();
  EXPECT_FALSE(r.skipped);
  EXPECT_EQ(std::to_string(r.written) + "/" + std::to_string(r.not_written), "1/1");
  EXPECT_EQ(States(), "written,not written,written");
  const std::string line = FormatAuditRecord(ReadAuditRecords(store_.path)[1]);
  EXPECT_EQ(line.substr(line.size() - 38), "; not written: the change was not made") << line;
  EXPECT_TRUE(VerifyAuditTrail(ReadAuditTrail(store_.path)).intact);
  Prepare(*Manager(), 2, 22);  // killed after the data commit, the only one
  WriteData(2, 22);
  r = Resolve();
  EXPECT_EQ(std::to_string(r.written) + "/" + std::to_string(r.not_written), "1/0");
  EXPECT_EQ(States(), "written,not written,written,written");
  // Settled records are not asked about again, nor kept waiting by a live writer's lock.
  AuditIntentLock held(store_);
  r = Resolve();
  EXPECT_EQ(r.written + r.not_written + r.pending, 0);
  EXPECT_FALSE(r.skipped);
}

// Only a pending record's state may change, only to written or not written; every other
// column of any record is refused, as is a second mark.
TEST_F(AuditIntentTest, TheStoreAllowsOnlyTheMarkOfAPendingRecord) {
  auto m = Manager();
  Prepare(*m, 1, 11);
  m->CommitOperatorEvents();
  Prepare(*m, 2, 22);  // #2 stays pending
  TestDb db(store_.path);
  struct Case {
    const char* set;
    int id;
    bool allowed;
  };
  const Case cases[] = {
      {"state = 'not written'", 1, false},  // a written record is final
      {"state = 'pending'", 2, false},
      {"state = 'lost'", 2, false},
      {"state = 'written', new_value = '99'", 2, false},
      {"state = 'written', row_key = ''", 2, false},
      {"state = 'written', hash = ''", 2, false},
      {"state = 'written', id = 9", 2, false},
      {"state = 'written', operator = 'x'", 2, false},
      {"state = 'written', recorded_at = 'x'", 2, false},
      {"new_value = '99'", 1, false},
      {"state = 'written'", 2, true},
      {"state = 'not written'", 2, false},  // marked once only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    const std::string sql =
        std::string("UPDATE operator_events SET ") + c.set + " WHERE id = " + std::to_string(c.id);
    EXPECT_EQ(db.Exec(sql, true), c.allowed ? SQLITE_OK : SQLITE_CONSTRAINT);
  }
  EXPECT_EQ(States(), "written,written");
  EXPECT_EQ(db.Text("SELECT new_value || row_key FROM operator_events WHERE id = 2"),
            "22Id = 2 AND Qty = 20");
}

// A store whose trigger refuses every UPDATE gains the state column and the trigger that lets
// a pending record be marked, under the same name.
TEST_F(AuditIntentTest, AnOlderStoreGainsTheStateAndItsTrigger) {
  TestDb(store_.path)
      .Exec(
          "CREATE TABLE operator_events (id INTEGER PRIMARY KEY AUTOINCREMENT, recorded_at TEXT, "
          "cluster TEXT, event_type TEXT, column_name TEXT, source TEXT, signature1 TEXT, "
          "signature2 TEXT, old_value TEXT, new_value TEXT, signature3 TEXT, signed_by1 TEXT, "
          "signed_by2 TEXT, signed_reason TEXT, signed_at TEXT, operator TEXT, row_key TEXT, "
          "hash TEXT);"
          "CREATE TRIGGER operator_events_no_update BEFORE UPDATE ON operator_events BEGIN "
          "SELECT RAISE(ABORT, 'audit records cannot be changed'); END;"
          "INSERT INTO operator_events VALUES (1,'t','c','e','Qty','s','','','1','2','','','',"
          "'','','op','','')");
  auto m = Manager();
  Prepare(*m, 1, 11);
  WriteData(1, 11);
  m->CommitOperatorEvents();
  EXPECT_EQ(States(), "written,written");
  TestDb db(store_.path);
  EXPECT_EQ(db.Exec("UPDATE operator_events SET new_value = 'x' WHERE id = 1", true),
            SQLITE_CONSTRAINT);
  EXPECT_EQ(db.Text("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), "2");
}

// Leaves a hot journal on `db`, as a writer killed in the middle of a transaction does.
void KillWriterMidTransaction(const std::filesystem::path& db) {
  TestDb(db).Exec("PRAGMA journal_mode=DELETE; CREATE TABLE IF NOT EXISTS scratch (x)");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* raw = nullptr;
    sqlite3_open(db.c_str(), &raw);
    // A cache of one page spills the changes into the file before the commit.
    sqlite3_exec(raw,
                 "PRAGMA cache_size=1; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT "
                 "i + 1 FROM n WHERE i < 2000) INSERT INTO scratch SELECT zeroblob(500) FROM n",
                 nullptr, nullptr, nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(std::filesystem::exists(db.string() + "-journal"));
}

// Readers that may not write cannot roll a hot journal back: the trail and the rows a
// resolution reads would stay unreadable until some writer came.
TEST_F(AuditIntentTest, AKilledWritersHotJournalIsRolledBackBeforeReading) {
  AppendAuditRecord(store_, AuditRecord{});
  KillWriterMidTransaction(store_.path);
  EXPECT_EQ(ReadAuditTrail(store_.path).records.size(), 1u);
  KillWriterMidTransaction(data_);
  sqlite::SqliteServerOptions options;
  auto rows = NewSqliteDataServer(options)->Query(data_.string(), "",
                                                  "SELECT COUNT(*) FROM scratch", "", "");
  EXPECT_EQ(platform::CStr(rows->Item(0).Value(), platform::Locale::EnUS()), "0");
}

TEST(AuditSource, SplitsIntoDataSourceDatabaseAndTable) {
  struct Case {
    const char* source;
    const char* parts;  // "" when it has not the shape
  };
  const Case cases[] = {
      {"Plant: Prod - Orders", "Plant|Prod|Orders"},
      {"/data/orders.db:  - Orders", "/data/orders.db||Orders"},
      {"a: - b", ""},  // the colon's space is the dash's
      {"Plant: a - b - Order Lines", "Plant|a - b|Order Lines"},
      {"Plant: Prod - ", ""},
      {"Plant - Orders", ""},
      {": Prod - Orders", ""},
      {"SecurityManager", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    std::string dsn, database, table;
    const bool ok = SplitAuditSource(c.source, dsn, database, table);
    EXPECT_EQ(ok ? dsn + "|" + database + "|" + table : "", c.parts);
  }
}

// A file grown to the process's size limit fails with EFBIG (SIGXFSZ ignored, as the program
// does): the audit store and the data server both say the disk is full. In a child process,
// whose limit ends with it.
TEST_F(AuditIntentTest, AFileAtItsSizeLimitIsToldAsAFullDisk) {
  AppendAuditRecord(store_, AuditRecord{});
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string said;
    AuditRecord big;
    big.event.new_value = std::string(200 * 1024, 'x');
    try {
      AppendAuditRecord(store_, big);
    } catch (const platform::ComError& e) {
      said += e.description();
    }
    said += "\n";
    try {
      sqlite::SqliteServerOptions options;
      NewSqliteDataServer(options)->Query(
          data_.string(), "", "UPDATE Orders SET Qty = zeroblob(300000) WHERE Id = 1", "", "");
    } catch (const platform::ComError& e) {
      said += std::to_string(e.code() == kErrDiskFull) + e.description();
    }
    [[maybe_unused]] ssize_t n = write(out[1], said.data(), said.size());
    _exit(0);
  }
  close(out[1]);
  std::string said;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, n);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the child was ended by signal " << WTERMSIG(status);
  EXPECT_EQ(
      said.substr(0, said.find('\n')),
      "Cannot write the operator event: the disk holding the audit database " + store_.path +
          " is full, or the file reached the size limit of the process (free space or raise the "
          "limit, then try again)");
  const std::string data_said = said.substr(said.find('\n') + 1);
  EXPECT_EQ(data_said.rfind("1The disk holding ", 0), 0u) << data_said;
  EXPECT_NE(data_said.find("orders.db is full, or the file reached the size limit"),
            std::string::npos)
      << data_said;
  EXPECT_EQ(ReadAuditRecords(store_.path).size(), 1u);
}

}  // namespace
}  // namespace tabulo::host
