#include "script_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/values/conversions.h"
#include "platform/widgets/std_font.h"
#include "script_error.h"

namespace tabulo::app {
namespace {

using platform::SafeArray;
using platform::Variant;
using platform::VarType;

TEST(ScriptValue, DecimalIntegersAreLongUntilTheyLeave32Bits) {
  EXPECT_EQ(ParseValue("0"), Variant::Long(0));
  EXPECT_EQ(ParseValue("-17"), Variant::Long(-17));
  EXPECT_EQ(ParseValue("+5"), Variant::Long(5));
  EXPECT_EQ(ParseValue("2147483647"), Variant::Long(INT32_MAX));
  EXPECT_EQ(ParseValue("-2147483648"), Variant::Long(INT32_MIN));
  EXPECT_EQ(ParseValue("2147483648"), Variant::Double(2147483648.0));
  EXPECT_EQ(ParseValue("-2147483649"), Variant::Double(-2147483649.0));
  EXPECT_EQ(ParseValue("123456789012345678901234"), Variant::Double(1.2345678901234568e23));
}

TEST(ScriptValue, FractionsAndExponentsAreDouble) {
  EXPECT_EQ(ParseValue("1.5"), Variant::Double(1.5));
  EXPECT_EQ(ParseValue("0.1"), Variant::Double(0.1));
  EXPECT_EQ(ParseValue(".5"), Variant::Double(0.5));
  EXPECT_EQ(ParseValue("2E-3"), Variant::Double(0.002));
  EXPECT_EQ(ParseValue("1e308"), Variant::Double(1e308));
  EXPECT_EQ(ParseValue("3e0"), Variant::Double(3.0));
  Variant negative_zero = ParseValue("-0.0");
  ASSERT_EQ(negative_zero.type(), VarType::Double);
  EXPECT_TRUE(std::signbit(negative_zero.AsDouble()));
}

TEST(ScriptValue, HexadecimalIsLongWithTheHighBitNegative) {
  EXPECT_EQ(ParseValue("0x1f"), Variant::Long(31));
  EXPECT_EQ(ParseValue("0X10"), Variant::Long(16));
  EXPECT_EQ(ParseValue("0x7FFFFFFF"), Variant::Long(INT32_MAX));
  EXPECT_EQ(ParseValue("0x80000000"), Variant::Long(INT32_MIN));
  EXPECT_EQ(ParseValue("0x80040E14"), Variant::Long(-2147217900));
  EXPECT_EQ(ParseValue("0xFFFFFFFF"), Variant::Long(-1));
  EXPECT_EQ(ParseValue("0x00000000FF"), Variant::Long(255));
}

TEST(ScriptValue, MalformedOrOutOfRangeNumbersAreRefused) {
  for (const char* text : {"1e309", "-1e400", "1.2.3", "1e", "1e+", "--1", "12abc", "-", ".", "0x",
                           "0x1G", "0x100000000", "-0x1", "1,5", "abc", ""}) {
    EXPECT_THROW(ParseValue(text), ScriptError) << text;
  }
}

TEST(ScriptValue, TextsTakeDoubledQuotesAndFourEscapes) {
  EXPECT_EQ(ParseValue(R"("a ""b"" c")"), Variant("a \"b\" c"));
  EXPECT_EQ(ParseValue(R"("x\r\n\ty\\z")"), Variant("x\r\n\ty\\z"));
  EXPECT_EQ(ParseValue(R"("")"), Variant(""));
  EXPECT_EQ(ParseValue(R"("Grüße, 日本 😀")"), Variant("Grüße, 日本 😀"));
  EXPECT_EQ(ParseValue(R"("#not a comment")"), Variant("#not a comment"));
}

TEST(ScriptValue, BadTextsAreRefused) {
  for (const char* text : {R"("open)", R"("a\qb")", R"("a\")", R"("a"b)", R"("a" "b")", R"("a\)"}) {
    EXPECT_THROW(ParseValue(text), ScriptError) << text;
  }
}

TEST(ScriptValue, KeywordsInAnyCase) {
  EXPECT_EQ(ParseValue("true"), Variant::Boolean(true));
  EXPECT_EQ(ParseValue("FALSE"), Variant::Boolean(false));
  EXPECT_EQ(ParseValue("Null"), Variant::Null());
  EXPECT_EQ(ParseValue("empty"), Variant());
  Variant nothing = ParseValue("Nothing");
  ASSERT_TRUE(nothing.IsObject());
  EXPECT_EQ(nothing.AsObject(), nullptr);
  EXPECT_THROW(ParseValue("yes"), ScriptError);
}

TEST(ScriptValue, OneDimensionalArraysKeepTheirElementsInOrder) {
  Variant v = ParseValue(R"({1,"a, }b" ,  true, null})");
  ASSERT_TRUE(v.IsArray());
  const SafeArray& a = v.AsArray();
  EXPECT_EQ(a.dims(), 1);
  ASSERT_EQ(a.size(), 4);
  EXPECT_EQ(a.At(0), Variant::Long(1));
  EXPECT_EQ(a.At(1), Variant("a, }b"));
  EXPECT_EQ(a.At(2), Variant::Boolean(true));
  EXPECT_EQ(a.At(3), Variant::Null());
  Variant empty = ParseValue("{ }");
  ASSERT_TRUE(empty.IsArray());
  EXPECT_EQ(empty.AsArray().size(), 0);
}

TEST(ScriptValue, NestedBracesAreRowsOfATwoDimensionalArray) {
  Variant v = ParseValue(R"({{1, 2, 3}, {"x", 4.5, Null}})");
  ASSERT_TRUE(v.IsArray());
  const SafeArray& a = v.AsArray();
  ASSERT_EQ(a.dims(), 2);
  EXPECT_EQ(a.UBound(1), 1);
  EXPECT_EQ(a.UBound(2), 2);
  EXPECT_EQ(a.At(0, 2), Variant::Long(3));
  EXPECT_EQ(a.At(1, 0), Variant("x"));
  EXPECT_EQ(a.At(1, 1), Variant::Double(4.5));
  Variant no_columns = ParseValue("{{}, {}}");
  ASSERT_EQ(no_columns.AsArray().dims(), 2);
  EXPECT_EQ(no_columns.AsArray().UBound(1), 1);
  EXPECT_EQ(no_columns.AsArray().size(), 0);
}

TEST(ScriptValue, MalformedArraysAreRefused) {
  for (const char* text : {"{{1, 2}, {3}}", "{1, {2}}", "{{1}, 2}", "{{{1}}}", "{1 2}", "{1,",
                           "{1,}", "{,1}", "{1}}", "{1} 2", "{", "{\"a}"}) {
    EXPECT_THROW(ParseValue(text), ScriptError) << text;
  }
}

TEST(ScriptValue, EveryTypeHasItsOutputForm) {
  EXPECT_EQ(FormatValue(Variant()), "Empty");
  EXPECT_EQ(FormatValue(Variant::Null()), "Null");
  EXPECT_EQ(FormatValue(Variant::Integer(-5)), "-5");
  EXPECT_EQ(FormatValue(Variant::Long(INT32_MIN)), "-2147483648");
  EXPECT_EQ(FormatValue(Variant::Byte(200)), "200");
  EXPECT_EQ(FormatValue(Variant::Boolean(true)), "True");
  EXPECT_EQ(FormatValue(Variant::Boolean(false)), "False");
  EXPECT_EQ(FormatValue(Variant::Single(0.1f)), "0.1");
  EXPECT_EQ(FormatValue(Variant::Single(-2.5e-10f)), "-2.5e-10");
  EXPECT_EQ(FormatValue(Variant::Double(0.1)), "0.1");
  EXPECT_EQ(FormatValue(Variant::Double(1e308)), "1e+308");
  EXPECT_EQ(FormatValue(Variant::Double(2.499)), "2.499");
  EXPECT_EQ(FormatValue(Variant::Double(-0.0)), "0");
  EXPECT_EQ(FormatValue(Variant::Double(std::nan(""))), "NaN");
  EXPECT_EQ(FormatValue(Variant::Double(-HUGE_VAL)), "-Inf");
  EXPECT_EQ(FormatValue(Variant::CurrencyScaled(125000)), "12.5");
  EXPECT_EQ(FormatValue(Variant::CurrencyScaled(30000)), "3");
  EXPECT_EQ(FormatValue(Variant::CurrencyScaled(-1)), "-0.0001");
  EXPECT_EQ(FormatValue(Variant::CurrencyScaled(std::numeric_limits<int64_t>::min())),
            "-922337203685477.5808");
  EXPECT_EQ(
      FormatValue(Variant::Date(platform::DateSerial(2026, 1, 5) + platform::TimeSerial(8, 5, 9))),
      "#2026-01-05 08:05:09#");
  EXPECT_EQ(FormatValue(Variant::Date(-1e9)), "Date(-1e+09)");
  EXPECT_EQ(FormatValue(Variant::Error(static_cast<int32_t>(0x80020004))), "Error(-2147352572)");
  EXPECT_EQ(FormatValue(Variant("say \"hi\"\r\n\t\\")), R"("say ""hi""\r\n\t\\")");
  EXPECT_EQ(FormatValue(Variant::Nothing()), "Nothing");
  EXPECT_EQ(FormatValue(Variant(std::shared_ptr<platform::Dispatch>(platform::StdFont::Create()))),
            "Object(StdFont)");
}

TEST(ScriptValue, ArraysPrintInBracesWithRowsNested) {
  EXPECT_EQ(FormatValue(Variant(SafeArray::Vector({Variant(1), Variant("a"), Variant()}))),
            R"({1, "a", Empty})");
  SafeArray m = SafeArray::Matrix(2, 2);
  m.Set(0, 0, Variant(1));
  m.Set(0, 1, Variant(2.5));
  m.Set(1, 0, Variant::Null());
  m.Set(1, 1, Variant(true));
  EXPECT_EQ(FormatValue(Variant(m)), "{{1, 2.5}, {Null, True}}");
  // Lower bounds other than zero print the same elements.
  SafeArray based(VarType::Long, {{1, 3}});
  based.Set(3, Variant(7));
  EXPECT_EQ(FormatValue(Variant(based)), "{0, 0, 7}");
}

TEST(ScriptValue, OutputFormsReadBackToThemselves) {
  for (const char* text :
       {R"("Grüße ""日本""\r\n\t\\ # x")", "{{1, 2.5}, {\"x\", Null}}", "{True, False, Empty}",
        "0.1", "1e+308", "5e-324", "-2147483648", "2147483648", "{}", "{{}, {}}", "Nothing",
        "-0.3333333333333333", R"({"}", "{", ", "})"}) {
    EXPECT_EQ(FormatValue(ParseValue(text)), text);
  }
}

TEST(ScriptValue, DoublesReadBackExactly) {
  for (double d : {0.1, 1e308, 5e-324, 1.0 / 3, -2.5e-10, 123456789.125, 2.2250738585072014e-308,
                   1.7976931348623157e308}) {
    Variant back = ParseValue(FormatValue(Variant::Double(d)));
    ASSERT_EQ(back.type(), VarType::Double) << d;
    EXPECT_EQ(back.AsDouble(), d);
  }
}

}  // namespace
}  // namespace tabulo::app
