// Declared types to ADO codes and sizes; SQLite values to variants; ISO date texts; ODBC date
// and time escapes: the stored forms written by assignments, value comparisons run on a real
// SQLite connection against the date texts SQLite files hold, and malformed escapes.
#include "host/sqlite/column_types.h"

#include <gtest/gtest.h>

#include "host/data_server.h"
#include "host/sqlite/iso_date.h"
#include "host/sqlite/odbc_escapes.h"
#include "test_folder.h"

namespace tabulo::host::sqlite {
namespace {

using platform::Variant;

// The data server's test declares one column of every type word and checks its code and
// size; here the spellings it does not use, and SQLite's affinity fallbacks ("FLOATING POINT":
// "INT" wins, as in SQLite).
TEST(ColumnTypes, EveryDeclaredType) {
  struct Case {
    const char* decl;
    int32_t type, size;
  };
  // clang-format off
  const Case cases[] = {
      {"int", adInteger, 4}, {"double precision", adDouble, 8}, {"varchar ( 12 )", adVarChar, 12},
      {"VARBINARY(100)", adVarBinary, 100}, {"UNSIGNED MEDIUM INTEGER", adInteger, 4},
      {"VARYING NATIONAL TEXT", adVarChar, 536870910}, {"BLOBBY", adLongVarBinary, 2147483647},
      {"FLOATY", adDouble, 8}, {"FLOATING POINT", adInteger, 4}, {"WHATEVER", adNumeric, 19}};
  // clang-format on
  for (const auto& c : cases) {
    auto t = ColumnTypeFromDecl(c.decl);
    ASSERT_TRUE(t.has_value()) << c.decl;
    EXPECT_EQ(std::make_pair(t->ado_type, t->defined_size), std::make_pair(c.type, c.size))
        << c.decl;
  }
  EXPECT_FALSE(ColumnTypeFromDecl(nullptr));
  EXPECT_FALSE(ColumnTypeFromDecl(""));
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_INTEGER).ado_type, adInteger);
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_FLOAT).ado_type, adDouble);
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_NULL).ado_type, adVarChar);
}

RawValue Int(int64_t v) {
  return RawValue{SQLITE_INTEGER, v, 0.0, {}};
}
RawValue Real(double v) {
  return RawValue{SQLITE_FLOAT, 0, v, {}};
}
RawValue Text(std::string s) {
  return RawValue{SQLITE_TEXT, 0, 0.0, std::move(s)};
}

TEST(ColumnTypes, ValuesByKind) {
  struct Case {
    RawValue raw;
    ValueKind kind;
    Variant value;
  };
  // The data server's test reads booleans, numerics and date-times of every declared type.
  // clang-format off
  const Case cases[] = {
      // Integers are Long until they need more than 32 bits.
      {Int(2147483647), ValueKind::Integer, Variant::Long(2147483647)},
      {Int(-2147483648LL), ValueKind::Integer, Variant::Long(INT32_MIN)},
      {Int(2147483648LL), ValueKind::Integer, Variant::Double(2147483648.0)},
      {Real(1.5), ValueKind::Integer, Variant::Double(1.5)},
      {Text("12a"), ValueKind::Integer, Variant("12a")},
      {Int(3), ValueKind::Real, Variant::Double(3.0)},
      {Real(12.34567), ValueKind::Currency, Variant::CurrencyScaled(123457)},
      {Int(5), ValueKind::Currency, Variant::CurrencyScaled(50000)},
      // Date texts become dates, others stay text.
      {Text("1899-12-30"), ValueKind::Date, Variant::Date(0.0)},
      {Text("not a date"), ValueKind::Date, Variant("not a date")},
      {Text("12:00"), ValueKind::Time, Variant::Date(0.5)},
      {Text("2009-03-01"), ValueKind::Text, Variant("2009-03-01")}};
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(ToVariant(c.raw, c.kind), c.value) << c.raw.bytes;
  for (auto kind : {ValueKind::Integer, ValueKind::Text, ValueKind::Date, ValueKind::Boolean})
    EXPECT_TRUE(ToVariant(RawValue{}, kind).IsNull());
  Variant blob =
      ToVariant(RawValue{SQLITE_BLOB, 0, 0.0, std::string("\x01\xff", 2)}, ValueKind::Text);
  ASSERT_TRUE(blob.IsArray());
  EXPECT_EQ(blob.AsArray().element_type(), platform::VarType::Byte);
  ASSERT_EQ(blob.AsArray().size(), 2);
  EXPECT_EQ(blob.AsArray().At(1).AsByte(), 0xff);
}

TEST(IsoDate, ParsesDatesAndTimesAndRefusesWhatIsNotOne) {
  const std::pair<const char*, double> dates[] = {{"2000-01-01", 36526.0},
                                                  {"2000-02-29T06:00", 36585.25},
                                                  {"1899-12-29 06:00:00", -1.25},
                                                  {"9999-12-31", 2958465.0}};
  for (const auto& [text, serial] : dates) EXPECT_DOUBLE_EQ(*ParseIsoDateTime(text), serial);
  EXPECT_NEAR(*ParseIsoDateTime("2000-01-01 00:00:01.500"), 36526.0 + 1.5 / 86400, 1e-9);
  EXPECT_DOUBLE_EQ(*ParseIsoTime("18:00:00"), 0.75);
  for (const char* bad : {"", "2001-02-29", "2000-13-01", "2000-00-10", "2000-01-32", "2000-1-01",
                          "2000-01-01 24:00", "2000-01-01 10:60", "2000-01-01x",
                          "2000-01-01 10:00:00.", "0099-01-01", "2000-01-01 10:00:61"})
    EXPECT_FALSE(ParseIsoDateTime(bad)) << bad;
  EXPECT_FALSE(ParseIsoTime("25:00"));
  EXPECT_FALSE(ParseIsoTime("10"));
}

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
      // An escape that is the whole text.
      {"{d '2000-02-29'}", "'2000-02-29'"}};
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
