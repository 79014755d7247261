// Writing through the embedded data server on real SQLite files: the control's UPDATE
// statements with date and time escapes, the one-row rule, and the faults an operator meets
// (locks, read-only files, rejected statements), each leaving the database as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "host/sqlite/sqlite_data_server.h"
#include "orders_db.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;
using platform::Variant;
using testing::CreateOrders;
using testing::TestDb;

class WriteTest : public testing::ServerTest {
 protected:
  ComError ErrorOf(const std::string& sql) {
    return testing::Raised([&] { Query(sql); });
  }
  // Code, and whether the description holds `part`.
  void ExpectRefused(const std::string& sql, uint32_t code, const std::string& part) {
    const ComError e = ErrorOf(sql);
    EXPECT_EQ(e.code(), code) << sql;
    EXPECT_NE(e.description().find(part), std::string::npos) << e.description();
  }
  // One value read back through a new record set.
  Variant ValueOf(const std::string& sql) {
    auto rs = Query(sql);
    EXPECT_EQ(rs->RecordCount(), 1) << sql;
    return rs->RecordCount() == 1 ? rs->Item(0).Value() : Variant();
  }
  // Fails when a write lock cannot be taken at once: no transaction of the server is open.
  void ExpectNoTransactionOpen() {
    sqlite3_busy_timeout(db_->get(), 0);
    EXPECT_EQ(db_->Exec("BEGIN IMMEDIATE", true), SQLITE_OK);
    db_->Exec("ROLLBACK", true);
    sqlite3_busy_timeout(db_->get(), 2000);
  }
  void NewOrders(int rows, bool wal = false) {
    db_->Exec("DROP TABLE IF EXISTS Orders");
    CreateOrders(*db_, rows, wal);
  }
};

// A Date within half a millisecond of `expected`.
void ExpectDate(const Variant& value, double expected, const std::string& what) {
  ASSERT_EQ(value.type(), platform::VarType::Date) << what;
  EXPECT_LT(std::abs(value.AsDouble() - expected), 0.5 / 86400000.0) << what;
}

TEST_F(WriteTest, EachEscapeFormIsWrittenAndReadBackToTheMillisecond) {
  db_->Exec(
      "CREATE TABLE T(Id INTEGER PRIMARY KEY, D DATE, Tm TIME, S TIMESTAMP);"
      "INSERT INTO T VALUES (1, '2024-02-28', '13:45:09', '2020-01-01 00:00:37')");
  EXPECT_EQ(Query("UPDATE T SET D = {d '2024-02-29'} , Tm = {t '13:45:10.250'} , S = {ts "
                  "'2020-01-01 00:00:37.108'} WHERE Id = 1 AND D = {d '2024-02-28'} AND Tm = {t "
                  "'13:45:09'} AND S >= {ts '2020-01-01 00:00:36.892'} AND S <= {ts '2020-01-01 "
                  "00:00:37.108'}")
                ->State(),
            0);
  EXPECT_EQ(db_->Text("SELECT D || '|' || Tm || '|' || S FROM T"),
            "2024-02-29|13:45:10.250|2020-01-01 00:00:37.108");
  auto rs = Query("SELECT D, Tm, S FROM T");
  ExpectDate(rs->Item(0).Value(), 45351.0, "D");
  ExpectDate(rs->Item(1).Value(), (13 * 3600 + 45 * 60 + 10.25) / 86400, "Tm");
  ExpectDate(rs->Item(2).Value(), 43831.0 + 37.108 / 86400, "S");
}

TEST_F(WriteTest, RowChangedMeanwhileOrDuplicatedIsRefusedAndNothingIsWritten) {
  CreateOrders(*db_, 10);
  const ComError e = ErrorOf(
      "UPDATE Orders SET Qty = 12 , Note = 'late' WHERE Id = 7 AND Qty = 10 AND Note IS NULL");
  EXPECT_EQ(e.code(), kErrRowNotIdentified);
  EXPECT_EQ(e.description(),
            "The row was changed or deleted by someone else since it was read; nothing was "
            "written.");
  EXPECT_EQ(e.source(), "DataServer");
  EXPECT_EQ(ValueOf("SELECT Qty FROM Orders WHERE Id = 7"), Variant(int32_t{7}));
  EXPECT_EQ(ErrorOf("DELETE FROM Orders WHERE Id = 99").code(), kErrRowNotIdentified);
  ExpectNoTransactionOpen();

  db_->Exec("CREATE TABLE Dup(A TEXT, B INTEGER); INSERT INTO Dup VALUES ('x', 1), ('x', 1)");
  const ComError dup = ErrorOf("UPDATE Dup SET B = 2 WHERE A = 'x' AND B = 1");
  EXPECT_EQ(dup.code(), kErrRowNotIdentified);
  EXPECT_EQ(dup.description(),
            "The row cannot be identified uniquely: the statement would change 2 rows; nothing "
            "was written.");
  ExpectRefused("DELETE FROM Dup", kErrRowNotIdentified, "would change 2 rows");
  EXPECT_EQ(db_->Text("SELECT count(*) || ':' || sum(B) FROM Dup"), "2:2");
  ExpectNoTransactionOpen();
  db_->Exec("INSERT INTO Dup VALUES ('y', 1)");
  Query("DELETE FROM Dup WHERE A = 'y'");
  EXPECT_EQ(db_->Text("SELECT count(*) FROM Dup"), "2");
}

TEST_F(WriteTest, OtherCommandsRunWithoutTheRowRuleAndQueriesUnderstandEscapesToo) {
  CreateOrders(*db_, 56);  // Placed is 2020-01-01 plus Id mod 28 days, at 10:30
  auto rs = Query("SELECT Id FROM Orders WHERE Placed = {d '2020-01-28'} ORDER BY Id");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{27}));
  EXPECT_EQ(Query("SELECT Id FROM Orders WHERE Placed < {ts '2020-01-02 10:30:00'}")->RecordCount(),
            2);  // Ids 28 and 56
  Query("INSERT INTO Orders(Id, Placed) VALUES (100, {ts '2021-06-01 08:00:00'}), (101, NULL)");
  Query("CREATE TABLE Log(x INTEGER);");  // a trailing ";" is one statement
  Query("WITH n(i) AS (SELECT 1 UNION ALL SELECT 2) INSERT INTO Log SELECT i FROM n");
  EXPECT_EQ(db_->Text("SELECT count(*) FROM Log"), "2");
  EXPECT_EQ(db_->Text("SELECT Placed FROM Orders WHERE Id = 100"), "2021-06-01 08:00:00");
  // A WITH before an UPDATE does not hide it from the row rule.
  EXPECT_EQ(ErrorOf("WITH k AS (SELECT 1) UPDATE Orders SET Qty = 0 WHERE Id > 1").code(),
            kErrRowNotIdentified);
}

TEST_F(WriteTest, RejectedStatementsKeepSQLitesMessageAndChangeNothing) {
  CreateOrders(*db_, 5);
  for (const auto& [sql, part] :
       {std::pair{"UPDATE Orders SET Nope = 1 WHERE Id = 1", "no such column: Nope"},
        {"UPDATE Orders SET Id = 2 WHERE Id = 1", "UNIQUE"},
        {"UPDATE Orders SET Qty = 9 WHERE Id = 1; DELETE FROM Orders", "one statement"},
        {"UPDATE Orders SET Placed = {d '2024-02-30'} WHERE Id = 1", "{d '2024-02-30'}"}})
    ExpectRefused(sql, kErrInvalidStatement, part);
  EXPECT_EQ(db_->Text("SELECT count(*) || ':' || sum(Qty) FROM Orders WHERE Id = 1"), "1:1");
  EXPECT_EQ(db_->Text("SELECT count(*) FROM Orders"), "5");
  ExpectNoTransactionOpen();
}

TEST_F(WriteTest, LongTextQuotesAndUnicodeAreStoredWhole) {
  CreateOrders(*db_, 2);  // Note is VARCHAR(200)
  std::string text, quoted;
  for (int i = 0; i < 500; ++i) text += "it's Grüße 東京 😀 ";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  Query("UPDATE Orders SET Note = '" + quoted + "' WHERE Id = 1 AND Note = 'n1'");
  EXPECT_EQ(ValueOf("SELECT Note FROM Orders WHERE Id = 1"), Variant(text));
  // 16 code points, 500 times.
  EXPECT_EQ(db_->Text("SELECT length(Note) FROM Orders WHERE Id = 1"), "8000");
}

const std::string kUpdate3 = "UPDATE Orders SET Qty = 30 WHERE Id = 3 AND Qty = 3";

TEST_F(WriteTest, HeldOffByReadersOrLockedByAnotherWriterFailsAfterTheBusyTimeout) {
  {
    // A commit that readers hold off is rolled back (rollback journal: it needs them gone).
    CreateOrders(*db_, 5);
    TestDb reader(db_path_);
    reader.Exec("BEGIN; SELECT count(*) FROM Orders");
    ExpectRefused(kUpdate3, kErrSourceLocked, "busy with other readers");
    reader.Exec("COMMIT");
    EXPECT_EQ(db_->Text("SELECT Qty FROM Orders WHERE Id = 3"), "3");
    ExpectNoTransactionOpen();
    Query(kUpdate3);
    EXPECT_EQ(db_->Text("SELECT Qty FROM Orders WHERE Id = 3"), "30");
  }
  for (bool wal : {false, true}) {
    SCOPED_TRACE(wal ? "WAL" : "rollback journal");
    NewOrders(5, wal);
    TestDb writer(db_path_);
    writer.Exec("BEGIN IMMEDIATE");
    writer.Exec("UPDATE Orders SET Qty = 40 WHERE Id = 4");
    ExpectRefused(kUpdate3, kErrSourceLocked, "is locked by another writer");
    ExpectRefused(kUpdate3, kErrSourceLocked, "nothing was written");
    writer.Exec("COMMIT");
    Query(kUpdate3);
    EXPECT_EQ(db_->Text("SELECT group_concat(Qty) FROM Orders"), "1,2,30,40,5");
  }
}

TEST_F(WriteTest, ReadOnlyFileOrFolderIsRefusedAndStillReadable) {
  const fs::path folder = folder_ / "ro";
  fs::create_directories(folder);
  db_path_ = folder / "plant.db";
  db_ = std::make_unique<TestDb>(db_path_);
  CreateOrders(*db_, 3);
  db_.reset();
  const std::string update = "UPDATE Orders SET Qty = 9 WHERE Id = 1 AND Qty = 1";
  for (const auto& [path, mode, part] :
       {std::tuple{db_path_, 0444, "is read-only"}, std::tuple{folder, 0555, "read-only"}}) {
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    ExpectRefused(update, kErrSourceUnusable, part);
    EXPECT_EQ(ValueOf("SELECT Qty FROM Orders WHERE Id = 1"), Variant(int32_t{1}));
    ASSERT_EQ(::chmod(path.c_str(), mode | 0200), 0);
  }
  Query(update);
  EXPECT_EQ(ValueOf("SELECT Qty FROM Orders WHERE Id = 1"), Variant(int32_t{9}));
}

TEST_F(WriteTest, AFileReplacedBetweenWritesIsWrittenNotItsPredecessor) {
  CreateOrders(*db_, 5);
  Query("UPDATE Orders SET Qty = 40 WHERE Id = 4");
  // The file is replaced by another of the same name (a restore, a new sample).
  db_.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(db_path_.string() + suffix);
  db_ = std::make_unique<TestDb>(db_path_);
  CreateOrders(*db_, 5);
  Query("UPDATE Orders SET Qty = 41 WHERE Id = 4 AND Qty = 4");
  EXPECT_EQ(db_->Text("SELECT Qty FROM Orders WHERE Id = 4"), "41");
  // The connection kept between writes holds no lock while idle.
  ExpectNoTransactionOpen();
  db_->Exec("UPDATE Orders SET Qty = 42 WHERE Id = 4");
  Query("UPDATE Orders SET Qty = 43 WHERE Id = 4 AND Qty = 42");
  EXPECT_EQ(db_->Text("SELECT Qty FROM Orders WHERE Id = 4"), "43");
}

}  // namespace
}  // namespace tabulo::host::sqlite
