// The PostgreSQL data server against a throw-away server: error numbers, types, the record
// set's guarantees, the write rules, the listings; the ServerType router needs no server.
#include <gtest/gtest.h>

#include "common/error_of.h"
#include "common/pg_fixture.h"
#include "host/cluster_manager.h"
#include "host/field_types.h"
#include "host/pg/pg_data_server.h"
#include "host/server_type_router.h"
#include "orders_db.h"

namespace tabulo::host {
namespace {

using pg::NewPgDataServer;
using pg::PgServerOptions;
using platform::Variant;
using test_support::ErrorOf;
using test_support::PgFixture;
using testing::AllRows;
using testing::Bytes;

class PgDataServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const PgFixture::Instance& pg = PgFixture::Server();
    TABULO_REQUIRE_PG(pg);
    static bool loaded = false;
    if (!loaded) {
      PgFixture::Psql(pg,
                      "CREATE DATABASE plant; CREATE ROLE viewer LOGIN PASSWORD 'pw';"
                      "GRANT CREATE ON DATABASE plant TO viewer;"
                      "ALTER DATABASE plant SET timezone = 'UTC';");
      PgFixture::Psql(pg,
                      "CREATE TABLE Orders(Id int PRIMARY KEY, Customer varchar(40), Qty int,"
                      " Price float8, Placed timestamp);"
                      "INSERT INTO Orders SELECT i, 'c' || (i % 3), i % 500, i / 4.0,"
                      " timestamp '2024-01-01' + i * interval '1 minute'"
                      " FROM generate_series(1, 1000) i;"
                      "CREATE VIEW Big AS SELECT * FROM Orders WHERE Qty > 100;"
                      "CREATE TABLE Secret(x int);"
                      "GRANT SELECT, UPDATE, DELETE ON Orders, Big TO viewer;"
                      "CREATE TABLE Kinds(b boolean, s smallint, i int, l bigint, r real,"
                      " n numeric(10,2), m money, d date, t time, ts timestamp,"
                      " tz timestamptz, c char(3), v varchar(7), x text, y bytea);"
                      "INSERT INTO Kinds VALUES (true, 7, -8, 5000000000, 1.5, 12.25, 3.5,"
                      " '2024-02-29', '13:45:10', '2020-01-01 00:00:37.5',"
                      " '2020-01-01 12:00:00+00', 'ab', 'seven', 'long', '\\x0102ff'),"
                      " (NULL, NULL, NULL, NULL, NULL, 12, NULL, NULL, NULL, NULL, NULL, NULL,"
                      " NULL, NULL, NULL);"
                      "GRANT SELECT ON Kinds TO viewer;",
                      "plant");
      loaded = true;
    }
    PgServerOptions options;
    options.connections["plant-db"] = {"127.0.0.1", pg.port, "plant", "viewer", "pw"};
    server_ = NewPgDataServer(options);
    server_->SetServerType(1);
    source_ = "plant-db;DATABASE=";
  }

  std::shared_ptr<RecordSet> Query(const std::string& sql) {
    return server_->Query(source_, "", sql, "", "");
  }
  Variant Cell(const std::string& sql, int64_t position = 0, int32_t field = 0) {
    auto rs = Query(sql);
    rs->Move(position);
    return rs->Item(field).Value();
  }

  std::shared_ptr<DataServer> server_;
  std::string source_;
};

TEST_F(PgDataServerTest, ErrorsMapToTheControlsNumbers) {
  const int port = PgFixture::Server().port;
  struct Row {
    std::string source, sql, user, password;
    uint32_t error;
  } rows[] = {
      {"plant-db", "SELECT 1", "viewer", "wrong", 0x80040E4D},
      {"plant-db", "SELECT 1", "nobody", "pw", 0x80040E4D},
      {"plant-db;DATABASE=nowhere", "SELECT 1", "", "", 0x80004005},
      {"127.0.0.1:1;DATABASE=plant", "SELECT 1", "viewer", "pw", 0x80004005},
      {"127.0.0.1:x", "SELECT 1", "viewer", "pw", 0x80004005},
      {"127.0.0.1:" + std::to_string(port) + ";DATABASE=plant", "SELECT 1", "viewer", "pw", 0},
      {"plant-db", "SELECT Id FROM Nowhere", "", "", 0x80040E14},
      {"plant-db", "SELECT 1; SELECT 2", "", "", 0x80040E14},
      {"plant-db", "SELECT {x '1'}", "", "", 0x80040E14},
      {"plant-db", "SELECT x FROM Secret", "", "", 0x80040E14},
      {"plant-db", "UPDATE Orders SET Qty = 1 WHERE Id = 0", "", "", 0x80040E38},
      {"plant-db", "UPDATE Orders SET Qty = 1 WHERE Id < 3", "", "", 0x80040E38},
      {"plant-db", "DELETE FROM Orders WHERE Id > 990", "", "", 0x80040E38},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source + " / " + row.sql + " / " + row.user);
    EXPECT_EQ(static_cast<uint32_t>(ErrorOf(
                  [&] { server_->Query(row.source, "", row.sql, row.user, row.password); })),
              row.error);
  }
  // The refused writes were rolled back.
  EXPECT_EQ(Cell("SELECT count(*) FROM Orders WHERE Qty = 1 OR Id > 990").AsLong(), 12);
  // The listings show what the login may read.
  EXPECT_EQ(AllRows(*server_->ListSources(source_, "", "")),
            (std::vector<std::vector<Variant>>{
                {Variant("big")}, {Variant("kinds")}, {Variant("orders")}}));
  EXPECT_EQ(server_->ListCatalogs()->Item(0).Value().AsString(), "plant-db");
}

TEST_F(PgDataServerTest, TypesAndValues) {
  auto rs = Query("SELECT * FROM Kinds ORDER BY i NULLS LAST");
  struct Row {
    int32_t type, size;
    Variant value;
  } rows[] = {
      {adBoolean, 2, Variant::Boolean(true)},
      {adSmallInt, 2, Variant::Long(7)},
      {adInteger, 4, Variant::Long(-8)},
      {adBigInt, 8, Variant::Double(5000000000.0)},
      {adSingle, 4, Variant::Single(1.5f)},
      {adNumeric, 10, Variant::Double(12.25)},
      {adCurrency, 8, Variant::CurrencyScaled(35000)},
      {adDBDate, 10, Variant::Date(45351.0)},
      {adDBTime, 8, Variant::Date((13 * 3600 + 45 * 60 + 10) / 86400.0)},
      {adDBTimeStamp, 19, Variant::Date(43831.0 + 37.5 / 86400.0)},
      {adDBTimeStamp, 19, Variant::Date(43831.5)},
      {adChar, 3, Variant::String("ab ")},
      {adVarChar, 7, Variant::String("seven")},
      {adVarChar, 536870910, Variant::String("long")},
      {adLongVarBinary, 2147483647, Bytes({1, 2, 0xff})},
  };
  ASSERT_EQ(rs->FieldCount(), static_cast<int32_t>(std::size(rows)));
  for (int32_t i = 0; i < rs->FieldCount(); ++i) {
    SCOPED_TRACE(rs->Item(i).Name());
    EXPECT_EQ(rs->Item(i).Type(), rows[i].type);
    EXPECT_EQ(rs->Item(i).DefinedSize(), rows[i].size);
    EXPECT_EQ(rs->Item(i).Value(), rows[i].value);
  }
  rs->MoveNext();
  EXPECT_TRUE(rs->Item(0).Value().IsNull());
  EXPECT_EQ(rs->Item(5).Value(), Variant::Double(12.0));  // 12.00: a numeric with a scale
}

TEST_F(PgDataServerTest, RecordSetIsAnExactConsistentCopy) {
  // A join takes the copy (pg_key_path_test.cc has the key path's key-set reads).
  auto rs =
      Query("SELECT id, Customer AS Who, Qty FROM Orders, (VALUES (1)) AS one ORDER BY Id DESC;");
  // The statement's own spelling.
  EXPECT_EQ(rs->Item(0).Name() + rs->Item(1).Name() + rs->Item(2).Name(), "idWhoQty");
  ASSERT_EQ(rs->RecordCount(), 1000);
  server_->Query(source_, "", "UPDATE Orders SET Qty = 999 WHERE Id = 300", "", "");
  for (int64_t move : {700, -650, 940, -989}) {
    const int64_t before = 1000 - rs->Item(0).Value().AsLong();
    rs->Move(move);
    SCOPED_TRACE(before + move);
    EXPECT_EQ(rs->Item(0).Value().AsLong(), 1000 - (before + move));
  }
  rs->Move(699);  // to Id 300, as it was read
  EXPECT_EQ(rs->Item(0).Value().AsLong(), 300);
  EXPECT_EQ(rs->Item(2).Value().AsLong(), 300);
  EXPECT_EQ(Cell("SELECT Qty FROM Orders WHERE Id = 300").AsLong(), 999);
  rs->Move(1000);
  EXPECT_TRUE(rs->Eof());
  // An escape in the WHERE clause compares timestamps; the one row is written.
  server_->Query(source_, "",
                 "UPDATE Orders SET Qty = 299 WHERE Placed >= {ts '2024-01-01 05:00:00'} AND "
                 "Placed <= {ts '2024-01-01 05:00:00.001'}",
                 "", "");
  EXPECT_EQ(Cell("SELECT Qty FROM Orders WHERE Id = 300").AsLong(), 299);
  // The session behind the record set ends: the next window read is a connection error.
  rs->MoveFirst();
  PgFixture::Psql(
      PgFixture::Server(),
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = 'viewer'");
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              rs->Move(500);
              rs->Item(0).Value();
            })),
            kErrSourceUnusable);
  // The kept command connection ended with them: the next write takes a new one, and the
  // write after it the same one (no second login).
  auto write = [&](const std::string& sql) { server_->Query(source_, "", sql, "", ""); };
  write("UPDATE Orders SET Qty = pg_backend_pid() WHERE Id = 301");
  write("UPDATE Orders SET Qty = CASE Qty WHEN pg_backend_pid() THEN -1 ELSE 0 END WHERE Id = 301");
  EXPECT_EQ(Cell("SELECT Qty FROM Orders WHERE Id = 301").AsLong(), -1);
}

TEST(ServerTypeRouterTest, RoutesByServerType) {
  sqlite::SqliteServerOptions by_name;
  by_name.machine_name = "M";
  by_name.list_dsns = [] { return std::vector<std::string>{"Plant"}; };
  PgServerOptions by_server;
  by_server.connections["db1"] = {"h", 1, "", "", ""};
  auto router =
      NewServerTypeRouter(sqlite::NewSqliteDataServer(by_name), NewPgDataServer(by_server));
  for (auto [type, name] :
       {std::pair<int16_t, const char*>{0, "Plant"}, {1, "db1"}, {0, "Plant"}}) {
    router->SetServerType(type);
    EXPECT_EQ(router->ServerType(), type);
    EXPECT_EQ(router->ListCatalogs()->Item(0).Value().AsString(), name);
  }
  EXPECT_EQ(router->MachineName(), "M");
}

}  // namespace
}  // namespace tabulo::host
