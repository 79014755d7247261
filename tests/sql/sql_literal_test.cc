// SQL literals by type, in en-US, de-DE and fr-FR; identifiers quoted or refused; and the
// validity check of value texts (hostile input refused for every unquoted type, ranges of
// each numeric type, booleans and dates in three locales).
#include "sql/sql_literal.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "host/field_types.h"
#include "platform/values/conversions.h"
#include "sql/identifier.h"
#include "sql/value_check.h"

namespace tabulo::sql {
namespace {

using namespace host;  // the type codes
using platform::Locale;

const SqlLiteralContext kEn{Locale::EnUS()};
const SqlLiteralContext kDe{Locale::DeDE()};
const SqlLiteralContext kFr{Locale::FrFR()};

TEST(GetSqlQuote, QuotesExactlyTheTwelveStringLikeTypes) {
  std::vector<int32_t> quoted;
  for (int32_t type = -1; type <= 300; ++type) {
    const std::string q = GetSqlQuote(type);
    if (q == "'")
      quoted.push_back(type);
    else
      EXPECT_EQ(q, "") << type;
  }
  EXPECT_EQ(quoted, (std::vector<int32_t>{adBSTR, adFileTime, adGUID, adChar, adWChar,
                                          adUserDefined, adChapter, adPropVariant, adVarChar,
                                          adLongVarChar, adVarWChar, adLongVarWChar}));
}

struct Literal {
  const char* text;
  int32_t type;
  const SqlLiteralContext* ctx;
  std::string literal;
};

TEST(GetSqlLiteral, ByTypeAndLocale) {
  // clang-format off
  const Literal cases[] = {
      // Quotes doubled only for quoted types.
      {"x'; DROP TABLE t; --", adVarChar, &kEn, "x''; DROP TABLE t; --"},
      {"", adVarChar, &kEn, ""}, {"O'Brien", adInteger, &kEn, "O'Brien"},
      // Numbers: a leading blank unless negative, read in the user's locale, written shortest
      // with a point.
      {"1,234.5", adDouble, &kEn, " 1234.5"}, {"  7  ", adDouble, &kEn, " 7"},
      {"1E+20", adDouble, &kEn, " 1e+20"}, {"-0.0000001", adDouble, &kEn, "-1e-07"},
      {"12,5", adDouble, &kDe, " 12.5"}, {"1.234,5", adNumeric, &kDe, " 1234.5"},
      {"-0,25", adCurrency, &kDe, "-0.25"}, {"1\u00a0234,5", adDouble, &kFr, " 1234.5"},
      {"1 234,5", adDouble, &kFr, " 1234.5"},
      // No number in the locale (a misplaced group separator): unchanged.
      {"12.5", adDouble, &kDe, "12.5"},
      // Integer, boolean and binary types never convert.
      {"1; DROP TABLE Orders", adInteger, &kEn, "1; DROP TABLE Orders"},
      {"True", adBoolean, &kEn, "True"}, {"0x41", adVarBinary, &kEn, "0x41"},
      // 13 is no month in en-US, but a day in fr-FR.
      {"13/03/2009", adDBDate, &kEn, "13/03/2009"},
      {"13/03/2009", adDBDate, &kFr, "{d '2009-03-13'}"},
      {"2/30/2009", adDBTimeStamp, &kEn, "2/30/2009"}, {"\t", adDouble, &kEn, "\t"}};
  // clang-format on
  for (const Literal& c : cases)
    EXPECT_EQ(GetSqlLiteral(c.text, c.type, *c.ctx), c.literal) << c.text << " " << c.type;
  for (int32_t type : {adVarChar, adChar, adWChar, adVarWChar, adBSTR, adLongVarWChar})
    EXPECT_EQ(GetSqlLiteral("O'Brien", type, kEn), "O''Brien") << type;
  for (int32_t type : {adSingle, adDouble, adCurrency, adDecimal, adNumeric}) {
    EXPECT_EQ(GetSqlLiteral("12.5", type, kEn) + GetSqlLiteral("-3", type, kEn) +
                  GetSqlLiteral("0", type, kEn),
              " 12.5-3 0")
        << type;
  }
  for (const char* text : {"abc", "", "   ", "1e999", "0x41", "1 OR 1=1", "(SELECT 1)"})
    EXPECT_EQ(GetSqlLiteral(text, adDouble, kEn), text) << text;
  for (const char* text : {"not a date", "", "31.02.2009", "1/1/10000", "1; DROP TABLE t"})
    EXPECT_EQ(GetSqlLiteral(text, adDBDate, kDe), text) << text;
}

TEST(GetSqlLiteral, DatesAsOdbcEscapesInEveryLocale) {
  struct Case {
    const SqlLiteralContext* ctx;
    const char *date, *date_time, *time;
  };
  const Case cases[] = {{&kEn, "3/1/2009", "3/1/2009 2:05:00 PM", "2:05 PM"},
                        {&kDe, "01.03.2009", "01.03.2009 14:05:00", "14:05"},
                        {&kFr, "01/03/2009", "01/03/2009 14:05:00", "14:05:00"}};
  for (const Case& c : cases) {
    EXPECT_EQ(
        (std::vector<std::string>{
            GetSqlLiteral(c.date, adDBDate, *c.ctx), GetSqlLiteral(c.date_time, adDate, *c.ctx),
            GetSqlLiteral(c.date_time, adDBTime, *c.ctx), GetSqlLiteral(c.time, adDBTime, *c.ctx),
            GetSqlLiteral(c.date_time, adDBTimeStamp, *c.ctx)}),
        (std::vector<std::string>{"{d '2009-03-01'}", "{d '2009-03-01'}", "{t '14:05:00'}",
                                  "{t '14:05:00'}", "{ts '2009-03-01 14:05:00'}"}))
        << c.ctx->locale->name();
  }
}

TEST(GetSqlLiteral, DBDateFormatStringReplacesTheEscapesTrimmedSoBlanksCountAsEmpty) {
  const SqlLiteralContext en{Locale::EnUS(), "yyyy-mm-dd hh:nn:ss"};
  const SqlLiteralContext de{Locale::DeDE(), "yyyy-mm-dd hh:nn:ss"};
  for (int32_t type : {adDate, adDBDate, adDBTime, adDBTimeStamp}) {
    EXPECT_EQ(GetSqlLiteral("3/1/2009 2:05 PM", type, en), "'2009-03-01 14:05:00'") << type;
    EXPECT_EQ(GetSqlLiteral("01.03.2009 14:05", type, de), "'2009-03-01 14:05:00'") << type;
    EXPECT_EQ(GetSqlQuote(type), "");  // so the statement has one pair of quotes
  }
  EXPECT_EQ(GetSqlLiteral("3/1/2009", adDBDate, SqlLiteralContext{Locale::EnUS(), "dd.mm.yyyy"}),
            "'01.03.2009'");
  EXPECT_EQ(NormalizeDBDateFormatString("   "), "");
  const SqlLiteralContext blank{Locale::EnUS(), NormalizeDBDateFormatString("   ")};
  EXPECT_EQ(GetSqlLiteral("3/1/2009", adDBDate, blank), "{d '2009-03-01'}");
}

TEST(GetSqlTimestampLiteral, TruncatesMillisecondsAndIsEmptyOutsideTheDateRange) {
  const double t = platform::DateSerial(2009, 3, 1) + platform::TimeSerial(14, 5, 7);
  const std::pair<double, const char*> cases[] = {
      {t, "{ts '2009-03-01 14:05:07.000'}"},
      {t + 0.9996 / 86400, "{ts '2009-03-01 14:05:07.999'}"},
      {t + 0.0004 / 86400, "{ts '2009-03-01 14:05:07.000'}"},
      // Just before midnight stays on the same day.
      {platform::DateSerial(2009, 3, 2) - 0.0005 / 86400, "{ts '2009-03-01 23:59:59.999'}"},
      {0, "{ts '1899-12-30 00:00:00.000'}"},
      {3e6, ""},
      {-1e6, ""},
      {std::numeric_limits<double>::quiet_NaN(), ""},
      {std::numeric_limits<double>::infinity(), ""}};
  for (const auto& [date, literal] : cases) EXPECT_EQ(GetSqlTimestampLiteral(date), literal);
}

TEST(GetSqlLiteral, LongAndOddTextsNeverRaise) {
  const std::string mb(1 << 20, '\'');
  EXPECT_EQ(GetSqlLiteral(mb, adVarChar, kEn).size(), mb.size() * 2);
  const std::string digits(1 << 20, '9');
  EXPECT_EQ(GetSqlLiteral(digits, adDouble, kEn), digits);  // beyond the double range
  const std::string bad_utf8 = "\xff\xfe'";
  EXPECT_EQ(GetSqlLiteral(bad_utf8, adVarChar, kEn), "\xff\xfe''");
  EXPECT_EQ(GetSqlLiteral(bad_utf8, adDBTimeStamp, kEn), bad_utf8);
}

TEST(Identifier, PlainNamesStayOthersAreQuoted) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"Qty", "Qty"}, {"_x9", "_x9"}, {"my col", "\"my col\""}, {"group", "\"group\""},
      {"Order", "\"Order\""}, {"9lives", "\"9lives\""}, {"a\"b", "\"a\"\"b\""},
      {"a=999 WHERE id=3 --", "\"a=999 WHERE id=3 --\""}, {"", "\"\""},
      // The ends of each letter and digit range, and the characters just outside them.
      {"Zones", "Zones"}, {"zA", "zA"}, {"Az", "Az"}, {"_0Z9a", "_0Z9a"}, {"@a", "\"@a\""},
      {"a[", "\"a[\""}, {"`a", "\"`a\""}, {"a{", "\"a{\""}, {"a/", "\"a/\""},
      {"a:", "\"a:\""}};
  // clang-format on
  for (const auto& [name, quoted] : cases) EXPECT_EQ(QuoteIdentifier(name), quoted) << name;
}

TEST(Identifier, TableNamesAreOneOrTwoPartsOrNothing) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"Orders", "Orders"}, {"  main.Orders ", "main.Orders"}, {"Zones", "Zones"},
      {"\"Odd \"\"Names\"\"\"", "\"Odd \"\"Names\"\"\""}, {"[my table]", "[my table]"},
      {"`t`.group", "`t`.\"group\""}, {"t2 SET a=0; --", nullptr}, {"Orders;", nullptr},
      {"a.b.c", nullptr}, {"a.", nullptr}, {".a", nullptr}, {"\"open", nullptr}, {"\"\"", nullptr},
      {"", nullptr}, {"\".x", nullptr}, {"\"\"x\"", nullptr}, {"[]x]", nullptr},
      {"\"\"\"\"", "\"\"\"\""}, {"\t[a b]\t", "[a b]"}};
  // clang-format on
  for (const auto& [table, expected] : cases) {
    std::optional<std::string> got = TableIdentifier(table);
    if (expected) {
      EXPECT_EQ(got.value_or("<none>"), expected) << table;
    } else {
      EXPECT_FALSE(got) << table << " -> " << *got;
    }
  }
  // A name cut from a longer text ends where its view ends, whatever follows in memory.
  const std::string text = "\"a\"\" \"ab\".x Ordersx";
  EXPECT_EQ(TableIdentifier(std::string_view(text).substr(0, 3)).value_or("<none>"), "\"a\"");
  EXPECT_FALSE(TableIdentifier(std::string_view(text).substr(5, 3)));
  EXPECT_EQ(TableIdentifier(std::string_view(text).substr(12, 6)).value_or("<none>"), "Orders");
}

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
      {adInteger, &En, F::kNotANumber,
       {"1,234", "&H41", "-", "--1", "1 2", "\xd9\xa3", "1.2.3", "one"}},
      {adInteger, &De, F::kNotANumber, {"1.234"}}, {adInteger, &En, F::kFraction, {"1.5", "1E3"}},
      {adInteger, &De, F::kFraction, {"1,5"}},
      {adBigInt, &En, F::kOutOfRange, {"99999999999999999999999999"}},
      // Floating types follow the locale and their range.
      {adDouble, &En, F::kNone, {"12.5", "1,234.5", "1E+300"}}, {adDouble, &De, F::kNone, {"12,5"}},
      {adNumeric, &De, F::kNone, {"1.234,5"}}, {adDecimal, &Fr, F::kNone, {"1 234,5"}},
      {adDouble, &En, F::kNotANumber, {"abc", "12,5"}}, {adDouble, &De, F::kNotANumber, {"12.5"}},
      {adDouble, &En, F::kOutOfRange, {"1e999", "1E+309"}},
      // The largest float and the next double above it, each way.
      {adSingle, &En, F::kNone, {"3.4E+38", "3.4028234663852886E+38", "-3.4028234663852886E+38"}},
      {adSingle, &En, F::kOutOfRange,
       {"3.402823466385289E+38", "-3.402823466385289E+38", "-1E+39"}},
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

// The text may be a piece of a longer line: what follows the piece must not count.
TEST(ValueCheck, ReadsNoFurtherThanTheEndOfTheText) {
  const std::string_view line = "12.55;";
  EXPECT_EQ((std::vector<ValueFault>{
                Fault(line.substr(0, 1), adVarNumeric), Fault(line.substr(0, 2), adVarNumeric),
                Fault(line.substr(0, 3), adVarNumeric), Fault(line.substr(0, 4), adVarNumeric),
                Fault(line.substr(0, 2), adInteger)}),
            (std::vector<ValueFault>{F::kNone, F::kNone, F::kNotANumber, F::kNone, F::kNone}));
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
