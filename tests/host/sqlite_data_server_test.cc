// The embedded data server on real SQLite files: error numbers, sources, record sets as the
// control uses them, field types, that reading never writes the database file, and failures
// that must not look like another (damaged file, failing or full disk, a read-only WAL file).
#include "host/sqlite/sqlite_data_server.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <climits>
#include <sstream>

#include "common/fault_vfs.h"
#include "host/field_types.h"
#include "host/sqlite/connection.h"
#include "orders_db.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;
using platform::Variant;
using testing::CreateOrders;
using testing::Raised;
using testing::TestDb;

class DataServerTest : public testing::ServerTest {
 protected:
  std::shared_ptr<RecordSet> QueryOf(const fs::path& source, const std::string& sql) {
    return server_->Query(source.string(), "", sql, "", "");
  }
  // Code and description of the error a query of `source` raises.
  std::pair<uint32_t, std::string> Refusal(const fs::path& source, const std::string& sql) {
    const ComError e = Raised([&] { QueryOf(source, sql); });
    return {e.code(), e.description()};
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
// test, moves by the cursor record set's tests.
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
    EXPECT_EQ(Refusal(db_path_, bad).first, kErrInvalidStatement) << bad;

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
  EXPECT_EQ(
      Refusal("Srv;DATABASE=Plant", "SELECT 1"),
      std::make_pair(kErrSourceUnusable,
                     std::string("Server databases are not supported yet: Srv;DATABASE=Plant")));
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
    for (const char* sql : {"SELECT * FROM Orders", "UPDATE Orders SET Qty = 0"}) {
      const auto e = Refusal(source, sql);
      EXPECT_EQ(e.first, code) << source << ": " << sql;
      EXPECT_NE(e.second.find(part), std::string::npos) << e.second;
    }
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
  ASSERT_EQ(tables->RecordCount(), 3);
  EXPECT_EQ(tables->Item(0).Name(), "TABLE_NAME");
  std::string names;
  for (; !tables->Eof(); tables->MoveNext()) names += Record(*tables) + " ";
  EXPECT_EQ(names, "Alpha Orders Zeta ");
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

namespace fs = std::filesystem;
using test_support::FaultOp;
using test_support::FaultVfs;

class SourceFaultTest : public testing::ServerTest {
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
    const platform::ComError e = Raised([&] { Query(c.sql); });
    EXPECT_EQ(e.code(), c.code);
    EXPECT_NE(e.description().find(c.part), std::string::npos) << e.description();
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

}  // namespace
}  // namespace tabulo::host::sqlite
