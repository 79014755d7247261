// SQL literals by type, in en-US, de-DE and fr-FR.
#include "sql/sql_literal.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "platform/values/conversions.h"
#include "sql/ado_types.h"

namespace tabulo::sql {
namespace {

using platform::Locale;

const SqlLiteralContext kEn{Locale::EnUS()};
const SqlLiteralContext kDe{Locale::DeDE()};
const SqlLiteralContext kFr{Locale::FrFR()};

TEST(GetSqlQuote, QuotesExactlyTheTwelveStringLikeTypes) {
  const int32_t quoted[] = {adBSTR,    adFileTime,    adGUID,     adChar,
                            adWChar,   adUserDefined, adChapter,  adPropVariant,
                            adVarChar, adLongVarChar, adVarWChar, adLongVarWChar};
  int quoted_count = 0;
  for (int32_t type = -1; type <= 300; ++type) {
    const std::string q = GetSqlQuote(type);
    if (q == "'")
      ++quoted_count;
    else
      EXPECT_EQ(q, "") << type;
  }
  EXPECT_EQ(quoted_count, 12);
  for (int32_t type : quoted) EXPECT_EQ(GetSqlQuote(type), "'") << type;
  // Date and time literals carry their own quotes.
  for (int32_t type : {adDate, adDBDate, adDBTime, adDBTimeStamp, adNumeric, adBoolean})
    EXPECT_EQ(GetSqlQuote(type), "") << type;
}

TEST(GetSqlLiteral, DoublesQuotesOnlyForQuotedTypes) {
  for (int32_t type : {adVarChar, adChar, adWChar, adVarWChar, adBSTR, adLongVarWChar})
    EXPECT_EQ(GetSqlLiteral("O'Brien", type, kEn), "O''Brien") << type;
  EXPECT_EQ(GetSqlLiteral("''", adVarChar, kEn), "''''");
  EXPECT_EQ(GetSqlLiteral("x'; DROP TABLE t; --", adVarChar, kEn), "x''; DROP TABLE t; --");
  EXPECT_EQ(GetSqlLiteral("", adVarChar, kEn), "");
  EXPECT_EQ(GetSqlLiteral("Zoë's Straße", adWChar, kEn), "Zoë''s Straße");
  EXPECT_EQ(GetSqlLiteral("O'Brien", adInteger, kEn), "O'Brien");
}

TEST(GetSqlLiteral, NumbersGetALeadingBlankUnlessNegative) {
  for (int32_t type : {adSingle, adDouble, adCurrency, adDecimal, adNumeric}) {
    EXPECT_EQ(GetSqlLiteral("12.5", type, kEn), " 12.5") << type;
    EXPECT_EQ(GetSqlLiteral("-3", type, kEn), "-3") << type;
    EXPECT_EQ(GetSqlLiteral("0", type, kEn), " 0") << type;
  }
  // The text of v - 0.001 for a double holding 2.5, written shortest.
  EXPECT_EQ(
      GetSqlLiteral(platform::CStr(platform::Variant(2.5 - 0.001), Locale::EnUS()), adDouble, kEn),
      " 2.499");
  EXPECT_EQ(GetSqlLiteral("1,234.5", adDouble, kEn), " 1234.5");
  EXPECT_EQ(GetSqlLiteral("  7  ", adDouble, kEn), " 7");
  EXPECT_EQ(GetSqlLiteral("1E+20", adDouble, kEn), " 1e+20");
  EXPECT_EQ(GetSqlLiteral("-0.0000001", adDouble, kEn), "-1e-07");
}

TEST(GetSqlLiteral, NumbersReadInTheUsersLocaleAndWriteWithAPoint) {
  EXPECT_EQ(GetSqlLiteral("12,5", adDouble, kDe), " 12.5");
  EXPECT_EQ(GetSqlLiteral("1.234,5", adNumeric, kDe), " 1234.5");
  EXPECT_EQ(GetSqlLiteral("-0,25", adCurrency, kDe), "-0.25");
  EXPECT_EQ(GetSqlLiteral("12,5", adDouble, kFr), " 12.5");
  EXPECT_EQ(GetSqlLiteral("1\u00a0234,5", adDouble, kFr), " 1234.5");
  EXPECT_EQ(GetSqlLiteral("1 234,5", adDouble, kFr), " 1234.5");
  // In de-DE "12.5" is no number (a misplaced group separator): returned unchanged.
  EXPECT_EQ(GetSqlLiteral("12.5", adDouble, kDe), "12.5");
  // In en-US the comma groups; "12,5" is not a number there.
  EXPECT_EQ(GetSqlLiteral("12,5", adDouble, kEn), "12,5");
}

TEST(GetSqlLiteral, TextThatIsNoNumberComesBackUnchanged) {
  for (const char* text : {"abc", "", "   ", "1e999", "0x41", "1 OR 1=1", "(SELECT 1)"})
    EXPECT_EQ(GetSqlLiteral(text, adDouble, kEn), text) << text;
  // Integer, boolean and binary types never convert.
  EXPECT_EQ(GetSqlLiteral("1; DROP TABLE Orders", adInteger, kEn), "1; DROP TABLE Orders");
  EXPECT_EQ(GetSqlLiteral("1,5", adInteger, kDe), "1,5");
  EXPECT_EQ(GetSqlLiteral("True", adBoolean, kEn), "True");
  EXPECT_EQ(GetSqlLiteral("0x41", adVarBinary, kEn), "0x41");
}

TEST(GetSqlLiteral, DatesAsOdbcEscapesInEveryLocale) {
  struct Case {
    const SqlLiteralContext* ctx;
    const char* date;
    const char* date_time;
    const char* time;
  };
  const Case cases[] = {{&kEn, "3/1/2009", "3/1/2009 2:05:00 PM", "2:05 PM"},
                        {&kDe, "01.03.2009", "01.03.2009 14:05:00", "14:05"},
                        {&kFr, "01/03/2009", "01/03/2009 14:05:00", "14:05:00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ctx->locale->name());
    EXPECT_EQ(GetSqlLiteral(c.date, adDBDate, *c.ctx), "{d '2009-03-01'}");
    EXPECT_EQ(GetSqlLiteral(c.date_time, adDate, *c.ctx), "{d '2009-03-01'}");
    EXPECT_EQ(GetSqlLiteral(c.date_time, adDBTime, *c.ctx), "{t '14:05:00'}");
    EXPECT_EQ(GetSqlLiteral(c.time, adDBTime, *c.ctx), "{t '14:05:00'}");
    EXPECT_EQ(GetSqlLiteral(c.date_time, adDBTimeStamp, *c.ctx), "{ts '2009-03-01 14:05:00'}");
  }
}

TEST(GetSqlLiteral, DayMonthOrderFollowsTheLocale) {
  EXPECT_EQ(GetSqlLiteral("02/03/2009", adDBDate, kEn), "{d '2009-02-03'}");
  EXPECT_EQ(GetSqlLiteral("02/03/2009", adDBDate, kFr), "{d '2009-03-02'}");
  // 13 is no month in en-US: the text is no date and comes back unchanged.
  EXPECT_EQ(GetSqlLiteral("13/03/2009", adDBDate, kEn), "13/03/2009");
  EXPECT_EQ(GetSqlLiteral("13/03/2009", adDBDate, kFr), "{d '2009-03-13'}");
}

TEST(GetSqlLiteral, DBDateFormatStringReplacesTheEscapes) {
  const SqlLiteralContext en{Locale::EnUS(), "yyyy-mm-dd hh:nn:ss"};
  const SqlLiteralContext de{Locale::DeDE(), "yyyy-mm-dd hh:nn:ss"};
  for (int32_t type : {adDate, adDBDate, adDBTime, adDBTimeStamp}) {
    EXPECT_EQ(GetSqlLiteral("3/1/2009 2:05 PM", type, en), "'2009-03-01 14:05:00'") << type;
    EXPECT_EQ(GetSqlLiteral("01.03.2009 14:05", type, de), "'2009-03-01 14:05:00'") << type;
    EXPECT_EQ(GetSqlQuote(type), "");  // so the statement has one pair of quotes
  }
  const SqlLiteralContext dmy{Locale::EnUS(), "dd.mm.yyyy"};
  EXPECT_EQ(GetSqlLiteral("3/1/2009", adDBDate, dmy), "'01.03.2009'");
}

TEST(GetSqlLiteral, DateTextThatIsNoDateComesBackUnchanged) {
  for (const char* text : {"not a date", "", "31.02.2009", "1/1/10000", "1; DROP TABLE t"})
    EXPECT_EQ(GetSqlLiteral(text, adDBDate, kDe), text) << text;
  EXPECT_EQ(GetSqlLiteral("2/30/2009", adDBTimeStamp, kEn), "2/30/2009");
}

TEST(NormalizeDBDateFormatString, TrimsBlanksSoBlanksCountAsEmpty) {
  EXPECT_EQ(NormalizeDBDateFormatString("   "), "");
  EXPECT_EQ(NormalizeDBDateFormatString("  yyyy-mm-dd "), "yyyy-mm-dd");
  const SqlLiteralContext ctx{Locale::EnUS(), NormalizeDBDateFormatString("   ")};
  EXPECT_EQ(GetSqlLiteral("3/1/2009", adDBDate, ctx), "{d '2009-03-01'}");
}

TEST(GetSqlTimestampLiteral, TruncatesMilliseconds) {
  const double day = platform::DateSerial(2009, 3, 1);
  const double hms = platform::TimeSerial(14, 5, 7);
  EXPECT_EQ(GetSqlTimestampLiteral(day + hms), "{ts '2009-03-01 14:05:07.000'}");
  EXPECT_EQ(GetSqlTimestampLiteral(day + hms + 0.9996 / 86400), "{ts '2009-03-01 14:05:07.999'}");
  EXPECT_EQ(GetSqlTimestampLiteral(day + hms + 0.0004 / 86400), "{ts '2009-03-01 14:05:07.000'}");
  // The update builder's bounds: +-0.00000125 day is 108 ms.
  EXPECT_EQ(GetSqlTimestampLiteral(day + hms + 0.00000125), "{ts '2009-03-01 14:05:07.108'}");
  EXPECT_EQ(GetSqlTimestampLiteral(day + hms - 0.00000125), "{ts '2009-03-01 14:05:06.892'}");
  // Just before midnight stays on the same day.
  EXPECT_EQ(GetSqlTimestampLiteral(day + 1 - 0.0005 / 86400), "{ts '2009-03-01 23:59:59.999'}");
  EXPECT_EQ(GetSqlTimestampLiteral(0), "{ts '1899-12-30 00:00:00.000'}");
}

TEST(GetSqlTimestampLiteral, OutsideTheDateRangeGivesTheEmptyText) {
  EXPECT_EQ(GetSqlTimestampLiteral(3e6), "");
  EXPECT_EQ(GetSqlTimestampLiteral(-1e6), "");
  EXPECT_EQ(GetSqlTimestampLiteral(std::numeric_limits<double>::quiet_NaN()), "");
  EXPECT_EQ(GetSqlTimestampLiteral(std::numeric_limits<double>::infinity()), "");
}

TEST(GetSqlLiteral, LongAndOddTextsNeverRaise) {
  const std::string mb(1 << 20, '\'');
  EXPECT_EQ(GetSqlLiteral(mb, adVarChar, kEn).size(), mb.size() * 2);
  const std::string digits(1 << 20, '9');
  EXPECT_EQ(GetSqlLiteral(digits, adDouble, kEn), digits);  // beyond the double range
  const std::string bad_utf8 = "\xff\xfe'";
  EXPECT_EQ(GetSqlLiteral(bad_utf8, adVarChar, kEn), "\xff\xfe''");
  EXPECT_EQ(GetSqlLiteral(bad_utf8, adDBTimeStamp, kEn), bad_utf8);
  EXPECT_EQ(GetSqlLiteral("\t", adDouble, kEn), "\t");
}

}  // namespace
}  // namespace tabulo::sql
