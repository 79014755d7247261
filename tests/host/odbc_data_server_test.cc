// The ODBC data server through unixODBC, against an odbc.ini of the tests: the SQLite ODBC driver,
// and the PostgreSQL one against the test server. The SQLSTATE and type mappings need no driver.
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "common/error_of.h"
#include "common/pg_fixture.h"
#include "host/orders_db.h"
#include "host/servers/odbc/odbc_data_server.h"
#include "host/servers/odbc/odbc_handles.h"
#include "host/servers/odbc/odbc_types.h"
#include "platform/text/locale.h"
#include "sql/sql_literal.h"

namespace tabulo::host::odbc {
namespace {

using platform::Variant;
using sqlite::ValueKind;
using test_support::ErrorOf;
using testing::AllRows;
using Rows = std::vector<std::vector<Variant>>;

TEST(OdbcMapping, ErrorNumberBySqlState) {
  const struct {
    const char* state;
    Phase phase;
    uint32_t number;
    const char* message = "";
  } rows[] = {
      {"08001", Phase::kConnect, kErrLoginFailed, "FATAL: password authentication failed"},
      {"08001", Phase::kConnect, kErrSourceUnusable, "could not connect to server"},
      {"28P01", Phase::kStatement, kErrLoginFailed},
      {"HY000", Phase::kConnect, kErrSourceUnusable},
      {"08S01", Phase::kStatement, kErrSourceUnusable},
      {"IM001", Phase::kStatement, kErrSourceUnusable},
      {"HYT00", Phase::kStatement, kErrSourceUnusable},
      {"HYT01", Phase::kStatement, kErrSourceUnusable},
      {"HY001", Phase::kStatement, kErrSourceUnusable},
      {"42S02", Phase::kStatement, kErrInvalidStatement},
      {"HY000", Phase::kStatement, kErrInvalidStatement},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.state);
    EXPECT_EQ(ErrorNumberOf(row.state, row.phase, row.message), row.number);
  }
}

TEST(OdbcMapping, ColumnTypeBySqlType) {
  const struct {
    SQLSMALLINT sql_type;
    SQLULEN size;
    bool is_unsigned;
    int32_t ado_type, defined_size;
    ValueKind kind;
  } rows[] = {
      {SQL_BIT, 1, false, adBoolean, 2, ValueKind::Boolean},
      {SQL_TINYINT, 3, false, adTinyInt, 1, ValueKind::Integer},
      {SQL_TINYINT, 3, true, adUnsignedTinyInt, 1, ValueKind::Integer},
      {SQL_SMALLINT, 5, true, adUnsignedSmallInt, 2, ValueKind::Integer},
      {SQL_INTEGER, 10, false, adInteger, 4, ValueKind::Integer},
      {SQL_INTEGER, 10, true, adUnsignedInt, 4, ValueKind::Integer},
      {SQL_BIGINT, 19, false, adBigInt, 8, ValueKind::Integer},
      {SQL_BIGINT, 20, true, adUnsignedBigInt, 8, ValueKind::Integer},
      {SQL_REAL, 7, false, adSingle, 4, ValueKind::Real},
      {SQL_DOUBLE, 15, false, adDouble, 8, ValueKind::Real},
      {SQL_NUMERIC, 10, false, adNumeric, 10, ValueKind::Numeric},
      {SQL_DECIMAL, 0, false, adNumeric, 19, ValueKind::Numeric},
      {SQL_TYPE_DATE, 10, false, adDBDate, 10, ValueKind::Date},
      {SQL_TYPE_TIME, 8, false, adDBTime, 8, ValueKind::Time},
      {SQL_TYPE_TIMESTAMP, 26, false, adDBTimeStamp, 19, ValueKind::Date},
      {SQL_CHAR, 3, false, adChar, 3, ValueKind::Text},
      {SQL_WCHAR, 0, false, adWChar, 536870910, ValueKind::Text},
      {SQL_VARCHAR, 40, false, adVarChar, 40, ValueKind::Text},
      {SQL_WVARCHAR, 7, false, adVarWChar, 7, ValueKind::Text},
      {SQL_LONGVARCHAR, 0, false, adLongVarChar, 536870910, ValueKind::Text},
      {SQL_WLONGVARCHAR, 8190, false, adLongVarWChar, 8190, ValueKind::Text},
      {SQL_GUID, 36, false, adGUID, 16, ValueKind::Text},
      {SQL_BINARY, 16, false, adBinary, 16, ValueKind::Binary},
      {SQL_VARBINARY, 0, false, adVarBinary, 2147483647, ValueKind::Binary},
      {SQL_LONGVARBINARY, 255, false, adLongVarBinary, 2147483647, ValueKind::Binary},
      {-150, 12, false, adVarChar, 12, ValueKind::Text},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql_type);
    const sqlite::ColumnType type = ColumnTypeOfSql(row.sql_type, row.size, row.is_unsigned);
    EXPECT_EQ(type.ado_type, row.ado_type);
    EXPECT_EQ(type.defined_size, row.defined_size);
    EXPECT_EQ(type.kind, row.kind);
  }
}

TEST(OdbcMapping, ConnectionStringBracesValuesThatNeedThem) {
  const struct {
    const char *dsn, *user, *password, *text;
  } rows[] = {
      {"plant", "", "", "DSN=plant"},
      {"plant", "ann", "pw", "DSN=plant;UID=ann;PWD=pw"},
      {"my plant", "", "a;b}", "DSN={my plant};PWD={a;b}}}"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ConnectionString(row.dsn, row.user, row.password), row.text);
}

std::string DriverPath(const char* file) {
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                             "/usr/lib/odbc", "/usr/local/lib"}) {
    const std::filesystem::path path = std::filesystem::path(folder) / file;
    if (std::filesystem::exists(path)) return path.string();
  }
  return {};
}

// The driver manager's files: "orders" of the SQLite driver over a 300-row table made afresh for
// every test, and for the PostgreSQL suite "orders-pg" of its driver against the test server.
class OdbcServerTest : public ::testing::TestWithParam<size_t> {
 protected:
  static void SetUpTestSuite() { WriteIni(false); }
  // One folder per process: the driver manager keeps reading the first odbc.ini it was given.
  static testing::TestFolder& Folder() {
    static testing::TestFolder folder;
    return folder;
  }
  static void WriteIni(bool with_pg) {
    const std::string driver = DriverPath("libsqlite3odbc.so");
    if (driver.empty()) return;
    std::string inst = "[SQLite3]\nDriver=" + driver + "\n";
    std::string ini = "[orders]\nDriver=SQLite3\nDatabase=" + Db().string() + "\n";
    const std::string pg_driver = DriverPath("psqlodbcw.so");
    if (with_pg && !pg_driver.empty() && test_support::PgFixture::Server().skip.empty()) {
      inst += "[PG]\nDriver=" + pg_driver + "\n";
      const std::string port = std::to_string(test_support::PgFixture::Server().port);
      ini += "[orders-pg]\nDriver=PG\nServername=127.0.0.1\nDatabase=postgres\nPort=" + port +
             "\n[lit-pg]\nDriver=PG\nServername=127.0.0.1\nDatabase=odbclit\nPort=" + port + "\n";
    }
    setenv("ODBCSYSINI", Folder().path().c_str(), 1);
    setenv("ODBCINI", Folder().Write("odbc.ini", ini).c_str(), 1);
    Folder().Write("odbcinst.ini", inst);
  }
  static std::filesystem::path Db() { return Folder() / "orders.sqlite"; }
#ifdef __SANITIZE_ADDRESS__
  void TearDown() override {
    __lsan_enable();
  }
#endif

  void SetUp() override {
#ifdef __SANITIZE_ADDRESS__
    // The SQLite ODBC driver keeps allocations of its own past the disconnect, made in
    // frames without frame pointers that a suppression cannot name: what is allocated
    // during these tests is not counted as leaked.
    __lsan_disable();
#endif
    if (DriverPath("libsqlite3odbc.so").empty())
      GTEST_SKIP() << "no SQLite ODBC driver (libsqlite3odbc.so, libsqliteodbc)";
    std::filesystem::remove(Db());
    testing::TestDb db(Db());
    db.Exec(
        "CREATE TABLE Orders(Id INTEGER PRIMARY KEY, Customer VARCHAR(20), Qty INTEGER, "
        "Amount NUMERIC(10,2), Price DOUBLE, Day DATE, At TIMESTAMP, Flag BIT, Data BLOB);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
        "INSERT INTO Orders SELECT i, 'c' || i, i % 7, i / 4.0, i * 1.5, '2024-02-29', "
        "'2024-01-05 10:30:15', i % 2, NULL FROM n;"
        "UPDATE Orders SET Data = x'01ff', Amount = 12 WHERE Id = 2;"
        "CREATE VIEW Odd AS SELECT * FROM Orders WHERE Flag = 1;");
    OdbcServerOptions options;
    options.temp_folder = Folder() / "store";
    options.memory_bound = GetParam();
    server_ = NewOdbcDataServer(options);
  }

  std::shared_ptr<RecordSet> Query(const std::string& sql, const std::string& source = "orders") {
    return server_->Query(source, "", sql, "", "");
  }
  Variant Cell(const std::string& sql) {
    return Query(sql)->Item(0).Value();
  }
  // Runs `sql` on `source` as `user`: "" when it succeeded, else the error's number and
  // description.
  std::string Run(const std::string& source, const std::string& sql, const std::string& user = "",
                  const std::string& password = "") {
    try {
      server_->Query(source, "", sql, user, password);
      return "";
    } catch (const platform::ComError& e) {
      char number[16];
      std::snprintf(number, sizeof number, "%08X ", static_cast<uint32_t>(e.number()));
      return number + e.description();
    }
  }
  // Writes each value over the previous one of row `id` of `table`, with both in the statement
  // as the control writes a text column's literals (the old one where the row is found), and
  // reads it back; then the attack value, which must change no other row.
  void ExpectLiteralsRoundTrip(const std::string& source, const std::string& table, int id,
                               const std::string& user = "", const std::string& password = "") {
    const sql::SqlLiteralContext context(platform::Locale::EnUS());
    const auto literal = [&](const std::string& text) {
      return "'" + sql::GetSqlLiteral(text, adVarChar, context) + "'";
    };
    const auto read = [&](const std::string& sql) {
      return server_->Query(source, "", sql, user, password)->Item(0).Value();
    };
    const std::string where = " WHERE Id = " + std::to_string(id);
    const std::string others = "SELECT count(*) FROM " + table + " WHERE Id <> " +
                               std::to_string(id) + " AND Customer LIKE 'c%' AND Qty < 999";
    const Variant before = read(others);
    std::string previous = read("SELECT Customer FROM " + table + where).AsString();
    for (const char* value : kLiteralValues) {
      SCOPED_TRACE(source + " / " + value);
      EXPECT_EQ(Run(source,
                    "UPDATE " + table + " SET Customer = " + literal(value) + where +
                        " AND Customer = " + literal(previous),
                    user, password),
                "");
      EXPECT_EQ(read("SELECT Customer FROM " + table + where), Variant(value));
      previous = value;
    }
    EXPECT_EQ(read(others), before);
  }
  static constexpr const char* kLiteralValues[] = {
      "\\",
      "\\\\",
      "a\\",
      "\\'",
      "'\\'",
      "\\''",
      "E'\\n'",
      "\\x41",
      "\\047",
      "O'Brien",
      "'",
      "''",
      "\\\\'||'",
      "'; --",
      "表'",
      "ソ\\'",
      "?",
      "{fn ucase('x')}",
      "{d '2024-01-01'}",
      "\\'||current_user||chr(32)||version(), Qty = 999 WHERE Id = 31 --"};

  std::shared_ptr<DataServer> server_;
};

// Under the bound the rows stay in memory; a bound of one byte moves them to a store file.
INSTANTIATE_TEST_SUITE_P(Stores, OdbcServerTest, ::testing::Values(size_t{4} << 20, size_t{1}));

TEST_P(OdbcServerTest, RecordSetCountsAndMovesAnywhere) {
  auto rs = Query("SELECT Id, Customer FROM Orders ORDER BY Id DESC");
  EXPECT_EQ(rs->RecordCount(), 300);
  const struct {
    int64_t move;
    int32_t id;
    const char* customer;
  } steps[] = {{250, 50, "c50"}, {-200, 250, "c250"}, {249, 1, "c1"}, {-249, 250, "c250"}};
  for (const auto& step : steps) {
    rs->Move(step.move);
    EXPECT_EQ(rs->Item(0).Value(), Variant::Long(step.id)) << step.move;
    EXPECT_EQ(rs->Item(1).Value(), Variant(step.customer));
  }
  rs->Move(250);
  EXPECT_TRUE(rs->Eof());
  // Beyond the memory bound the rows live in a file of the store, until the record set closes.
  const auto store_files = [&] {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Folder() / "store"))
      files += entry.path().extension() == ".rows";
    return files;
  };
  EXPECT_EQ(store_files(), GetParam() == 1 ? 1 : 0);
  rs->Close();
  EXPECT_EQ(store_files(), 0);
}

TEST_P(OdbcServerTest, TypesAndValues) {
  auto rs = Query(
      "SELECT Id, Customer, Amount, Price, Day, At, Flag, Data FROM Orders "
      "WHERE Id IN (2, 3) ORDER BY Id");
  const struct {
    int32_t type;
    Variant first, second;
  } fields[] = {
      {adInteger, Variant::Long(2), Variant::Long(3)},
      {adVarChar, Variant("c2"), Variant("c3")},
      {adDouble, Variant::Double(12), Variant::Double(0.75)},  // the driver's NUMERIC
      {adDouble, Variant::Double(3.0), Variant::Double(4.5)},
      {adDBDate, Variant::Date(45351), Variant::Date(45351)},
      {adDBTimeStamp, Variant::Date(45296 + (10 * 3600 + 30 * 60 + 15) / 86400.0),
       Variant::Date(45296 + (10 * 3600 + 30 * 60 + 15) / 86400.0)},
      {adBoolean, Variant::Boolean(false), Variant::Boolean(true)},
      {adBinary, testing::Bytes({0x01, 0xff}), Variant::Null()},
  };
  ASSERT_EQ(rs->FieldCount(), 8);
  for (int32_t f = 0; f < 8; ++f) {
    SCOPED_TRACE(rs->Item(f).Name());
    EXPECT_EQ(rs->Item(f).Type(), fields[f].type);
    rs->MoveFirst();
    EXPECT_EQ(rs->Item(f).Value(), fields[f].first);
    rs->MoveNext();
    EXPECT_EQ(rs->Item(f).Value(), fields[f].second);
  }
  EXPECT_EQ(rs->Item(1).DefinedSize(), 20);
}

TEST_P(OdbcServerTest, ErrorsAndRefusedWritesChangeNothingOneRowWritesCommit) {
  const struct {
    const char *source, *sql;
    uint32_t number;
  } rows[] = {
      {"nowhere", "SELECT 1", kErrSourceUnusable},
      {"orders", "SELECT * FROM Nowhere", kErrInvalidStatement},
      {"orders", " ", kErrInvalidStatement},
      {"orders", "UPDATE Orders SET Qty = 99 WHERE Id = 999", kErrRowNotIdentified},
      {"orders", "DELETE FROM Orders WHERE Qty = 3", kErrRowNotIdentified},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] { Query(row.sql, row.source); })), row.number);
  }
  EXPECT_EQ(Cell("SELECT count(*) FROM Orders WHERE Qty <> 99"), Variant::Long(300));
  // Writes of one row commit.
  EXPECT_EQ(Query("UPDATE Orders SET Customer = 'new' WHERE Id = 7")->State(), 0);
  EXPECT_EQ(Query("DELETE FROM Orders WHERE Id = 8")->State(), 0);
  EXPECT_EQ(Query("INSERT INTO Orders(Id, Customer) VALUES (301, 'x'), (302, 'y')")->State(), 0);
  EXPECT_EQ(Cell("SELECT group_concat(Customer) FROM Orders WHERE Id IN (7, 8, 301, 302)"),
            Variant("new,x,y"));
}

TEST_P(OdbcServerTest, ListingsAndRouting) {
  EXPECT_EQ(AllRows(*server_->ListSources("orders", "", "")),
            (Rows{{Variant("Odd")}, {Variant("Orders")}}));

  sqlite::SqliteServerOptions local_options;
  local_options.temp_folder = Folder() / "store";
  local_options.list_dsns = [] { return std::vector<std::string>{"plant", "orders"}; };
  auto router = NewDataSourceRouter(sqlite::NewSqliteDataServer(local_options), server_,
                                    [](std::string_view source) { return source == "plant"; });
  // The driver manager's "orders" is listed once.
  EXPECT_EQ(AllRows(*router->ListCatalogs()), (Rows{{Variant("plant")}, {Variant("orders")}}));
  // "plant" is the embedded server's (no such file there); "orders" the driver manager's;
  // a name neither knows gets the embedded server's answer.
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] { router->Query("plant", "", "SELECT 1", "", ""); })),
            kErrSourceUnusable);
  EXPECT_EQ(router->Query("orders", "", "SELECT count(*) FROM Odd", "", "")->Item(0).Value(),
            Variant::Long(150));
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] { router->Query("other", "", "SELECT 1", "", ""); })),
            kErrSourceUnusable);
}

TEST_P(OdbcServerTest, ValuesWithBackslashesAndQuotesRoundTripOnSqlite) {
  ExpectLiteralsRoundTrip("orders", "Orders", 30);
}

// A statement that asks for rows runs read-only, also one whose rows come from a write.
TEST_P(OdbcServerTest, AQueryThatWritesIsRefusedOnSqlite) {
  for (const char* sql : {"WITH x AS (SELECT 5) DELETE FROM Orders WHERE Id IN x RETURNING Id",
                          "WITH x AS (SELECT 5) UPDATE Orders SET Qty = 99 WHERE Id IN x"}) {
    SCOPED_TRACE(sql);
    const std::string error = Run("orders", sql);
    EXPECT_EQ(error.substr(0, 9), "80040E14 ");
    EXPECT_NE(error.find("readonly"), std::string::npos) << error;
  }
  EXPECT_EQ(Cell("SELECT count(*) FROM Orders WHERE Id = 5 AND Qty = 5"), Variant::Long(1));
  EXPECT_EQ(Run("orders", "UPDATE Orders SET Qty = 99 WHERE Id = 5"), "");
}

class OdbcPgDriverTest : public OdbcServerTest {
 protected:
  static void SetUpTestSuite() { WriteIni(true); }
};
INSTANTIATE_TEST_SUITE_P(Stores, OdbcPgDriverTest, ::testing::Values(size_t{4} << 20));

TEST_P(OdbcPgDriverTest, LoginsNumbersAndStatements) {
  if (DriverPath("psqlodbcw.so").empty())
    GTEST_SKIP() << "no PostgreSQL ODBC driver (psqlodbcw.so)";
  TABULO_REQUIRE_PG(test_support::PgFixture::Server());
  test_support::PgFixture::Psql(test_support::PgFixture::Server(),
                                "DROP TABLE IF EXISTS odbc_t; CREATE TABLE odbc_t(id int, q int);"
                                "INSERT INTO odbc_t VALUES (1, 1), (2, 2)");
  const auto query = [&](const char* sql, const char* password = "secret") {
    return server_->Query("orders-pg", "", sql, "postgres", password);
  };
  // Names the server folded take the statement's spelling; exact numbers keep their kind.
  auto rs = query("SELECT 41 + 1 AS Answer, 12.00::numeric(10,2), 0.75::numeric");
  const Variant values[] = {Variant::Long(42), Variant::Long(12), Variant::Double(0.75)};
  for (int32_t f = 0; f < 3; ++f) EXPECT_EQ(rs->Item(f).Value(), values[f]) << f;
  EXPECT_EQ(rs->Item(0).Name(), "Answer");
  EXPECT_EQ(rs->Item(1).Type(), adNumeric);
  const struct {
    const char *sql, *password;
    uint32_t number;
  } rows[] = {
      {"SELECT 1", "wrong", kErrLoginFailed},
      {"SELECT * FROM nowhere", "secret", kErrInvalidStatement},
      {"UPDATE odbc_t SET q = 5 WHERE id = 1; UPDATE odbc_t SET q = 5 WHERE id = 2", "secret",
       kErrInvalidStatement},
      {"SELECT 1; DELETE FROM odbc_t", "secret", kErrInvalidStatement},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] { query(row.sql, row.password); })), row.number);
  }
  EXPECT_EQ(query("SELECT count(*) FROM odbc_t WHERE q <> 5")->Item(0).Value(), Variant::Long(2));
}

// The driver's session against a role and database that turn standard_conforming_strings off
// and ask for other encodings: literals still mean what they say; a query runs read-only.
TEST_P(OdbcPgDriverTest, LiteralsHoldAndQueriesOnlyRead) {
  if (DriverPath("psqlodbcw.so").empty())
    GTEST_SKIP() << "no PostgreSQL ODBC driver (psqlodbcw.so)";
  const auto& pg = test_support::PgFixture::Server();
  TABULO_REQUIRE_PG(pg);
  test_support::PgFixture::Psql(pg,
                                "CREATE ROLE odbc_clerk LOGIN PASSWORD 'pw';"
                                "ALTER ROLE odbc_clerk SET standard_conforming_strings = off;"
                                "ALTER ROLE odbc_clerk SET client_encoding = 'SJIS';"
                                "CREATE DATABASE odbclit OWNER odbc_clerk;"
                                "ALTER DATABASE odbclit SET standard_conforming_strings = off;");
  test_support::PgFixture::Psql(pg,
                                "SET ROLE odbc_clerk;"
                                "CREATE TABLE Orders(Id int PRIMARY KEY, Customer text, Qty int);"
                                "INSERT INTO Orders SELECT i, 'c' || i, i FROM"
                                " generate_series(29, 33) i;"
                                "CREATE FUNCTION Bump() RETURNS int LANGUAGE sql VOLATILE AS"
                                " 'UPDATE Orders SET Qty = Qty + 1 WHERE Id = 33 RETURNING Qty';",
                                "odbclit");
  for (auto [user, password] :
       {std::pair<const char*, const char*>{"odbc_clerk", "pw"}, {"postgres", "secret"}}) {
    ExpectLiteralsRoundTrip("lit-pg", "Orders", 30, user, password);
  }
  const struct {
    const char* sql;
    const char* says;
  } rows[] = {
      {"SELECT * INTO Stolen FROM Orders", "read-only transaction"},
      {"SELECT Bump()", "read-only transaction"},
      {"WITH d AS (DELETE FROM Orders WHERE Id = 33 RETURNING Id) SELECT Id FROM d",
       "read-only transaction"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    const std::string error = Run("lit-pg", row.sql, "odbc_clerk", "pw");
    EXPECT_EQ(error.substr(0, 9), "80040E14 ");
    EXPECT_NE(error.find(row.says), std::string::npos) << error;
  }
  auto left = server_->Query(
      "lit-pg", "", "SELECT (to_regclass('stolen') IS NULL)::int, Qty FROM Orders WHERE Id = 33",
      "odbc_clerk", "pw");
  EXPECT_EQ(left->Item(0).Value(), Variant::Long(1));
  EXPECT_EQ(left->Item(1).Value(), Variant::Long(33));
}

}  // namespace
}  // namespace tabulo::host::odbc
