#include "platform/values/conversions.h"
#include "common/error_of.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "platform/automation/dispatch.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

const Locale& en = Locale::EnUS();
const Locale& de = Locale::DeDE();
const Locale& fr = Locale::FrFR();

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0.0);
  EXPECT_EQ(RoundHalfEven(1.5), 2.0);
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(3.5), 4.0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
  EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
  EXPECT_EQ(RoundHalfEven(2.6), 3.0);
  EXPECT_EQ(RoundHalfEven(-2.4), -2.0);
  // Just below a half must not be pulled up by an inexact x + 0.5.
  EXPECT_EQ(RoundHalfEven(0.49999999999999994), 0.0);
  EXPECT_EQ(RoundHalfEven(-0.49999999999999994), 0.0);
  EXPECT_FALSE(std::signbit(RoundHalfEven(-0.4)));
  // Around 2^52 and 2^53 every double is whole already.
  EXPECT_EQ(RoundHalfEven(4503599627370495.5), 4503599627370496.0);
  EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);
  EXPECT_EQ(RoundHalfEven(9007199254740993.0), 9007199254740993.0);
}

TEST(IntegerConversions, RoundHalfToEven) {
  EXPECT_EQ(CInt(2.5, en), 2);
  EXPECT_EQ(CInt(3.5, en), 4);
  EXPECT_EQ(CInt(-2.5, en), -2);
  EXPECT_EQ(CInt(0.5, en), 0);
  EXPECT_EQ(CInt(1.5, en), 2);
  EXPECT_EQ(CLng(-1.5, en), -2);
  EXPECT_EQ(CByte(254.5, en), 254);
  EXPECT_EQ(CInt(Variant("2.5"), en), 2);
  EXPECT_EQ(CInt(Variant("2,5"), de), 2);
  EXPECT_EQ(CLng(Variant("3,5"), fr), 4);
}

TEST(IntegerConversions, OverflowAtTheEdgesOfEachType) {
  EXPECT_EQ(ErrorOf([] { CInt(32767.5, en); }), kErrOverflow);
  EXPECT_EQ(CInt(32766.5, en), 32766);
  EXPECT_EQ(CInt(-32768.5, en), -32768);
  EXPECT_EQ(ErrorOf([] { CInt(-32769.0, en); }), kErrOverflow);
  EXPECT_EQ(CLng(2147483646.5, en), 2147483646);
  EXPECT_EQ(ErrorOf([] { CLng(2147483647.5, en); }), kErrOverflow);
  EXPECT_EQ(CLng(-2147483648.5, en), INT32_MIN);
  EXPECT_EQ(ErrorOf([] { CLng(-2147483649.0, en); }), kErrOverflow);
  EXPECT_EQ(CByte(-0.5, en), 0);
  EXPECT_EQ(ErrorOf([] { CByte(-0.6, en); }), kErrOverflow);
  EXPECT_EQ(CByte(254.5, en), 254);
  EXPECT_EQ(ErrorOf([] { CByte(255.5, en); }), kErrOverflow);  // 256 after rounding
  EXPECT_EQ(ErrorOf([] { CInt(std::nan(""), en); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CLng(1e300, en); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CInt(Variant("40000"), en); }), kErrOverflow);
}

TEST(IntegerConversions, CurrencyRoundsExactly) {
  EXPECT_EQ(CInt(Variant::CurrencyScaled(25000), en), 2);    // 2.5
  EXPECT_EQ(CInt(Variant::CurrencyScaled(35000), en), 4);    // 3.5
  EXPECT_EQ(CInt(Variant::CurrencyScaled(-25000), en), -2);  // -2.5
  EXPECT_EQ(CInt(Variant::CurrencyScaled(-25001), en), -3);
  EXPECT_EQ(CLng(Variant::CurrencyScaled(14999), en), 1);
  EXPECT_EQ(ErrorOf([] { CInt(Variant::CurrencyScaled(327675000), en); }), kErrOverflow);
}

TEST(Conversions, NullEmptyObjectsAndArrays) {
  const Variant null = Variant::Null();
  EXPECT_EQ(ErrorOf([&] { CInt(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CLng(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CByte(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CSng(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CDbl(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CCurScaled(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CBool(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CDate(null, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CStr(null, en); }), kErrInvalidUseOfNull);

  const Variant empty;
  EXPECT_EQ(CInt(empty, en), 0);
  EXPECT_EQ(CDbl(empty, en), 0.0);
  EXPECT_EQ(CCurScaled(empty, en), 0);
  EXPECT_EQ(CStr(empty, en), "");
  EXPECT_FALSE(CBool(empty, en));
  EXPECT_EQ(CDate(empty, en), 0.0);

  const Variant object = Variant::Nothing();
  const Variant array(SafeArray::Vector({Variant(int32_t{1})}));
  for (const Variant* v : {&object, &array}) {
    EXPECT_EQ(ErrorOf([&] { CLng(*v, en); }), kErrTypeMismatch);
    EXPECT_EQ(ErrorOf([&] { CDbl(*v, en); }), kErrTypeMismatch);
    EXPECT_EQ(ErrorOf([&] { CStr(*v, en); }), kErrTypeMismatch);
    EXPECT_EQ(ErrorOf([&] { CBool(*v, en); }), kErrTypeMismatch);
    EXPECT_EQ(ErrorOf([&] { CDate(*v, en); }), kErrTypeMismatch);
    EXPECT_FALSE(IsNumeric(*v, en));
    EXPECT_FALSE(IsDate(*v, en));
  }
}

TEST(Conversions, Booleans) {
  EXPECT_EQ(CInt(true, en), -1);
  EXPECT_EQ(CDbl(true, en), -1.0);
  EXPECT_EQ(CCurScaled(true, en), -10000);
  EXPECT_EQ(CStr(true, de), "True");
  EXPECT_EQ(CStr(false, fr), "False");
  EXPECT_TRUE(CBool(Variant("tRuE"), en));
  EXPECT_FALSE(CBool(Variant("FALSE"), de));
  EXPECT_TRUE(CBool(Variant(" True "), en));
  EXPECT_TRUE(CBool(Variant("-1"), en));
  EXPECT_TRUE(CBool(Variant("0,5"), de));
  EXPECT_FALSE(CBool(Variant("0"), en));
  EXPECT_TRUE(CBool(2.0, en));
  EXPECT_TRUE(CBool(Variant::CurrencyScaled(1), en));
  EXPECT_EQ(ErrorOf([] { CBool(Variant("yes"), en); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { CBool(Variant("Truee"), en); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { CBool(Variant(""), en); }), kErrTypeMismatch);
}

TEST(Conversions, HostileNumericTextsAreNotNumbers) {
  for (const char* text : {"1; DROP TABLE x",
                           "1 OR 1=1",
                           "(SELECT 1)",
                           "0x41",
                           "",
                           "   ",
                           "1e",
                           "1e+",
                           "--1",
                           "+-1",
                           "1-",
                           "$5",
                           "(5)",
                           "5%",
                           "1 2",
                           "&H",
                           "&HG",
                           "&O8",
                           "-&H10",
                           "\u0661",
                           "1\u00a0000",
                           "NaN",
                           "Infinity",
                           "1.2.3",
                           "1e5.5",
                           "e5",
                           ".",
                           "+",
                           "1 e5"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), en)) << text;
    EXPECT_EQ(ErrorOf([&] { CDbl(Variant(text), en); }), kErrTypeMismatch) << text;
  }
}

TEST(Conversions, NumericTextForms) {
  EXPECT_DOUBLE_EQ(CDbl(Variant("  -12.5  "), en), -12.5);
  EXPECT_DOUBLE_EQ(CDbl(Variant("+.5"), en), 0.5);
  EXPECT_DOUBLE_EQ(CDbl(Variant("5."), en), 5.0);
  EXPECT_DOUBLE_EQ(CDbl(Variant("1.5E-7"), en), 1.5e-7);
  EXPECT_DOUBLE_EQ(CDbl(Variant("1,5e+3"), de), 1500.0);
  EXPECT_DOUBLE_EQ(CDbl(Variant("\t7\t"), en), 7.0);
  EXPECT_EQ(CDbl(Variant("0.1"), en), 0.1);  // correctly rounded, not 0.1000000000000001
  EXPECT_EQ(CDbl(Variant("1e-400"), en), 0.0);
  EXPECT_EQ(CDbl(Variant("4.9406564584124654e-324"), en),
            std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(CLng(Variant("&H10"), en), 16);
  EXPECT_EQ(CLng(Variant("&hff"), en), 255);
  EXPECT_EQ(CLng(Variant("&HFFFF"), en), -1);  // a 16-bit pattern, as the literal is
  EXPECT_EQ(CLng(Variant("&H10000"), en), 65536);
  EXPECT_EQ(CLng(Variant("&HFFFFFFFF"), en), -1);
  EXPECT_EQ(CLng(Variant("&O17"), en), 15);
  EXPECT_EQ(ErrorOf([] { CLng(Variant("&H100000000"), en); }), kErrOverflow);
  EXPECT_TRUE(IsNumeric(Variant(" &H1F "), en));
  // Long texts of digits are read exactly and quickly.
  EXPECT_EQ(CDbl(Variant(std::string(100000, '0') + "1"), en), 1.0);
  EXPECT_EQ(CDbl(Variant("0." + std::string(100000, '0') + "1E100002"), en), 10.0);
}

TEST(Conversions, NumbersTooLargeOverflow) {
  EXPECT_FALSE(IsNumeric(Variant("1e999"), en));
  EXPECT_EQ(ErrorOf([] { CDbl(Variant("1e999"), en); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CDbl(Variant("-1e309"), en); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CDbl(Variant("1e99999999999999999999"), en); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CSng(1e39, en); }), kErrOverflow);
  EXPECT_EQ(CSng(3.4028234e38, en), std::numeric_limits<float>::max());
  EXPECT_EQ(ErrorOf([] { CCurScaled(1e15, en); }), kErrOverflow);
  EXPECT_TRUE(IsNumeric(Variant("1.7976931348623157e308"), en));
}

TEST(Conversions, IsNumericOfOtherTypes) {
  EXPECT_TRUE(IsNumeric(Variant(), en));
  EXPECT_TRUE(IsNumeric(true, en));
  EXPECT_TRUE(IsNumeric(int16_t{1}, en));
  EXPECT_TRUE(IsNumeric(Variant::CurrencyScaled(5), en));
  EXPECT_FALSE(IsNumeric(Variant::Null(), en));
  EXPECT_FALSE(IsNumeric(Variant::Date(1.0), en));
  EXPECT_TRUE(IsNumeric(Variant("1.234,5"), de));
  EXPECT_FALSE(IsNumeric(Variant("1,234.5"), de));
}

TEST(Currency, ExactFromTextAndFromDoubles) {
  EXPECT_EQ(CCurScaled(Variant("922337203685477.5807"), en), INT64_MAX);
  EXPECT_EQ(CCurScaled(Variant("-922337203685477.5808"), en), INT64_MIN);
  EXPECT_EQ(ErrorOf([] { CCurScaled(Variant("922337203685477.5808"), en); }), kErrOverflow);
  EXPECT_EQ(CCurScaled(Variant("0.00005"), en), 0);  // half to even
  EXPECT_EQ(CCurScaled(Variant("0.00015"), en), 2);
  EXPECT_EQ(CCurScaled(Variant("0.000050001"), en), 1);
  EXPECT_EQ(CCurScaled(Variant("1,5"), de), 15000);
  EXPECT_EQ(CCurScaled(Variant("1e-30"), en), 0);
  EXPECT_EQ(CCurScaled(Variant("&HFFFF"), en), -10000);
  EXPECT_EQ(CCurScaled(0.1, en), 1000);
  EXPECT_EQ(CCurScaled(2.5, en), 25000);
  // The double times 10,000 rounds to an exact half in both cases below; the true product
  // lies above the half for 1.00025 (10002.50000000000083) and below it for 0.00035
  // (3.49999999999999996), and that decides.
  EXPECT_EQ(CCurScaled(1.00025, en), 10003);
  EXPECT_EQ(CCurScaled(0.00035, en), 3);
  EXPECT_EQ(CCurScaled(-0.00035, en), -3);
  EXPECT_EQ(CCurScaled(int32_t{-7}, en), -70000);
  // Beyond 2^53 the product is not a double any more, yet whole currency stays exact.
  EXPECT_EQ(CCurScaled(922337203685477.0, en), 9223372036854770000);
  EXPECT_EQ(CCurScaled(-922337203685477.0, en), -9223372036854770000);
  EXPECT_EQ(ErrorOf([] { CCurScaled(922337203685478.0, en); }), kErrOverflow);
  EXPECT_EQ(CStr(Variant::CurrencyScaled(12345), de), "1,2345");
  EXPECT_EQ(CStr(Variant::CurrencyScaled(-5000), en), "-0.5");
  EXPECT_EQ(CStr(Variant::CurrencyScaled(70000), en), "7");
  EXPECT_EQ(CStr(Variant::CurrencyScaled(INT64_MIN), en), "-922337203685477.5808");
}

TEST(CStr, NumbersInTheClassicForm) {
  EXPECT_EQ(CStr(int16_t{-32768}, en), "-32768");
  EXPECT_EQ(CStr(int32_t{2147483647}, en), "2147483647");
  EXPECT_EQ(CStr(Variant::Byte(255), en), "255");
  EXPECT_EQ(CStr(2.5, en), "2.5");
  EXPECT_EQ(CStr(2.5, de), "2,5");
  EXPECT_EQ(CStr(-0.5, fr), "-0,5");
  EXPECT_EQ(CStr(0.1 + 0.2, en), "0.3");  // 15 significant digits
  EXPECT_EQ(CStr(1.0 / 3.0, en), "0.333333333333333");
  EXPECT_EQ(CStr(123456789012345.0, en), "123456789012345");
  EXPECT_EQ(CStr(1e15, en), "1E+15");
  EXPECT_EQ(CStr(1e20, en), "1E+20");
  EXPECT_EQ(CStr(1.5e-7, en), "1.5E-07");
  EXPECT_EQ(CStr(1.5e-7, de), "1,5E-07");
  EXPECT_EQ(CStr(0.0001, en), "0.0001");
  EXPECT_EQ(CStr(0.00001, en), "1E-05");
  EXPECT_EQ(CStr(-1.25e300, en), "-1.25E+300");
  EXPECT_EQ(CStr(100.0, en), "100");
  EXPECT_EQ(CStr(-0.0, en), "0");
  EXPECT_EQ(CStr(Variant::Single(0.1f), en), "0.1");
  EXPECT_EQ(CStr(Variant::Single(1234567.0f), en), "1234567");
  EXPECT_EQ(CStr(Variant::Single(12345678.0f), en), "1.234568E+07");
  EXPECT_EQ(ErrorOf([] { CStr(std::numeric_limits<double>::infinity(), en); }), kErrOverflow);
}

TEST(CStr, LocaleRoundTripsGiveBackTheSameValue) {
  const double values[] = {1234.5, -0.001, 3.14159265358979, 1e-7, 2.5e20, 123456789.125, 0.1};
  for (const Locale* loc : {&en, &de, &fr}) {
    for (double d : values) {
      const std::string text = CStr(d, *loc);
      EXPECT_EQ(CDbl(Variant(text), *loc), d) << loc->name() << " " << text;
    }
    for (double date : {39873.5868055555555, -1.25, 0.25, 39873.0, -657434.0, 2958465.5}) {
      const std::string text = CStr(Variant::Date(date), *loc);
      EXPECT_NEAR(CDate(Variant(text), *loc), date, 1e-9) << loc->name() << " " << text;
    }
  }
}

TEST(CStr, DatesInTheLocaleForm) {
  const double d = DateSerial(2009, 3, 1) + TimeSerial(14, 5, 0);
  EXPECT_EQ(CStr(Variant::Date(d), en), "3/1/2009 2:05:00 PM");
  EXPECT_EQ(CStr(Variant::Date(d), de), "01.03.2009 14:05:00");
  EXPECT_EQ(CStr(Variant::Date(d), fr), "01/03/2009 14:05:00");
  EXPECT_EQ(CStr(Variant::Date(DateSerial(2009, 3, 1)), en), "3/1/2009");
  EXPECT_EQ(CStr(Variant::Date(DateSerial(2009, 3, 1)), de), "01.03.2009");
  EXPECT_EQ(CStr(Variant::Date(TimeSerial(9, 7, 3)), en), "9:07:03 AM");
  EXPECT_EQ(CStr(Variant::Date(TimeSerial(9, 7, 3)), de), "09:07:03");
  EXPECT_EQ(CStr(Variant::Date(0.0), en), "12:00:00 AM");
  EXPECT_EQ(CStr(Variant::Date(-1.25), de), "29.12.1899 06:00:00");
  EXPECT_EQ(ErrorOf([] { CStr(Variant::Date(2958466.0), en); }), kErrOverflow);
}

TEST(CDate, ParsesTheLocaleOrder) {
  const double mar1 = 39873.0;
  EXPECT_EQ(CDate(Variant("3/1/2009"), en), mar1);
  EXPECT_EQ(CDate(Variant("01.03.2009"), de), mar1);
  EXPECT_EQ(CDate(Variant("01/03/2009"), fr), mar1);
  EXPECT_EQ(CDate(Variant("1-3-2009"), de), mar1);
  EXPECT_EQ(CDate(Variant("3.1.2009"), en), mar1);
  EXPECT_EQ(CDate(Variant("2009-03-01"), en), mar1);  // ISO in every locale
  EXPECT_EQ(CDate(Variant("2009-03-01"), de), mar1);
  const double t1405 = TimeSerial(14, 5, 0);
  EXPECT_DOUBLE_EQ(CDate(Variant("2009-03-01 14:05:00"), fr), mar1 + t1405);
  EXPECT_DOUBLE_EQ(CDate(Variant("2009-03-01T14:05"), fr), mar1 + t1405);
  EXPECT_DOUBLE_EQ(CDate(Variant("3/1/2009 2:05 PM"), en), mar1 + t1405);
  EXPECT_DOUBLE_EQ(CDate(Variant("3/1/2009 2:05:00pm"), en), mar1 + t1405);
  EXPECT_DOUBLE_EQ(CDate(Variant("01.03.2009 14:05"), de), mar1 + t1405);
  EXPECT_DOUBLE_EQ(CDate(Variant("14:05"), de), t1405);
  EXPECT_DOUBLE_EQ(CDate(Variant(" 12:00 AM "), en), 0.0);
  EXPECT_DOUBLE_EQ(CDate(Variant("12:30 PM"), en), TimeSerial(12, 30, 0));
  EXPECT_EQ(CDate(Variant("29.12.1899"), de), -1.0);
  EXPECT_DOUBLE_EQ(CDate(Variant("29.12.1899 06:00"), de), -1.25);
  EXPECT_EQ(CDate(Variant("0100-01-01"), en), -657434.0);
  EXPECT_EQ(CDate(Variant("12/31/9999"), en), 2958465.0);
}

TEST(CDate, TwoDigitYears) {
  EXPECT_EQ(CDate(Variant("1/1/00"), en), DateSerial(2000, 1, 1));
  EXPECT_EQ(CDate(Variant("1/1/29"), en), DateSerial(2029, 1, 1));
  EXPECT_EQ(CDate(Variant("1/1/30"), en), DateSerial(1930, 1, 1));
  EXPECT_EQ(CDate(Variant("31.12.99"), de), DateSerial(1999, 12, 31));
  EXPECT_EQ(CDate(Variant("5/6/7"), en), DateSerial(2007, 5, 6));
}

TEST(CDate, InvalidDatesAreTypeMismatch) {
  for (const char* text :
       {"31.02.2009",      "29.02.2009", "00.01.2009", "01.13.2009",  "32.01.2009",
        "2009-02-30",      "1/1/0099",   "1/1/10000",  "25:00",       "12:60",
        "13:00 PM",        "0:30 AM",    "3/1",        "3/1/2009 14", "3/1/2009x",
        "3/1-2009",        "abc",        "",           "2009-03-01T", "3/1/2009T14:05",
        "1; DROP TABLE x", "14:05:00:00"}) {
    EXPECT_FALSE(IsDate(Variant(text), de)) << text;
    EXPECT_EQ(ErrorOf([&] { CDate(Variant(text), de); }), kErrTypeMismatch) << text;
  }
  EXPECT_TRUE(IsDate(Variant("29.02.2008"), de));
  EXPECT_TRUE(IsDate(Variant("29.02.2000"), de));
  EXPECT_FALSE(IsDate(Variant("29.02.1900"), de));
  // The day-month order is the locale's, never guessed.
  EXPECT_FALSE(IsDate(Variant("13/1/2009"), en));
  EXPECT_FALSE(IsDate(Variant("1/13/2009"), fr));
}

TEST(CDate, NumbersAreSerialsWithinTheRange) {
  EXPECT_EQ(CDate(39873.5, en), 39873.5);
  EXPECT_EQ(CDate(true, en), -1.0);
  EXPECT_EQ(ErrorOf([] { CDate(2958466.0, en); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CDate(-657435.0, en); }), kErrOverflow);
  EXPECT_EQ(CDate(-657434.99, en), -657434.99);  // 0100-01-01 23:45
  EXPECT_FALSE(IsDate(39873.0, en));
  EXPECT_TRUE(IsDate(Variant::Date(39873.0), en));
}

TEST(DateSerial, CarriesAndTwoDigitYears) {
  EXPECT_EQ(DateSerial(1899, 12, 30), 0.0);
  EXPECT_EQ(DateSerial(1900, 1, 1), 2.0);
  EXPECT_EQ(DateSerial(2009, 3, 1), 39873.0);
  EXPECT_EQ(DateSerial(2009, 13, 1), DateSerial(2010, 1, 1));
  EXPECT_EQ(DateSerial(2009, 3, 0), DateSerial(2009, 2, 28));
  EXPECT_EQ(DateSerial(2009, 0, 1), DateSerial(2008, 12, 1));
  EXPECT_EQ(DateSerial(2009, -11, 1), DateSerial(2008, 1, 1));
  EXPECT_EQ(DateSerial(9, 1, 1), DateSerial(2009, 1, 1));
  EXPECT_EQ(DateSerial(99, 1, 1), DateSerial(1999, 1, 1));
  EXPECT_EQ(DateSerial(100, 1, 1), -657434.0);
  EXPECT_EQ(DateSerial(9999, 12, 31), 2958465.0);
  EXPECT_EQ(ErrorOf([] { DateSerial(9999, 12, 32); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { DateSerial(100, 1, 0); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { DateSerial(2147483647, 2147483647, 2147483647); }), kErrOverflow);
}

TEST(TimeSerial, FractionsOfADay) {
  EXPECT_DOUBLE_EQ(TimeSerial(6, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(TimeSerial(12, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(TimeSerial(25, 0, 0), 1.0 + 1.0 / 24.0);
  EXPECT_DOUBLE_EQ(TimeSerial(0, 0, -1), -1.0 - 86399.0 / 86400.0);  // 1899-12-29 23:59:59
  EXPECT_DOUBLE_EQ(TimeSerial(0, 90, 0), 1.5 / 24.0);
}

TEST(SplitDate, PartsOfASerial) {
  DateParts p = SplitDate(DateSerial(2009, 3, 1) + TimeSerial(14, 5, 0));
  EXPECT_EQ(p.year, 2009);
  EXPECT_EQ(p.month, 3);
  EXPECT_EQ(p.day, 1);
  EXPECT_EQ(p.hour, 14);
  EXPECT_EQ(p.minute, 5);
  EXPECT_EQ(p.second, 0);
  EXPECT_EQ(p.millisecond, 0);
  p = SplitDate(-1.25);
  EXPECT_EQ(p.year, 1899);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  p = SplitDate(-657434.0);
  EXPECT_EQ(p.year, 100);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 1);
  p = SplitDate(1.5 + 0.1234 / 86400.0);
  EXPECT_EQ(p.hour, 12);
  EXPECT_EQ(p.millisecond, 123);  // truncated
  p = SplitDate(2958465.0 + TimeSerial(23, 59, 59) + 0.999 / 86400.0);
  EXPECT_EQ(p.year, 9999);
  EXPECT_EQ(p.second, 59);
  EXPECT_EQ(p.millisecond, 999);
  EXPECT_EQ(ErrorOf([] { SplitDate(2958466.0); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { SplitDate(std::nan("")); }), kErrOverflow);
}

TEST(ChangeType, ConvertsToEachType) {
  EXPECT_EQ(ChangeType(Variant("12"), VarType::Integer, en), Variant(int16_t{12}));
  EXPECT_EQ(ChangeType(Variant("12"), VarType::Long, en), Variant(int32_t{12}));
  EXPECT_EQ(ChangeType(Variant("12"), VarType::Byte, en), Variant::Byte(12));
  EXPECT_EQ(ChangeType(Variant("1,5"), VarType::Double, de), Variant(1.5));
  EXPECT_EQ(ChangeType(Variant("1,5"), VarType::Single, de), Variant(1.5f));
  EXPECT_EQ(ChangeType(Variant("1,5"), VarType::Currency, de), Variant::CurrencyScaled(15000));
  EXPECT_EQ(ChangeType(Variant("true"), VarType::Boolean, en), Variant(true));
  EXPECT_EQ(ChangeType(Variant("01.03.2009"), VarType::Date, de), Variant::Date(39873.0));
  EXPECT_EQ(ChangeType(Variant(2.5), VarType::String, de), Variant("2,5"));
  EXPECT_EQ(ChangeType(Variant(2.5), VarType::Variant, de), Variant(2.5));
  EXPECT_EQ(ChangeType(Variant(2.5), VarType::Empty, de), Variant());
  EXPECT_EQ(ChangeType(Variant::Null(), VarType::Null, de), Variant::Null());
  EXPECT_EQ(ErrorOf([] { ChangeType(Variant::Null(), VarType::Long, en); }), kErrInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([] { ChangeType(Variant(1.0), VarType::Object, en); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ChangeType(Variant("x"), VarType::Double, en); }), kErrTypeMismatch);
}

TEST(ShortestRoundTrip, ShortestTextThatReadsBackTheSameDouble) {
  EXPECT_EQ(ShortestRoundTrip(2.499), "2.499");
  EXPECT_EQ(ShortestRoundTrip(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(ShortestRoundTrip(1e20), "1e+20");
  EXPECT_EQ(ShortestRoundTrip(-1.5e-7), "-1.5e-07");
  EXPECT_EQ(ShortestRoundTrip(12.0), "12");
  EXPECT_EQ(ShortestRoundTrip(-0.0), "0");
  for (double d : {1.0 / 3.0, 123456789.123456789, 5e-324, 1.7976931348623157e308}) {
    EXPECT_EQ(std::strtod(ShortestRoundTrip(d).c_str(), nullptr), d);
  }
  EXPECT_EQ(ErrorOf([] { ShortestRoundTrip(std::nan("")); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { ShortestRoundTrip(-std::numeric_limits<double>::infinity()); }),
            kErrOverflow);
}

}  // namespace
}  // namespace tabulo::platform
