// The validity check of value texts: hostile input refused for every unquoted type, ranges
// of each numeric type, booleans and dates in three locales.
#include "sql/value_check.h"

#include <gtest/gtest.h>

#include <string>

#include "host/field_types.h"
#include "sql/sql_literal.h"

namespace tabulo::sql {
namespace {

using namespace host;  // the type codes
using platform::Locale;
using F = ValueFault;

const Locale& En = Locale::EnUS();
const Locale& De = Locale::DeDE();
const Locale& Fr = Locale::FrFR();

ValueFault Fault(std::string_view text, int32_t type, const Locale& loc = En) {
  return CheckValueForType(text, type, loc).fault;
}

// Every code without quotes, known or not (GetSqlQuote's own test pins the quoted ones).
TEST(ValueCheck, HostileTextsAreRefusedForEveryUnquotedTypeInEveryLocale) {
  for (int32_t type = -1; type <= 300; ++type) {
    if (!GetSqlQuote(type).empty()) {
      for (const char* text : {"", "1; DROP TABLE Orders", "O'Brien", "\xff"})
        EXPECT_TRUE(IsValidValueForType(text, type, En)) << type << " " << text;
      continue;
    }
    for (const Locale* loc : {&En, &De, &Fr}) {
      for (const char* text : {"1; DROP TABLE Orders", "1 OR 1=1", "(SELECT 1)", "0x41", "1e999",
                               "", "   ", "\t", "1--", "1/*", "'1'", "1\n"})
        EXPECT_FALSE(CheckValueForType(text, type, *loc).ok())
            << loc->name() << " type " << type << " [" << text << "]";
    }
  }
}

// Texts of one type and locale with the fault they all have.
struct Group {
  int32_t type;
  const Locale* loc;
  ValueFault fault;
  std::vector<const char*> texts;
};

TEST(ValueCheck, FaultsByTypeAndLocale) {
  // clang-format off
  const Group groups[] = {
      {adInteger, &En, F::kEmpty, {""}},
      // Integers only in the form SQL reads the same: grouping would reach SQL as a fraction
      // or a list; hex and exponents are not SQL integers; "\xd9\xa3" is an Arabic-Indic 3.
      {adInteger, &En, F::kNone, {" 42 ", "007"}}, {adSmallInt, &De, F::kNone, {"+7"}},
      {adUnsignedTinyInt, &Fr, F::kNone, {"-0"}},
      {adInteger, &En, F::kNotANumber, {"1,234", "&H41", "-", "--1", "1 2", "\xd9\xa3"}},
      {adInteger, &De, F::kNotANumber, {"1.234"}}, {adInteger, &En, F::kFraction, {"1.5", "1E3"}},
      {adInteger, &De, F::kFraction, {"1,5"}},
      {adBigInt, &En, F::kOutOfRange, {"99999999999999999999999999"}},
      // Floating types follow the locale and their range.
      {adDouble, &En, F::kNone, {"12.5", "1,234.5", "1E+300"}}, {adDouble, &De, F::kNone, {"12,5"}},
      {adNumeric, &De, F::kNone, {"1.234,5"}}, {adDecimal, &Fr, F::kNone, {"1 234,5"}},
      {adDouble, &En, F::kNotANumber, {"abc", "12,5"}}, {adDouble, &De, F::kNotANumber, {"12.5"}},
      {adDouble, &En, F::kOutOfRange, {"1e999", "1E+309"}}, {adSingle, &En, F::kNone, {"3.4E+38"}},
      {adSingle, &En, F::kOutOfRange, {"3.5E+38", "-1E+39"}},
      {adCurrency, &En, F::kNone, {"922337203685477.5807"}},
      {adCurrency, &De, F::kNone, {"-922337203685477,5808"}},
      {adCurrency, &En, F::kOutOfRange, {"922337203685478", "-922337203685478"}},
      // adVarNumeric is written as typed: a plain decimal.
      {adVarNumeric, &De, F::kNone, {"-12.50"}},
      {adVarNumeric, &En, F::kNotANumber, {"12,5", "1.", ".5", "1e5", "1.2.3", "+"}},
      {adBoolean, &De, F::kNone, {"True", "false", "TRUE", " False ", "-1", "0", "1"}},
      {adBoolean, &De, F::kNotABoolean, {"Wahr", "vrai", "yes", "1.5", "T", "True;", "Truee"}},
      {adVarBinary, &En, F::kUnsupportedType, {"0102"}}};
  // clang-format on
  for (const Group& g : groups) {
    for (const char* text : g.texts) EXPECT_EQ(Fault(text, g.type, *g.loc), g.fault) << text;
  }
  EXPECT_EQ(Fault(std::string(1 << 20, '9'), adInteger), F::kOutOfRange);
  EXPECT_EQ(ValueFaultName(F::kOutOfRange), "out of range");
}

TEST(ValueCheck, IntegerWidths) {
  struct Range {
    int32_t type;
    const char *min, *below_min, *max, *above_max;
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
      {adUnsignedBigInt, "0", "-1", "18446744073709551615", "18446744073709551616"}};
  for (const Range& r : ranges) {
    EXPECT_EQ((std::vector<ValueFault>{Fault(r.min, r.type), Fault(r.max, r.type),
                                       Fault(r.below_min, r.type), Fault(r.above_max, r.type)}),
              (std::vector<ValueFault>{F::kNone, F::kNone, F::kOutOfRange, F::kOutOfRange}))
        << r.type;
  }
}

TEST(ValueCheck, AcceptedNumbersMakeANumericLiteral) {
  // What passes the check must reach the statement as a number, never as the raw text.
  for (const char* text : {"12,5", "-3", "1.234,5", "&H41", " 7 "}) {
    ASSERT_TRUE(IsValidValueForType(text, adDouble, De)) << text;
    const std::string literal = GetSqlLiteral(text, adDouble, SqlLiteralContext{De});
    EXPECT_EQ(literal.find_first_not_of(" -0123456789.e+"), std::string::npos) << literal;
  }
}

// The same for every date and time type; 0099 and 10000 lie just outside the date range.
TEST(ValueCheck, DatesInTheUsersLocale) {
  // clang-format off
  const Group groups[] = {
      {0, &En, F::kNone, {"3/1/2009 2:05 PM"}}, {0, &De, F::kNone, {"01.03.2009 14:05", "14:05"}},
      {0, &Fr, F::kNone, {"13/03/2009"}},
      {0, &En, F::kNotADate, {"13/03/2009", "2009-03-01'}; DROP TABLE t"}},
      {0, &De, F::kNotADate, {"31.02.2009", "01.01.0099", "01.01.10000"}}};
  // clang-format on
  for (int32_t type : {adDate, adDBDate, adDBTime, adDBTimeStamp}) {
    for (const Group& g : groups) {
      for (const char* text : g.texts) EXPECT_EQ(Fault(text, type, *g.loc), g.fault) << text;
    }
  }
}

}  // namespace
}  // namespace tabulo::sql
