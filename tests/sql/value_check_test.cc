// The validity check of value texts: hostile input refused for every unquoted type, ranges
// of each numeric type, booleans and dates in three locales.
#include "sql/value_check.h"

#include <gtest/gtest.h>

#include <string>

#include "sql/ado_types.h"
#include "sql/sql_literal.h"

namespace tabulo::sql {
namespace {

using platform::Locale;

const Locale& En() {
  return Locale::EnUS();
}
const Locale& De() {
  return Locale::DeDE();
}
const Locale& Fr() {
  return Locale::FrFR();
}

ValueFault Fault(std::string_view text, int32_t type, const Locale& loc = Locale::EnUS()) {
  return CheckValueForType(text, type, loc).fault;
}

const int32_t kUnquotedTypes[] = {adEmpty,
                                  adSmallInt,
                                  adInteger,
                                  adSingle,
                                  adDouble,
                                  adCurrency,
                                  adDate,
                                  adIDispatch,
                                  adError,
                                  adBoolean,
                                  adVariant,
                                  adIUnknown,
                                  adDecimal,
                                  adTinyInt,
                                  adUnsignedTinyInt,
                                  adUnsignedSmallInt,
                                  adUnsignedInt,
                                  adBigInt,
                                  adUnsignedBigInt,
                                  adBinary,
                                  adNumeric,
                                  adDBDate,
                                  adDBTime,
                                  adDBTimeStamp,
                                  adVarNumeric,
                                  adVarBinary,
                                  adLongVarBinary,
                                  999};

TEST(ValueCheck, HostileTextsAreRefusedForEveryUnquotedTypeInEveryLocale) {
  const std::string hostile[] = {"1; DROP TABLE Orders",
                                 "1 OR 1=1",
                                 "(SELECT 1)",
                                 "0x41",
                                 "1e999",
                                 "",
                                 "   ",
                                 "\t",
                                 "1--",
                                 "1/*",
                                 "'1'",
                                 "1\n"};
  for (const Locale* loc : {&En(), &De(), &Fr()}) {
    for (int32_t type : kUnquotedTypes) {
      for (const std::string& text : hostile) {
        const ValueCheck check = CheckValueForType(text, type, *loc);
        EXPECT_FALSE(check.ok()) << loc->name() << " type " << type << " [" << text << "]";
      }
    }
  }
}

TEST(ValueCheck, QuotedTypesAcceptAnything) {
  for (int32_t type : {adVarChar, adChar, adWChar, adVarWChar, adBSTR, adGUID}) {
    for (const char* text : {"", "1; DROP TABLE Orders", "O'Brien", "\xff"})
      EXPECT_TRUE(IsValidValueForType(text, type, En())) << type << " " << text;
  }
}

TEST(ValueCheck, ReasonsNameTheFault) {
  EXPECT_EQ(Fault("", adInteger), ValueFault::kEmpty);
  EXPECT_EQ(Fault("abc", adDouble), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("1e999", adDouble), ValueFault::kOutOfRange);
  EXPECT_EQ(Fault("1.5", adInteger), ValueFault::kFraction);
  EXPECT_EQ(Fault("1,5", adInteger, De()), ValueFault::kFraction);
  EXPECT_EQ(Fault("yes", adBoolean), ValueFault::kNotABoolean);
  EXPECT_EQ(Fault("31.02.2009", adDBDate, De()), ValueFault::kNotADate);
  EXPECT_EQ(Fault("0102", adVarBinary), ValueFault::kUnsupportedType);
  EXPECT_EQ(ValueFaultName(ValueFault::kOutOfRange), "out of range");
}

TEST(ValueCheck, IntegerWidths) {
  struct Range {
    int32_t type;
    const char* min;
    const char* below_min;
    const char* max;
    const char* above_max;
  };
  const Range ranges[] = {
      {adTinyInt, "-128", "-129", "127", "128"},
      {adUnsignedTinyInt, "0", "-1", "255", "256"},
      {adSmallInt, "-32768", "-32769", "32767", "32768"},
      {adUnsignedSmallInt, "0", "-1", "65535", "65536"},
      {adInteger, "-2147483648", "-2147483649", "2147483647", "2147483648"},
      {adError, "-2147483648", "-2147483649", "2147483647", "2147483648"},
      {adUnsignedInt, "0", "-1", "4294967295", "4294967296"},
      {adBigInt, "-9223372036854775808", "-9223372036854775809", "9223372036854775807",
       "9223372036854775808"},
      {adUnsignedBigInt, "0", "-1", "18446744073709551615", "18446744073709551616"},
  };
  for (const Range& r : ranges) {
    SCOPED_TRACE(r.type);
    EXPECT_EQ(Fault(r.min, r.type), ValueFault::kNone);
    EXPECT_EQ(Fault(r.max, r.type), ValueFault::kNone);
    EXPECT_EQ(Fault(r.below_min, r.type), ValueFault::kOutOfRange);
    EXPECT_EQ(Fault(r.above_max, r.type), ValueFault::kOutOfRange);
  }
  EXPECT_EQ(Fault("99999999999999999999999999", adBigInt), ValueFault::kOutOfRange);
  EXPECT_EQ(Fault(std::string(1 << 20, '9'), adInteger), ValueFault::kOutOfRange);
}

TEST(ValueCheck, IntegersOnlyInTheFormSqlReadsTheSame) {
  EXPECT_TRUE(IsValidValueForType(" 42 ", adInteger, En()));
  EXPECT_TRUE(IsValidValueForType("+7", adSmallInt, De()));
  EXPECT_TRUE(IsValidValueForType("-0", adUnsignedTinyInt, Fr()));
  EXPECT_TRUE(IsValidValueForType("007", adInteger, En()));
  // Grouping would reach SQL as a fraction or a list; hex and exponents are not SQL integers.
  EXPECT_EQ(Fault("1,234", adInteger, En()), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("1.234", adInteger, De()), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("&H41", adInteger, En()), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("1E3", adInteger, En()), ValueFault::kFraction);
  EXPECT_EQ(Fault("-", adInteger, En()), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("--1", adInteger, En()), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("1 2", adInteger, En()), ValueFault::kNotANumber);
  EXPECT_EQ(Fault("\xd9\xa3", adInteger, En()), ValueFault::kNotANumber);  // Arabic-Indic 3
}

TEST(ValueCheck, FloatingTypesFollowTheLocaleAndTheirRange) {
  EXPECT_TRUE(IsValidValueForType("12.5", adDouble, En()));
  EXPECT_TRUE(IsValidValueForType("1,234.5", adDouble, En()));
  EXPECT_TRUE(IsValidValueForType("12,5", adDouble, De()));
  EXPECT_TRUE(IsValidValueForType("1.234,5", adNumeric, De()));
  EXPECT_TRUE(IsValidValueForType("1 234,5", adDecimal, Fr()));
  EXPECT_FALSE(IsValidValueForType("12.5", adDouble, De()));
  EXPECT_FALSE(IsValidValueForType("12,5", adDouble, En()));
  EXPECT_FALSE(IsValidValueForType("12.5", adSingle, Fr()));

  EXPECT_TRUE(IsValidValueForType("3.4E+38", adSingle, En()));
  EXPECT_EQ(Fault("3.5E+38", adSingle), ValueFault::kOutOfRange);
  EXPECT_EQ(Fault("-1E+39", adSingle), ValueFault::kOutOfRange);
  EXPECT_TRUE(IsValidValueForType("1E+300", adDouble, En()));
  EXPECT_EQ(Fault("1E+309", adDouble), ValueFault::kOutOfRange);
  EXPECT_EQ(Fault("-1e999", adNumeric), ValueFault::kOutOfRange);

  EXPECT_TRUE(IsValidValueForType("922337203685477.5807", adCurrency, En()));
  EXPECT_TRUE(IsValidValueForType("-922337203685477,5808", adCurrency, De()));
  EXPECT_EQ(Fault("922337203685478", adCurrency), ValueFault::kOutOfRange);
  EXPECT_EQ(Fault("-922337203685478", adCurrency), ValueFault::kOutOfRange);
}

TEST(ValueCheck, AcceptedNumbersMakeANumericLiteral) {
  // What passes the check must reach the statement as a number, never as the raw text.
  const SqlLiteralContext ctx{De()};
  for (const char* text : {"12,5", "-3", "1.234,5", "&H41", " 7 "}) {
    ASSERT_TRUE(IsValidValueForType(text, adDouble, De())) << text;
    const std::string literal = GetSqlLiteral(text, adDouble, ctx);
    EXPECT_EQ(literal.find_first_not_of(" -0123456789.e+"), std::string::npos) << literal;
  }
}

TEST(ValueCheck, Booleans) {
  for (const char* text : {"True", "false", "TRUE", " False ", "-1", "0", "1"})
    EXPECT_TRUE(IsValidValueForType(text, adBoolean, De())) << text;
  for (const char* text : {"Wahr", "vrai", "yes", "1.5", "T", "True;", "Truee"})
    EXPECT_EQ(Fault(text, adBoolean, De()), ValueFault::kNotABoolean) << text;
}

TEST(ValueCheck, DatesInTheUsersLocale) {
  for (int32_t type : {adDate, adDBDate, adDBTime, adDBTimeStamp}) {
    EXPECT_TRUE(IsValidValueForType("3/1/2009 2:05 PM", type, En()));
    EXPECT_TRUE(IsValidValueForType("01.03.2009 14:05", type, De()));
    EXPECT_TRUE(IsValidValueForType("13/03/2009", type, Fr()));
    EXPECT_TRUE(IsValidValueForType("14:05", type, De()));
    EXPECT_FALSE(IsValidValueForType("13/03/2009", type, En()));
    EXPECT_FALSE(IsValidValueForType("31.02.2009", type, De()));
    EXPECT_FALSE(IsValidValueForType("01.01.0099", type, De()));   // before the range
    EXPECT_FALSE(IsValidValueForType("01.01.10000", type, De()));  // beyond it
    EXPECT_FALSE(IsValidValueForType("2009-03-01'}; DROP TABLE t", type, En()));
  }
}

TEST(ValueCheck, VarNumericIsAPlainDecimal) {
  EXPECT_TRUE(IsValidValueForType("-12.50", adVarNumeric, De()));
  EXPECT_TRUE(IsValidValueForType("12", adVarNumeric, En()));
  for (const char* text : {"12,5", "1.", ".5", "1e5", "1.2.3", "+"})
    EXPECT_EQ(Fault(text, adVarNumeric), ValueFault::kNotANumber) << text;
}

}  // namespace
}  // namespace tabulo::sql
