// Declared types to ADO codes and sizes; SQLite values to variants; ISO date texts.
#include "host/sqlite/column_types.h"

#include <gtest/gtest.h>

#include "host/sqlite/iso_date.h"

namespace tabulo::host::sqlite {
namespace {

using platform::Variant;
using platform::VarType;

struct DeclCase {
  const char* decl;
  int32_t type;
  int32_t size;
};

TEST(ColumnTypes, EveryDeclaredType) {
  const DeclCase cases[] = {
      {"INTEGER", 3, 4},
      {"int", 3, 4},
      {"BIGINT", 20, 8},
      {"SMALLINT", 2, 2},
      {"TINYINT", 17, 1},
      {"REAL", 5, 8},
      {"FLOAT", 5, 8},
      {"double precision", 5, 8},
      {"DOUBLE", 5, 8},
      {"NUMERIC(10,2)", 131, 19},
      {"DECIMAL", 131, 19},
      {"CURRENCY", 6, 8},
      {"MONEY", 6, 8},
      {"CHAR(8)", 129, 8},
      {"NCHAR(3)", 130, 3},
      {"VARCHAR(40)", 200, 40},
      {"varchar ( 12 )", 200, 12},
      {"NVARCHAR(25)", 202, 25},
      {"TEXT", 200, 536870910},
      {"CLOB", 200, 536870910},
      {"DATE", 133, 10},
      {"TIME", 134, 8},
      {"DATETIME", 135, 19},
      {"TIMESTAMP", 135, 19},
      {"BOOLEAN", 11, 2},
      {"BIT", 11, 2},
      {"BLOB", 205, 2147483647},
      {"BINARY(16)", 128, 16},
      {"VARBINARY(100)", 204, 100},
      // Affinity fallbacks.
      {"UNSIGNED MEDIUM INTEGER", 3, 4},
      {"VARYING NATIONAL TEXT", 200, 536870910},
      {"BLOBBY", 205, 2147483647},
      {"FLOATY", 5, 8},
      {"FLOATING POINT", 3, 4},  // "INT" wins, as in SQLite
      {"WHATEVER", 131, 19},
  };
  for (const auto& c : cases) {
    auto t = ColumnTypeFromDecl(c.decl);
    ASSERT_TRUE(t.has_value()) << c.decl;
    EXPECT_EQ(t->ado_type, c.type) << c.decl;
    EXPECT_EQ(t->defined_size, c.size) << c.decl;
  }
  EXPECT_FALSE(ColumnTypeFromDecl(nullptr));
  EXPECT_FALSE(ColumnTypeFromDecl(""));
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_INTEGER).ado_type, 3);
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_FLOAT).ado_type, 5);
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_NULL).ado_type, 200);
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

TEST(ColumnTypes, IntegersAreLongUntilTheyNeedMoreThan32Bits) {
  EXPECT_EQ(ToVariant(Int(2147483647), ValueKind::Integer), Variant::Long(2147483647));
  EXPECT_EQ(ToVariant(Int(-2147483648LL), ValueKind::Integer), Variant::Long(INT32_MIN));
  EXPECT_EQ(ToVariant(Int(2147483648LL), ValueKind::Integer), Variant::Double(2147483648.0));
  EXPECT_EQ(ToVariant(Real(1.5), ValueKind::Integer), Variant::Double(1.5));
  EXPECT_EQ(ToVariant(Text("12a"), ValueKind::Integer), Variant("12a"));
  EXPECT_EQ(ToVariant(Int(3), ValueKind::Real), Variant::Double(3.0));
  EXPECT_EQ(ToVariant(Int(7), ValueKind::Numeric), Variant::Long(7));
}

TEST(ColumnTypes, NullBooleanCurrencyAndBlob) {
  for (auto kind : {ValueKind::Integer, ValueKind::Text, ValueKind::Date, ValueKind::Boolean}) {
    EXPECT_TRUE(ToVariant(RawValue{}, kind).IsNull());
  }
  EXPECT_EQ(ToVariant(Int(1), ValueKind::Boolean), Variant::Boolean(true));
  EXPECT_EQ(ToVariant(Int(0), ValueKind::Boolean), Variant::Boolean(false));
  EXPECT_EQ(ToVariant(Real(12.34567), ValueKind::Currency), Variant::CurrencyScaled(123457));
  EXPECT_EQ(ToVariant(Int(5), ValueKind::Currency), Variant::CurrencyScaled(50000));
  Variant blob =
      ToVariant(RawValue{SQLITE_BLOB, 0, 0.0, std::string("\x01\xff", 2)}, ValueKind::Text);
  ASSERT_TRUE(blob.IsArray());
  EXPECT_EQ(blob.AsArray().element_type(), VarType::Byte);
  ASSERT_EQ(blob.AsArray().size(), 2);
  EXPECT_EQ(blob.AsArray().At(1).AsByte(), 0xff);
}

TEST(ColumnTypes, DateTextsBecomeDatesOthersStayText) {
  EXPECT_EQ(ToVariant(Text("1899-12-30"), ValueKind::Date), Variant::Date(0.0));
  EXPECT_EQ(ToVariant(Text("2009-03-01 14:05:00"), ValueKind::Date),
            Variant::Date(39873.0 + (14 * 60 + 5) / 1440.0));
  EXPECT_EQ(ToVariant(Text("not a date"), ValueKind::Date), Variant("not a date"));
  EXPECT_EQ(ToVariant(Text("12:00"), ValueKind::Time), Variant::Date(0.5));
  EXPECT_EQ(ToVariant(Text("2009-03-01"), ValueKind::Text), Variant("2009-03-01"));
}

TEST(IsoDate, Parses) {
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2000-01-01"), 36526.0);
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2000-02-29T06:00"), 36585.25);
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("1899-12-29 06:00:00"), -1.25);
  EXPECT_NEAR(*ParseIsoDateTime("2000-01-01 00:00:01.500"), 36526.0 + 1.5 / 86400, 1e-9);
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("9999-12-31"), 2958465.0);
  EXPECT_DOUBLE_EQ(*ParseIsoTime("18:00:00"), 0.75);
}

TEST(IsoDate, RefusesWhatIsNotADate) {
  for (const char* bad : {"", "2001-02-29", "2000-13-01", "2000-00-10", "2000-01-32", "2000-1-01",
                          "2000-01-01 24:00", "2000-01-01 10:60", "2000-01-01x",
                          "2000-01-01 10:00:00.", "0099-01-01", "2000-01-01 10:00:61"}) {
    EXPECT_FALSE(ParseIsoDateTime(bad)) << bad;
  }
  EXPECT_FALSE(ParseIsoTime("25:00"));
  EXPECT_FALSE(ParseIsoTime("10"));
}

}  // namespace
}  // namespace tabulo::host::sqlite
