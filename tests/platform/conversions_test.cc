// The classic conversions, read as tables: each row is an input, the target type, the locale
// and what comes out, the error number included; date patterns; variants, arrays and the
// error type they raise.
#include "platform/values/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

#include "common/error_of.h"
#include "platform/automation/dispatch.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

const Locale& en = Locale::EnUS();
const Locale& de = Locale::DeDE();
const Locale& fr = Locale::FrFR();

const auto I = [](int16_t v) { return Variant(v); };
const auto L = [](int32_t v) { return Variant(v); };
const auto Cur = [](int64_t scaled) { return Variant::CurrencyScaled(scaled); };
const auto D = [](double days) { return Variant::Date(days); };
const Variant kOverflow = Variant::Error(kErrOverflow);
const Variant kMismatch = Variant::Error(kErrTypeMismatch);
const Variant kNullUse = Variant::Error(kErrInvalidUseOfNull);
const Variant kNull = Variant::Null();
const Variant kObject = Variant::Nothing();
const Variant kArray(SafeArray::Vector({Variant(int32_t{1})}));

struct Row {
  Variant in;
  const Locale& loc;
  Variant want;  // Variant::Error(n) when the conversion raises n
};

// Converts every row to `to`. Dates read from text with a time part compare to within a few
// units in the last place, everything else exactly.
void ExpectConversions(VarType to, std::initializer_list<Row> rows) {
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(TypeName(to)) + " row " + std::to_string(&r - rows.begin()));
    Variant got;
    try {
      got = ChangeType(r.in, to, r.loc);
    } catch (const ComError& e) {
      got = Variant::Error(e.number());
    }
    if (r.in.type() == VarType::String && r.want.type() == VarType::Date &&
        got.type() == VarType::Date && r.want.AsDouble() != std::floor(r.want.AsDouble())) {
      EXPECT_DOUBLE_EQ(got.AsDouble(), r.want.AsDouble());
    } else {
      EXPECT_EQ(got, r.want) << (got.type() == VarType::String ? got.AsString() : "");
    }
  }
}

// The tables below keep one row per input; they are laid out by hand, several rows a line.
// clang-format off

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  // Just below a half is not pulled up by an inexact x + 0.5; around 2^52 and 2^53 every
  // double is whole already.
  const std::pair<double, double> rows[] = {
      {0.5, 0.0}, {1.5, 2.0}, {2.5, 2.0}, {-2.5, -2.0}, {-3.5, -4.0}, {2.6, 3.0},
      {-2.4, -2.0}, {0.49999999999999994, 0.0}, {-0.49999999999999994, 0.0},
      {4503599627370495.5, 4503599627370496.0}, {4503599627370497.0, 4503599627370497.0},
      {9007199254740993.0, 9007199254740993.0}};
  for (auto [x, want] : rows) EXPECT_EQ(RoundHalfEven(x), want) << x;
  EXPECT_FALSE(std::signbit(RoundHalfEven(-0.4)));
}

TEST(Conversions, IntegersRoundHalvesToEvenAndOverflowAtTheEdges) {
  ExpectConversions(VarType::Integer, {
      {2.5, en, I(2)}, {3.5, en, I(4)}, {"2.5", en, I(2)}, {"2,5", de, I(2)}, {"12", en, I(12)},
      {32767.5, en, kOverflow}, {32766.5, en, I(32766)}, {-32768.5, en, I(-32768)},
      {-32769.0, en, kOverflow}, {std::nan(""), en, kOverflow}, {"40000", en, kOverflow},
      {Cur(25000), en, I(2)}, {Cur(35000), en, I(4)}, {Cur(-25000), en, I(-2)},
      {Cur(-25001), en, I(-3)}, {Cur(327675000), en, kOverflow}, {true, en, I(-1)},
      {Variant(), en, I(0)}, {kNull, en, kNullUse}});
  ExpectConversions(VarType::Long, {
      {-1.5, en, L(-2)}, {"3,5", fr, L(4)}, {"12", en, L(12)}, {2147483646.5, en, L(2147483646)},
      {2147483647.5, en, kOverflow}, {-2147483648.5, en, L(INT32_MIN)},
      {-2147483649.0, en, kOverflow}, {1e300, en, kOverflow}, {Cur(14999), en, L(1)},
      // &H and &O literals; a 16-bit pattern is read as the literal is.
      {"&H10", en, L(16)}, {"&hff", en, L(255)}, {"&HFFFF", en, L(-1)},
      {"&H10000", en, L(65536)}, {"&HFFFFFFFF", en, L(-1)}, {"&O17", en, L(15)},
      {"&H100000000", en, kOverflow}, {kNull, en, kNullUse}, {kObject, en, kMismatch},
      {kArray, en, kMismatch}});
  ExpectConversions(VarType::Byte, {
      {254.5, en, Variant::Byte(254)}, {-0.5, en, Variant::Byte(0)}, {-0.6, en, kOverflow},
      {255.5, en, kOverflow},  // 256 after rounding
      {"12", en, Variant::Byte(12)}, {kNull, en, kNullUse}});
}

TEST(Conversions, FloatingPoint) {
  const std::string zeros(100000, '0');
  ExpectConversions(VarType::Double, {
      {"  -12.5  ", en, -12.5}, {"+.5", en, 0.5}, {"5.", en, 5.0}, {"1.5E-7", en, 1.5e-7},
      {"1,5e+3", de, 1500.0}, {"\t7\t", en, 7.0},
      {"0.1", en, 0.1},  // correctly rounded, not 0.1000000000000001
      {"1e-400", en, 0.0},
      {"4.9406564584124654e-324", en, std::numeric_limits<double>::denorm_min()},
      // Long texts of digits are read exactly and quickly.
      {zeros + "1", en, 1.0}, {"0." + zeros + "1E100002", en, 10.0},
      {"1e999", en, kOverflow}, {"-1e309", en, kOverflow},
      {"1e99999999999999999999", en, kOverflow},
      {"x", en, kMismatch}, {true, en, -1.0}, {Variant(), en, 0.0},
      {kNull, en, kNullUse}, {kObject, en, kMismatch}, {kArray, en, kMismatch}});
  ExpectConversions(VarType::Single, {
      {1e39, en, kOverflow}, {3.4028234e38, en, std::numeric_limits<float>::max()},
      {kNull, en, kNullUse}});
}

TEST(Conversions, CurrencyIsExactFromTextAndFromDoubles) {
  ExpectConversions(VarType::Currency, {
      {"922337203685477.5807", en, Cur(INT64_MAX)}, {"-922337203685477.5808", en, Cur(INT64_MIN)},
      {"922337203685477.5808", en, kOverflow}, {"0.00005", en, Cur(0)},  // half to even
      {"0.00015", en, Cur(2)}, {"0.000050001", en, Cur(1)}, {"1,5", de, Cur(15000)},
      {"1e-30", en, Cur(0)}, {"&HFFFF", en, Cur(-10000)}, {0.1, en, Cur(1000)},
      {2.5, en, Cur(25000)},
      // The double times 10,000 rounds to an exact half in the next two; the true product
      // lies above the half for 1.00025 (10002.50000000000083) and below it for 0.00035
      // (3.49999999999999996), and that decides.
      {1.00025, en, Cur(10003)}, {0.00035, en, Cur(3)}, {-0.00035, en, Cur(-3)},
      {int32_t{-7}, en, Cur(-70000)},
      // Beyond 2^53 the product is not a double any more, yet whole currency stays exact.
      {922337203685477.0, en, Cur(9223372036854770000)},
      {-922337203685477.0, en, Cur(-9223372036854770000)},
      // There an exact half goes to the even neighbour too (k / 32 with k odd ends in .5).
      {549755813888.03125, en, Cur(5497558138880312)},
      {549755813888.09375, en, Cur(5497558138880938)}, {922337203685478.0, en, kOverflow},
      {1e15, en, kOverflow}, {true, en, Cur(-10000)},
      {Variant(), en, Cur(0)}, {kNull, en, kNullUse}});
}

TEST(Conversions, Booleans) {
  ExpectConversions(VarType::Boolean, {
      {"tRuE", en, true}, {"FALSE", de, false}, {" True ", en, true}, {"-1", en, true},
      {"0,5", de, true}, {"0", en, false}, {2.0, en, true},
      {Cur(1), en, true}, {"yes", en, kMismatch}, {"Truee", en, kMismatch}, {"", en, kMismatch},
      {Variant(), en, false}, {kNull, en, kNullUse}, {kObject, en, kMismatch},
      {kArray, en, kMismatch}});
}

TEST(Conversions, TextsOfNumbersInTheClassicForm) {
  ExpectConversions(VarType::String, {
      {int16_t{-32768}, en, "-32768"}, {int32_t{2147483647}, en, "2147483647"},
      {Variant::Byte(255), en, "255"}, {2.5, en, "2.5"}, {2.5, de, "2,5"}, {-0.5, fr, "-0,5"},
      {0.1 + 0.2, en, "0.3"},  // 15 significant digits
      {1.0 / 3.0, en, "0.333333333333333"}, {123456789012345.0, en, "123456789012345"},
      {1e15, en, "1E+15"}, {1e20, en, "1E+20"}, {1.5e-7, en, "1.5E-07"}, {1.5e-7, de, "1,5E-07"},
      {0.0001, en, "0.0001"}, {0.00001, en, "1E-05"}, {-1.25e300, en, "-1.25E+300"},
      {100.0, en, "100"}, {-0.0, en, "0"}, {0.1f, en, "0.1"}, {1234567.0f, en, "1234567"},
      {12345678.0f, en, "1.234568E+07"},
      {std::numeric_limits<double>::infinity(), en, kOverflow},
      {Cur(12345), de, "1,2345"}, {Cur(-5000), en, "-0.5"}, {Cur(70000), en, "7"},
      {Cur(INT64_MIN), en, "-922337203685477.5808"}, {true, de, "True"}, {false, fr, "False"},
      {Variant(), en, ""}, {kNull, en, kNullUse}, {kObject, en, kMismatch},
      {kArray, en, kMismatch}});
}

TEST(Conversions, TextsOfDatesInTheLocaleForm) {
  const double d = DateSerial(2009, 3, 1) + TimeSerial(14, 5, 0), day = DateSerial(2009, 3, 1);
  ExpectConversions(VarType::String, {
      {D(d), en, "3/1/2009 2:05:00 PM"}, {D(d), de, "01.03.2009 14:05:00"},
      {D(d), fr, "01/03/2009 14:05:00"}, {D(day), en, "3/1/2009"}, {D(day), de, "01.03.2009"},
      {D(TimeSerial(9, 7, 3)), en, "9:07:03 AM"}, {D(TimeSerial(9, 7, 3)), de, "09:07:03"},
      {D(0.0), en, "12:00:00 AM"}, {D(-1.25), de, "29.12.1899 06:00:00"},
      {D(2958466.0), en, kOverflow}});
}

TEST(Conversions, TextsReadBackAsTheSameValueInEveryLocale) {
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

TEST(Conversions, DatesFromTextInTheLocaleOrderAndFromNumbers) {
  const Variant mar1 = D(39873.0), at1405 = D(39873.0 + TimeSerial(14, 5, 0));
  ExpectConversions(VarType::Date, {
      // The locales' own forms of 1 March 2009 and 14:05 are the SQL literal tests' rows.
      {"1-3-2009", de, mar1}, {"3.1.2009", en, mar1},
      {"2009-03-01", en, mar1}, {"2009-03-01", de, mar1},  // ISO in every locale
      {"2009-03-01 14:05:00", fr, at1405}, {"2009-03-01T14:05", fr, at1405},
      {"3/1/2009 2:05:00pm", en, at1405}, {" 12:00 AM ", en, D(0.0)}, {"12:30 PM", en, D(TimeSerial(12, 30, 0))},
      {"29.12.1899", de, D(-1.0)}, {"29.12.1899 06:00", de, D(-1.25)},
      {"0100-01-01", en, D(-657434.0)}, {"12/31/9999", en, D(2958465.0)},
      // Two-digit years: 00-29 are 2000-2029, 30-99 the 1900s.
      {"1/1/00", en, D(DateSerial(2000, 1, 1))}, {"1/1/29", en, D(DateSerial(2029, 1, 1))},
      {"1/1/30", en, D(DateSerial(1930, 1, 1))}, {"31.12.99", de, D(DateSerial(1999, 12, 31))},
      {"5/6/7", en, D(DateSerial(2007, 5, 6))},
      // Numbers are serials within the range.
      {39873.5, en, D(39873.5)}, {true, en, D(-1.0)}, {2958466.0, en, kOverflow},
      {-657435.0, en, kOverflow}, {-657434.99, en, D(-657434.99)},  // 0100-01-01 23:45
      {Variant(), en, D(0.0)}, {kNull, en, kNullUse}, {kObject, en, kMismatch},
      {kArray, en, kMismatch}});
}

// 31 February, the year 10000, a statement and the empty text are the SQL literal tests' rows.
TEST(Conversions, InvalidDatesAreTypeMismatch) {
  for (const char* text : {"29.02.2009", "00.01.2009", "01.13.2009", "32.01.2009", "2009-02-30",
                           "1/1/0099", "25:00", "12:60", "13:00 PM", "0:30 AM", "3/1",
                           "3/1/2009 14", "3/1/2009x", "3/1-2009", "abc", "2009-03-01T",
                           "3/1/2009T14:05", "14:05:00:00"}) {
    EXPECT_FALSE(IsDate(Variant(text), de)) << text;
    EXPECT_EQ(ErrorOf([&] { CDate(Variant(text), de); }), kErrTypeMismatch) << text;
  }
}

// Statements in place of numbers ("1 OR 1=1", "(SELECT 1)", "0x41") and blank texts are the
// SQL literal tests' rows.
TEST(Conversions, HostileNumericTextsAreNotNumbers) {
  for (const char* text : {"1e", "1e+", "--1", "+-1", "1-", "$5", "(5)", "5%", "1 2", "&H", "&HG",
                           "&O8", "-&H10", "\u0661", "1\u00a0000", "NaN", "Infinity", "1.2.3",
                           "1e5.5", "e5", ".", "+", "1 e5"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), en)) << text;
    EXPECT_EQ(ErrorOf([&] { CDbl(Variant(text), en); }), kErrTypeMismatch) << text;
  }
}

TEST(Conversions, IsNumericAndIsDateOfOtherValues) {
  const struct { Variant in; const Locale& loc; bool yes; } numeric[] = {
      {Variant(), en, true}, {true, en, true}, {int16_t{1}, en, true}, {Cur(5), en, true},
      {kNull, en, false}, {D(1.0), en, false}, {"1.234,5", de, true}, {"1,234.5", de, false},
      {" &H1F ", en, true}, {"1e999", en, false}, {"1.7976931348623157e308", en, true},
      {kObject, en, false}, {kArray, en, false}},
  date[] = {
      {39873.0, en, false}, {D(39873.0), en, true}, {"29.02.2008", de, true},
      {"29.02.2000", de, true}, {"29.02.1900", de, false},
      // The day-month order is the locale's, never guessed.
      {"13/1/2009", en, false}, {"1/13/2009", fr, false}, {kObject, en, false},
      {kArray, en, false}};
  for (const auto& r : numeric) EXPECT_EQ(IsNumeric(r.in, r.loc), r.yes) << &r - numeric;
  for (const auto& r : date) EXPECT_EQ(IsDate(r.in, r.loc), r.yes) << &r - date;
}

TEST(Conversions, ChangeTypeToTheOtherTargets) {
  ExpectConversions(VarType::Variant, {{2.5, de, 2.5}});
  ExpectConversions(VarType::Empty, {{2.5, de, Variant()}});
  ExpectConversions(VarType::Null, {{kNull, de, kNull}});
  ExpectConversions(VarType::Object, {{1.0, en, kMismatch}});
}

TEST(DateSerial, CarriesAndTwoDigitYears) {
  const struct { int y, m, d; double want; } rows[] = {  // want NaN: overflow
      {1899, 12, 30, 0.0}, {1900, 1, 1, 2.0}, {2009, 3, 1, 39873.0},
      {2009, 13, 1, DateSerial(2010, 1, 1)}, {2009, 3, 0, DateSerial(2009, 2, 28)},
      {2009, 0, 1, DateSerial(2008, 12, 1)}, {2009, -11, 1, DateSerial(2008, 1, 1)},
      {9, 1, 1, DateSerial(2009, 1, 1)}, {99, 1, 1, DateSerial(1999, 1, 1)},
      {100, 1, 1, -657434.0}, {9999, 12, 31, 2958465.0}, {9999, 12, 32, NAN}, {100, 1, 0, NAN},
      {2147483647, 2147483647, 2147483647, NAN}};
  for (const auto& r : rows) {
    SCOPED_TRACE(&r - rows);
    if (std::isnan(r.want)) EXPECT_EQ(ErrorOf([&] { DateSerial(r.y, r.m, r.d); }), kErrOverflow);
    else EXPECT_EQ(DateSerial(r.y, r.m, r.d), r.want);
  }
}

// clang-format on

// Milliseconds truncated, not rounded, are the SQL timestamp literal's rows.
TEST(TimeSerial, FractionsOfADayAndSplitDateAtTheLastMillisecondOfTheRange) {
  EXPECT_DOUBLE_EQ(TimeSerial(25, 0, 0), 1.0 + 1.0 / 24.0);
  EXPECT_DOUBLE_EQ(TimeSerial(0, 0, -1), -1.0 - 86399.0 / 86400.0);  // 1899-12-29 23:59:59
  EXPECT_DOUBLE_EQ(TimeSerial(0, 90, 0), 1.5 / 24.0);
  const DateParts p = SplitDate(2958465.0 + TimeSerial(23, 59, 59) + 0.999 / 86400.0);
  EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond}),
            (std::vector<int>{9999, 12, 31, 23, 59, 59, 999}));
}

// Exponents, whole numbers, -0 and the read-back of the extremes are the SQL literal and
// script value tests' rows.
TEST(ShortestRoundTrip, ShortestTextThatReadsBackTheSameDouble) {
  EXPECT_EQ(ShortestRoundTrip(2.499), "2.499");
  EXPECT_EQ(ShortestRoundTrip(0.1 + 0.2), "0.30000000000000004");
  for (double bad : {std::nan(""), -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(ErrorOf([&] { ShortestRoundTrip(bad); }), kErrOverflow);
  }
}

TEST(FormatDate, PatternsInEachLocale) {
  // Sunday, 1 March 2009, 14:05:09, and Tuesday, 7 July 2009, 03:04:05.
  const double sun = DateSerial(2009, 3, 1) + TimeSerial(14, 5, 9);
  const double tue = DateSerial(2009, 7, 7) + TimeSerial(3, 4, 5);
  const double jan1 = DateSerial(2009, 1, 1), dec31 = DateSerial(2009, 12, 31);
  const struct {
    double date;
    const char* pattern;
    const Locale& loc;
    const char* text;
  } rows[] = {
      // clang-format off
      // "yyyy", "mm", "dd", "hh", "nn" and "ss" are the SQL literal and script value tests'.
      {sun, "yy", en, "09"}, {sun, "y", en, "60"},  // day of the year
      {sun, "m", en, "3"}, {sun, "mmm", en, "Mar"}, {sun, "mmmm", en, "March"},
      {tue, "d", en, "7"}, {sun, "ddd", en, "Sun"}, {sun, "dddd", en, "Sunday"},
      // Time tokens, letters in any case.
      {tue, "h", en, "3"}, {tue, "n", en, "4"}, {tue, "s", en, "5"},
      {sun, "HH:NN:SS", en, "14:05:09"},
      // AM/PM switches to the twelve-hour clock; quoted it is text.
      {sun, "h:nn AM/PM", de, "2:05 PM"}, {sun, "hh:nn am/pm", en, "02:05 pm"},
      {tue, "h AM/PM", en, "3 AM"}, {tue, "h a/p", en, "3 a"}, {sun, "h A/P", en, "2 P"},
      {jan1, "h AM/PM", en, "12 AM"}, {jan1 + 0.5, "h AM/PM", en, "12 PM"},
      {sun, "h \"AM/PM\"", en, "14 AM/PM"},
      // "m" after hours or before seconds is minutes.
      {sun, "hh:mm", en, "14:05"}, {sun, "h:m", en, "14:5"}, {tue, "mm:ss", en, "04:05"},
      // "/" and ":" are the locale's separators; other characters and escapes are copied.
      {sun, "dd/mm/yyyy", de, "01.03.2009"}, {sun, "dd/mm/yyyy", fr, "01/03/2009"},
      {sun, "\"Day\" d \"of\" mmmm", en, "Day 1 of March"},
      {sun, "\\d\\a\\y d", en, "day 1"}, {sun, "\\\u00e4 d", en, "\u00e4 1"},
      {sun, "yyyy_mm_dd (T)", en, "2009_03_01 (T)"},
      {sun, "\"unterminated d", en, "unterminated d"},
      {sun, "", en, ""}, {sun, "ddddd", de, "01.03.2009"}, {sun, "ddddd", en, "3/1/2009"},
      // Names in the locale's language.
      {sun, "dddd, d. mmmm yyyy", de, "Sonntag, 1. M\u00e4rz 2009"},
      {sun, "ddd d mmm", de, "So 1 Mrz"},
      {sun, "dddd d mmmm yyyy", fr, "dimanche 1 mars 2009"},
      {DateSerial(2009, 8, 4), "ddd d mmm", fr, "mar. 4 ao\u00fbt"},
      // Seconds are rounded first; 14:05 with the usual representation error shows 14:05:00.
      {dec31 + 86399.6 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "2010-01-01 00:00:00"},
      {dec31 + 86399.4 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "2009-12-31 23:59:59"},
      {39873.0 + 50700.0 / 86400.0, "hh:nn:ss", en, "14:05:00"},
      // Before the epoch the fraction still counts forward from the day's start.
      {-1.25, "yyyy-mm-dd hh:nn", en, "1899-12-29 06:00"},
      {-0.25, "yyyy-mm-dd hh:nn", en, "1899-12-30 06:00"}, {-2.0, "dddd", en, "Thursday"},
      {DateSerial(1753, 1, 1), "yyyy-mm-dd", en, "1753-01-01"},
      {-657434.0, "yyyy-mm-dd dddd", en, "0100-01-01 Friday"},
      // The last second of day -1 rounds forward to day 0, not back to day -2.
      {-1.0 - 86399.7 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "1899-12-30 00:00:00"},
      {2958465.0 + 86399.0 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "9999-12-31 23:59:59"}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(FormatDate(r.date, r.pattern, r.loc), r.text) << r.pattern;
}

TEST(FormatDate, OutsideTheRangeIsOverflow) {
  // 9999-12-31 23:59:59.6 would round into year 10000.
  for (double d : {2958466.0, -657435.0, 1e308, std::nan(""), 2958465.0 + 86399.6 / 86400.0}) {
    EXPECT_EQ(ErrorOf([&] { FormatDate(d, "yyyy", en); }), kErrOverflow) << d;
  }
}

TEST(Variant, CopiesArraysDeeplyRawAccessIsTypeStrictAndArrayBoundsAreChecked) {
  Variant a(SafeArray::Vector({Variant(int32_t{1}), Variant("x")}));
  Variant b = a;
  b.AsArray().At(0) = Variant(int32_t{2});
  EXPECT_EQ(a.AsArray().At(0), Variant(int32_t{1}));
  EXPECT_EQ(b.AsArray().At(0), Variant(int32_t{2}));
  EXPECT_EQ(test_support::ErrorText([] { (void)Variant("12").AsLong(); }), "13: Type mismatch");
  EXPECT_EQ(Variant(true).AsLong(), -1);  // True is -1
  // Missing is an error value, not Empty.
  EXPECT_EQ(Variant::Missing().type(), VarType::Error);
  EXPECT_FALSE(Variant().IsMissing());
  // Bounds are checked in both dimensions.
  SafeArray m = SafeArray::Matrix(2, 6);
  EXPECT_EQ(m.UBound(1), 1);
  EXPECT_EQ(m.UBound(2), 5);
  m.At(1, 5) = Variant("last");
  EXPECT_NE(ErrorOf([&] { m.At(2, 0); }), 0);
  EXPECT_NE(ErrorOf([&] { m.At(0, 6); }), 0);
  EXPECT_NE(ErrorOf([&] { m.At(-1, 0); }), 0);
  EXPECT_NE(ErrorOf([&] { m.At(0); }), 0);  // wrong number of indices
  EXPECT_NE(ErrorOf([&] { m.UBound(3); }), 0);
}

TEST(SafeArray, RefusesHugeArraysWithOutOfMemoryAndRedimPreserveKeepsElements) {
  EXPECT_EQ(ErrorOf([] {
              SafeArray big(VarType::Variant, {{0, 100000}, {0, 100000}});
            }),
            kErrOutOfMemory);
  SafeArray wide(VarType::Variant, {{0, 1}, {0, 10000}});  // a 10,000-column row is fine
  EXPECT_EQ(wide.UBound(2), 9999);
  SafeArray names(VarType::String, {{0, 1}});
  names.Set(0, Variant("a"));
  names.RedimPreserve(2);
  EXPECT_EQ(names.At(0), Variant("a"));
  EXPECT_EQ(names.At(2), Variant(""));
  EXPECT_NE(ErrorOf([&] { names.Set(1, Variant(int32_t{3})); }), 0);
}

}  // namespace
}  // namespace tabulo::platform
