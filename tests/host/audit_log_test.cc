#include "host/audit_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "host/password_hash.h"
#include "host/security_manager.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using platform::DialogAnswer;
using platform::Variant;
using testing::TestDb;
using testing::TestFolder;

// 2026-12-07 21:46:49.123 UTC.
std::chrono::system_clock::time_point FixedTime() {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(1796680009123));
}

std::vector<Variant> EventArgs(const std::string& column, const std::string& old_value,
                               const std::string& new_value, const std::string& sig = "<Default>") {
  return {Variant("Local Logging"),
          Variant("dbUpdate"),
          Variant(column),
          Variant("Plant: Prod - Orders"),
          Variant(sig),
          Variant(sig),
          Variant(old_value),
          Variant(new_value),
          Variant(sig)};
}

// Every row of the table, each as its columns' texts (NULL as "<null>").
std::vector<std::vector<std::string>> Rows(const std::filesystem::path& path) {
  TestDb db(path);
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(
      sqlite3_prepare_v2(db.get(), "SELECT * FROM operator_events ORDER BY id", -1, &stmt, nullptr),
      SQLITE_OK);
  std::vector<std::vector<std::string>> rows;
  while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const unsigned char* t = sqlite3_column_text(stmt, i);
      row.push_back(t ? reinterpret_cast<const char*>(t) : "<null>");
    }
    rows.push_back(row);
  }
  sqlite3_finalize(stmt);
  return rows;
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

  std::string WriteError(SecurityManager& m, std::vector<Variant> args) {
    try {
      Write(m, std::move(args));
    } catch (const platform::ComError& e) {
      EXPECT_EQ(e.code(), 0x80040206u) << e.description();
      return e.description();
    }
    return "(written)";
  }

  TestFolder folder_;
  platform::HeadlessContainer container_;
};

TEST_F(OperatorEventTest, RecordHoldsTheNineFieldsAndTheLastSigners) {
  auto m = Manager(folder_ / "audit.db");
  container_.QueueDialogAnswer(
      DialogAnswer::Ok(Variant(true), {Variant("alice"), Variant("a"), Variant("Correction")}));
  container_.QueueDialogAnswer(DialogAnswer::Ok(Variant(true), {Variant("bob"), Variant("b")}));
  ESignatureRequest request;
  request.dual = true;
  m->RequestESignature(request);
  Write(*m, {Variant("Local Logging"), Variant("dbUpdate"), Variant("Qty"),
             Variant("Plant: Prod - Orders"), Variant("alice"), Variant("bob"), Variant("5"),
             Variant("7"), Variant("Correction")});
  auto rows = Rows(folder_ / "audit.db");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "2026-12-07T21:46:49.123Z", "Local Logging",
                                               "dbUpdate", "Qty", "Plant: Prod - Orders", "alice",
                                               "bob", "5", "7", "Correction", "alice", "bob",
                                               "Correction", "2026-12-07T21:46:49.123Z", "op1"}));
}

TEST_F(OperatorEventTest, ColumnNamesSayWhatEachFieldIs) {
  auto m = Manager(folder_ / "audit.db");
  Write(*m, EventArgs("Qty", "1", "2"));
  TestDb db(folder_ / "audit.db");
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT * FROM operator_events", -1, &stmt, nullptr),
            SQLITE_OK);
  std::vector<std::string> names;
  for (int i = 0; i < sqlite3_column_count(stmt); ++i)
    names.push_back(sqlite3_column_name(stmt, i));
  sqlite3_finalize(stmt);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "id", "recorded_at", "cluster", "event_type", "column_name", "source",
                       "signature1", "signature2", "old_value", "new_value", "signature3",
                       "signed_by1", "signed_by2", "signed_reason", "signed_at", "operator"}));
}

TEST_F(OperatorEventTest, UnsignedRecordsAreAppendedInOrderWithTheRealUtcTime) {
  auto m = Manager(folder_ / "audit.db", /*fixed_time=*/false);
  std::string before = FormatUtcTimestamp(std::chrono::system_clock::now());
  Write(*m, EventArgs("Qty", "5", "7"));
  Write(*m, EventArgs("Note", "", "Urgent \"now\""));
  std::string after = FormatUtcTimestamp(std::chrono::system_clock::now());
  auto rows = Rows(folder_ / "audit.db");
  ASSERT_EQ(rows.size(), 2u);
  std::regex iso(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z)");
  for (const auto& row : rows) {
    EXPECT_TRUE(std::regex_match(row[1], iso)) << row[1];
    // Fixed-width UTC texts order as the times do.
    EXPECT_LE(before, row[1]);
    EXPECT_GE(after, row[1]);
    EXPECT_EQ(row[6], "<Default>");
    EXPECT_EQ(row[11], "");  // no signature was ever given
    EXPECT_EQ(row[14], "");
  }
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[1][0], "2");
  EXPECT_EQ(rows[1][4], "Note");
  EXPECT_EQ(rows[1][9], "Urgent \"now\"");
}

TEST_F(OperatorEventTest, RecordsCannotBeChangedOrDeleted) {
  auto m = Manager(folder_ / "audit.db");
  Write(*m, EventArgs("Qty", "5", "7"));
  TestDb db(folder_ / "audit.db");
  EXPECT_EQ(db.Exec("UPDATE operator_events SET new_value = '9'", true), SQLITE_CONSTRAINT);
  EXPECT_STREQ(sqlite3_errmsg(db.get()), "audit records cannot be changed");
  EXPECT_EQ(db.Exec("DELETE FROM operator_events", true), SQLITE_CONSTRAINT);
  EXPECT_STREQ(sqlite3_errmsg(db.get()), "audit records cannot be deleted");
  auto rows = Rows(folder_ / "audit.db");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][9], "7");
}

TEST_F(OperatorEventTest, NullValueIsRefusedAndNothingIsWritten) {
  auto m = Manager(folder_ / "audit.db");
  std::vector<Variant> args = EventArgs("Note", "x", "y");
  args[6] = Variant::Null();
  try {
    Write(*m, args);
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrInvalidUseOfNull);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_ / "audit.db"));
  args.pop_back();
  EXPECT_THROW(Write(*m, args), platform::ComError);  // eight fields
}

TEST_F(OperatorEventTest, ConfiguredFolderMustExist) {
  auto m = Manager(folder_ / "missing" / "audit.db");
  EXPECT_EQ(WriteError(*m, EventArgs("Qty", "5", "7")),
            "Cannot write the operator event: the folder of the audit database does not exist: " +
                (folder_ / "missing").string());
  EXPECT_FALSE(std::filesystem::exists(folder_ / "missing"));
}

TEST_F(OperatorEventTest, DefaultLocationCreatesItsFolder) {
  std::filesystem::path path = folder_ / "state" / "tabulo" / "audit.db";
  AuditLogOptions options{path.string(), true, 0};
  AuditRecord record;
  record.event.column_name = "Qty";
  AppendAuditRecord(options, record);
  EXPECT_EQ(ReadAuditRecords(path.string()).size(), 1u);
}

TEST_F(OperatorEventTest, NoPathIsAnError) {
  AuditLogOptions options;
  try {
    AppendAuditRecord(options, AuditRecord{});
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.code(), 0x80040206u);
    EXPECT_NE(e.description().find("no audit database is configured"), std::string::npos);
  }
}

TEST_F(OperatorEventTest, ReadOnlyDatabaseIsNamed) {
  auto m = Manager(folder_ / "audit.db");
  Write(*m, EventArgs("Qty", "5", "7"));
  {
    // A write version above 2 in the header makes SQLite open the file read-only; unlike
    // file permissions, that holds for every account, root included.
    std::fstream f(folder_ / "audit.db", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(18);
    f.put(static_cast<char>(3));
  }
  EXPECT_EQ(WriteError(*m, EventArgs("Qty", "7", "8")),
            "Cannot write the operator event: the audit database " +
                (folder_ / "audit.db").string() + " is read-only");
}

TEST_F(OperatorEventTest, LockedDatabaseIsNamed) {
  auto m = Manager(folder_ / "audit.db");
  Write(*m, EventArgs("Qty", "5", "7"));
  TestDb other(folder_ / "audit.db");
  other.Exec("BEGIN EXCLUSIVE");
  other.Exec("SELECT count(*) FROM operator_events");
  EXPECT_EQ(WriteError(*m, EventArgs("Qty", "7", "8")),
            "Cannot write the operator event: the audit database " +
                (folder_ / "audit.db").string() + " is locked by another program");
  other.Exec("COMMIT");
  Write(*m, EventArgs("Qty", "7", "8"));
  EXPECT_EQ(Rows(folder_ / "audit.db").size(), 2u);
}

TEST_F(OperatorEventTest, FileThatIsNoDatabaseIsNamed) {
  std::ofstream(folder_ / "audit.db") << "these are notes, not a database, but long enough to "
                                         "fill a header of one hundred bytes at the very least.";
  auto m = Manager(folder_ / "audit.db");
  EXPECT_EQ(WriteError(*m, EventArgs("Qty", "5", "7")),
            "Cannot write the operator event: " + (folder_ / "audit.db").string() +
                " is not an audit database");
}

TEST(AuditLog, ReadsBackOldestFirst) {
  TestFolder folder;
  AuditLogOptions options{(folder / "a.db").string(), false, 0};
  for (const char* column : {"Qty", "Price", "Note"}) {
    AuditRecord r;
    r.recorded_at = "2026-01-01T00:00:00.000Z";
    r.event.column_name = column;
    r.signed_by1 = "alice";
    AppendAuditRecord(options, r);
  }
  std::vector<AuditRecord> records = ReadAuditRecords(options.path);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].id, 1);
  EXPECT_EQ(records[0].event.column_name, "Qty");
  EXPECT_EQ(records[2].id, 3);
  EXPECT_EQ(records[2].event.column_name, "Note");
  EXPECT_EQ(records[2].signed_by1, "alice");
}

TEST(AuditLog, ReadErrorsNameTheFile) {
  TestFolder folder;
  std::string missing = (folder / "none.db").string();
  try {
    ReadAuditRecords(missing);
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.code(), 0x80040207u);
    EXPECT_EQ(e.description(), "No audit database at " + missing);
  }
  TestDb((folder / "other.db")).Exec("CREATE TABLE t(x)");
  try {
    ReadAuditRecords((folder / "other.db").string());
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.description().rfind((folder / "other.db").string() + " is not a readable audit "
                                                                     "database",
                                    0),
              0u)
        << e.description();
  }
  EXPECT_THROW(ReadAuditRecords(folder.path().string()), platform::ComError);
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
  r.event.signature2 = "";
  r.event.signature3 = "";
  EXPECT_EQ(FormatAuditRecord(r).substr(0, 44), "#4 2026-12-07T21:46:49.123Z signed by carol;");
}

TEST(AuditLog, UtcTimestampsHaveMillisecondsAndZ) {
  using std::chrono::milliseconds;
  using std::chrono::system_clock;
  EXPECT_EQ(FormatUtcTimestamp(system_clock::time_point(milliseconds(0))),
            "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(FormatUtcTimestamp(FixedTime()), "2026-12-07T21:46:49.123Z");
  EXPECT_EQ(FormatUtcTimestamp(system_clock::time_point(milliseconds(951782400999))),
            "2000-02-29T00:00:00.999Z");
  EXPECT_EQ(FormatUtcTimestamp(system_clock::time_point(milliseconds(-1))),
            "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace tabulo::host
