// The embedded data server on real SQLite files: error numbers, sources, field types, reading
// that never writes, failures told apart; writes: escapes, the one-row rule, locks, refusals.
#include "host/servers/sqlite/sqlite_data_server.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <climits>
#include <cmath>
#include <sstream>

#include "common/fault_vfs.h"
#include "host/field_types.h"
#include "host/servers/sqlite/connection.h"
#include "host/servers/sqlite/write_statement.h"
#include "orders_db.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;
using platform::Variant;
using test_support::FaultOp;
using test_support::FaultVfs;
using testing::CreateOrders;
using testing::Raised;
using testing::TestDb;

class DataServerTest : public testing::ServerTest {
 protected:
  // The error a statement on `source` (empty: plant.db) raised.
  ComError ErrorOf(const std::string& sql, const fs::path& source = {}) {
    const std::string path = (source.empty() ? db_path_ : source).string();
    return Raised([&] { server_->Query(path, "", sql, "", ""); });
  }
  // Code, and whether the description holds `part`.
  void ExpectRefused(const std::string& sql, uint32_t code, const std::string& part,
                     const fs::path& source = {}) {
    const ComError e = ErrorOf(sql, source);
    EXPECT_EQ(e.code(), code) << source << ": " << sql;
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

// The values of the current record, "<null>" for Null, via CStr.
std::string Record(RecordSet& rs) {
  std::string out;
  for (int i = 0; i < rs.FieldCount(); ++i) {
    const Variant v = rs.Item(i).Value();
    out.append(i ? "|" : "").append(v.IsNull() ? std::string("<null>") : v.AsString());
  }
  return out;
}

// Records in order and their texts are compared with SQLite's own by the statement shapes
// test, moves by the cursor record set's.
TEST_F(DataServerTest, EveryDeclaredTypeWithValuesAndNulls) {
  db_->Exec(
      "CREATE TABLE T(a INTEGER, b BIGINT, c SMALLINT, d TINYINT, e REAL, f FLOAT, g DOUBLE, "
      "h NUMERIC(10,2), i DECIMAL, j CHAR(5), k NCHAR(4), l VARCHAR(40), m NVARCHAR(30), n TEXT, "
      "o CLOB, p DATE, q TIME, r DATETIME, s TIMESTAMP, t BOOLEAN, u BIT, v BLOB, w BINARY(8), "
      "x CURRENCY, y MONEY)");
  db_->Exec(
      "INSERT INTO T VALUES (7, 5000000000, 2, 255, 1.5, 2.5, 3.5, 12.25, 4, 'abc', 'de', "
      "'text', 'wide', 'long', 'clob', '2009-03-01', '14:05:00', '2009-03-01 14:05:00', "
      "'2009-03-01T14:05', 1, 0, x'0102', x'ff', 12.5, 3)");
  db_->Exec("INSERT INTO T DEFAULT VALUES");  // nulls everywhere
  auto rs = Query("SELECT * FROM T");
  const int32_t types[] = {3,   20,  2,   17,  5,   5,   5,  131, 131, 129, 130, 200, 202,
                           200, 200, 133, 134, 135, 135, 11, 11,  205, 128, 6,   6};
  const int32_t sizes[] = {4,         8,         2,  1, 8,  8,  8, 19, 19,         5, 4, 40, 30,
                           536870910, 536870910, 10, 8, 19, 19, 2, 2,  2147483647, 8, 8, 8};
  ASSERT_EQ(rs->FieldCount(), 25);
  for (int i = 0; i < 25; ++i) {
    EXPECT_EQ(rs->Item(i).Name(), std::string(1, static_cast<char>('a' + i)));
    EXPECT_EQ(std::make_pair(rs->Item(i).Type(), rs->Item(i).DefinedSize()),
              std::make_pair(types[i], sizes[i]))
        << i;
  }
  const double k1405 = (14 * 60 + 5) / 1440.0;
  // clang-format off
  const std::pair<int, Variant> values[] = {
      {0, Variant(int32_t{7})}, {1, Variant(5000000000.0)}, {3, Variant(int32_t{255})},
      {4, Variant(1.5)}, {7, Variant(12.25)}, {8, Variant(int32_t{4})}, {9, Variant("abc")},
      {15, Variant::Date(39873.0)}, {16, Variant::Date(k1405)},
      {17, Variant::Date(39873.0 + k1405)}, {18, Variant::Date(39873.0 + k1405)},
      {19, Variant::Boolean(true)}, {20, Variant::Boolean(false)},
      {23, Variant::CurrencyScaled(125000)}};
  // clang-format on
  for (const auto& [i, v] : values) EXPECT_EQ(rs->Item(i).Value(), v) << i;
  EXPECT_TRUE(rs->Item(21).Value().IsArray());
  rs->MoveNext();
  for (int i = 0; i < 25; ++i) EXPECT_TRUE(rs->Item(i).Value().IsNull()) << i;
}

TEST_F(DataServerTest, UnicodeNamesAndValuesAndDuplicateRows) {
  db_->Exec("CREATE TABLE \"Straße\"(\"Größe\" VARCHAR(10), \"名前\" TEXT)");
  db_->Exec("INSERT INTO \"Straße\" VALUES ('ÄÖÜ', '日本語'), ('ÄÖÜ', '日本語'), ('x', '😀')");
  auto all = Query("SELECT * FROM \"Straße\"");
  auto distinct = Query("SELECT DISTINCT * FROM \"Straße\"");
  for (auto* rs : {all.get(), distinct.get()})
    EXPECT_EQ(rs->Item(0).Name() + "|" + rs->Item(1).Name() + "|" + Record(*rs),
              "Größe|名前|ÄÖÜ|日本語");
  EXPECT_EQ(all->RecordCount(), 3);
  EXPECT_EQ(distinct->RecordCount(), 2);
  all->Move(2);
  EXPECT_EQ(Record(*all), "x|😀");
}

TEST_F(DataServerTest, ZeroRowsStillNameTheirColumnsAndErrorNumbers) {
  CreateOrders(*db_, 5);
  auto none = Query("SELECT * FROM Orders WHERE 1=0");
  EXPECT_EQ(none->State(), 1);
  EXPECT_TRUE(none->Eof() && none->Bof());
  EXPECT_EQ(none->RecordCount(), 0);
  // The column names of a table, as the data source page reads them.
  ASSERT_EQ(none->FieldCount(), 6);
  EXPECT_EQ(none->Item(5).Name(), "Note");
  EXPECT_EQ(none->Item(5).DefinedSize(), 200);
  for (const char* bad : {"SELEC 1", "SELECT 1; SELECT 2", ""})
    EXPECT_EQ(ErrorOf(bad).code(), kErrInvalidStatement) << bad;

  SqliteServerOptions with_login;
  with_login.user = "op";
  with_login.password = "secret";
  auto guarded = Server(with_login);
  const std::string path = db_path_.string();
  EXPECT_EQ(Raised([&] { guarded->Query(path, "", "SELECT 1", "op", "wrong"); }).code(),
            kErrLoginFailed);
  EXPECT_EQ(Raised([&] { guarded->ListSources(path, "", ""); }).code(), kErrLoginFailed);
  EXPECT_EQ(guarded->Query(path, "", "SELECT 1", "op", "secret")->RecordCount(), 1);
  // Without configured credentials any pair is accepted.
  EXPECT_EQ(server_->Query(path, "", "SELECT 1", "sa", "x")->RecordCount(), 1);

  server_->SetServerType(1);
  const ComError server = ErrorOf("SELECT 1", "Srv;DATABASE=Plant");
  EXPECT_EQ(server.code(), kErrSourceUnusable);
  EXPECT_EQ(server.description(), "Server databases are not supported yet: Srv;DATABASE=Plant");
  EXPECT_EQ(Raised([&] { server_->ListCatalogs(); }).code(), kErrSourceUnusable);
}

// Each unusable source is named with its cause, for reading and for writing alike; a locked
// one fails after the busy timeout and serves again once the lock is gone.
TEST_F(DataServerTest, UnusableSourcesAreNamedWithTheirCause) {
  CreateOrders(*db_, 5);
  TestDb locker(db_path_);
  locker.Exec("BEGIN EXCLUSIVE");
  const fs::path missing = folder_ / "nothing.db";
  const fs::path junk = folder_.Write("junk.db", std::string(4096, 'j'));
  const std::tuple<fs::path, std::string, uint32_t> cases[] = {
      {missing, missing.string(), kErrSourceUnusable},
      {folder_.path(), "directory", kErrSourceUnusable},
      {junk, "not a database", kErrSourceDamaged},
      {junk, junk.string(), kErrSourceDamaged},
      {db_path_, "locked", kErrSourceLocked}};
  for (const auto& [source, part, code] : cases) {
    for (const char* sql : {"SELECT * FROM Orders", "UPDATE Orders SET Qty = 0"})
      ExpectRefused(sql, code, part, source);
  }
  EXPECT_FALSE(fs::exists(missing));  // it stays missing
  locker.Exec("COMMIT");
  EXPECT_EQ(Query("SELECT * FROM Orders")->RecordCount(), 5);
}

TEST_F(DataServerTest, ReadingNeverWritesTheFileAndRecordSetsOutliveTheirServer) {
  CreateOrders(*db_, 300);
  db_.reset();
  auto bytes = [&] {
    std::stringstream s;
    s << std::ifstream(db_path_, std::ios::binary).rdbuf();
    return s.str();
  };
  const std::string before = bytes();
  const auto mtime = fs::last_write_time(db_path_);
  EXPECT_EQ(Query("SELECT * FROM Orders WHERE Qty < 100")->RecordCount(), 99);  // Qty = Id here
  EXPECT_EQ(Query("SELECT Qty, count(*) FROM Orders GROUP BY Qty")->RecordCount(), 300);
  EXPECT_EQ(server_->ListSources(db_path_.string(), "", "")->RecordCount(), 1);
  EXPECT_EQ(bytes(), before);
  EXPECT_EQ(fs::last_write_time(db_path_), mtime);
  EXPECT_FALSE(fs::exists(db_path_.string() + "-journal"));
  // The record set outlives its server; the snapshot store goes when the last of them does.
  auto survivor = Query("SELECT * FROM Orders");  // rollback journal: a private copy
  server_.reset();
  survivor->Move(50);
  EXPECT_EQ(survivor->Item(0).Value(), Variant(int32_t{51}));
  survivor.reset();
  EXPECT_TRUE(fs::is_empty(folder_ / "snap"));
}

TEST_F(DataServerTest, SourcesCatalogsAndMachineName) {
  CreateOrders(*db_, 1);
  db_->Exec("CREATE TABLE Alpha(x); CREATE VIEW Zeta AS SELECT 1; CREATE INDEX ix ON Alpha(x)");
  auto tables = server_->ListSources("Plant", "", "");  // a data source name
  EXPECT_EQ(tables->Item(0).Name(), "TABLE_NAME");
  EXPECT_EQ(testing::AllRows(*tables),
            (std::vector<std::vector<Variant>>{
                {Variant("Alpha")}, {Variant("Orders")}, {Variant("Zeta")}}));
  EXPECT_EQ(server_->ListAll("Plant", "SELECT * FROM Alpha", "", "")->FieldCount(), 1);
  SqliteServerOptions named;
  named.machine_name = "PLANT-SRV-1";
  named.list_dsns = [] { return std::vector<std::string>{"Plant", "Lab"}; };
  auto catalogs = Server(named);
  EXPECT_EQ(catalogs->MachineName(), "PLANT-SRV-1");
  auto list = catalogs->ListCatalogs();
  ASSERT_EQ(list->RecordCount(), 2);
  list->MoveNext();
  EXPECT_EQ(list->Item(0).Value(), Variant("Lab"));
  EXPECT_EQ(server_->ListCatalogs()->RecordCount(), 0);
}

TEST_F(DataServerTest, WalDatabaseWithNoOtherConnectionOpen) {
  CreateOrders(*db_, 40, /*wal=*/true);
  db_.reset();  // the last writer closes: SQLite checkpoints and removes the -wal file
  auto rs = Query("SELECT * FROM Orders WHERE Qty >= 10 ORDER BY Id DESC");
  EXPECT_EQ(rs->RecordCount(), 31);  // Ids 40 down to 10
  rs->Move(30);
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{10}));
  // The control's own UPDATE commits while the record set is open.
  EXPECT_EQ(Query("UPDATE Orders SET Customer = 'Z' WHERE Id = 10")->State(), 0);
  EXPECT_EQ(rs->Item(1).Value(), Variant("C10"));
}

class SourceFaultTest : public DataServerTest {
 protected:
  void TearDown() override { FaultVfs::Shared().Disarm(); }
  // Orders in the test's plant.db, the test's connection closed.
  void MakeOrders(bool wal) {
    CreateOrders(*db_, 300, wal);
    db_.reset();
  }
  FaultVfs& vfs_ = FaultVfs::Shared();
};

TEST_F(SourceFaultTest, EachFailureIsReportedAsWhatItIs) {
  MakeOrders(false);
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* sql;
    uint32_t code;
    std::string part;
  } cases[] = {
      {"read fails", [&] { vfs_.Arm(FaultOp::kRead, 3, "plant.db"); }, "SELECT * FROM Orders",
       kErrDiskFault, "The disk failed while using " + db_path_.string()},
      {"database disk full", [&] { vfs_.Arm(FaultOp::kWrite, 1, "plant.db", SQLITE_FULL); },
       "UPDATE Orders SET Qty = 0 WHERE Id = 1", kErrDiskFull, "plant.db is full"},
      {"damaged page",
       [&] {
         std::fstream file(db_path_, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(4096 + 8);
         file << std::string(2000, '\xff');
       },
       "SELECT * FROM Orders", kErrSourceDamaged, "plant.db is damaged"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    ExpectRefused(c.sql, c.code, c.part);
    vfs_.Disarm();
  }
}

// A WAL database this user may only read (its file or its folder without write permission)
// is read as it stands: no -wal or -shm appears beside it, not even for a privileged user.
TEST_F(SourceFaultTest, ReadOnlyWalDatabaseIsReadWithoutFilesBesideIt) {
  MakeOrders(true);
  const fs::path wal = db_path_.string() + "-wal", shm = db_path_.string() + "-shm";
  ASSERT_FALSE(fs::exists(wal));
  EXPECT_FALSE(sqlite::ReadsImmutable(db_path_));  // writable: SQLite's own WAL reading
  for (const fs::path& locked : {db_path_, folder_.path()}) {
    SCOPED_TRACE(locked);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    EXPECT_TRUE(sqlite::ReadsImmutable(db_path_));
    EXPECT_EQ(Query("SELECT * FROM Orders WHERE Qty < 100")->RecordCount(), 99);
    EXPECT_FALSE(fs::exists(wal) || fs::exists(shm));
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
  }
  // Nothing guards an immutable read against a writer starting meanwhile: a file that changed
  // while it was read is refused, not shown half old and half new.
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0555), 0);
  vfs_.Arm(FaultOp::kRead, INT_MAX, "plant.db");
  Query("SELECT * FROM Orders");
  vfs_.Arm(FaultOp::kRead, vfs_.calls(), "plant.db", SQLITE_OK, [&] {  // the last read
    fs::last_write_time(db_path_, fs::last_write_time(db_path_) + std::chrono::hours(1));
  });
  const platform::ComError e = Raised([&] { Query("SELECT * FROM Orders"); });
  EXPECT_TRUE(vfs_.fired());
  EXPECT_EQ(e.code(), kErrSourceLocked);
  EXPECT_NE(e.description().find("was changed by another program"), std::string::npos);
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0755), 0);
  // A writer has it open: its -wal holds changes, which only SQLite's WAL reading sees.
  TestDb writer(db_path_);
  writer.Exec("PRAGMA wal_autocheckpoint=0; DELETE FROM Orders WHERE Id > 10");
  ASSERT_EQ(::chmod(db_path_.c_str(), 0444), 0);
  EXPECT_FALSE(sqlite::ReadsImmutable(db_path_));
  EXPECT_EQ(Query("SELECT * FROM Orders")->RecordCount(), 10);
  ASSERT_EQ(::chmod(db_path_.c_str(), 0644), 0);
}

// A Date within half a millisecond of `expected`.
void ExpectDate(const Variant& value, double expected, const std::string& what) {
  ASSERT_EQ(value.type(), platform::VarType::Date) << what;
  EXPECT_LT(std::abs(value.AsDouble() - expected), 0.5 / 86400000.0) << what;
}

TEST_F(DataServerTest, WriteEachEscapeFormIsWrittenAndReadBackToTheMillisecond) {
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

TEST_F(DataServerTest, WriteRowChangedMeanwhileOrDuplicatedIsRefusedAndNothingIsWritten) {
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

TEST_F(DataServerTest, WriteOtherCommandsRunWithoutTheRowRuleAndQueriesUnderstandEscapesToo) {
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
  // Only the first word is the verb: the DELETE of a trigger is no row change.
  Query("CREATE TRIGGER LogKept AFTER DELETE ON Log BEGIN SELECT 1; END");
  // A WITH before an UPDATE does not hide it from the row rule, nor a word inside the WITH.
  EXPECT_EQ(
      ErrorOf("WITH k AS (SELECT replace('a', 'a', 'b')) UPDATE Orders SET Qty = 0 WHERE Id > 1")
          .code(),
      kErrRowNotIdentified);
}

TEST_F(DataServerTest, WriteRejectedStatementsKeepSQLitesMessageAndChangeNothing) {
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

// A statement that yields rows is a query, read on a read-only connection, even when it
// writes to make them.
TEST_F(DataServerTest, WriteDisguisedAsAQueryIsRefusedAndChangesNothing) {
  CreateOrders(*db_, 5);
  for (const char* sql : {"WITH x AS (SELECT 2) DELETE FROM Orders WHERE Id IN x RETURNING Id",
                          "UPDATE Orders SET Qty = 9 WHERE Id = 1 RETURNING Qty"})
    ExpectRefused(sql, kErrInvalidStatement, "a query may only read");
  EXPECT_EQ(db_->Text("SELECT count(*) || ':' || sum(Qty) FROM Orders"), "5:15");
  ExpectNoTransactionOpen();
}

TEST_F(DataServerTest, WriteLongTextQuotesAndUnicodeAreStoredWhole) {
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

TEST_F(DataServerTest, WriteHeldOffByReadersOrLockedByAnotherWriterFailsAfterTheBusyTimeout) {
  {
    // A commit that readers hold off is rolled back (rollback journal: it needs them gone).
    CreateOrders(*db_, 5);
    TestDb reader(db_path_);
    reader.Exec("BEGIN; SELECT count(*) FROM Orders");
    ExpectRefused(kUpdate3, kErrSourceLocked, "busy with other readers");
    ExpectRefused("INSERT INTO Orders(Id) VALUES (6)", kErrSourceLocked, "busy with other readers");
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

TEST_F(DataServerTest, WriteReadOnlyFileOrFolderIsRefusedAndStillReadable) {
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

TEST_F(DataServerTest, WriteAFileReplacedBetweenWritesIsWrittenNotItsPredecessor) {
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

// The kept connection is the same one (its temporary table is there), with the busy timeout of
// its latest use.
TEST_F(DataServerTest, WriteConnectionsAreKeptWithTheLatestBusyTimeout) {
  CreateOrders(*db_, 1);
  WriteConnections connections;
  const auto answer = [](sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    std::string text;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
      text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return text;
  };
  sqlite3* db = connections.For(db_path_, std::chrono::milliseconds(70));
  ASSERT_EQ(sqlite3_exec(db, "CREATE TEMP TABLE Kept(x)", nullptr, nullptr, nullptr), SQLITE_OK);
  db = connections.For(db_path_, std::chrono::milliseconds(90));
  EXPECT_EQ(answer(db, "SELECT count(*) FROM temp.sqlite_master WHERE name = 'Kept'"), "1");
  EXPECT_EQ(answer(db, "PRAGMA busy_timeout"), "90");
}

}  // namespace
}  // namespace tabulo::host::sqlite
