// ODBC date and time escapes: the stored forms written by assignments, value comparisons run on
// a real SQLite connection against the date texts SQLite files hold, and malformed escapes.
#include "host/sqlite/odbc_escapes.h"

#include <gtest/gtest.h>

#include "host/data_server.h"
#include "test_folder.h"

namespace tabulo::host::sqlite {
namespace {

// The Ids (1-based positions of `values`, date texts in a column X) that each condition
// selects once translated, as "1 2 3", one text per condition.
std::vector<std::string> Where(const std::vector<std::string>& values,
                               const std::vector<std::string>& conditions) {
  testing::TestDb db(":memory:");
  db.Exec("CREATE TABLE T(Id INTEGER PRIMARY KEY, X TEXT)");
  for (const std::string& v : values) db.Exec("INSERT INTO T(X) VALUES ('" + v + "')");
  std::vector<std::string> out;
  for (const std::string& c : conditions) {
    std::string ids;
    for (const auto& row :
         db.Rows(TranslateOdbcEscapes("SELECT Id FROM T WHERE " + c + " ORDER BY Id")))
      ids.append(ids.empty() ? "" : " ").append(row[0]);
    out.push_back(ids);
  }
  return out;
}

using Ids = std::vector<std::string>;

TEST(OdbcEscapes, AssignmentsWriteTheStoredFormsAndOtherTextStays) {
  const std::pair<std::string, std::string> cases[] = {
      {"UPDATE T SET D = {d '2024-02-29'} , Tm = {t '13:45:10'} , S = {ts '2020-01-01 "
       "00:00:37.108'} , W = {ts '2020-01-01 00:00:37'} WHERE Id = 7",
       "UPDATE T SET D = '2024-02-29' , Tm = '13:45:10' , S = '2020-01-01 00:00:37.108' , "
       "W = '2020-01-01 00:00:37' WHERE Id = 7"},
      // Fewer fraction digits are tenths and hundredths; zero milliseconds are not written.
      {"UPDATE T SET a = {t '01:02:03.5'}, b = {ts '2020-01-01 00:00:00.05'}, c = {t "
       "'01:02:03.000'}",
       "UPDATE T SET a = '01:02:03.500', b = '2020-01-01 00:00:00.050', c = '01:02:03'"},
      // Keywords in any case, blanks inside the braces.
      {"INSERT INTO T VALUES ({ D '2000-02-29' }, {Ts\t'9999-12-31 23:59:59.999'})",
       "INSERT INTO T VALUES ('2000-02-29', '9999-12-31 23:59:59.999')"},
      // Numbers and strings around escapes are kept.
      {"UPDATE Orders SET Price =  12.5 , Note = 'it''s late' WHERE Id = 7 AND Price >=  2.499 "
       "AND Placed = {d '2020-01-01'}",
       "UPDATE Orders SET Price =  12.5 , Note = 'it''s late' WHERE Id = 7 AND Price >=  2.499 "
       "AND date(Placed) = '2020-01-01'"},
      {"{d '2000-02-29'}", "'2000-02-29'"},
      {"{d '2024-02-29'}", "'2024-02-29'"}};
  for (const auto& [sql, translated] : cases) EXPECT_EQ(TranslateOdbcEscapes(sql), translated);
  for (const std::string sql :
       {"SELECT * FROM T", "UPDATE T SET Note = 'see {d ''2024-01-01''}' WHERE Note = '{ts x}'",
        "SELECT \"{d '2024-01-01'}\", [{t], `{ts` FROM T",
        "SELECT 1 -- {d '2024-13-45'}\n FROM T /* {ts} */"})
    EXPECT_EQ(TranslateOdbcEscapes(sql), sql);
}

TEST(OdbcEscapes, ComparisonsWithAColumnCompareDateAndTimeValues) {
  EXPECT_EQ(Where({"2024-01-02", "2024-01-02 00:00:00", "2024-01-02T00:00:00.000",
                   "2024-01-02 00:00:00.001", "2024-01-02 00:00", "not a date"},
                  {"X = {ts '2024-01-02 00:00:00'}", "{ts '2024-01-02 00:00:00'} <> X",
                   "X > {ts '2024-01-02 00:00:00'}",
                   "X != {ts '2024-01-02 00:00:00.001'} AND X == {d '2024-01-02'}"}),
            (Ids{"1 2 3 5", "4", "4", "1 2 3 5"}));
  // The range of 108 milliseconds holds at both bounds across midnight and a leap day (the
  // write tests run the plain range through the data server).
  EXPECT_EQ(Where({"2024-02-28 23:59:59.891", "2024-02-28 23:59:59.892", "2024-02-29",
                   "2024-02-29 00:00:00.108", "2024-02-29 00:00:00.109"},
                  {"X >= {ts '2024-02-28 23:59:59.892'} AND X <= {ts '2024-02-29 00:00:00.108'}"}),
            Ids{"2 3 4"});
  // A date compares the day, a time the time of day.
  EXPECT_EQ(Where({"2024-01-02", "2024-01-02 00:00:00", "2024-01-02T13:00:00", "2024-01-03"},
                  {"X = {d '2024-01-02'}", "X < {d '2024-01-03'}"}),
            (Ids{"1 2 3", "1 2 3"}));
  EXPECT_EQ(Where({"13:45:09", "13:45:09.000", "13:45:09.001", "2020-05-05 13:45:09"},
                  {"X = {t '13:45:09'}", "X >= {t '13:45:09.001'}"}),
            (Ids{"1 2 4", "3"}));
  // Column names may be qualified or quoted.
  EXPECT_EQ(Where({"2024-01-02 00:00:00", "2024-01-03"},
                  {"T.X = {d '2024-01-02'}",
                   "\"T\".[X] = {d '2024-01-02'} OR (main.T.X = {d '2024-01-03'})",
                   "NOT X = {d '2024-01-02'}"}),
            (Ids{"1", "1 2", "2"}));
  // Operands that are not a column compare the stored text: "||" binds tighter than "=".
  EXPECT_EQ(Where({"2024-01-02", "2024-01-02 00:00:00"},
                  {"'' || X = {d '2024-01-02'}",
                   "X BETWEEN {d '2024-01-02'} AND {ts '2024-01-02 00:00:00'}",
                   "X IN ({d '2024-01-02'})"}),
            (Ids{"1", "1 2", "1"}));
}

TEST(OdbcEscapes, MalformedEscapesAreRefusedByName) {
  for (const std::string named :
       {"{d '2023-02-29'}", "{d '1900-02-29'}", "{d '2024-13-01'}", "{d '0099-01-01'}",
        "{d '2024-1-01'}", "{t '24:00:00'}", "{t '12:60'}", "{ts '2020-01-01 00:00:37.1234'}",
        "{ts '2020-01-01 00:00:37.'}", "{ts '2020-01-01'}", "{d '2020-01-01 00:00:00'}",
        "{fn now()}", "{}", "{d '2024-01-01' WHERE b = 1", "{ts '2024-01-01 00:00:00}", "{"}) {
    const platform::ComError e = testing::Raised([&] { TranslateOdbcEscapes("SET a = " + named); });
    EXPECT_EQ(e.code(), kErrInvalidStatement) << named;
    EXPECT_NE(e.description().find("ODBC escape " + named), std::string::npos) << e.description();
  }
  // {d 20200101} is named up to where the escape stops making sense.
  EXPECT_NE(testing::Raised([] { TranslateOdbcEscapes("SET a = {d 20200101}"); })
                .description()
                .find("ODBC escape {d 20200101"),
            std::string::npos);
}

}  // namespace
}  // namespace tabulo::host::sqlite
