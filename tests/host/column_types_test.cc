// Declared types to ADO codes and sizes; SQLite values to variants; ISO date texts.
#include "host/sqlite/column_types.h"

#include <gtest/gtest.h>

#include "host/sqlite/iso_date.h"

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

}  // namespace
}  // namespace tabulo::host::sqlite
