// The embedded data server on real SQLite files: error numbers, sources, record sets as the
// control uses them, field types, and that reading never writes the database file.
#include "host/sqlite/sqlite_data_server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "orders_db.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;
using platform::Variant;
using testing::CreateOrders;
using testing::TestDb;
using testing::TestFolder;

// prefix followed by the number (appended: GCC 12 warns falsely on "literal" + to_string).
std::string Text(std::string prefix, int number) {
  prefix.append(std::to_string(number));
  return prefix;
}

class DataServerTest : public ::testing::Test {
 protected:
  std::shared_ptr<DataServer> Server(SqliteServerOptions options = {}) {
    options.temp_folder = folder_ / "snap";
    options.busy_timeout = std::chrono::milliseconds(50);
    options.resolve_dsn = [this](std::string_view dsn) -> std::optional<std::string> {
      if (dsn == "Plant") return db_path_.string();
      return std::nullopt;
    };
    return NewSqliteDataServer(std::move(options));
  }

  std::shared_ptr<RecordSet> Query(const std::string& sql) {
    return server_->Query(db_path_.string(), "", sql, "", "");
  }

  // The error a call raises (the test fails when it raises none).
  ComError ErrorOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const ComError& e) {
      return e;
    }
    ADD_FAILURE() << "no error raised";
    return ComError(0, "");
  }

  TestFolder folder_;
  fs::path db_path_ = folder_ / "plant.db";
  std::unique_ptr<TestDb> db_ = std::make_unique<TestDb>(db_path_);
  std::shared_ptr<DataServer> server_ = Server();
};

TEST_F(DataServerTest, WindowReadsAsTheControlDoes) {
  CreateOrders(*db_, 1000);
  auto rs = Query("SELECT * FROM Orders WHERE Qty < 400 ORDER BY Id DESC");
  ASSERT_EQ(rs->State(), 1);
  ASSERT_EQ(rs->RecordCount(), 800);  // Ids 1..1000 with Id mod 500 < 400
  EXPECT_EQ(rs->FieldCount(), 6);
  // Ids in order: 899..500 are skipped. Record k (0-based) is 1000-k for k < 100... compute.
  std::vector<int32_t> ids;
  for (int32_t id = 1000; id >= 1; --id) {
    if (id % 500 < 400) ids.push_back(id);
  }
  for (int64_t target : {int64_t{0}, int64_t{399}, int64_t{799}}) {
    rs->MoveFirst();
    rs->Move(target);
    EXPECT_FALSE(rs->Eof());
    EXPECT_FALSE(rs->Bof());
    EXPECT_EQ(rs->Item(0).Value(), Variant(ids[target])) << target;
  }
  // A window of 30 from the middle by MoveNext.
  rs->MoveFirst();
  rs->Move(385);
  for (int k = 0; k < 30; ++k) {
    const int32_t id = ids[385 + k];
    EXPECT_EQ(rs->Item(0).Value(), Variant(id));
    EXPECT_EQ(rs->Item(1).Value(), Variant(Text("C", id % 97)));
    EXPECT_EQ(rs->Item(3).Value(), Variant(id * 0.5));
    if (id % 7 == 0) {
      EXPECT_TRUE(rs->Item(5).Value().IsNull());
    } else {
      EXPECT_EQ(rs->Item(5).Value(), Variant(Text("n", id)));
    }
    rs->MoveNext();
  }
  rs->MoveFirst();
  rs->Move(800);
  EXPECT_TRUE(rs->Eof());
  rs->MovePrevious();
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{1}));
  rs->Close();
  EXPECT_EQ(rs->State(), 0);
}

TEST_F(DataServerTest, PlacedIsATimestampReadAsDate) {
  CreateOrders(*db_, 3);
  auto rs = Query("SELECT Placed FROM Orders WHERE Id = 2");
  EXPECT_EQ(rs->Item(0).Type(), 135);
  // 2020-01-03 10:30 is day 43833 since 1899-12-30.
  EXPECT_EQ(rs->Item(0).Value(), Variant::Date(43833.0 + 10.5 / 24));
}

TEST_F(DataServerTest, WrittenValueChangesOnlyTheRecordSet) {
  CreateOrders(*db_, 10);
  auto rs = Query("SELECT Id, Customer FROM Orders");
  rs->Move(4);
  rs->Item(1).SetValue(Variant("Acme"));
  rs->MoveFirst();
  rs->Move(4);
  EXPECT_EQ(rs->Item(1).Value(), Variant("Acme"));
  auto again = Query("SELECT Customer FROM Orders WHERE Id = 5");
  EXPECT_EQ(again->Item(0).Value(), Variant("C5"));
}

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
    EXPECT_EQ(rs->Item(i).Type(), types[i]) << i;
    EXPECT_EQ(rs->Item(i).DefinedSize(), sizes[i]) << i;
  }
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{7}));
  EXPECT_EQ(rs->Item(1).Value(), Variant(5000000000.0));
  EXPECT_EQ(rs->Item(3).Value(), Variant(int32_t{255}));
  EXPECT_EQ(rs->Item(4).Value(), Variant(1.5));
  EXPECT_EQ(rs->Item(7).Value(), Variant(12.25));
  EXPECT_EQ(rs->Item(8).Value(), Variant(int32_t{4}));
  EXPECT_EQ(rs->Item(9).Value(), Variant("abc"));
  EXPECT_EQ(rs->Item(15).Value(), Variant::Date(39873.0));
  EXPECT_EQ(rs->Item(16).Value(), Variant::Date((14 * 60 + 5) / 1440.0));
  EXPECT_EQ(rs->Item(17).Value(), Variant::Date(39873.0 + (14 * 60 + 5) / 1440.0));
  EXPECT_EQ(rs->Item(18).Value(), Variant::Date(39873.0 + (14 * 60 + 5) / 1440.0));
  EXPECT_EQ(rs->Item(19).Value(), Variant::Boolean(true));
  EXPECT_EQ(rs->Item(20).Value(), Variant::Boolean(false));
  EXPECT_TRUE(rs->Item(21).Value().IsArray());
  EXPECT_EQ(rs->Item(23).Value(), Variant::CurrencyScaled(125000));
  rs->MoveNext();
  for (int i = 0; i < 25; ++i) EXPECT_TRUE(rs->Item(i).Value().IsNull()) << i;
}

TEST_F(DataServerTest, UnicodeNamesAndValuesAndDuplicateRows) {
  db_->Exec("CREATE TABLE \"Straße\"(\"Größe\" VARCHAR(10), \"名前\" TEXT)");
  db_->Exec("INSERT INTO \"Straße\" VALUES ('ÄÖÜ', '日本語'), ('ÄÖÜ', '日本語'), ('x', '😀')");
  for (const char* sql : {"SELECT * FROM \"Straße\"", "SELECT DISTINCT * FROM \"Straße\""}) {
    auto rs = Query(sql);
    EXPECT_EQ(rs->Item(0).Name(), "Größe");
    EXPECT_EQ(rs->Item(1).Name(), "名前");
    EXPECT_EQ(rs->Item(1).Value(), Variant("日本語"));
  }
  auto all = Query("SELECT * FROM \"Straße\"");
  EXPECT_EQ(all->RecordCount(), 3);
  all->MoveNext();
  EXPECT_EQ(all->Item(0).Value(), Variant("ÄÖÜ"));
  all->MoveNext();
  EXPECT_EQ(all->Item(1).Value(), Variant("😀"));
  EXPECT_EQ(Query("SELECT DISTINCT * FROM \"Straße\"")->RecordCount(), 2);
}

TEST_F(DataServerTest, ZeroRowsIsBothEofAndBof) {
  CreateOrders(*db_, 5);
  auto rs = Query("SELECT * FROM Orders WHERE 1=0");
  EXPECT_EQ(rs->State(), 1);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 0);
  // The column names of a table, as the data source page reads them.
  ASSERT_EQ(rs->FieldCount(), 6);
  EXPECT_EQ(rs->Item(5).Name(), "Note");
  EXPECT_EQ(rs->Item(5).DefinedSize(), 200);
}

TEST_F(DataServerTest, ResultsWithoutRowids) {
  CreateOrders(*db_, 200);
  db_->Exec("CREATE VIEW Recent AS SELECT Id, Customer FROM Orders WHERE Id > 150");
  EXPECT_EQ(Query("SELECT * FROM Recent")->RecordCount(), 50);
  auto grouped = Query(
      "SELECT Customer, count(*) AS N FROM Orders GROUP BY Customer ORDER BY N "
      "DESC, Customer");
  EXPECT_EQ(grouped->RecordCount(), 97);
  EXPECT_EQ(grouped->Item(1).Value(), Variant(int32_t{3}));
  EXPECT_EQ(grouped->Item(1).Type(), 3);
  auto join = Query("SELECT a.Id, b.Id FROM Orders a JOIN Orders b ON b.Id = a.Id * 2");
  EXPECT_EQ(join->RecordCount(), 100);
  join->Move(99);
  EXPECT_EQ(join->Item(1).Value(), Variant(int32_t{200}));
}

TEST_F(DataServerTest, StatementsThatAreNotQueriesRunAndYieldAClosedRecordSet) {
  CreateOrders(*db_, 5);
  auto rs = Query("UPDATE Orders SET Customer = 'Z' WHERE Id = 3");
  EXPECT_EQ(rs->State(), 0);
  EXPECT_EQ(Query("SELECT Customer FROM Orders WHERE Id = 3")->Item(0).Value(), Variant("Z"));
  // SQLite has no query without columns; a statement without result columns is a command.
  EXPECT_EQ(Query("CREATE TABLE Empty(x INTEGER)")->State(), 0);
  EXPECT_EQ(Query("SELECT * FROM Empty")->RecordCount(), 0);
  auto dup = ErrorOf([&] { Query("INSERT INTO Orders(Id) VALUES (1)"); });
  EXPECT_EQ(dup.code(), 0x80040E14u);
  EXPECT_NE(dup.description().find("UNIQUE"), std::string::npos) << dup.description();
}

TEST_F(DataServerTest, ErrorNumbers) {
  CreateOrders(*db_, 5);
  auto bad = ErrorOf([&] { Query("SELECT * FROM Nope"); });
  EXPECT_EQ(bad.code(), 0x80040E14u);
  EXPECT_EQ(bad.description(), "no such table: Nope");
  EXPECT_EQ(ErrorOf([&] { Query("SELEC 1"); }).code(), 0x80040E14u);
  EXPECT_EQ(ErrorOf([&] { Query("SELECT 1; SELECT 2"); }).code(), 0x80040E14u);
  EXPECT_EQ(ErrorOf([&] { Query(""); }).code(), 0x80040E14u);

  SqliteServerOptions with_login;
  with_login.user = "op";
  with_login.password = "secret";
  auto guarded = Server(with_login);
  auto login = ErrorOf([&] { guarded->Query(db_path_.string(), "", "SELECT 1", "op", "wrong"); });
  EXPECT_EQ(login.code(), 0x80040E4Du);
  EXPECT_EQ(ErrorOf([&] { guarded->ListSources(db_path_.string(), "", ""); }).code(), 0x80040E4Du);
  EXPECT_EQ(guarded->Query(db_path_.string(), "", "SELECT 1", "op", "secret")->RecordCount(), 1);
  // Without configured credentials any pair is accepted.
  EXPECT_EQ(server_->Query(db_path_.string(), "", "SELECT 1", "sa", "x")->RecordCount(), 1);

  server_->SetServerType(1);
  EXPECT_EQ(server_->ServerType(), 1);
  auto server_db = ErrorOf([&] { server_->Query("Srv;DATABASE=Plant", "", "SELECT 1", "", ""); });
  EXPECT_EQ(server_db.code(), 0x80004005u);
  EXPECT_EQ(server_db.description(), "Server databases are not supported yet: Srv;DATABASE=Plant");
  EXPECT_EQ(ErrorOf([&] { server_->ListCatalogs(); }).code(), 0x80004005u);
}

TEST_F(DataServerTest, MissingFileStaysMissing) {
  const fs::path missing = folder_ / "nothing.db";
  auto e = ErrorOf([&] { server_->Query(missing.string(), "", "SELECT 1", "", ""); });
  EXPECT_EQ(e.code(), 0x80004005u);
  EXPECT_NE(e.description().find(missing.string()), std::string::npos);
  EXPECT_EQ(
      ErrorOf([&] { server_->Query(missing.string(), "", "UPDATE t SET a = 1", "", ""); }).code(),
      0x80004005u);
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(DataServerTest, DirectoryAndNonDatabaseFile) {
  auto dir = ErrorOf([&] { server_->Query(folder_.path().string(), "", "SELECT 1", "", ""); });
  EXPECT_EQ(dir.code(), 0x80004005u);
  EXPECT_NE(dir.description().find("directory"), std::string::npos);

  const fs::path junk = folder_ / "junk.db";
  std::ofstream(junk) << std::string(4096, 'j');
  auto notadb = ErrorOf([&] { server_->Query(junk.string(), "", "SELECT 1", "", ""); });
  EXPECT_EQ(notadb.code(), 0x80004005u);
  EXPECT_NE(notadb.description().find("not a database"), std::string::npos);
  EXPECT_NE(notadb.description().find(junk.string()), std::string::npos);
}

TEST_F(DataServerTest, LockedDatabaseFailsAfterTheBusyTimeout) {
  CreateOrders(*db_, 5);
  TestDb locker(db_path_);
  locker.Exec("BEGIN EXCLUSIVE");
  auto e = ErrorOf([&] { Query("SELECT * FROM Orders"); });
  EXPECT_EQ(e.code(), 0x80004005u);
  EXPECT_NE(e.description().find("locked"), std::string::npos) << e.description();
  EXPECT_EQ(ErrorOf([&] { Query("UPDATE Orders SET Qty = 0"); }).code(), 0x80004005u);
  locker.Exec("COMMIT");
  EXPECT_EQ(Query("SELECT * FROM Orders")->RecordCount(), 5);
}

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(DataServerTest, ReadingNeverWritesTheDatabaseFile) {
  CreateOrders(*db_, 300);
  db_.reset();
  const std::string before = Bytes(db_path_);
  const auto mtime = fs::last_write_time(db_path_);
  {
    auto rowid = Query("SELECT * FROM Orders WHERE Qty < 100");
    auto general = Query("SELECT Qty, count(*) FROM Orders GROUP BY Qty");
    auto tables = server_->ListSources(db_path_.string(), "", "");
    EXPECT_EQ(rowid->RecordCount(), 99);  // Qty = Id for Ids below 500
    EXPECT_EQ(general->RecordCount(), 300);
    EXPECT_EQ(tables->RecordCount(), 1);
  }
  EXPECT_EQ(Bytes(db_path_), before);
  EXPECT_EQ(fs::last_write_time(db_path_), mtime);
  EXPECT_FALSE(fs::exists(db_path_.string() + "-journal"));
}

TEST_F(DataServerTest, SnapshotFilesGoAwayWithTheirRecordSets) {
  CreateOrders(*db_, 100);
  auto count_files = [&] {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder_ / "snap"))
      n += e.path().extension() != ".lock";
    return n;
  };
  auto closed = Query("SELECT * FROM Orders");  // rollback journal: a private copy
  auto dropped = Query("SELECT * FROM Orders");
  EXPECT_EQ(count_files(), 2u);
  closed->Close();
  EXPECT_EQ(count_files(), 1u);
  dropped.reset();
  EXPECT_EQ(count_files(), 0u);
  // The record set outlives its server; the store goes when the last of them does.
  auto survivor = Query("SELECT * FROM Orders");
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
  ASSERT_EQ(tables->RecordCount(), 3);
  EXPECT_EQ(tables->Item(0).Name(), "TABLE_NAME");
  std::vector<std::string> names;
  for (; !tables->Eof(); tables->MoveNext()) names.push_back(tables->Item(0).Value().AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Orders", "Zeta"}));
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
  EXPECT_EQ(server_->ServerType(), 0);
}

}  // namespace
}  // namespace tabulo::host::sqlite

namespace tabulo::host::sqlite {
namespace {

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

}  // namespace
}  // namespace tabulo::host::sqlite
