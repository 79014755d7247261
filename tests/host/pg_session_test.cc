// The PostgreSQL data server's sessions against a throw-away server whose roles and databases
// set what they can: literals written as the control writes them mean what they say whatever
// standard_conforming_strings or client_encoding the role or database sets, the value forms
// the record set parses hold, and a query runs read-only.
#include <gtest/gtest.h>

#include <set>

#include "common/pg_fixture.h"
#include "host/field_types.h"
#include "host/servers/pg/pg_data_server.h"
#include "platform/text/locale.h"
#include "platform/text/text.h"
#include "sql/sql_literal.h"

namespace tabulo::host::pg {
namespace {

using platform::ComError;
using platform::Variant;
using test_support::PgFixture;

// The attack: typed into row 30, it would rewrite row 31 where a backslash escapes a quote.
constexpr const char* kAttack = "\\'||current_user||chr(32)||version(), qty = 999 WHERE id = 31 --";

// Texts an operator may type, each stored and compared exactly as typed.
const char* const kValues[] = {
    "\\",    "\\\\",  "a\\",     "\\'",    "'\\'",  "\\''",     "E'\\n'",    "\\n\\t\\r",
    "\\x41", "\\047", "O'Brien", "'",      "''",    "\\\\'||'", "'; --",     "表",
    "表'",   "ソ\\'", "\\u0041", "$$\\$$", kAttack, "end\\",    " \\ ' \\ ",
};

class PgSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TABULO_REQUIRE_PG(PgFixture::Server());
    static bool loaded = false;
    if (!loaded) {
      loaded = true;
      const std::string items =
          "CREATE TABLE Items(Id int PRIMARY KEY, Name text, Qty int, Price float8, Raw bytea);"
          "INSERT INTO Items VALUES (30, 'thirty', 3, 0.1::float8 + 0.2::float8, decode('5c27', "
          "'hex')),"
          " (31, 'thirty-one', 4, 1, NULL), (32, 'thirty-two', 5, 2, NULL);"
          "CREATE SEQUENCE Numbers;"
          "CREATE FUNCTION Bump() RETURNS int LANGUAGE sql VOLATILE AS"
          " 'UPDATE Items SET Qty = Qty + 1 WHERE Id = 32 RETURNING Qty';"
          "CREATE TABLE Many(Id int PRIMARY KEY);"
          "INSERT INTO Many SELECT generate_series(1, 200);"
          "GRANT ALL ON Items, Numbers, Many TO clerk; GRANT CREATE ON SCHEMA public TO clerk;";
      // The role's settings: every one the connection relies on, set against it.
      PgFixture::Psql(PgFixture::Server(),
                      "CREATE ROLE clerk LOGIN PASSWORD 'pw';"
                      "ALTER ROLE clerk SET standard_conforming_strings = off;"
                      "ALTER ROLE clerk SET client_encoding = 'SJIS';"
                      "ALTER ROLE clerk SET DateStyle = 'SQL, DMY';"
                      "ALTER ROLE clerk SET IntervalStyle = 'postgres';"
                      "ALTER ROLE clerk SET extra_float_digits = 0;"
                      "ALTER ROLE clerk SET bytea_output = 'escape';"
                      "CREATE DATABASE rolelit; CREATE DATABASE dblit;"
                      "ALTER DATABASE dblit SET standard_conforming_strings = off;"
                      "ALTER DATABASE dblit SET client_encoding = 'GBK';");
      PgFixture::Psql(PgFixture::Server(), items, "rolelit");
      PgFixture::Psql(PgFixture::Server(), items, "dblit");
    }
    PgServerOptions options;
    const int port = PgFixture::Server().port;
    options.connections["role"] = {"127.0.0.1", port, "rolelit", "clerk", "pw"};
    options.connections["database"] = {"127.0.0.1", port, "dblit", "postgres", "secret"};
    server_ = NewPgDataServer(options);
  }

  // Runs `sql` on `source`: "" when it succeeded, else the error's number and description.
  std::string Run(const std::string& source, const std::string& sql) {
    try {
      server_->Query(source, "", sql, "", "");
      return "";
    } catch (const ComError& e) {
      char number[16];
      std::snprintf(number, sizeof number, "%08X ", static_cast<uint32_t>(e.number()));
      return number + e.description();
    }
  }
  Variant Cell(const std::string& source, const std::string& sql, int32_t field = 0) {
    return server_->Query(source, "", sql, "", "")->Item(field).Value();
  }
  // The literal of a text column as the control writes it: quote, literal, quote.
  static std::string Literal(const std::string& text) {
    const sql::SqlLiteralContext context(platform::Locale::EnUS());
    return sql::GetSqlQuote(adVarWChar) + sql::GetSqlLiteral(text, adVarWChar, context) +
           sql::GetSqlQuote(adVarWChar);
  }
  std::string Rows(const std::string& source) {
    auto rs = server_->Query(source, "", "SELECT Id, Name, Qty FROM Items ORDER BY Id", "", "");
    std::string out;
    for (; !rs->Eof(); rs->MoveNext()) {
      out += std::to_string(rs->Item(0).Value().AsLong()) + ":" + rs->Item(1).Value().AsString() +
             ":" + std::to_string(rs->Item(2).Value().AsLong()) + ";";
    }
    return out;
  }
  void Reset(const std::string& source) {
    ASSERT_EQ(Run(source, "UPDATE Items SET Name = 'thirty', Qty = 3 WHERE Id = 30"), "");
  }

  std::shared_ptr<DataServer> server_;
};

const char* const kSources[] = {"role", "database"};

TEST_F(PgSessionTest, TheAttackValueIsStoredAsTypedAndNoOtherRowChanges) {
  for (const char* source : kSources) {
    SCOPED_TRACE(source);
    Reset(source);
    EXPECT_EQ(Run(source, "UPDATE Items SET Name = " + Literal(kAttack) +
                              " WHERE Id = 30 AND Name = 'thirty'"),
              "");
    EXPECT_EQ(Rows(source), std::string("30:") + kAttack + ":3;31:thirty-one:4;32:thirty-two:5;");
  }
}

// Each value is written over the previous one, whose literal must match in the WHERE clause
// (the row's old value, as the control compares it): one row changed, else 0x80040E38.
TEST_F(PgSessionTest, ValuesWithBackslashesAndQuotesRoundTripInBothPlaces) {
  for (const char* source : kSources) {
    Reset(source);
    std::string previous = "thirty";
    for (const char* value : kValues) {
      SCOPED_TRACE(std::string(source) + " / " + value);
      EXPECT_EQ(Run(source, "UPDATE Items SET Name = " + Literal(value) +
                                " WHERE Id = 30 AND Name = " + Literal(previous)),
                "");
      EXPECT_EQ(Cell(source, "SELECT Name FROM Items WHERE Id = 30"), Variant(value));
      EXPECT_EQ(Cell(source, "SELECT length(Name) FROM Items WHERE Id = 30").AsLong(),
                static_cast<int32_t>(platform::Utf8Length(value)));
      previous = value;
    }
    EXPECT_EQ(
        Cell(source, "SELECT count(*) FROM Items WHERE Id <> 30 AND Name LIKE 'thirty-%'").AsLong(),
        2);
  }
}

// The role's settings give way to the session's: the texts the record set parses keep their
// forms (a float read back exactly, bytes as bytes, ISO dates).
TEST_F(PgSessionTest, TheSessionPinsWhatLiteralsAndValueTextsRelyOn) {
  const std::string settings =
      "SELECT current_setting('standard_conforming_strings') || ' ' ||"
      " current_setting('client_encoding') || ' ' || split_part(current_setting('DateStyle'), ',', "
      "1) || ' ' ||"
      " current_setting('IntervalStyle') || ' ' || current_setting('extra_float_digits') ||"
      " ' ' || current_setting('bytea_output')";
  EXPECT_EQ(Cell("role", settings).AsString(), "on UTF8 ISO iso_8601 3 hex");
  EXPECT_EQ(Cell("database", settings).AsString().substr(0, 8), "on UTF8 ");
  EXPECT_EQ(Cell("role", "SELECT Price FROM Items WHERE Id = 30"), Variant::Double(0.1 + 0.2));
  EXPECT_EQ(Cell("role", "SELECT Raw FROM Items WHERE Id = 30"),
            Cell("role", "SELECT '\\x5c27'::bytea"));
  EXPECT_EQ(Cell("role", "SELECT Raw FROM Items WHERE Id = 30").type(),
            Cell("role", "SELECT 'x'::bytea").type());
  EXPECT_EQ(Cell("role", "SELECT DATE '2024-02-29'"), Variant::Date(45351));
}

// A command that turns a setting off spoils its connection: the next statement, a query here,
// takes a new one.
TEST_F(PgSessionTest, AConnectionWhoseSettingsACommandChangedIsNotReused) {
  const struct {
    const char* command;
    const char* probe;
    Variant expected;
  } rows[] = {
      {"SET standard_conforming_strings = off", "SELECT length('a\\b')", Variant::Long(3)},
      {"SET client_encoding = 'SJIS'", "SELECT length('ソ表')", Variant::Long(2)},
      {"SET DateStyle = 'SQL, DMY'", "SELECT DATE '2024-02-29'", Variant::Date(45351)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command);
    ASSERT_EQ(Run("role", row.command), "");
    EXPECT_EQ(Cell("role", row.probe), row.expected);
  }
  Reset("role");
  ASSERT_EQ(Run("role", "SET standard_conforming_strings = off"), "");
  EXPECT_EQ(Run("role", "UPDATE Items SET Name = " + Literal(kAttack) + " WHERE Id = 30"), "");
  EXPECT_EQ(Rows("role"), std::string("30:") + kAttack + ":3;31:thirty-one:4;32:thirty-two:5;");
}

// A query is run as given but read-only: one that writes is refused with the server's message
// and leaves nothing; the copy of a result into the session's temporary table still works.
TEST_F(PgSessionTest, AQueryThatWritesIsRefusedAndLeavesNothing) {
  struct Row {
    const char* sql;
    const char* says;  // in the description
  } rows[] = {
      {"SELECT * INTO Stolen FROM Items", "cannot execute SELECT INTO in a read-only"},
      {"select Id INTO TEMP Stolen FROM Items", "cannot execute SELECT INTO in a read-only"},
      {"WITH x AS (SELECT Id FROM Items) SELECT Id INTO Stolen FROM x", "(SELECT ... INTO)"},
      {"SELECT Bump()", "cannot execute UPDATE in a read-only"},
      {"SELECT Id, Bump() FROM Items ORDER BY Id", "cannot execute UPDATE in a read-only"},
      {"SELECT Id, Name FROM Items WHERE Bump() > 0", "cannot execute UPDATE in a read-only"},
      {"SELECT nextval('Numbers')", "cannot execute nextval() in a read-only"},
      {"VALUES (Bump())", "cannot execute UPDATE in a read-only"},
      {"WITH d AS (DELETE FROM Items WHERE Id = 32 RETURNING Id) SELECT Id FROM d",
       "data-modifying"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    const std::string error = Run("role", row.sql);
    EXPECT_EQ(error.substr(0, 9), "80040E14 ");
    EXPECT_NE(error.find(row.says), std::string::npos) << error;
  }
  EXPECT_EQ(Cell("role", "SELECT to_regclass('stolen') IS NULL"), Variant::Boolean(true));
  EXPECT_EQ(Cell("role", "SELECT Qty FROM Items WHERE Id = 32").AsLong(), 5);
  EXPECT_EQ(Cell("role", "SELECT last_value FROM Numbers").AsLong(), 1);
  EXPECT_EQ(Cell("role", "SELECT is_called FROM Numbers"), Variant::Boolean(false));
  // The copy path (a join is not a key path) and the key path still read.
  auto copied =
      server_->Query("role", "", "SELECT a.Id, b.Id FROM Items a, Items b ORDER BY 1, 2", "", "");
  EXPECT_EQ(copied->RecordCount(), 9);
  copied->Move(8);
  EXPECT_EQ(copied->Item(1).Value().AsLong(), 32);
  EXPECT_EQ(server_->Query("role", "", "SELECT Id FROM Items", "", "")->RecordCount(), 3);
  // A statement that turns the session's read-only default off finds it on again when later
  // records are read by key: its write, meant for a read-write transaction, never runs.
  auto keyed = server_->Query("role", "",
                              "SELECT Id, CASE WHEN current_setting('transaction_read_only') = "
                              "'off' THEN Bump() END AS b, set_config("
                              "'default_transaction_read_only', 'off', false) AS s FROM Many "
                              "ORDER BY Id",
                              "", "");
  ASSERT_EQ(keyed->RecordCount(), 200);
  keyed->Move(150);
  EXPECT_EQ(keyed->Item(0).Value().AsLong(), 151);
  EXPECT_TRUE(keyed->Item(1).Value().IsNull());
  EXPECT_EQ(Cell("role", "SELECT Qty FROM Items WHERE Id = 32").AsLong(), 5);
  // Writes still write.
  EXPECT_EQ(Run("role", "UPDATE Items SET Qty = 6 WHERE Id = 32"), "");
  EXPECT_EQ(Run("role", "UPDATE Items SET Qty = 5 WHERE Id = 32"), "");
}

}  // namespace
}  // namespace tabulo::host::pg
