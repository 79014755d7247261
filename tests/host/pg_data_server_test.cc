// The PostgreSQL data server against a throw-away server: error numbers, types, the record set,
// writes, listings; the key path and its pass; the audit store's joint and separate commits.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <set>
#include <thread>

#include "common/error_of.h"
#include "common/pg_fixture.h"
#include "host/audit/audit_chain.h"
#include "host/audit/security_manager.h"
#include "host/cluster/cluster_manager.h"
#include "host/cursor_record_set.h"
#include "host/field_types.h"
#include "host/server_type_router.h"
#include "host/servers/pg/pg_connection.h"
#include "host/servers/pg/pg_data_server.h"
#include "host/servers/pg/pg_joinable.h"
#include "host/servers/pg/pg_key_plan.h"
#include "orders_db.h"
#include "platform/runtime/headless_container.h"

namespace tabulo::host::pg {
namespace {

using platform::Variant;
using test_support::ErrorOf;
using test_support::PgFixture;
using testing::AllRows;
using testing::Bytes;

// Makes `database` on the shared server and runs `sql` in it, once per binary.
void Load(const std::string& database, const std::string& sql) {
  static std::set<std::string> loaded;
  if (!loaded.insert(database).second) return;
  PgFixture::Psql(PgFixture::Server(), "CREATE DATABASE " + database);
  PgFixture::Psql(PgFixture::Server(), sql, database);
}

// Statements on `source_` of a data server with one connection to the shared server.
class PgTest : public ::testing::Test {
 protected:
  void Serve(const std::string& source, const std::string& database, const std::string& user,
             const std::string& password) {
    PgServerOptions options;
    options.connections[source] = {"127.0.0.1", PgFixture::Server().port, database, user, password};
    server_ = NewPgDataServer(options);
    source_ = source;
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

class PgDataServerTest : public PgTest {
 protected:
  void SetUp() override {
    TABULO_REQUIRE_PG(PgFixture::Server());
    Load("plant",
         "CREATE ROLE viewer LOGIN PASSWORD 'pw'; GRANT CREATE ON DATABASE plant TO viewer;"
         "ALTER DATABASE plant SET timezone = 'UTC';"
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
         "GRANT SELECT ON Kinds TO viewer;"
         "CREATE SEQUENCE Seq; GRANT USAGE, SELECT, UPDATE ON Seq TO viewer;"
         "CREATE TABLE Kept(Id int PRIMARY KEY, v int, named int);"
         "INSERT INTO Kept VALUES (1, NULL, 0), (2, NULL, 0), (3, NULL, 0);"
         "ALTER TABLE Kept OWNER TO viewer; GRANT CREATE ON SCHEMA public TO viewer;");
    Serve("plant-db", "plant", "viewer", "pw");
    server_->SetServerType(1);
    source_ = "plant-db;DATABASE=";
  }
};

TEST_F(PgDataServerTest, ErrorsMapToTheControlsNumbers) {
  const int port = PgFixture::Server().port;
  struct Row {
    std::string source, sql, user, password;
    uint32_t error;
  } rows[] = {
      {"plant-db", "SELECT 1", "viewer", "wrong", 0x80040E4D},
      {"plant-db", "SELECT 1", "viewer", "", 0x80040E4D},  // a user without password: none
      {"plant-db;DATABASE=nowhere", "SELECT 1", "", "", 0x80004005},
      {"127.0.0.1:1;DATABASE=plant", "SELECT 1", "viewer", "pw", 0x80004005},
      {"127.0.0.1:x", "SELECT 1", "viewer", "pw", 0x80004005},
      {"127.0.0.1:" + std::to_string(port) + ";DATABASE=plant", "SELECT 1", "viewer", "pw", 0},
      {"plant-db", "SELECT Id FROM Nowhere", "", "", 0x80040E14},
      {"plant-db", "SELECT 1; SELECT 2", "", "", 0x80040E14},
      {"plant-db", "SELECT {x '1'}", "", "", 0x80040E14},
      {"plant-db", "SELECT 'open", "", "", 0x80040E14},  // sent whole, though no token ends it
      {"plant-db", "SELECT x FROM Secret", "", "", 0x80040E14},
      {"plant-db", "UPDATE Orders SET Qty = 1 WHERE Id = 0", "", "", 0x80040E38},
      {"plant-db", "UPDATE Orders SET Qty = 1 WHERE Id < 3", "", "", 0x80040E38},
      {"plant-db", "DELETE FROM Orders WHERE Id > 990", "", "", 0x80040E38},
      {"plant-db", "UPDATE Orders SET Qty = 1 WHERE Id = 5 RETURNING nextval('Seq')", "", "",
       0x80040E14},
      {"plant-db", "UPDATE Orders SET Qty = 1 WHERE Id = 5; SELECT 1", "", "", 0x80040E14},
      {"plant-db", "UPDATE Nowhere SET Qty = 1 WHERE Id = 5", "", "", 0x80040E14},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source + " / " + row.sql + " / " + row.user);
    EXPECT_EQ(static_cast<uint32_t>(ErrorOf(
                  [&] { server_->Query(row.source, "", row.sql, row.user, row.password); })),
              row.error);
  }
  // The refused writes were rolled back.
  EXPECT_EQ(Cell("SELECT count(*) FROM Orders WHERE Qty = 1 OR Id > 990").AsLong(), 12);
  // The write that yields rows is a query: never run but read-only, so its sequence is unused.
  EXPECT_FALSE(Cell("SELECT is_called FROM Seq").AsBoolean());
  // The listings show what the login may read.
  EXPECT_EQ(AllRows(*server_->ListSources(source_, "", "")),
            (std::vector<std::vector<Variant>>{
                {Variant("big")}, {Variant("kept")}, {Variant("kinds")}, {Variant("orders")}}));
  const auto catalogs = server_->ListCatalogs();
  EXPECT_EQ(catalogs->Item(0).Value().AsString(), "plant-db");
  EXPECT_EQ(std::pair(catalogs->Item(0).Type(), catalogs->Item(0).DefinedSize()),
            std::pair(int32_t{adVarChar}, int32_t{255}));
}

// What a user reads when the source, the server type or the statement is wrong.
TEST_F(PgDataServerTest, MessagesSayWhatIsWrong) {
  const std::string refused = " cannot be used: connection to server at \"127.0.0.1\", port ";
  const std::string dir = PgFixture::Server().dir;
  struct Row {
    int16_t type;
    std::string source, sql;
    uint32_t error;
    std::string description;  // "...": the start of it
  } rows[] = {
      {1, "plant-db", "", 0x80040E14, "The statement is empty"},
      {1, "plant-db", " ; ;", 0x80040E14, "The statement is empty"},
      {1, "plant-db", " \t\n", 0x80040E14, "The statement is empty"},
      {1, "plant-db", "-- nothing\n/* at all */ ;", 0x80040E14, "The statement is empty"},
      {0, "plant-db", "SELECT 1", 0x80004005, "Unknown server type 0"},
      {2, "plant-db", "SELECT 1", 0x80004005, "Unknown server type 2"},
      {1, ";DATABASE=plant", "SELECT 1", 0x80004005, "No server given"},
      {1, "127.0.0.1:", "SELECT 1", 0x80004005, "The server 127.0.0.1: names no valid port"},
      {1, "127.0.0.1:00001", "SELECT 1", 0x80004005,
       "The server 127.0.0.1:00001" + refused + "1 ..."},
      {1, "127.0.0.1:000001", "SELECT 1", 0x80004005,
       "The server 127.0.0.1:000001 names no valid port"},
      // No port: 5432, here on the socket folder of the test server, which listens elsewhere.
      {1, dir, "SELECT 1", 0x80004005,
       "The server " + dir + " cannot be used: connection to server on socket \"" + dir +
           "/.s.PGSQL.5432\" failed..."},
      {1, "plant-db", "SELECT Id FROM Nowhere", 0x80040E14, "relation \"nowhere\" does not exist"},
      // The escape's text is quoted up to 40 characters.
      {1, "plant-db", "{fn now()} AS the_time_of_day_on_the_server", 0x80040E14,
       "Malformed date or time escape at: {fn now()} AS the_time_of_day_on_the_ser"},
      {1, "plant-db", "SELECT {d '2024-01-01'}{x}", 0x80040E14,
       "Malformed date or time escape at: {x}"},
      {1, "plant-db", "SELECT 1 = {d '2024-01-01'", 0x80040E14,
       "Malformed date or time escape at: {d '2024-01-01'"},
      {1, "plant-db", "UPDATE Orders SET Qty = Qty WHERE Id < 0", 0x80040E38,
       "The row was changed or deleted since it was read; nothing was written."},
      {1, "plant-db", "UPDATE Orders SET Qty = Qty WHERE Id < 3", 0x80040E38,
       "The statement would change 2 rows instead of one; nothing was written."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source + " / " + row.sql);
    server_->SetServerType(row.type);
    const platform::ComError e =
        testing::Raised([&] { server_->Query(row.source, "", row.sql, "viewer", "pw"); });
    EXPECT_EQ(static_cast<uint32_t>(e.number()), row.error);
    const bool prefix = row.description.ends_with("...");
    const std::string expected = row.description.substr(0, row.description.size() - 3 * prefix);
    EXPECT_EQ(prefix ? e.description().substr(0, expected.size()) : e.description(), expected);
  }
}

// A command gives its connection back to the pool clean — outside a transaction, without its
// prepared statement — whether it succeeded or was refused, so that the next command takes it
// (no new login) and runs as if on a new one. A one-row write runs unprepared by name: in one
// pipeline with its BEGIN, nothing is left to deallocate.
TEST_F(PgDataServerTest, TheNextCommandTakesTheKeptConnectionClean) {
  SetIdleConnectionLimit(1);  // a dropped connection cannot hide behind another idle one
  // Counts the named statements each write finds in its session.
  const std::string probe =
      "UPDATE Kept SET named = named + (SELECT count(*) FROM pg_prepared_statements) WHERE Id = 1";
  Query(probe);
  struct Row {
    std::string sql;
    uint32_t error;
    int64_t logins;  // for the command and the probe after it
  } rows[] = {
      {"UPDATE Kept SET v = 0 WHERE Id = 1", 0, 0},
      {"UPDATE Nowhere SET v = 0 WHERE Id = 1", 0x80040E14, 0},
      {"UPDATE Kept SET v = 0 WHERE Id > 1", 0x80040E38, 0},
      {"DELETE FROM Kept WHERE Id < 0", 0x80040E38, 0},
      {"SELECT FROM Kept", 0, 0},
      // A refused command other than a plain one-row write closes its connection.
      {"INSERT INTO Kept VALUES (1, 0, 0)", 0x80040E14, 1},  // a duplicate key
      {"DO $$ BEGIN RAISE 'refused'; END $$", 0x80040E14, 1},
      {"VACUUM Kept", 0, 0},  // refused inside a transaction: a command runs as given
      {"CREATE TABLE Made AS SELECT 1 AS x", 0, 0},  // "SELECT 1" done: not a query's INTO
      {"DROP TABLE Made", 0, 0},
      // What a command changes in its session ends with it: the probe after it still finds
      // its table and may write.
      {"SET search_path = pg_catalog", 0, 0},
      {"SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY", 0, 0},
      {"CREATE TEMPORARY TABLE Kept (named int, v int, Id int)", 0, 0},
      // The word RETURNING in a string the tokens end early: a write all the same, one row only.
      {"UPDATE Kept SET v = length(E'\\' RETURNING ') WHERE Id = 2", 0, 0},
      {"UPDATE Kept SET v = length(E'\\' RETURNING ') WHERE Id > 1", 0x80040E38, 1},
      // RETURNING where the tokens cannot see it (after a string with an escaped quote): the
      // write yields rows after all, so it is undone and runs as a query, which cannot write
      // (that query's connection goes with it).
      {"UPDATE Kept SET v = length(E'\\'') WHERE Id = 3 RETURNING Id --'", 0x80040E14, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    const int64_t opened = CountConnections().opened;
    EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] { Query(row.sql); })), row.error);
    Query(probe);
    EXPECT_EQ(CountConnections().opened - opened, row.logins);
  }
  SetIdleConnectionLimit(4);
  EXPECT_EQ(Cell("SELECT count(*) FROM Kept WHERE named = 0 AND v = 0").AsLong(), 1);
  EXPECT_EQ(Cell("SELECT v FROM Kept WHERE Id = 2").AsLong(), 12);
  EXPECT_TRUE(Cell("SELECT v FROM Kept WHERE Id = 3").IsNull());
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

// A stream of the Kinds rows: each value in its exact kind; a statement that fails part way
// raises after the rows before the failure, one that writes is refused; the connection serves on.
TEST_F(PgDataServerTest, StreamHandsOnExactValuesAndStopsAtAFailure) {
  struct Sink : RowStreamSink {
    void Begin(const std::vector<StreamColumn>& c) override { columns = c; }
    void Row(const StreamValue* v) override {
      std::string row;
      for (size_t i = 0; i < columns.size(); ++i) {
        row += std::to_string(v[i].kind) + ":";
        if (v[i].kind == StreamValue::Integer) row += std::to_string(v[i].i);
        for (unsigned char c : v[i].bytes)
          row += v[i].kind == StreamValue::Bytes ? std::to_string(c) + "." : std::string(1, c);
        row += " ";
      }
      rows.push_back(row);
    }
    std::vector<StreamColumn> columns;
    std::vector<std::string> rows;
  } sink;
  EXPECT_EQ(server_->Stream(source_,
                            "SELECT l, 9223372036854775807::int8, n, 12345678901234567890.5,"
                            " 'NaN'::numeric, x, y FROM Kinds ORDER BY i NULLS LAST",
                            "", "", sink),
            2);
  EXPECT_EQ(sink.columns[1].type, adBigInt);
  EXPECT_EQ(sink.rows,
            (std::vector<std::string>{"1:5000000000 1:9223372036854775807 6:12.25 "
                                      "6:12345678901234567890.5 3:NaN 3:long 4:1.2.255. ",
                                      "0: 1:9223372036854775807 6:12.00 "
                                      "6:12345678901234567890.5 3:NaN 0: 0: "}));
  sink.rows.clear();
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              server_->Stream(source_, "SELECT 1 / (500 - i) FROM generate_series(1, 999) i", "",
                              "", sink);
            })),
            0x80040E14u);
  EXPECT_EQ(sink.rows.size(), 499u);
  EXPECT_EQ(static_cast<uint32_t>(
                ErrorOf([&] { server_->Stream(source_, "SELECT nextval('Seq')", "", "", sink); })),
            0x80040E14u);
  EXPECT_FALSE(Cell("SELECT is_called FROM Seq").AsBoolean());
  // A write runs as a command, which yields nothing to stream; so does a query without columns.
  struct Refused {
    const char *sql, *description;
  } refused[] = {
      {"UPDATE Orders SET Qty = Qty WHERE Id = 8", "The statement yields no result"},
      {"SELECT FROM Orders", "The statement yields no result"},
      {"SELECT 1 INTO Made",
       "The query writes to the database, and a query may only read: cannot execute SELECT INTO "
       "in a read-only transaction. Browse with a statement that only reads."},
  };
  for (const Refused& row : refused) {
    EXPECT_EQ(
        testing::Raised([&] { server_->Stream(source_, row.sql, "", "", sink); }).description(),
        row.description);
  }
  EXPECT_EQ(server_->Stream(source_, "SELECT 1", "", "", sink), 1);
  EXPECT_NO_THROW(Query("UPDATE Orders SET Qty = Qty WHERE Id = 7"));
}

TEST_F(PgDataServerTest, RecordSetIsAnExactConsistentCopy) {
  // A join takes the copy (the key path's key-set reads are below).
  auto rs =
      Query("SELECT id, Customer AS Who, Qty FROM Orders, (VALUES (1)) AS one ORDER BY Id DESC;");
  // The statement's own spelling.
  EXPECT_EQ(rs->Item(0).Name() + rs->Item(1).Name() + rs->Item(2).Name(), "idWhoQty");
  ASSERT_EQ(rs->RecordCount(), 1000);
  Query("UPDATE Orders SET Qty = 999 WHERE Id = 300");
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
  Query(
      "UPDATE Orders SET Qty = 299 WHERE Placed >= {ts '2024-01-01 05:00:00'} AND "
      "Placed <= {ts '2024-01-01 05:00:00.001'}");
  // The session behind the record set ends, and the command connection kept idle since that
  // write with it (a read here would take the kept one along): the next window read is a
  // connection error. The wait makes sure every session is gone before the next statement.
  rs->MoveFirst();
  PgFixture::Psql(
      PgFixture::Server(),
      "SELECT pg_terminate_backend(pid, 60000) FROM pg_stat_activity WHERE usename = 'viewer'");
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              rs->Move(500);
              rs->Item(0).Value();
            })),
            kErrSourceUnusable);
  // The next write finds the kept connection dead and takes a new one, and the write after it
  // the same one (no second login).
  Query("UPDATE Orders SET Qty = pg_backend_pid() WHERE Id = 301");
  Query("UPDATE Orders SET Qty = CASE Qty WHEN pg_backend_pid() THEN -1 ELSE 0 END WHERE Id = 301");
  EXPECT_EQ(Cell("SELECT Qty FROM Orders WHERE Id = 301").AsLong(), -1);
  EXPECT_EQ(Cell("SELECT Qty FROM Orders WHERE Id = 300").AsLong(), 299);
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

using Rows = std::vector<std::vector<Variant>>;

class PgKeyPathTest : public PgTest {
 protected:
  void SetUp() override {
    TABULO_REQUIRE_PG(PgFixture::Server());
    // Keys negative and positive (the pass reads them as 2- and 4-byte integers); Qty repeats.
    Load("keys",
         "CREATE TABLE Items(Id int PRIMARY KEY, Qty int, Name text);"
         "INSERT INTO Items SELECT i * 3 - 4000, (i * 7) % 50, 'n' || (i % 97)"
         " FROM generate_series(1, 3000) i;"
         "CREATE TABLE Scratch(Id bigint PRIMARY KEY, Name text);"
         "INSERT INTO Scratch SELECT i, 'n' || i FROM generate_series(1, 1000) i;"
         "CREATE TABLE Tiny(Id smallint PRIMARY KEY, Label text);"
         "INSERT INTO Tiny SELECT i, 'l' || (i % 5) FROM generate_series(-150, 150) i;"
         "CREATE TABLE NoKey(x int); CREATE TABLE Pair(a int, b int, PRIMARY KEY (a, b));"
         "CREATE TABLE Named(k text PRIMARY KEY); CREATE TABLE Parent(Id int PRIMARY KEY);"
         "CREATE TABLE Child() INHERITS (Parent);"
         "CREATE VIEW ItemView AS SELECT * FROM Items;"
         // Blocks the key pass (not the load) while the test holds advisory lock 7.
         "CREATE FUNCTION gate() RETURNS boolean LANGUAGE plpgsql AS $$ BEGIN"
         " IF current_setting('application_name') = 'tabulo key pass' THEN"
         " PERFORM pg_advisory_xact_lock_shared(7); END IF; RETURN true; END $$;"
         // Fails the key pass (not the load) past Id 2000.
         "CREATE FUNCTION fails_in_pass(id int) RETURNS boolean LANGUAGE plpgsql AS $$ BEGIN"
         " IF current_setting('application_name') = 'tabulo key pass' AND id > 2000 THEN"
         " RAISE EXCEPTION 'pass stopped'; END IF; RETURN true; END $$;");
    endpoint_ = {"127.0.0.1", PgFixture::Server().port, "keys", "postgres", "secret", "test"};
    Serve("keys-db", "keys", "postgres", "secret");
  }

  // The rows of `sql` read through the copy (a subquery never takes the key path).
  Rows Reference(const std::string& sql) {
    return AllRows(*Query("SELECT * FROM (" + sql + ") AS r"));
  }
  void Run(PGconn* conn, const std::string& sql) { Exec(conn, sql, "test"); }

  Endpoint endpoint_;
};

TEST_F(PgKeyPathTest, PlanDecisionsAndRowsInTheStatementsOrder) {
  struct Row {
    std::string sql;
    bool key_path;
    std::string reference;   // the same rows, ties ordered by the key explicitly
    bool key_order = false;  // located ahead of the pass from the count's split
  } rows[] = {
      {"SELECT * FROM Items", true, "SELECT * FROM Items ORDER BY Id", true},
      {"SELECT Id, Name FROM Items WHERE Qty < 20;", true,
       "SELECT Id, Name FROM Items WHERE Qty < 20 ORDER BY Id", true},
      {"SELECT * FROM Items ORDER BY \"id\" ASC", true, "SELECT * FROM Items ORDER BY Id", true},
      {"SELECT Name FROM Items AS x WHERE Qty < 5 ORDER BY X.id", true,
       "SELECT Name FROM Items WHERE Qty < 5 ORDER BY Id", true},
      // An output column may take the key's name: only a qualified key is surely the key.
      {"SELECT Qty AS Id, Name FROM Items ORDER BY Id", true,
       "SELECT Qty AS Id, Name FROM Items ORDER BY 1, Items.Id"},
      {"SELECT * FROM Items ORDER BY Id DESC", true, "SELECT * FROM Items ORDER BY Id DESC"},
      {"SELECT * FROM Items ORDER BY Items.Id, Qty", true, "SELECT * FROM Items ORDER BY Id"},
      {"SELECT * FROM Items ORDER BY \"Id\"", false, ""},  // no such column
      {"SELECT Name, Qty FROM public.Items i WHERE i.Qty BETWEEN 5 AND 9 ORDER BY Qty", true,
       "SELECT Name, Qty FROM Items WHERE Qty BETWEEN 5 AND 9 ORDER BY Qty, Id"},
      {"SELECT Id, Qty FROM Items ORDER BY Qty DESC, Name", true,
       "SELECT Id, Qty FROM Items ORDER BY Qty DESC, Name, Id"},
      {"SELECT -Qty AS Qty, upper(Name) FROM Items AS \"X\" ORDER BY Qty", true,
       "SELECT -Qty AS Qty, upper(Name) FROM Items ORDER BY 1, Id"},
      {"SELECT Name, Qty FROM Items ORDER BY 2 DESC", true,
       "SELECT Name, Qty FROM Items ORDER BY Qty DESC, Id"},
      {"SELECT Id FROM Items WHERE Qty < (SELECT min(Qty) + 10 FROM Items)", true,
       "SELECT Id FROM Items WHERE Qty < 10 ORDER BY Id", true},
      // The server makes this a join: general, though it would fit.
      {"SELECT Id FROM Items WHERE Id IN (SELECT Id + 3 FROM Items WHERE Qty < 10)", false, ""},
      {"SELECT Label, Id FROM Tiny ORDER BY Label DESC", true,
       "SELECT Label, Id FROM Tiny ORDER BY Label DESC, Id"},
      {"SELECT i.Name FROM Items i JOIN Items j ON j.Id = i.Id + 3", false, ""},
      {"SELECT i.Name FROM Items i, Tiny t WHERE t.Id = i.Id", false, ""},
      {"SELECT Qty, count(*) FROM Items GROUP BY Qty", false, ""},
      {"SELECT count(*) FROM Items", false, ""},
      {"SELECT generate_series(1, 2), Id FROM Items", false, ""},
      {"SELECT Id, row_number() OVER () FROM Items", false, ""},
      {"SELECT DISTINCT Qty FROM Items", false, ""},
      {"SELECT * FROM Items LIMIT 5", false, ""},
      {"SELECT * FROM Items FOR UPDATE", false, ""},
      {"WITH w AS (SELECT 1) SELECT * FROM Items", false, ""},
      {"SELECT * FROM Items UNION SELECT * FROM Items", false, ""},
      {"SELECT $$ FROM Items $$ AS t, Id FROM Items", false, ""},
      {"SELECT * FROM NoKey", false, ""},
      {"SELECT * FROM Pair", false, ""},
      {"SELECT * FROM Named", false, ""},
      {"SELECT * FROM Parent", false, ""},  // has an inheritance child
      {"SELECT * FROM ItemView", false, ""},
      {"SELECT * FROM (SELECT * FROM Items) s", false, ""},
  };
  Conn conn = Connect(endpoint_);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    std::string sql = row.sql;
    if (sql.back() == ';') sql.pop_back();
    const std::optional<KeyPlan> plan = PlanKeyPath(conn.get(), sql);
    EXPECT_EQ(plan.has_value(), row.key_path);
    if (!row.key_path) continue;
    EXPECT_EQ(!plan->seek_up_sql.empty(), row.key_order);
    const Rows expected = Reference(row.reference);
    ASSERT_GT(expected.size(), static_cast<size_t>(kKeyWindow));
    EXPECT_TRUE(AllRows(*Query(row.sql)) == expected);
  }
}

// The first window is read before any key; a Move far ahead waits for the pass, which waits
// for the lock; closing cancels a pass that waits.
TEST_F(PgKeyPathTest, MovesWaitForThePassAndCloseCancelsIt) {
  const std::string sql = "SELECT Id, Name FROM Items WHERE gate() ORDER BY Name";
  const Rows expected = Reference(sql + ", Id");
  Conn lock = Connect(endpoint_);
  Run(lock.get(), "SELECT pg_advisory_lock(7)");
  auto rs = Query(sql);
  ASSERT_EQ(rs->RecordCount(), static_cast<int64_t>(expected.size()));
  rs->Move(kKeyWindow - 1);
  EXPECT_TRUE(rs->Item(0).Value() == expected[kKeyWindow - 1][0]);
  Variant far;
  std::thread reader([&] {
    rs->MoveFirst();
    rs->Move(rs->RecordCount() - 1);
    far = rs->Item(1).Value();
  });
  Run(lock.get(), "SELECT pg_advisory_unlock(7)");
  reader.join();
  EXPECT_TRUE(far == expected.back()[1]);

  Run(lock.get(), "SELECT pg_advisory_lock(7)");
  auto waiting = Query(sql);
  waiting->Close();
  EXPECT_EQ(waiting->State(), 0);
  Run(lock.get(), "SELECT pg_advisory_unlock(7)");
}

// A closed record set keeps its connection, its pass's (cancelled while it waited) and its
// seeking connection's idle: the next load logs in no more. Kept ones that died while idle are
// replaced, and the load takes the key path all the same.
TEST_F(PgKeyPathTest, ALoadTakesTheConnectionsAClosedOneKeptAndReplacesDeadOnes) {
  const std::string sql = "SELECT * FROM Items WHERE gate()";  // key order: a seek too
  const Rows expected = Reference("SELECT * FROM Items ORDER BY Id");
  auto pass_waits = [] {
    std::string waiting;
    for (int round = 0; round < 400 && waiting != "1"; ++round) {
      waiting = PgFixture::Query(PgFixture::Server(),
                                 "SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                                 "'tabulo key pass' AND wait_event_type = 'Lock';");
    }
    return waiting == "1";
  };
  Conn lock = Connect(endpoint_);
  Run(lock.get(), "SELECT pg_advisory_lock(7)");
  Query(sql)->Close();  // one of each kind kept idle at least
  auto rs = Query(sql);
  ASSERT_TRUE(pass_waits());
  rs->Close();
  int64_t opened = CountConnections().opened;
  rs = Query(sql);
  EXPECT_EQ(CountConnections().opened - opened, 0);
  EXPECT_TRUE(pass_waits());
  rs->Close();
  PgFixture::Psql(
      PgFixture::Server(),
      "SELECT pg_terminate_backend(pid, 60000) FROM pg_stat_activity WHERE datname = "
      "'keys' AND application_name LIKE 'tabulo%' AND state = 'idle' AND pid <> " +
          std::string(PQgetvalue(Exec(lock.get(), "SELECT pg_backend_pid()", "t").get(), 0, 0)));
  opened = CountConnections().opened;
  rs = Query(sql);
  EXPECT_EQ(CountConnections().opened - opened, 3);
  EXPECT_TRUE(pass_waits());
  const int64_t middle = rs->RecordCount() / 2;
  rs->Move(middle);  // located by the seeking connection while the pass waits
  EXPECT_TRUE(rs->Item(0).Value() == expected[static_cast<size_t>(middle)][0]);
  Run(lock.get(), "SELECT pg_advisory_unlock(7)");
  rs->Move(rs->RecordCount() - 1 - middle);
  EXPECT_TRUE(rs->Item(2).Value() == expected.back()[2]);
}

// In key order a window ahead of the pass is located from the count's split in the load's
// snapshot: with the pass held, every record from a third of the way on (both sides of the
// split, the block across it, the last) is the one the finished key list puts there, though
// a record was inserted there since the load; one deleted since reads #Deleted.
TEST_F(PgKeyPathTest, WindowsAheadOfThePassAreTheRecordsOfTheKeyList) {
  struct Row {
    std::string sql, reference, table;
    int key;  // the key's column
  } tables[] = {
      {"SELECT * FROM Items WHERE gate() AND Qty < 30",
       "SELECT * FROM Items WHERE Qty < 30 ORDER BY Id", "Items", 0},
      {"SELECT Label, t.Id FROM Tiny t WHERE gate() ORDER BY t.Id ASC",
       "SELECT Label, Id FROM Tiny ORDER BY Id", "Tiny", 1},
  };
  for (const auto& [sql, reference, table, key] : tables) {
    SCOPED_TRACE(sql);
    const Rows expected = Reference(reference);
    const size_t from = expected.size() / 3, deleted = expected.size() * 3 / 4;
    Conn lock = Connect(endpoint_);
    Run(lock.get(), "SELECT pg_advisory_lock(7)");
    auto rs = Query(sql);
    const std::string id = std::to_string(expected[deleted][key].AsLong());
    Run(lock.get(), "DELETE FROM " + table + " WHERE Id = " + id + "; INSERT INTO " + table +
                        " (Id) VALUES (" + std::to_string(expected[from][key].AsLong() + 1) +
                        ") ON CONFLICT DO NOTHING");
    auto read = std::async(std::launch::async, [&] {
      Rows rows;
      for (size_t p = from; p < expected.size(); ++p) {
        rs->MoveFirst();
        rs->Move(static_cast<int64_t>(p));
        rows.push_back({rs->Item(1).Value(), rs->Item(key).Value()});
      }
      return rows;
    });
    // Reads that waited for the held pass would never end: the lock is let go after a minute.
    const bool ahead = read.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
    Run(lock.get(), "SELECT pg_advisory_unlock(7)");
    EXPECT_TRUE(ahead);
    const Rows rows = read.get();
    ASSERT_EQ(rows.size(), expected.size() - from);
    const Variant gone("#Deleted");
    for (size_t p = from; p < expected.size(); ++p) {
      SCOPED_TRACE(p);
      EXPECT_TRUE(rows[p - from][0] == (p == deleted ? gone : expected[p][1]));
      EXPECT_TRUE(rows[p - from][1] == (p == deleted ? gone : expected[p][key]));
    }
  }
}

TEST_F(PgKeyPathTest, AFailedPassFailsTheMovesThatNeedItsKeys) {
  // Not in key order, so that nothing is located ahead of the pass.
  auto rs = Query("SELECT Id FROM Items WHERE fails_in_pass(Id) ORDER BY Id DESC");
  EXPECT_EQ(rs->Item(0).Value().AsLong(), 5000);
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              rs->Move(rs->RecordCount() - 1);
              rs->Item(0).Value();
            })),
            0x80004005u);
}

TEST_F(PgKeyPathTest, WindowsReadByKeyShowDeletedAndChangedRows) {
  auto rs = Query("SELECT Name, Id FROM Scratch WHERE Id > 0 ORDER BY Id");
  Conn conn = Connect(endpoint_);
  Run(conn.get(),
      "DELETE FROM Scratch WHERE Id = 501; UPDATE Scratch SET Name = 'new' WHERE Id = 502");
  rs->Move(500);
  EXPECT_EQ(rs->Item(0).Value().AsString(), "#Deleted");
  EXPECT_EQ(rs->Item(1).Value().AsString(), "#Deleted");
  rs->MoveNext();
  EXPECT_EQ(rs->Item(0).Value().AsString(), "new");
  // Values stay as read while their block is kept.
  Run(conn.get(), "UPDATE Scratch SET Name = 'newer' WHERE Id = 502");
  rs->Move(-400);
  rs->Move(400);
  EXPECT_EQ(rs->Item(0).Value().AsString(), "new");
  EXPECT_EQ(rs->RecordCount(), 1000);
}

class PgAuditStoreTest : public PgTest {
 protected:
  void SetUp() override {
    TABULO_REQUIRE_PG(PgFixture::Server());
    const std::string refuse =
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
        "$$BEGIN RAISE EXCEPTION 'audit refused'; END$$;";
    Load("trail", refuse);
    Load("stock", refuse +
                      "CREATE TABLE Stock(Id int PRIMARY KEY, Qty int CHECK (Qty >= 0));"
                      "INSERT INTO Stock SELECT i, 5 FROM generate_series(1, 20) i;"
                      "CREATE TABLE Joined(Id int PRIMARY KEY, Qty int CHECK (Qty >= 0));"
                      "INSERT INTO Joined SELECT i, 5 FROM generate_series(1, 4) i;"
                      "CREATE TABLE Marks(n int);"
                      "CREATE CONSTRAINT TRIGGER refuse AFTER INSERT ON Marks DEFERRABLE INITIALLY "
                      "DEFERRED FOR EACH ROW WHEN (NEW.n < 0) EXECUTE FUNCTION refuse();");
    Serve("stock-db", "stock", "postgres", "secret");
  }

  // A store in `database`, in a table of its own, made before the test changes it.
  AuditLogOptions Store(const std::string& database, const std::string& table) {
    AuditLogOptions options;
    options.pg =
        AuditPgStore{"trail-db",
                     {"127.0.0.1", PgFixture::Server().port, database, "postgres", "secret"},
                     "",
                     table};
    AuditTransaction(options).Commit();
    return options;
  }

  platform::HeadlessContainer container_;
};

TEST_F(PgAuditStoreTest, AnEditAndItsRecordsCommitTogetherOnOneServerAndDatabase) {
  struct Row {
    const char *name, *database;  // the store's; "stock" is the edited data's
    bool refuse_at_commit;        // a deferred trigger refuses the records at the commit
    int new_qty, qty_after;       // a new_qty of -1 breaks the data's CHECK: the UPDATE fails
    size_t records;
    bool write_fails, commit_fails;
  } rows[] = {
      {"joined_written", "stock", false, 7, 7, 1, false, false},
      {"joined_refused_at_commit", "stock", true, 7, 5, 0, true, false},
      {"joined_update_fails", "stock", false, -1, 5, 0, true, false},
      // Apart, the data commits first: a store refusing its commit leaves the change unrecorded.
      {"apart_written", "trail", false, 7, 7, 1, false, false},
      {"apart_refused_at_commit", "trail", true, 7, 7, 0, false, true},
  };
  int id = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ++id;
    const std::string table = std::string("events_") + row.name;
    SecurityManagerOptions options;
    options.audit = Store(row.database, table);
    if (row.refuse_at_commit)
      PgFixture::Psql(PgFixture::Server(),
                      "CREATE CONSTRAINT TRIGGER refuse AFTER INSERT ON " + table +
                          " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION refuse()",
                      row.database);
    SecurityManager manager(container_, options);
    // The control's order: records secured, the change written, the records committed.
    manager.BeginOperatorEvents();
    manager.WriteOperatorEvent(OperatorEvent{"Logging", "dbUpdate", "Qty", "stock-db", "", "", "5",
                                             std::to_string(row.new_qty), ""},
                               "Id = " + std::to_string(id));
    // From Qty 5, as an increment: a write run twice would show.
    const int32_t write_error = ErrorOf([&] {
      server_->Query("stock-db;DATABASE=stock", "",
                     "UPDATE Stock SET Qty = Qty + " + std::to_string(row.new_qty - 5) +
                         " WHERE Id = " + std::to_string(id),
                     "", "");
    });
    int32_t commit_error = 0;
    if (write_error)
      manager.RollbackOperatorEvents();
    else
      commit_error = ErrorOf([&] { manager.CommitOperatorEvents(); });
    EXPECT_EQ(write_error != 0, row.write_fails);
    EXPECT_EQ(commit_error != 0, row.commit_fails);
    EXPECT_EQ(Cell("SELECT Qty FROM Stock WHERE Id = " + std::to_string(id)).AsLong(),
              row.qty_after);
    const AuditTrail trail = ReadAuditTrail(options.audit);
    EXPECT_EQ(trail.records.size(), row.records);
    EXPECT_TRUE(VerifyAuditTrail(trail).intact) << VerifyAuditTrail(trail).summary;
  }
}

// A write on the login of an offered transaction runs in it behind a savepoint and commits
// it; a refused write goes back to the savepoint and leaves the transaction, with its owner's
// work, to the owner; a write that yields rows runs as a query, outside it. The owner's
// connection serves one transaction after the other, with nothing left of the writes.
TEST_F(PgAuditStoreTest, AWriteJoinsTheOfferedTransactionOrLeavesItAsItWas) {
  const Endpoint endpoint{"127.0.0.1", PgFixture::Server().port, "stock", "postgres", "secret",
                          "owner"};
  Conn owner = Connect(endpoint);
  auto value = [&](const std::string& sql) {
    return std::string(PQgetvalue(Exec(owner.get(), sql, "owner").get(), 0, 0));
  };
  const auto kept = JoinableTransaction::kOpen, committed = JoinableTransaction::kCommittedByWrite,
             ended = JoinableTransaction::kEndedByWrite;
  // The word RETURNING in a string the tokens end early: a write that yields no rows after all.
  const std::string word = " AND E'\\' RETURNING ' <> ''";
  struct Row {
    std::string sql;
    uint32_t error;
    JoinableTransaction::State state;  // the owner commits one left open
    std::string after;                 // Joined's Id:Qty
    std::string says = {};
    std::string owner = {};  // the owner's statement before the write: nothing commits
  } rows[] = {
      // (Plus the named statements it finds: a write runs unprepared by name.)
      {"UPDATE Joined SET Qty = Qty + 1 + (SELECT count(*) FROM pg_prepared_statements) WHERE "
       "Id = 1",
       0, committed, "1:6 2:5 3:5 4:5"},
      {"UPDATE Joined SET Qty = 0 WHERE Id IN (2, 3)", 0x80040E38, kept, "1:6 2:5 3:5 4:5"},
      {"DELETE FROM Joined WHERE Id IN (2, 3)", 0x80040E38, kept, "1:6 2:5 3:5 4:5"},
      {"INSERT INTO Joined VALUES (5, 5), (6, 5)", 0, committed, "1:6 2:5 3:5 4:5 5:5 6:5"},
      {"DELETE FROM Joined WHERE Id = 6", 0, committed, "1:6 2:5 3:5 4:5 5:5"},
      {"UPDATE Nowhere SET Qty = 0 WHERE Id = 1", 0x80040E14, kept, "1:6 2:5 3:5 4:5 5:5",
       "relation \"nowhere\" does not exist"},
      {"UPDATE Joined SET Qty = -1 WHERE Id = 2", 0x80040E14, kept, "1:6 2:5 3:5 4:5 5:5"},
      {"UPDATE Joined SET Qty = 0 WHERE Id = 2", 0x80040E14, kept, "1:6 2:5 3:5 4:5 5:5",
       "current transaction is aborted", "SELECT 1 / 0"},
      {"UPDATE Joined SET Qty = 0 WHERE Id = 2", 0x80040E14, ended, "1:6 2:5 3:5 4:5 5:5",
       "audit refused", "INSERT INTO Marks VALUES (-1)"},  // at the commit
      // RETURNING hidden from the tokens behind a string with an escaped quote, and in plain view.
      {"INSERT INTO Joined VALUES (7, length(E'\\'')) RETURNING Id --'", 0x80040E14, kept,
       "1:6 2:5 3:5 4:5 5:5"},
      {"UPDATE Joined SET Qty = 0 WHERE Id = 2 RETURNING Qty", 0x80040E14, kept,
       "1:6 2:5 3:5 4:5 5:5"},
      {"UPDATE Nowhere SET Qty = 0 WHERE Id = 2 RETURNING Qty", 0x80040E14, kept,
       "1:6 2:5 3:5 4:5 5:5", "relation \"nowhere\" does not exist"},
      {"UPDATE Joined SET Qty = Qty + 1 WHERE Id = 4" + word, 0, committed, "1:6 2:5 3:5 4:6 5:5"},
      {"UPDATE Joined SET Qty = -1 WHERE Id = 1" + word, 0x80040E14, kept, "1:6 2:5 3:5 4:6 5:5"},
      {"UPDATE Joined SET Qty = 0 WHERE Id > 2" + word, 0x80040E38, kept, "1:6 2:5 3:5 4:6 5:5"},
  };
  int mark = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    JoinableTransaction open{endpoint, owner.get()};
    Exec(owner.get(), "BEGIN; INSERT INTO Marks VALUES (" + std::to_string(++mark) + ")", "owner");
    if (!row.owner.empty()) PQclear(PQexec(owner.get(), row.owner.c_str()));
    OfferTransaction(&open);
    platform::ComError e(0, "");
    try {
      server_->Query("stock-db;DATABASE=stock", "", row.sql, "", "");
    } catch (const platform::ComError& raised) {
      e = raised;
    }
    WithdrawTransaction(&open);
    EXPECT_EQ(static_cast<uint32_t>(e.number()), row.error);
    EXPECT_EQ(e.description().substr(0, row.says.size()), row.says);
    EXPECT_EQ(open.state, row.state);
    if (open.state == JoinableTransaction::kOpen) Exec(owner.get(), "COMMIT", "owner");
    EXPECT_EQ(value("SELECT count(*) FROM Marks WHERE n = " + std::to_string(mark)),
              row.owner.empty() ? "1" : "0");
    EXPECT_EQ(value("SELECT string_agg(Id || ':' || Qty, ' ' ORDER BY Id) FROM Joined"), row.after);
  }
  EXPECT_EQ(value("SELECT count(*) FROM pg_prepared_statements"), "0");
}

TEST_F(PgAuditStoreTest, WritersInTwoThreadsChainOneAfterTheOther) {
  const AuditLogOptions store = Store("trail", "events_concurrent");
  std::atomic<int> refused{0};
  auto write = [&](const std::string& who) {
    for (int i = 0; i < 10; ++i) {
      AuditRecord r;
      r.recorded_at = "2026-12-08T10:00:00.000Z";
      r.event = OperatorEvent{"Logging", "dbUpdate", "Qty", "s", who, "", "1", "2", ""};
      refused += ErrorOf([&] { AppendAuditRecord(store, r); }) != 0;
    }
  };
  std::thread other(write, "ann");
  write("ben");
  other.join();
  EXPECT_EQ(refused, 0);
  const AuditTrail trail = ReadAuditTrail(store);
  EXPECT_EQ(VerifyAuditTrail(trail).summary, "Audit trail intact: 20 records chained (#1 to #20).");
  EXPECT_EQ(trail.head_seal, "");  // no key, no seal
  // A record cannot be changed, and a trigger put out of use is named.
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              server_->Query("stock-db;DATABASE=trail", "",
                             "UPDATE events_concurrent SET new_value = '9' WHERE id = 1", "", "");
            })),
            kErrInvalidStatement);
  PgFixture::Psql(PgFixture::Server(),
                  "ALTER TABLE events_concurrent DISABLE TRIGGER operator_events_no_delete",
                  "trail");
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(store)).summary,
            "Audit trail broken: the trigger operator_events_no_delete that keeps records from "
            "being changed has been removed.");
  // The next writer puts it back in use.
  AppendAuditRecord(store, {});
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(store)).summary,
            "Audit trail intact: 21 records chained (#1 to #21).");
  AuditLogOptions missing = store;
  missing.pg->table = "nowhere";
  EXPECT_EQ(testing::Raised([&] { ReadAuditTrail(missing); }).description(),
            "No audit table \"nowhere\" in the PostgreSQL audit store \"trail-db\"");
  // The records' table dropped, its head left: the same.
  PgFixture::Psql(PgFixture::Server(), "DROP TABLE events_concurrent", "trail");
  EXPECT_EQ(testing::Raised([&] { ReadAuditTrail(store); }).description(),
            "No audit table \"events_concurrent\" in the PostgreSQL audit store \"trail-db\"");
}

// A transaction in which a statement failed ends in a rollback that the server reports as the
// answer to COMMIT, without an error: that commit is refused, and none of its records is kept.
TEST_F(PgAuditStoreTest, ABatchWithARefusedRecordCommitsNothing) {
  const AuditLogOptions store = Store("trail", "events_partly_refused");
  PgFixture::Psql(PgFixture::Server(),
                  "CREATE TRIGGER refuse BEFORE INSERT ON events_partly_refused FOR EACH ROW WHEN "
                  "(NEW.new_value = 'refused') EXECUTE FUNCTION refuse()",
                  "trail");
  AuditTransaction batch(store);
  AuditRecord r;
  r.recorded_at = "2026-12-08T10:00:00.000Z";
  r.event = OperatorEvent{"Logging", "dbUpdate", "Qty", "s", "ann", "", "0", "7", ""};
  batch.Append(r);
  r.event.new_value = "refused";
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] { batch.Append(r); })), kErrAuditWrite);
  const platform::ComError e = testing::Raised([&] { batch.Commit(); });
  EXPECT_EQ(std::pair(static_cast<int64_t>(e.code()), e.description()),
            std::pair(kErrAuditWrite,
                      std::string("Cannot write the operator event: the PostgreSQL audit store "
                                  "\"trail-db\" could not commit (the transaction had failed and "
                                  "was rolled back)")));
  // The transaction is over: nothing more is appended or committed outside it.
  const std::string over =
      "Cannot write the operator event: the PostgreSQL audit store \"trail-db\" has no open "
      "transaction";
  EXPECT_EQ(testing::Raised([&] { batch.Append(r); }).description(), over);
  EXPECT_EQ(testing::Raised([&] { batch.Commit(); }).description(), over);
  EXPECT_EQ(testing::Raised([&] { batch.Mark({1}, AuditState::kWritten); }).description(),
            "Cannot write the operator event: a PostgreSQL audit store keeps no pending records");
  EXPECT_TRUE(ReadAuditTrail(store).records.empty());
}

// The attacks of the SQLite store's table on the PostgreSQL store: blanked hashes, a record
// put in with id 0, the marker dropped, the tail trimmed with and without the key and against
// an anchor, a keyed store without its key.
TEST_F(PgAuditStoreTest, TamperingIsNamedAndTheKeyAndAnchorHold) {
  testing::TestFolder folder;
  const std::string key_file = folder.Write("audit.key", std::string(40, 'k'));
  chmod(key_file.c_str(), 0600);
  const std::string trim =
      "ALTER TABLE @ DISABLE TRIGGER operator_events_no_delete; DELETE FROM @ WHERE id = 3; "
      "UPDATE @_chain_head SET last_id = 2, last_hash = (SELECT hash FROM @ WHERE id = 2); "
      "ALTER TABLE @ ENABLE TRIGGER operator_events_no_delete";
  struct Row {
    const char* name;
    bool keyed, verify_with_key, anchored;
    std::string sql;  // @: the table
    const char* summary;
  } rows[] = {
      {"keyed", true, true, false, "",
       "Audit trail intact: 3 records chained (#1 to #3, signed with the audit key from #1)."},
      {"blanked", false, false, false,
       "ALTER TABLE @ DISABLE TRIGGER operator_events_no_update; UPDATE @ SET hash = ''; "
       "DELETE FROM @_chain_head; ALTER TABLE @ ENABLE TRIGGER operator_events_no_update",
       "Audit trail broken: record #1 carries no hash: it was put in outside the audit trail."},
      {"id_0", false, false, false, "INSERT INTO @ (id) VALUES (0)",
       "Audit trail broken: record #0 has an id below 1: it was put in outside the audit trail."},
      {"marker", false, false, false, "DROP VIEW @_chain_marker",
       "Audit trail broken: the chain marker that tells chained records from older ones has been "
       "removed (a store last written by an older version gains it with its next record)."},
      {"trimmed", false, false, false, trim, "Audit trail intact: 2 records chained (#1 to #2)."},
      {"trimmed_keyed", true, true, false, trim,
       "Audit trail broken: the head does not carry the audit key's seal: records after #2 may "
       "have been removed."},
      {"trimmed_anchored", false, false, true, trim,
       "Audit trail broken: record #3 is missing below the head anchored in A (record #3)."},
      {"keyed_without_key", true, false, false, "",
       "Audit trail cannot be verified: its records from #1 on are signed with an audit key; set "
       "\"audit_key_file\" in the host configuration's \"security\" to the file of that key."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string table = std::string("attack_") + row.name;
    AuditLogOptions store = Store("trail", table);
    if (row.keyed) store.key_file = key_file;
    for (const char* qty : {"1", "2", "3"}) {
      AuditRecord r;
      r.recorded_at = "2026-12-08T10:00:00.000Z";
      r.event = OperatorEvent{"Logging", "dbUpdate", "Qty", "s", "ann", "ben", "0", qty, "why"};
      // Each column its own text: a column read in another's place breaks the chain.
      r.signed_by1 = "ann";
      r.signed_by2 = "ben";
      r.signed_reason = "Correction";
      r.signed_at = "2026-12-08T10:00:01.000Z";
      r.operator_name = "op";
      r.row = "Id = 1";
      AppendAuditRecord(store, r);
    }
    const AuditAnchor anchor = AnchorOf(ReadAuditTrail(store));
    std::string sql = row.sql;
    for (size_t at; (at = sql.find('@')) != std::string::npos;) sql.replace(at, 1, table);
    if (!sql.empty()) PgFixture::Psql(PgFixture::Server(), sql, "trail");
    const AuditTrail trail = ReadAuditTrail(store);
    AuditVerdict verdict =
        VerifyAuditTrail(trail, row.verify_with_key ? ReadAuditKey(key_file) : "");
    if (verdict.intact && row.anchored) verdict = CheckAuditAnchor(trail, anchor, "A");
    EXPECT_EQ(verdict.summary, row.summary);
    EXPECT_EQ(verdict.intact, std::string(row.summary).find(" intact: ") != std::string::npos);
    if (row.keyed && !row.verify_with_key) {
      // Nor can the key setting be dropped for writing.
      store.key_file.clear();
      const std::string why = testing::Raised([&] { AppendAuditRecord(store, {}); }).description();
      EXPECT_NE(why.find("could not be written (it is signed with an audit key from record #1 "
                         "on; set \"audit_key_file\""),
                std::string::npos)
          << why;
    }
  }
}

// A record from before the chain stays older when the store is first written with the key:
// the marker then written keeps where the chain starts.
TEST_F(PgAuditStoreTest, ARecordFromBeforeTheChainStaysOlderOnceKeyed) {
  testing::TestFolder folder;
  AuditLogOptions store = Store("trail", "events_older");
  PgFixture::Psql(PgFixture::Server(),
                  "DROP VIEW events_older_chain_marker; DELETE FROM events_older_chain_head; "
                  "INSERT INTO events_older (id, event_type) VALUES (1, 'dbUpdate')",
                  "trail");
  store.key_file = folder.Write("audit.key", std::string(40, 'k'));
  chmod(store.key_file.c_str(), 0600);
  AppendAuditRecord(store, {});
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(store), ReadAuditKey(store.key_file)).summary,
            "Audit trail intact: 1 record chained (#2 to #2, signed with the audit key from #2), 1 "
            "older record from before chaining not verified.");
}

TEST(PgAuditConfig, NamesAConfiguredConnectionAndATable) {
  const std::string connections =
      R"({"format": 1, "postgresql": {"plant-db": {"host": "db1", "database": "plant"}},
"security": {)";
  struct Row {
    std::string security, error;  // error: "" when the configuration is taken
    std::string database = {}, schema = {}, table = {};
  } rows[] = {
      {R"("audit": {"postgresql": "plant-db"})", "", "plant", "", "operator_events"},
      {R"("audit": {"postgresql": "plant-db", "database": "trail", "table": "log.events"})", "",
       "trail", "log", "events"},
      {R"("audit": {"postgresql": "other"})",
       "line 3, key \"postgresql\": no PostgreSQL connection named \"other\""},
      {R"("audit": {"postgresql": 5})", "line 3, key \"postgresql\": expected a text"},
      {R"("audit": "plant-db")", "line 3, key \"audit\": expected an object"},
      {R"("audit": {"postgresql": "plant-db", "table": "a;drop"})",
       "line 3, key \"table\": expected a table name"},
      {R"("audit_database": "a.db", "audit": {"postgresql": "plant-db"})",
       "line 3, key \"audit\": give either"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.security);
    const std::string text = connections + "\n" + row.security + "}}";
    if (!row.error.empty()) {
      const std::string error =
          testing::Raised([&] { ParseHostConfig(text, "p.json"); }).description();
      EXPECT_EQ(error.rfind("p.json, " + row.error, 0), 0u) << error;
      continue;
    }
    const AuditLogOptions store = AuditStoreOf(ParseHostConfig(text, "plant.json"));
    ASSERT_TRUE(store.pg.has_value());
    EXPECT_EQ(store.path, "");  // no SQLite file beside it
    EXPECT_EQ(store.pg->connection.host + "/" + store.pg->connection.database + "/" +
                  store.pg->schema + "/" + store.pg->table,
              "db1/" + row.database + "/" + row.schema + "/" + row.table);
  }
  EXPECT_FALSE(AuditStoreOf(ParseHostConfig("{\"format\": 1}", "plant.json")).pg.has_value());
  HostConfig unknown;  // as no configuration file can give it
  unknown.security.audit_pg.connection = "nowhere";
  EXPECT_EQ(testing::Raised([&] { AuditStoreOf(unknown); }).description(),
            "Cannot write the operator event: no PostgreSQL connection named \"nowhere\" is "
            "configured");
}

}  // namespace
}  // namespace tabulo::host::pg
