// ODBC date and time escapes: the stored forms written by assignments, value comparisons run on
// a real SQLite connection against the date texts SQLite files hold, and malformed escapes.
#include "host/sqlite/odbc_escapes.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "host/data_server.h"
#include "platform/values/com_error.h"

namespace tabulo::host::sqlite {
namespace {

using platform::ComError;

// An in-memory table T(Id, X) whose X holds date texts as given.
class DateTable {
 public:
  explicit DateTable(const std::vector<std::string>& values) {
    sqlite3_open(":memory:", &db_);
    Exec("CREATE TABLE T(Id INTEGER PRIMARY KEY, X TEXT)");
    for (size_t i = 0; i < values.size(); ++i) {
      Exec("INSERT INTO T VALUES (" + std::to_string(i + 1) + ", '" + values[i] + "')");
    }
  }
  ~DateTable() { sqlite3_close(db_); }
  DateTable(const DateTable&) = delete;
  DateTable& operator=(const DateTable&) = delete;

  // The Ids (1-based positions of the values) the translated condition selects.
  std::vector<int> Where(const std::string& condition) {
    const std::string sql =
        TranslateOdbcEscapes("SELECT Id FROM T WHERE " + condition + " ORDER BY Id");
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db_);
    std::vector<int> ids;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) ids.push_back(sqlite3_column_int(stmt, 0));
    sqlite3_finalize(stmt);
    return ids;
  }

 private:
  void Exec(const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  sqlite3* db_ = nullptr;
};

using Ids = std::vector<int>;

TEST(OdbcEscapes, AssignmentsWriteTheStoredForms) {
  EXPECT_EQ(TranslateOdbcEscapes("UPDATE T SET D = {d '2024-02-29'} , Tm = {t '13:45:10'} , "
                                 "S = {ts '2020-01-01 00:00:37.108'} , W = {ts '2020-01-01 "
                                 "00:00:37'} WHERE Id = 7"),
            "UPDATE T SET D = '2024-02-29' , Tm = '13:45:10' , S = '2020-01-01 00:00:37.108' , "
            "W = '2020-01-01 00:00:37' WHERE Id = 7");
  // Fewer fraction digits are tenths and hundredths; zero milliseconds are not written.
  EXPECT_EQ(TranslateOdbcEscapes("UPDATE T SET a = {t '01:02:03.5'}, b = {ts '2020-01-01 "
                                 "00:00:00.05'}, c = {t '01:02:03.000'}"),
            "UPDATE T SET a = '01:02:03.500', b = '2020-01-01 00:00:00.050', c = '01:02:03'");
  // Keywords in any case, blanks inside the braces.
  EXPECT_EQ(TranslateOdbcEscapes("INSERT INTO T VALUES ({ D '2000-02-29' }, {Ts\t'9999-12-31 "
                                 "23:59:59.999'})"),
            "INSERT INTO T VALUES ('2000-02-29', '9999-12-31 23:59:59.999')");
}

TEST(OdbcEscapes, TextThatOnlyLooksLikeAnEscapeStaysAsItIs) {
  for (const std::string sql : {
           "SELECT * FROM T",
           "UPDATE T SET Note = 'see {d ''2024-01-01''}' WHERE Note = '{ts x}'",
           "SELECT \"{d '2024-01-01'}\", [{t], `{ts` FROM T",
           "SELECT 1 -- {d '2024-13-45'}\n FROM T /* {ts} */",
       }) {
    EXPECT_EQ(TranslateOdbcEscapes(sql), sql);
  }
}

TEST(OdbcEscapes, TimestampComparisonsMatchEveryStoredForm) {
  DateTable t({"2024-01-02", "2024-01-02 00:00:00", "2024-01-02T00:00:00.000",
               "2024-01-02 00:00:00.001", "2024-01-02 00:00", "not a date"});
  EXPECT_EQ(t.Where("X = {ts '2024-01-02 00:00:00'}"), (Ids{1, 2, 3, 5}));
  EXPECT_EQ(t.Where("{ts '2024-01-02 00:00:00'} <> X"), (Ids{4}));
  EXPECT_EQ(t.Where("X > {ts '2024-01-02 00:00:00'}"), (Ids{4}));
  EXPECT_EQ(t.Where("X != {ts '2024-01-02 00:00:00.001'} AND X == {d '2024-01-02'}"),
            (Ids{1, 2, 3, 5}));
}

TEST(OdbcEscapes, RangeOf108MillisecondsHoldsAtBothBounds) {
  DateTable t({"2020-01-01 00:00:36.891", "2020-01-01 00:00:36.892", "2020-01-01T00:00:37",
               "2020-01-01 00:00:37.000", "2020-01-01 00:00:37.108", "2020-01-01 00:00:37.109"});
  EXPECT_EQ(t.Where("X >= {ts '2020-01-01 00:00:36.892'} AND X <= {ts '2020-01-01 00:00:37.108'}"),
            (Ids{2, 3, 4, 5}));
  // The same across midnight and a leap day.
  DateTable midnight({"2024-02-28 23:59:59.891", "2024-02-28 23:59:59.892", "2024-02-29",
                      "2024-02-29 00:00:00.108", "2024-02-29 00:00:00.109"});
  EXPECT_EQ(midnight.Where("X >= {ts '2024-02-28 23:59:59.892'} AND X <= {ts '2024-02-29 "
                           "00:00:00.108'}"),
            (Ids{2, 3, 4}));
}

TEST(OdbcEscapes, DateComparesTheDayAndTimeTheTimeOfDay) {
  DateTable dates({"2024-01-02", "2024-01-02 00:00:00", "2024-01-02T13:00:00", "2024-01-03"});
  EXPECT_EQ(dates.Where("X = {d '2024-01-02'}"), (Ids{1, 2, 3}));
  EXPECT_EQ(dates.Where("X < {d '2024-01-03'}"), (Ids{1, 2, 3}));
  DateTable times({"13:45:09", "13:45:09.000", "13:45:09.001", "2020-05-05 13:45:09"});
  EXPECT_EQ(times.Where("X = {t '13:45:09'}"), (Ids{1, 2, 4}));
  EXPECT_EQ(times.Where("X >= {t '13:45:09.001'}"), (Ids{3}));
}

TEST(OdbcEscapes, ColumnNamesMayBeQualifiedOrQuoted) {
  DateTable t({"2024-01-02 00:00:00", "2024-01-03"});
  EXPECT_EQ(t.Where("T.X = {d '2024-01-02'}"), (Ids{1}));
  EXPECT_EQ(t.Where("\"T\".[X] = {d '2024-01-02'} OR (main.T.X = {d '2024-01-03'})"), (Ids{1, 2}));
  EXPECT_EQ(t.Where("NOT X = {d '2024-01-02'}"), (Ids{2}));
}

TEST(OdbcEscapes, OperandsThatAreNotAColumnCompareTheStoredText) {
  DateTable t({"2024-01-02", "2024-01-02 00:00:00"});
  // "||" binds tighter than "=": the left side is the whole concatenation, not X.
  EXPECT_EQ(t.Where("'' || X = {d '2024-01-02'}"), (Ids{1}));
  EXPECT_EQ(t.Where("X BETWEEN {d '2024-01-02'} AND {ts '2024-01-02 00:00:00'}"), (Ids{1, 2}));
  EXPECT_EQ(t.Where("X IN ({d '2024-01-02'})"), (Ids{1}));
}

TEST(OdbcEscapes, NumbersAndStringsAroundEscapesAreKept) {
  EXPECT_EQ(TranslateOdbcEscapes("UPDATE Orders SET Price =  12.5 , Note = 'it''s late' WHERE "
                                 "Id = 7 AND Price >=  2.499 AND Placed = {d '2020-01-01'}"),
            "UPDATE Orders SET Price =  12.5 , Note = 'it''s late' WHERE Id = 7 AND Price >=  "
            "2.499 AND date(Placed) = '2020-01-01'");
}

// The error a translation raises (the test fails when it raises none).
ComError ErrorOf(const std::string& sql) {
  try {
    TranslateOdbcEscapes(sql);
  } catch (const ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for " << sql;
  return ComError(0, "");
}

TEST(OdbcEscapes, MalformedEscapesAreRefusedByName) {
  struct Case {
    std::string sql;
    std::string named;
  };
  for (const Case& c : std::vector<Case>{
           {"SET a = {d '2023-02-29'}", "{d '2023-02-29'}"},
           {"SET a = {d '1900-02-29'}", "{d '1900-02-29'}"},
           {"SET a = {d '2024-13-01'}", "{d '2024-13-01'}"},
           {"SET a = {d '0099-01-01'}", "{d '0099-01-01'}"},
           {"SET a = {d '2024-1-01'}", "{d '2024-1-01'}"},
           {"SET a = {t '24:00:00'}", "{t '24:00:00'}"},
           {"SET a = {t '12:60'}", "{t '12:60'}"},
           {"SET a = {ts '2020-01-01 00:00:37.1234'}", "{ts '2020-01-01 00:00:37.1234'}"},
           {"SET a = {ts '2020-01-01 00:00:37.'}", "{ts '2020-01-01 00:00:37.'}"},
           {"SET a = {ts '2020-01-01'}", "{ts '2020-01-01'}"},
           {"SET a = {d '2020-01-01 00:00:00'}", "{d '2020-01-01 00:00:00'}"},
           {"SET a = {d 20200101}", "{d 20200101"},
           {"SET a = {fn now()}", "{fn now()}"},
           {"SET a = {}", "{}"},
           {"SET a = {d '2024-01-01' WHERE b = 1", "{d '2024-01-01' WHERE b = 1"},
           {"SET a = {ts '2024-01-01 00:00:00}", "{ts '2024-01-01 00:00:00}"},
           {"SET a = {", "{"},
       }) {
    const ComError e = ErrorOf(c.sql);
    EXPECT_EQ(e.code(), kErrInvalidStatement) << c.sql;
    EXPECT_NE(e.description().find("ODBC escape " + c.named), std::string::npos)
        << c.sql << ": " << e.description();
  }
  // Valid leap days, for contrast.
  EXPECT_EQ(TranslateOdbcEscapes("{d '2000-02-29'}"), "'2000-02-29'");
  EXPECT_EQ(TranslateOdbcEscapes("{d '2024-02-29'}"), "'2024-02-29'");
}

}  // namespace
}  // namespace tabulo::host::sqlite
