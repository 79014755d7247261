// The audit log on real SQLite files: operator events as the security manager writes them,
// their protection and faults, reading back, filtering, formatting, and the chained trail.
#include "host/audit/audit_log.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "common/fault_vfs.h"
#include "host/audit/audit_chain.h"
#include "host/audit/audit_log_filter.h"
#include "host/audit/password_hash.h"
#include "host/audit/security_manager.h"
#include "platform/runtime/headless_container.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using platform::Variant;
using test_support::FaultOp;
using test_support::FaultVfs;
using testing::Raised;
using testing::TestDb;
using Row = std::vector<std::string>;

// 2026-12-07 21:46:49.123 UTC.
std::chrono::system_clock::time_point FixedTime() {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(1796680009123));
}

std::vector<Variant> EventArgs(const std::string& column, const std::string& old_value,
                               const std::string& new_value) {
  std::vector<Variant> args;
  for (const std::string& s :
       {std::string("Local Logging"), std::string("dbUpdate"), column,
        std::string("Plant: Prod - Orders"), std::string("<Default>"), std::string("<Default>"),
        old_value, new_value, std::string("<Default>")})
    args.emplace_back(s);
  return args;
}

class OperatorEventTest : public ::testing::Test {
 protected:
  std::shared_ptr<SecurityManager> Manager(const std::filesystem::path& db,
                                           bool fixed_time = true) {
    SecurityManagerOptions options;
    options.security.users = {{"alice", 50, HashPassword("a", 1000)},
                              {"bob", 50, HashPassword("b", 1000)}};
    options.audit.path = db.string();
    options.audit.busy_timeout_ms = 0;
    options.operator_name = "op1";
    if (fixed_time) options.now = FixedTime;
    return std::make_shared<SecurityManager>(container_, std::move(options));
  }
  void Write(SecurityManager& m, std::vector<Variant> args) {
    m.InvokeByName("WriteOperatorEvent", platform::InvokeKind::Method, args);
  }
  // The description of the write error, which always has the audit write number.
  std::string WriteError(SecurityManager& m, std::vector<Variant> args) {
    const platform::ComError e = Raised([&] { Write(m, std::move(args)); });
    EXPECT_EQ(e.code(), 0x80040206u) << e.description();
    return e.description();
  }
  // The columns but the chain hash (the chain tests below check it).
  std::vector<Row> Rows() {
    std::vector<Row> rows = TestDb(path_).Rows("SELECT * FROM operator_events ORDER BY id");
    for (Row& r : rows) r.erase(r.begin() + 17);
    return rows;
  }

  testing::TestFolder folder_;
  std::filesystem::path path_ = folder_ / "audit.db";
  std::string prefix_ = "Cannot write the operator event: ";
  platform::HeadlessContainer container_;
};

TEST_F(OperatorEventTest, RecordHoldsTheNineFieldsAndTheLastSignersUnderNamedColumns) {
  auto m = Manager(path_);
  container_.QueueDialogAnswer(platform::DialogAnswer::Ok(
      Variant(true), {Variant("alice"), Variant("a"), Variant("Correction")}));
  container_.QueueDialogAnswer(
      platform::DialogAnswer::Ok(Variant(true), {Variant("bob"), Variant("b")}));
  ESignatureRequest request;
  request.dual = true;
  m->RequestESignature(request);
  std::vector<Variant> args = EventArgs("Qty", "5", "7");
  args[4] = Variant("alice");
  args[5] = Variant("bob");
  args[8] = Variant("Correction");
  Write(*m, args);
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", "2026-12-07T21:46:49.123Z", "Local Logging", "dbUpdate",
                                       "Qty", "Plant: Prod - Orders", "alice", "bob", "5", "7",
                                       "Correction", "alice", "bob", "Correction",
                                       "2026-12-07T21:46:49.123Z", "op1", "", "written"}}));
  Row names;
  for (const Row& r : TestDb(path_).Rows("SELECT name FROM pragma_table_info('operator_events')"))
    names.push_back(r[0]);
  EXPECT_EQ(names, (Row{"id", "recorded_at", "cluster", "event_type", "column_name", "source",
                        "signature1", "signature2", "old_value", "new_value", "signature3",
                        "signed_by1", "signed_by2", "signed_reason", "signed_at", "operator",
                        "row_key", "hash", "state"}));
}

// The fields of an unsigned event are checked end to end by the control's logging tests.
TEST_F(OperatorEventTest, UnsignedRecordHasTheRealUtcTimeAndNoSigners) {
  auto m = Manager(path_, /*fixed_time=*/false);
  const std::string before = FormatUtcTimestamp(std::chrono::system_clock::now());
  Write(*m, EventArgs("Qty", "5", "7"));
  const std::string after = FormatUtcTimestamp(std::chrono::system_clock::now());
  const std::vector<Row> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  // Fixed-width UTC texts order as the times do.
  EXPECT_TRUE(before <= rows[0][1] && rows[0][1] <= after) << rows[0][1];
  // No signature was ever given: the signers and their time are empty.
  EXPECT_EQ(Row(rows[0].begin() + 11, rows[0].end()), (Row{"", "", "", "", "op1", "", "written"}));
}

TEST_F(OperatorEventTest, RefusedWritesNameTheirCauseAndWriteNothing) {
  auto m = Manager(path_);
  std::vector<Variant> args = EventArgs("Note", "x", "y");
  args[6] = Variant::Null();
  EXPECT_EQ(Raised([&] { Write(*m, args); }).number(), platform::kErrInvalidUseOfNull);
  EXPECT_FALSE(std::filesystem::exists(path_));
  args.pop_back();  // eight fields
  Raised([&] { Write(*m, args); });
  EXPECT_EQ(WriteError(*Manager(folder_ / "missing" / "audit.db"), EventArgs("Qty", "5", "7")),
            prefix_ + "the folder of the audit database does not exist: " +
                (folder_ / "missing").string());
  EXPECT_FALSE(std::filesystem::exists(folder_ / "missing"));
  // The default location's folders are made, unless a file stands in the way.
  folder_.Write("file", "");
  const AuditLogOptions under_file{(folder_ / "file" / "state" / "audit.db").string(), true, 0};
  EXPECT_EQ(Raised([&] { AppendAuditRecord(under_file, AuditRecord{}); }).description(),
            prefix_ + "the folder " + (folder_ / "file" / "state").string() +
                " cannot be created (Not a directory)");
  const platform::ComError none = Raised([] { AppendAuditRecord({}, AuditRecord{}); });
  EXPECT_EQ(none.code(), 0x80040206u);
  EXPECT_NE(none.description().find("no audit database is configured"), std::string::npos);
  folder_.Write("notes.db", std::string(120, 'n'));
  EXPECT_EQ(WriteError(*Manager(folder_ / "notes.db"), EventArgs("Qty", "5", "7")),
            prefix_ + (folder_ / "notes.db").string() + " is not an audit database");
}

// Records cannot be changed or deleted; a read-only or locked database is named.
TEST_F(OperatorEventTest, RecordsAreProtectedAndReadOnlyOrLockedDatabasesNamed) {
  auto m = Manager(path_);
  Write(*m, EventArgs("Qty", "5", "7"));
  {
    TestDb other(path_);
    EXPECT_EQ(other.Exec("UPDATE operator_events SET new_value = '9'", true), SQLITE_CONSTRAINT);
    EXPECT_STREQ(sqlite3_errmsg(other.get()), "audit records cannot be changed");
    EXPECT_EQ(other.Exec("DELETE FROM operator_events", true), SQLITE_CONSTRAINT);
    EXPECT_STREQ(sqlite3_errmsg(other.get()), "audit records cannot be deleted");
    EXPECT_EQ(other.Rows("SELECT new_value FROM operator_events"), (std::vector<Row>{{"7"}}));
    other.Exec("BEGIN EXCLUSIVE");
    other.Exec("SELECT count(*) FROM operator_events");
    EXPECT_EQ(WriteError(*m, EventArgs("Qty", "7", "8")),
              prefix_ + "the audit database " + path_.string() + " is locked by another program");
    other.Exec("COMMIT");
  }
  Write(*m, EventArgs("Qty", "7", "8"));
  EXPECT_EQ(Rows().size(), 2u);
  {
    // A write version above 2 in the header makes SQLite open the file read-only; unlike
    // file permissions, that holds for every account, root included.
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(18);
    f.put(static_cast<char>(3));
  }
  EXPECT_EQ(WriteError(*m, EventArgs("Qty", "8", "9")),
            prefix_ + "the audit database " + path_.string() + " is read-only");
}

// The default location's folders are made on the first write.
TEST_F(OperatorEventTest, ReadsBackOldestFirstAndReadErrorsNameTheFile) {
  AuditLogOptions options{(folder_ / "state" / "tabulo" / "audit.db").string(), true, 0};
  for (const char* column : {"Qty", "Price", "Note"}) {
    AuditRecord r;
    r.recorded_at = "2026-01-01T00:00:00.000Z";
    r.event.column_name = column;
    r.signed_by1 = "alice";
    r.signed_by2 = "bob";
    r.signed_reason = "why";
    r.signed_at = "2026-01-01T00:00:01.000Z";
    r.operator_name = "op";
    AppendAuditRecord(options, r);
  }
  std::vector<AuditRecord> records = ReadAuditRecords(options.path);
  ASSERT_EQ(records.size(), 3u);
  const AuditRecord& r = records[2];
  EXPECT_EQ(std::to_string(records[0].id) + records[0].event.column_name + r.signed_by1 +
                std::to_string(r.id) + r.event.column_name,
            "1Qtyalice3Note");
  EXPECT_EQ(r.signed_by2 + "|" + r.signed_reason + "|" + r.signed_at + "|" + r.operator_name,
            "bob|why|2026-01-01T00:00:01.000Z|op");
  const std::string missing = (folder_ / "none.db").string();
  const platform::ComError e = Raised([&] { ReadAuditRecords(missing); });
  EXPECT_EQ(e.code(), 0x80040207u);
  EXPECT_EQ(e.description(), "No audit database at " + missing);
  TestDb(folder_ / "other.db").Exec("CREATE TABLE t(x)");
  const std::string other = (folder_ / "other.db").string();
  EXPECT_EQ(Raised([&] { ReadAuditRecords(other); })
                .description()
                .rfind(other + " is not a readable audit database", 0),
            0u);
  EXPECT_EQ(Raised([&] { ReadAuditRecords(folder_.path().string()); }).description(),
            folder_.path().string() + " is a folder, not an audit database");
  // A socket is there but cannot be opened.
  const std::string socket_path = (folder_ / "socket.db").string();
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(Raised([&] { ReadAuditRecords(socket_path); }).description(),
            "Cannot open the audit database " + socket_path);
  ::close(socket);
}

TEST(AuditLog, FormatsOneReadableLine) {
  AuditRecord r;
  r.id = 4;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.event = {"Local Logging", "dbUpdate", "Qty", "Plant: Prod - Orders", "alice", "bob", "5", "7",
             "Correction"};
  r.operator_name = "op1";
  EXPECT_EQ(FormatAuditRecord(r),
            "#4 2026-12-07T21:46:49.123Z signed by alice and bob, reason \"Correction\"; "
            "Plant: Prod - Orders, column Qty: \"5\" -> \"7\"; dbUpdate, cluster Local Logging; "
            "operator op1");
  r.event.signature1 = r.event.signature2 = r.event.signature3 = "<Default>";
  r.event.old_value = "two\nlines";
  r.event.new_value = "say \"hi\"";
  r.operator_name.clear();
  EXPECT_EQ(FormatAuditRecord(r),
            "#4 2026-12-07T21:46:49.123Z not signed; Plant: Prod - Orders, column Qty: "
            "\"two\\nlines\" -> \"say \\\"hi\\\"\"; dbUpdate, cluster Local Logging");
  r.event.signature1 = "carol";
  r.event.signature2 = r.event.signature3 = "";
  EXPECT_EQ(FormatAuditRecord(r).substr(0, 44), "#4 2026-12-07T21:46:49.123Z signed by carol;");
}

TEST(AuditLog, UtcTimestampsHaveMillisecondsAndZ) {
  using std::chrono::milliseconds;
  using std::chrono::system_clock;
  const std::pair<int64_t, const char*> cases[] = {{0, "1970-01-01T00:00:00.000Z"},
                                                   {1796680009123, "2026-12-07T21:46:49.123Z"},
                                                   {951782400999, "2000-02-29T00:00:00.999Z"},
                                                   {-1, "1969-12-31T23:59:59.999Z"},
                                                   {-999, "1969-12-31T23:59:59.001Z"},
                                                   {-1000, "1969-12-31T23:59:59.000Z"}};
  for (const auto& [ms, text] : cases)
    EXPECT_EQ(FormatUtcTimestamp(system_clock::time_point(milliseconds(ms))), text);
}

TEST(AuditLogFilterTest, TimeBoundsAreReadInTheRecordsOwnForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026-12-07", "2026-12-07"},
      {"2026-12-07 21:46", "2026-12-07T21:46"},
      {"2026-12-07T21:46:49Z", "2026-12-07T21:46:49"},
      {"2026-12-07T21:46:49.123", "2026-12-07T21:46:49.123"},
      {"2026-13-07", nullptr},
      {"2026-12-00", nullptr},
      {"2026-12-07T24:00", nullptr},
      {"2026-12-07T21:60", nullptr},
      {"2026-12-07X21:46", nullptr},
      {"2026-12-07T21:46:49,123", nullptr},
      {"26-12-07", nullptr},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseAuditTime(text), expected ? std::optional<std::string>(expected) : std::nullopt);
  }
}

TEST(AuditLogFilterTest, RecordsMatchTheSpanAndTheUser) {
  AuditRecord r;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.operator_name = "op";
  r.signed_by1 = "alice";
  r.event.signature2 = "bob";
  struct Case {
    AuditFilter filter;
    bool matches;
  };
  const Case cases[] = {
      {{}, true},
      {{"2026-12-07", "", ""}, true},
      {{"2026-12-07T21:46:49.123", "", ""}, true},
      {{"2026-12-07T21:46:49.124", "", ""}, false},
      {{"", "2026-12-07", ""}, true},  // the whole day
      {{"", "2026-12-07T21:46", ""}, true},
      {{"", "2026-12-07T21:45", ""}, false},
      {{"", "", "op"}, true},
      {{"", "", "alice"}, true},
      {{"", "", "bob"}, true},
      {{"", "", "Alice"}, false},
      {{"2026-12-01", "2026-12-31", "carol"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter.since + "|" + c.filter.until + "|" + c.filter.user);
    EXPECT_EQ(c.filter.Matches(r), c.matches);
  }
}

AuditRecord Record(const std::string& column, const std::string& old_value,
                   const std::string& new_value) {
  AuditRecord r;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.event =
      OperatorEvent{"Local Logging", "dbUpdate", column,      "Plant: Prod - Orders", "ann", "",
                    old_value,       new_value,  "Correction"};
  r.operator_name = "op";
  r.row = "Id = 3";
  return r;
}

struct Tampering {
  const char* name;
  const char* sql;      // run on the trail of four records
  bool append_after;    // then one more record is written the normal way
  const char* summary;  // what --verify says
};

const Tampering kTamperings[] = {
    {"none", "", false, "Audit trail intact: 4 records chained (#1 to #4)."},
    {"appended", "", true, "Audit trail intact: 5 records chained (#1 to #5)."},
    {"field_changed",
     "DROP TRIGGER operator_events_no_update; UPDATE operator_events SET new_value = '9' WHERE "
     "id = 1",
     false, "Audit trail broken: record #1 has been changed since it was written."},
    {"later_field_changed",
     "DROP TRIGGER operator_events_no_update; UPDATE operator_events SET row_key = 'Id = 4' "
     "WHERE id = 3",
     false,
     "Audit trail broken: record #3 does not follow from its fields and record #2: one of them "
     "has been changed."},
    {"middle_deleted",
     "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id = 2", false,
     "Audit trail broken: record #2 is missing."},
    {"last_deleted",
     "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id >= 3", false,
     "Audit trail broken: records #3 to #4 are missing."},
    // With the head gone too, the numbering still tells where the trail ended, and the next
    // record takes a new id rather than one of the removed.
    {"last_deleted_head_removed",
     "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id >= 3; "
     "DELETE FROM audit_chain_head",
     false, "Audit trail broken: records #3 to #4 are missing."},
    {"last_deleted_head_removed_appended",
     "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id >= 3; "
     "DELETE FROM audit_chain_head",
     true, "Audit trail broken: records #3 to #4 are missing."},
    {"table_dropped", "DROP TABLE operator_events", true,
     "Audit trail broken: records #1 to #4 are missing."},
    {"trigger_removed", "DROP TRIGGER operator_events_no_update", false,
     "Audit trail broken: the trigger operator_events_no_update that keeps records from being "
     "changed has been removed."},
    {"unhashed_put_in",
     "INSERT INTO operator_events (recorded_at, cluster, event_type, column_name, source, "
     "signature1, signature2, old_value, new_value, signature3, signed_by1, signed_by2, "
     "signed_reason, signed_at, operator) VALUES ('t','c','e','col','s','','','1','2','','','',"
     "'','','op')",
     false,
     "Audit trail broken: record #5 carries no hash: it was put in outside the audit trail."},
    {"head_rewound", "UPDATE audit_chain_head SET last_hash = 'x'", false,
     "Audit trail broken: record #4 is not the last record the trail recorded."},
};

class AuditChainTest : public ::testing::TestWithParam<Tampering> {
 protected:
  AuditLogOptions Options() const {
    AuditLogOptions options;
    options.path = (folder_ / "audit.db").string();
    return options;
  }
  testing::TestFolder folder_;
};

TEST_P(AuditChainTest, VerifyNamesTheFirstBrokenOrMissingRecord) {
  const Tampering& t = GetParam();
  for (const char* qty : {"1", "2", "3", "4"})
    AppendAuditRecord(Options(), Record("Qty", "0", qty));
  if (*t.sql) TestDb(Options().path).Exec(t.sql);
  if (t.append_after) AppendAuditRecord(Options(), Record("Note", "a", "b"));
  const AuditVerdict verdict = VerifyAuditTrail(ReadAuditTrail(Options().path));
  EXPECT_EQ(verdict.summary, t.summary);
  EXPECT_EQ(verdict.intact, std::string(t.summary).find("intact") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Tamperings, AuditChainTest, ::testing::ValuesIn(kTamperings),
                         [](const auto& info) { return std::string(info.param.name); });

// A store from before chaining and before rows were recorded: no hash or row column, no head.
// Its records still read; writing one adds the columns, and the chain starts after them.
TEST_F(OperatorEventTest, OlderStoresGainTheirColumnsAndTheChainStartsAfterTheirRecords) {
  TestDb(path_).Exec(
      "CREATE TABLE operator_events (id INTEGER PRIMARY KEY AUTOINCREMENT, recorded_at TEXT, "
      "cluster TEXT, event_type TEXT, column_name TEXT, source TEXT, signature1 TEXT, "
      "signature2 TEXT, old_value TEXT, new_value TEXT, signature3 TEXT, signed_by1 TEXT, "
      "signed_by2 TEXT, signed_reason TEXT, signed_at TEXT, operator TEXT);"
      "INSERT INTO operator_events VALUES (1,'t','c','e','Qty','s','','','1','2','','','','',"
      "'','op'), (2,'t','c','e','Qty','s','','','2','3','','','','','','op')");
  ASSERT_EQ(ReadAuditRecords(path_).size(), 2u);
  auto m = Manager(path_);
  std::vector<Variant> args(9, Variant("x"));
  Write(*m, args);
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(path_)).summary,
            "Audit trail intact: 1 record chained (#3 to #3), 2 older records from before "
            "chaining not verified.");
  args.emplace_back("Id = 3 AND Qty = 5");
  Write(*m, args);
  std::vector<AuditRecord> records = ReadAuditRecords(path_);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].row + "|" + records[2].row + "|" + records[3].row, "||Id = 3 AND Qty = 5");
  EXPECT_NE(FormatAuditRecord(records[3]).find("\"x\" -> \"x\"; row Id = 3 AND Qty = 5; x,"),
            std::string::npos)
      << FormatAuditRecord(records[3]);
  EXPECT_EQ(FormatAuditRecord(records[2]).find("; row "), std::string::npos);
}

// The next record follows the head, not whatever record is last; a store whose head is gone
// follows its last record. Either way it takes an id never given before.
TEST(AuditLog, TheNextRecordFollowsTheHeadOrElseTheLastRecord) {
  testing::TestFolder folder;
  AuditLogOptions options;
  options.path = (folder / "audit.db").string();
  for (const char* qty : {"1", "2", "3", "4"}) AppendAuditRecord(options, Record("Qty", "0", qty));
  const std::string head = ReadAuditTrail(options.path).head_hash;
  TestDb(options.path)
      .Exec("DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id >= 3");
  AppendAuditRecord(options, Record("Note", "a", "b"));
  TestDb(options.path).Exec("DELETE FROM audit_chain_head");
  AppendAuditRecord(options, Record("Note", "b", "c"));
  const std::vector<AuditRecord> records = ReadAuditRecords(options.path);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(std::to_string(records[2].id) + " " + std::to_string(records[3].id), "5 6");
  EXPECT_EQ(records[2].hash, ChainHash(head, records[2]));
  EXPECT_EQ(records[3].hash, ChainHash(records[2].hash, records[3]));
}

// A store missing one piece gets it back with the next write: the check that spares a
// complete store the schema's transaction misses nothing.
TEST(AuditLog, AStoreMissingOnePieceIsMadeWholeByTheNextWrite) {
  for (const char* sql :
       {"DROP VIEW audit_chain_marker", "DROP TRIGGER operator_events_no_delete"}) {
    SCOPED_TRACE(sql);
    testing::TestFolder folder;
    AuditLogOptions options;
    options.path = (folder / "audit.db").string();
    AppendAuditRecord(options, Record("Qty", "0", "1"));
    TestDb(options.path).Exec(sql);
    AppendAuditRecord(options, Record("Qty", "1", "2"));
    const AuditTrail trail = ReadAuditTrail(options.path);
    EXPECT_TRUE(trail.has_marker && trail.chained_from == 1 && trail.missing_triggers.empty());
    EXPECT_TRUE(VerifyAuditTrail(trail).intact);
  }
}

// A transaction once committed takes nothing more.
TEST(AuditLog, ACommittedTransactionIsOver) {
  testing::TestFolder folder;
  AuditLogOptions options;
  options.path = (folder / "audit.db").string();
  AuditTransaction transaction(options);
  transaction.Append(Record("Qty", "0", "1"));
  transaction.Commit();
  const std::string over = "Cannot write the operator event: the transaction is over";
  EXPECT_EQ(Raised([&] { transaction.Append(Record("Qty", "1", "2")); }).description(), over);
  EXPECT_EQ(Raised([&] { transaction.Commit(); }).description(), over);
  EXPECT_EQ(Raised([&] { transaction.Mark({1}, AuditState::kWritten); }).description(), over);
  EXPECT_EQ(ReadAuditRecords(options.path).size(), 1u);
}

// Marking no records opens no store. The intent lock's file is readable by all (as the store
// is); one that cannot be opened is named.
TEST(AuditLog, AnIntentLockThatCannotBeOpenedIsNamed) {
  testing::TestFolder folder;
  AuditLogOptions options;
  options.path = (folder / "audit.db").string();
  MarkAuditRecords(options, {}, AuditState::kWritten);
  EXPECT_FALSE(std::filesystem::exists(options.path));
  { AuditIntentLock lock(options); }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat((options.path + "-intents").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644 & ~mask);
  options.path = (folder / "other.db").string();
  std::filesystem::create_directory(options.path + "-intents");
  EXPECT_EQ(Raised([&] { AuditIntentLock lock(options); }).description(),
            "Cannot write the operator event: the lock file " + options.path +
                "-intents cannot be opened (Is a directory)");
}

// Below SQLite: a full disk is told as one whether SQLite says so or the system's error
// number does; other failures keep SQLite's words. The store keeps its records either way.
TEST(AuditLog, AFullDiskIsToldApartFromOtherFailures) {
  testing::TestFolder folder;
  AuditLogOptions options;
  options.path = (folder / "audit.db").string();
  AppendAuditRecord(options, Record("Qty", "0", "1"));
  const std::string prefix = "Cannot write the operator event: ";
  const std::string full = prefix + "the disk holding the audit database " + options.path +
                           " is full, or the file reached the size limit of the process (free "
                           "space or raise the limit, then try again)";
  struct Case {
    FaultOp op;
    int rc;
    int os_error;
    std::string says;
  };
  const Case cases[] = {
      {FaultOp::kWrite, SQLITE_FULL, 0, full},
      {FaultOp::kWrite, SQLITE_IOERR_WRITE, ENOSPC, full},
      {FaultOp::kWrite, SQLITE_IOERR_WRITE, EFBIG, full},
      {FaultOp::kWrite, SQLITE_IOERR_WRITE, EIO,
       prefix + "the audit database " + options.path + " could not be written (disk I/O error)"},
      {FaultOp::kSync, SQLITE_IOERR_FSYNC, EIO,
       prefix + "the audit database " + options.path + " could not be written (disk I/O error)"},
  };
  FaultVfs& vfs = FaultVfs::Shared();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rc);
    SCOPED_TRACE(c.os_error);
    vfs.Arm(c.op, 1, "audit.db", c.rc);
    vfs.SetSystemError(c.os_error);
    EXPECT_EQ(Raised([&] { AppendAuditRecord(options, Record("Qty", "1", "2")); }).description(),
              c.says);
    EXPECT_TRUE(vfs.fired());
    vfs.Disarm();
    EXPECT_EQ(ReadAuditRecords(options.path).size(), 1u);
  }
  // A file that cannot be opened is not a full disk, whatever error number remains.
  vfs.SetSystemError(ENOSPC);
  options.path = folder.path().string();
  EXPECT_EQ(Raised([&] { AppendAuditRecord(options, Record("Qty", "1", "2")); }).description(),
            prefix + "the audit database " + options.path + " cannot be opened");
  vfs.Disarm();
}

// A read failing anywhere in a write refuses the write or leaves no trace of itself: the
// trail stays whole. A statement the store refuses is named, and nothing of its record stays.
TEST(AuditLog, AFailedReadOrARefusedStatementLeavesTheTrailWhole) {
  testing::TestFolder folder;
  AuditLogOptions options;
  options.path = (folder / "audit.db").string();
  AppendAuditRecord(options, Record("Qty", "0", "1"));
  FaultVfs& vfs = FaultVfs::Shared();
  vfs.Arm(FaultOp::kRead, INT_MAX, "audit.db");
  AppendAuditRecord(options, Record("Qty", "1", "2"));
  const int reads = vfs.calls();
  ASSERT_GT(reads, 3);
  size_t written = 2;
  for (int n = 1; n <= reads; ++n) {
    SCOPED_TRACE("read " + std::to_string(n) + " of " + std::to_string(reads));
    vfs.Arm(FaultOp::kRead, n, "audit.db");
    try {
      AppendAuditRecord(options, Record("Qty", "2", std::to_string(n)));
      ++written;
    } catch (const platform::ComError& e) {
      EXPECT_EQ(e.code(), kErrAuditWrite);
    }
    vfs.Disarm();
    const AuditTrail trail = ReadAuditTrail(options.path);
    EXPECT_EQ(trail.records.size(), written);
    EXPECT_EQ(VerifyAuditTrail(trail).summary, "Audit trail intact: " + std::to_string(written) +
                                                   " records chained (#1 to #" +
                                                   std::to_string(written) + ").");
  }
  EXPECT_LT(written, 2u + reads);  // some read was not a cache's
  // A read failing while the trail is read is an error, never a shorter trail nor a head,
  // seal, marker or trigger gone missing (which would read as tampering).
  vfs.Arm(FaultOp::kRead, INT_MAX, "audit.db");
  ReadAuditTrail(options.path);
  const int trail_reads = vfs.calls();
  int refused = 0;
  for (int n = 1; n <= trail_reads; ++n) {
    SCOPED_TRACE("trail read " + std::to_string(n));
    vfs.Arm(FaultOp::kRead, n, "audit.db");
    try {
      const AuditTrail trail = ReadAuditTrail(options.path);
      vfs.Disarm();
      EXPECT_EQ(trail.records.size(), written);
      EXPECT_EQ(VerifyAuditTrail(trail).summary, "Audit trail intact: " + std::to_string(written) +
                                                     " records chained (#1 to #" +
                                                     std::to_string(written) + ").");
    } catch (const platform::ComError& e) {
      EXPECT_EQ(e.code(), kErrAuditRead);
      ++refused;
    }
  }
  EXPECT_GT(refused, 1);  // failures after the records' own read are refused too
  vfs.Disarm();
  // The record's insert, the head's, a pending record's mark.
  AuditRecord pending = Record("Qty", "2", "3");
  pending.state = AuditState::kPending;
  AppendAuditRecord(options, pending);
  const int64_t id = ReadAuditRecords(options.path).back().id;
  for (const char* trigger :
       {"INSERT ON operator_events", "INSERT ON audit_chain_head", "UPDATE ON operator_events"}) {
    SCOPED_TRACE(trigger);
    TestDb(options.path)
        .Exec(std::string("CREATE TRIGGER refuse BEFORE ") + trigger +
              " BEGIN SELECT RAISE(ABORT, 'refused here'); END");
    EXPECT_EQ(Raised([&] {
                if (*trigger == 'U')
                  MarkAuditRecords(options, {id}, AuditState::kWritten);
                else
                  AppendAuditRecord(options, pending);
              }).description(),
              "Cannot write the operator event: the audit database " + options.path +
                  " could not be written (refused here)");
    TestDb(options.path).Exec("DROP TRIGGER refuse");
  }
  const AuditTrail trail = ReadAuditTrail(options.path);
  EXPECT_EQ(std::to_string(trail.records.back().id) + AuditStateName(trail.records.back().state),
            std::to_string(id) + "pending");
  EXPECT_TRUE(VerifyAuditTrail(trail).intact);
}

// A writer waits for another program's lock as long as it is let to, counted from its first
// refusal; here the lock is given up during the writer's first pause.
TEST(AuditLog, AWriterWaitsForALockOnlyWithATimeout) {
  testing::TestFolder folder;
  AuditLogOptions options;
  options.path = (folder / "audit.db").string();
  AppendAuditRecord(options, Record("Qty", "0", "1"));
  FaultVfs& vfs = FaultVfs::Shared();
  for (const int timeout_ms : {0, 1000}) {
    SCOPED_TRACE(timeout_ms);
    TestDb other(options.path);
    other.Exec("BEGIN IMMEDIATE");
    bool paused = false;
    vfs.OnSleep([&] {
      paused = true;
      other.Exec("COMMIT");
    });
    options.busy_timeout_ms = timeout_ms;
    if (timeout_ms == 0) {
      EXPECT_EQ(Raised([&] { AppendAuditRecord(options, Record("Qty", "1", "2")); }).description(),
                "Cannot write the operator event: the audit database " + options.path +
                    " is locked by another program");
      other.Exec("COMMIT");
    } else {
      AppendAuditRecord(options, Record("Qty", "1", "2"));
    }
    EXPECT_EQ(paused, timeout_ms > 0);
    vfs.Disarm();
  }
  EXPECT_EQ(ReadAuditRecords(options.path).size(), 2u);
}

// The hash of a record and the seal of the head as every version wrote them: SHA-256
// (HMAC-SHA-256 with the key) over the fields, each an 8-byte big-endian length and its bytes,
// the record's id after its predecessor's hash. The values were computed apart from this code;
// a store written before verifies only while they stay the same.
TEST(ChainHash, TheWrittenFormat) {
  AuditRecord r = Record("Qty", "0", "ab");
  r.id = 3;
  r.signed_by1 = "bob";
  r.row = "Id = " + std::string(296, '9');  // 301 bytes: a length of two bytes, odd
  const std::string key(32, 'k');
  EXPECT_EQ(ChainHash("", r), "b2d2c3fb509d8ab92f913b2e060c54498815455ec2730c794a17fc569e2a0364");
  EXPECT_EQ(ChainHash("c0ffee", r, key),
            "7a8795ec3ae4c979d287cc297946e212b561c63f6a917298073210f283bb8bda");
  EXPECT_EQ(HeadSeal(3, "c0ffee", key),
            "a4a76b7736f4f62b0fe15acecb14a33bf0723b4f5c38ae8ae403e22cef61f6a1");
}

}  // namespace
}  // namespace tabulo::host
