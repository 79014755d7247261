// Text helpers on UTF-8 (code point counts and slices, trimming, case, search and replace,
// control characters made visible), the regular expression object, the fixed locales, text
// metrics and the user-interface language setting.
#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "common/error_of.h"
#include "platform/text/locale.h"
#include "platform/text/plain_text.h"
#include "platform/text/regexp.h"
#include "platform/text/text_metrics.h"
#include "platform/text/ui_language.h"
#include "platform/text/visible_text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
using test_support::ErrorText;
namespace {

const Locale& en = Locale::EnUS();
const Locale& de = Locale::DeDE();
const Locale& fr = Locale::FrFR();

TEST(Utf8, LengthCountsCodePointsAndEachInvalidByteOnce) {
  const std::pair<const char*, int64_t> rows[] = {
      // clang-format off
      {"", 0}, {"M\u00f6chten", 7}, {"\U0001F600", 1}, {"a\u20acb", 3}, {"\u00e9t\u00e9", 3},
      {"\xff", 1}, {"a\x80" "b", 3},  // a stray continuation
      {"\xc3", 1}, {"\xe2\x82", 2},   // truncated sequences
      {"\xc0\xaf", 2},                // an overlong "/"
      {"\xed\xa0\x80", 3},            // a surrogate is not a code point
      {"\xf4\x90\x80\x80", 4},        // beyond U+10FFFF
      {"\xc3\xa4\xc3", 2}};           // ä then a lone lead byte
  // clang-format on
  for (auto [text, length] : rows) EXPECT_EQ(Utf8Length(text), length) << text;
}

TEST(Utf8, MidLeftRightAndTrimTakeCodePointsOrSpaces) {
  const std::pair<std::string, const char*> rows[] = {
      // clang-format off
      {Utf8Mid("M\u00f6chten", 2, 3), "\u00f6ch"}, {Utf8Mid("M\u00f6chten", 2), "\u00f6chten"},
      {Utf8Mid("a\U0001F600b", 2, 1), "\U0001F600"}, {Utf8Mid("abc", 4), ""},
      {Utf8Mid("abc", 2, 0), ""}, {Utf8Mid("abc", 2, 100), "bc"},
      {Utf8Left("\u00e4\u00f6\u00fc", 2), "\u00e4\u00f6"},
      {Utf8Right("\u00e4\u00f6\u00fc", 2), "\u00f6\u00fc"}, {Utf8Left("ab", 5), "ab"},
      {Utf8Right("ab", 5), "ab"}, {Utf8Right("ab", 0), ""},
      // Trimming removes only character 32.
      {Trim("  a b  "), "a b"}, {LTrim("  a  "), "a  "}, {RTrim("  a  "), "  a"},
      {Trim("\ta\t"), "\ta\t"}, {Trim("\u00a0a\u00a0"), "\u00a0a\u00a0"}, {Trim("    "), ""},
      {LTrim("   "), ""}, {RTrim("   "), ""}};
  // clang-format on
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want) << &got - &rows[0].first;
  EXPECT_EQ(ErrorOf([] { Utf8Mid("abc", 0, 1); }), kErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Utf8Left("ab", -1); }), kErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Utf8Right("ab", -1); }), kErrInvalidProcedureCall);
}

TEST(CaseMapping, CoversAsciiAndLatin1Letters) {
  const std::pair<const char*, const char*> upper[] = {
      {"abc xyz 123", "ABC XYZ 123"},
      {"\u00e4\u00f6\u00fc\u00e9\u00e8\u00e7\u00e0\u00f8",
       "\u00c4\u00d6\u00dc\u00c9\u00c8\u00c7\u00c0\u00d8"},
      {"stra\u00dfe", "STRA\u00dfE"},    // ß has no one-letter capital
      {"\u00f7", "\u00f7"},              // division sign is no letter
      {"\u0153\u00ff", "\u0152\u0178"},  // French œ, ÿ
      {"\u20ac\U0001F600", "\u20ac\U0001F600"},
      {"a\xff\xc3", "A\xff\xc3"}};  // invalid bytes pass through
  for (auto [text, want] : upper) EXPECT_EQ(UCase(text), want) << text;
  EXPECT_EQ(LCase("\u00c4\u00d6\u00dc\u00c9 ABC"), "\u00e4\u00f6\u00fc\u00e9 abc");
  EXPECT_EQ(LCase("\u00d7"), "\u00d7");  // nor is the multiplication sign
  EXPECT_EQ(LCase("\u0152\u0178"), "\u0153\u00ff");
  EXPECT_TRUE(EqualsIgnoreCase("Gr\u00fc\u00dfe", "GR\u00dc\u00dfE"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abd"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
  // ASCII only: the letters next to '@' and '[' are lowered, Latin-1 capitals are not.
  EXPECT_EQ(AsciiLower("@AZ[ \u00c4x"), "@az[ \u00c4x");
}

TEST(InStr, ReturnsCodePointPositionsNeverInsideACodePoint) {
  const struct {
    int64_t start;
    const char *text, *needle;
    bool ignore_case;
    int64_t at;
  } rows[] = {// clang-format off
      {1, "M\u00f6chten", "ch", false, 3}, {1, "\U0001F600x", "x", false, 2},
      {1, "abcabc", "c", false, 3}, {4, "abcabc", "c", false, 6}, {7, "abcabc", "c", false, 0},
      {1, "abc", "d", false, 0}, {1, "", "a", false, 0}, {2, "abc", "", false, 2},
      {4, "abc", "", false, 0},
      {1, "Stra\u00dfe \u00c4RGER", "\u00e4rger", false, 0},
      {1, "Stra\u00dfe \u00c4RGER", "\u00e4rger", true, 8}, {1, "SELECT", "lec", true, 3},
      // "\xa4" is the tail of ä and "\xc3" its lead byte: neither is found inside ä.
      {1, "\u00e4", "\xa4", false, 0}, {1, "\u00e4\xa4", "\xa4", false, 2},
      {1, "\u00e4", "\xc3", false, 0}};
  // clang-format on
  for (const auto& r : rows)
    EXPECT_EQ(InStr(r.start, r.text, r.needle, r.ignore_case), r.at) << r.text << " " << r.needle;
  EXPECT_EQ(ErrorOf([] { InStr(0, "abc", "a"); }), kErrInvalidProcedureCall);
}

TEST(ReplaceAll, LeftToRightWithoutOverlap) {
  const std::pair<std::string, const char*> rows[] = {
      // clang-format off
      {ReplaceAll("aaaa", "aa", "b"), "bb"}, {ReplaceAll("aaa", "aa", "b"), "ba"},
      {ReplaceAll("it's", "'", "''"), "it''s"}, {ReplaceAll("abc", "", "x"), "abc"},
      {ReplaceAll("abc", "d", "x"), "abc"}, {ReplaceAll("x\u00e4x", "\u00e4", "ae"), "xaex"},
      {ReplaceAll("A a \u00c4 \u00e4", "\u00e4", "*", true), "A a * *"},
      {ReplaceAll("A a", "a", "b", true), "b b"}, {ReplaceAll("\u00e4", "\xc3", "x"), "\u00e4"}};
  // clang-format on
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want) << &got - &rows[0].first;
}

// One-megabyte inputs, including the worst cases of a naive search. Their speed is a
// benchmark matter; here they must give the right answers (and a quadratic helper would
// run into the test's time-out).
TEST(Text, OneMegabyteInputs) {
  std::string big(1 << 20, 'a');
  big[0] = ' ';
  big[big.size() - 1] = ' ';
  std::string umlauts;
  for (int i = 0; i < (1 << 20) / 4; ++i) umlauts += "\u00e4\u00e4b";
  const std::string needle_a = std::string(1000, 'a') + "b";

  EXPECT_EQ(Trim(big).size(), big.size() - 2);
  EXPECT_EQ(UCase(big)[1], 'A');
  EXPECT_EQ(Utf8Length(umlauts), (1 << 20) / 4 * 3);
  EXPECT_EQ(Utf8Right(umlauts, 1), "b");
  // Worst cases for a naive search: a needle whose prefix matches almost everywhere.
  EXPECT_EQ(InStr(1, big, needle_a), 0);
  EXPECT_EQ(InStr(1, umlauts, "\u00c4\u00e4\u00e4", true), 0);
  EXPECT_EQ(InStr(1, big, "a "), static_cast<int64_t>(big.size()) - 1);
  EXPECT_EQ(ReplaceAll(big, "a", "bb").size(), big.size() * 2 - 2);
  EXPECT_EQ(ReplaceAll(big, needle_a, "x"), big);
}

// Tabs, line ends, escapes and DEL are the script value tests' rows; here the range edges.
TEST(VisibleText, ControlCharactersAreEscapedAndEverythingElseKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"Straße 日本 \xc2\xa0 back\\slash", "Straße 日本 \xc2\xa0 back\\slash"},
      {std::string("nul\0", 4) + "\x1f\x7f", "nul\\x00\\x1F\\x7F"},
      {"\xc2\x9b"
       "1m \xc2\x80",
       "\\xC2\\x9B1m \\xC2\\x80"},
      // Invalid UTF-8, byte by byte, beside the edges of the well-formed ranges.
      {"\xc2\x7f\xc2\xbf\xdf\xbf", "\\xC2\\x7F\xc2\xbf\xdf\xbf"},
      {"\x80 \xbf \xc0\xaf \xc1\xbf \xf5\x80\x80\x80 \xff",
       "\\x80 \\xBF \\xC0\\xAF \\xC1\\xBF \\xF5\\x80\\x80\\x80 \\xFF"},
      {"\xe0\x9f\xbf \xe0\xa0\x80", "\\xE0\\x9F\\xBF \xe0\xa0\x80"},
      {"\xed\x9f\xbf \xed\xa0\x80", "\xed\x9f\xbf \\xED\\xA0\\x80"},
      {"\xf0\x8f\xbf\xbf \xf0\x90\x80\x80", "\\xF0\\x8F\\xBF\\xBF \xf0\x90\x80\x80"},
      {"\xf4\x8f\xbf\xbf \xf4\x90\x80\x80", "\xf4\x8f\xbf\xbf \\xF4\\x90\\x80\\x80"},
      {"cut \xe2\x82", "cut \\xE2\\x82"},
      {"\xe2\x82\xac\xf0\x9f\x98", "\xe2\x82\xac\\xF0\\x9F\\x98"}};
  for (const auto& [text, shown] : cases) {
    SCOPED_TRACE(shown);
    EXPECT_EQ(VisibleText(text), shown);
    EXPECT_EQ(HasControlCharacters(text), text != shown);
  }
}

TEST(Locale, FixedTablesLookupsAndNames) {
  auto describe = [](const Locale& l) {
    const char* orders[] = {"MDY", "DMY", "YMD"};
    return std::to_string(l.lcid()) + " [" + std::string(l.decimal_separator()) + "][" +
           std::string(l.group_separator()) + "][" + std::string(l.date_separator()) + "] " +
           orders[static_cast<int>(l.date_order())] + (l.twelve_hour_clock() ? " 12h" : " 24h");
  };
  EXPECT_EQ(describe(en), "1033 [.][,][/] MDY 12h");
  EXPECT_EQ(describe(de), "1031 [,][.][.] DMY 24h");
  EXPECT_EQ(describe(fr), "1036 [,][\u00a0][/] DMY 24h");
  EXPECT_EQ(Locale::Find("de-de"), &de);
  EXPECT_EQ(Locale::Find("en-GB"), nullptr);
  EXPECT_EQ(Locale::Find(""), nullptr);
  EXPECT_EQ(Locale::FindByLcid(1036), &fr);
  EXPECT_EQ(Locale::FindByLcid(2057), nullptr);
  // Names in the locale's language are the date pattern tests' rows.
  EXPECT_NE(ErrorOf([] { en.MonthName(13, false); }), 0);
  EXPECT_NE(ErrorOf([] { en.DayName(0, false); }), 0);
  // A hand-built locale with another identifier falls back to English names.
  const Locale custom("xx-XX", 9999, ".", ",", "-", DateOrder::YMD, false);
  EXPECT_EQ(custom.MonthName(1, true), "Jan");
}

TEST(Locale, GroupingFollowsTheLocaleAndFrenchAcceptsTheSpacesPeopleType) {
  // French numbers grouped by a no-break space or a plain space are the SQL literal tests'
  // rows; the narrow no-break space is read here. Other locales' separators are none.
  EXPECT_EQ(fr.GroupSeparatorAt("1.234", 1), 0u);
  EXPECT_EQ(de.GroupSeparatorAt("1 234", 1), 0u);
  // The en-US decimal point is a grouping separator in de-DE.
  const struct {
    const char* text;
    const Locale& loc;
    double value;
  } rows[] = {// clang-format off
      {"1\u202f234\u202f567", fr, 1234567.0}, {"1.234", de, 1234.0}, {"1.234", en, 1.234},
      {"1,234", de, 1.234}, {"1,234", en, 1234.0}, {"1.234.567,89", de, 1234567.89},
      {"-12,5", fr, -12.5}};
  // clang-format on
  for (const auto& r : rows) EXPECT_DOUBLE_EQ(CDbl(r.text, r.loc), r.value) << r.text;
  // Groups out of place are refused rather than read as some other number.
  for (const char* text : {"1.5", "12.34", "1234.567", "1..234", ".234", "1.234.", "1.23,4"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), de)) << text;
  }
  for (const char* text : {"1,23", "1,2345", ",123", "1,234,56", "1.2,345"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), en)) << text;
  }
}

TEST(TextMetrics, NinetyTwipsPerCodePointBoldTenPercentMoreAndLinesStacked) {
  EXPECT_EQ(TextWidth("MS Sans Serif", 8.25, false, "abcd"), 360);
  EXPECT_EQ(TextWidth("MS Sans Serif", 8.25, true, "abcd"), 396);
  EXPECT_EQ(TextWidth("Arial", 16.5, false, "ab"), 360);
  const std::pair<const char*, int32_t> widths[] = {
      {"", 0},
      {"Möchten", 7 * 90},
      {"\xE2\x82\xAC", 90},      // the euro sign, 3 bytes
      {"a\xFF", 180},            // an invalid byte is one character
      {"ab\r\nabcde\nx", 450}};  // the widest line
  for (auto [text, width] : widths) EXPECT_EQ(TextWidth(TextFont{}, text), width) << text;
  const std::pair<const char*, int32_t> heights[] = {
      {"", 240}, {"one", 240}, {"ab\r\nabcde\nx", 720}, {"a\rb", 480}};
  for (auto [text, height] : heights) EXPECT_EQ(TextHeight(TextFont{}, text), height) << text;
  // Impossible sizes are refused.
  for (double bad : {-1.0, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(ErrorOf([&] { (void)TextWidth("Arial", bad, false, "x"); }), 380) << bad;
  }
}

TEST(UserInterfaceLanguage, KeepsAnyPositiveIdentifierAndRefusesOthers) {
  SetUserInterfaceLanguage(2055);  // kept even though no component carries Swiss German
  EXPECT_EQ(UserInterfaceLanguage(), 2055);
  for (int32_t bad : {0, -1033}) {
    EXPECT_EQ(ErrorOf([&] { SetUserInterfaceLanguage(bad); }), kErrInvalidProcedureCall) << bad;
    EXPECT_EQ(UserInterfaceLanguage(), 2055);
  }
  SetUserInterfaceLanguage(kDefaultUserInterfaceLanguage);
}

// --- Regular expressions.

RegExp Make(std::string pattern, bool ignore_case = false, bool global = false) {
  RegExp re;
  re.SetPattern(std::move(pattern));
  re.SetIgnoreCase(ignore_case);
  re.SetGlobal(global);
  return re;
}

// Every match as "@first+length[group|group]", an unset group as "~".
std::string Found(const RegExp& re, std::string_view subject) {
  const MatchCollection m = re.Execute(subject);
  std::string s;
  for (int32_t i = 0; i < m.Count(); ++i) {
    const Match& match = m.Item(i);
    s.append("@").append(std::to_string(match.FirstIndex()));
    s.append("+").append(std::to_string(match.Length()));
    const SubMatches& groups = match.SubMatches();
    for (int32_t g = 0; g < groups.Count(); ++g) {
      s.append(g == 0 ? "[" : "|").append(groups.Item(g).value_or("~"));
      if (g + 1 == groups.Count()) s.append("]");
    }
  }
  return s;
}

const char* kFourParts = R"(SELECT\s(.+)\sFROM\s(.+)\sWHERE\s(.+)\sORDER BY\s(.+))";

// The statement pattern's greedy groups over statements, with text before SELECT, CR LF
// and line feeds, are the query builder's split table.

TEST(RegExp, DotStopsAtLineFeedButNotAtCarriageReturnAndDollarOnlyAtTheEnd) {
  EXPECT_TRUE(Make(".").Test("\r"));
  EXPECT_FALSE(Make(".").Test("\n"));
  EXPECT_FALSE(Make("a$").Test("a\n"));
  EXPECT_TRUE(Make("a$").Test("ba"));
  RegExp multi = Make("^a$", false, true);
  EXPECT_EQ(Found(multi, "a\nb\na"), "");
  multi.SetMultiline(true);
  EXPECT_EQ(Found(multi, "a\nb\na"), "@0+1@4+1");
}

TEST(RegExp, ClassesAreAsciiAndCaseFoldingIsNot) {
  EXPECT_FALSE(Make(R"(^\w$)").Test("\xC3\xA9"));  // e acute
  EXPECT_TRUE(Make(R"(^\w+$)").Test("aZ09_"));
  EXPECT_TRUE(Make(R"(^\s+$)").Test(" \t\r\n\v\f"));
  EXPECT_FALSE(Make(R"(\s)").Test("abc"));
  RegExp re = Make("from");
  EXPECT_FALSE(re.Test("FROM"));
  re.SetIgnoreCase(true);  // recompiles
  EXPECT_TRUE(re.Test("FROM"));
  EXPECT_TRUE(re.Test("FrOm"));
  re.SetPattern("where");
  EXPECT_FALSE(re.Test("FROM"));
  EXPECT_TRUE(re.Test("WHERE"));
  EXPECT_TRUE(Make("\xC3\xA9", true).Test("\xC3\x89"));
}

TEST(RegExp, UnsetGroupIsEmptyNotEmptyText) {
  RegExp re = Make("([^,]+)(,)?", false, true);
  EXPECT_EQ(Found(re, "a, b,c"), "@0+2[a|,]@2+3[ b|,]@5+1[c|~]");
  MatchCollection m = re.Execute("a, b,c");
  EXPECT_TRUE(m.Item(2).SubMatches().AsVariant(1).IsEmpty());
  EXPECT_EQ(m.Item(2).SubMatches().AsVariant(0), Variant("c"));
  // A group that matched the empty text is not unset.
  EXPECT_EQ(Make("a(b*)").Execute("a").Item(0).SubMatches().Item(0),
            std::optional<std::string>(""));
}

TEST(RegExp, MatchesDoNotOverlapAndCountCodePoints) {
  RegExp re = Make("aa", false, true);
  EXPECT_EQ(Found(re, "aaaaa"), "@0+2@2+2");
  re.SetGlobal(false);
  EXPECT_EQ(Found(re, "aaaaa"), "@0+2");
  // An empty match advances by one code point: "\xC3\xA9" is one.
  EXPECT_EQ(Found(Make("x*", false, true),
                  "\xC3\xA9"
                  "axx"),
            "@0+0@1+0@2+2@4+0");
  EXPECT_EQ(Make("x+").Execute("axx").Item(0).Value(), "xx");
  // Two-, three- and four-byte characters before the matches.
  EXPECT_EQ(Found(Make("b+", false, true),
                  "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
                  "bb\xC3\xA9"
                  "b"),
            "@3+2@6+1");
  EXPECT_EQ(Found(Make("\xC3\xA9+"), "a\xC3\xA9\xC3\xA9"), "@1+2");
}

TEST(RegExp, EcmaScriptEscapesAndEmptyClass) {
  EXPECT_TRUE(Make(R"(^\u0041\x42$)").Test("AB"));
  EXPECT_TRUE(Make(R"(^\q$)").Test("q"));  // unknown escape is the letter
  EXPECT_TRUE(Make("^[^]$").Test("\n"));
  EXPECT_TRUE(Make(R"(^(a)?\1b$)").Test("b"));  // back reference to an unset group
}

TEST(RegExp, BadPatternIsSyntaxErrorWithOffset) {
  for (const char* bad : {"(abc", "[a-", "a**", "x{2,1}", "(?<", "*a", "a)"}) {
    const std::string error = ErrorText([&] { Make(bad).Test("abc"); });
    EXPECT_EQ(
        error.rfind(std::to_string(kErrRegExpSyntax) + ": Syntax error in regular expression: ", 0),
        0u)
        << error;
    EXPECT_NE(error.find(" at offset "), std::string::npos) << error;
  }
  // The object stays usable with a corrected pattern.
  RegExp re = Make("(abc");
  EXPECT_EQ(ErrorOf([&] { re.Execute("abc"); }), kErrRegExpSyntax);
  re.SetPattern("(abc)");
  EXPECT_TRUE(re.Test("abc"));
}

TEST(RegExp, CatastrophicBacktrackingEndsWithTheLimitError) {
  RegExp re = Make("(a+)+$");
  EXPECT_EQ(
      ErrorText([&] { re.Execute(std::string(30, 'a') + "b"); })
          .rfind(std::to_string(kErrRegExpMatchLimit) + ": Regular expression match limit exceeded",
                 0),
      0u);
  EXPECT_FALSE(re.Test(std::string(8, 'a') + "b"));  // a short subject is answered
}

TEST(RegExp, LongStatementDoesNotExhaustTheStack) {
  std::string sql = "SELECT ";
  for (int i = 0; sql.size() < 200'000; ++i) sql.append("a").append(std::to_string(i)).append(", ");
  sql += "z FROM t WHERE x = 1 ORDER BY a0";
  MatchCollection m = Make(kFourParts, true, true).Execute(sql);
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Item(0).SubMatches().Item(1), "t");
  EXPECT_EQ(m.Item(0).SubMatches().Item(3), "a0");
  MatchCollection items = Make("([^,]+)(,)?", false, true).Execute(*m.Item(0).SubMatches().Item(0));
  EXPECT_GT(items.Count(), 20'000);
  EXPECT_EQ(items.Item(items.Count() - 1).SubMatches().Item(0), " z");
}

TEST(RegExp, InvalidUtf8SubjectAndItemsOutOfRangeAreInvalidProcedureCalls) {
  RegExp re = Make("a", false, true);
  for (std::string bad : {std::string("ab\xC3"), std::string("\xFF"), std::string("a\xC0\xAF"),
                          std::string("\xED\xA0\x80")}) {
    const std::string error = ErrorText([&] { re.Execute(bad); });
    EXPECT_EQ(error.rfind(std::to_string(kErrInvalidProcedureCall) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("not valid UTF-8"), std::string::npos) << error;
  }
  MatchCollection m = Make("(a)").Execute("a");
  EXPECT_NE(ErrorOf([&] { m.Item(1); }), 0);
  EXPECT_NE(ErrorOf([&] { m.Item(-1); }), 0);
  EXPECT_NE(ErrorOf([&] { m.Item(0).SubMatches().Item(1); }), 0);
  EXPECT_EQ(m.Item(0).SubMatches().Item(0), "a");
}

TEST(RegExp, ReplaceExpandsGroupReferences) {
  RegExp re = Make(R"((\w+)=(\w+))", false, true);
  EXPECT_EQ(re.Replace("a=1; b=2", "$2:$1"), "1:a; 2:b");
  EXPECT_EQ(re.Replace("a=1", "[$&] $$ $3 $`$'"), "[a=1] $ $3 ");
  re.SetGlobal(false);
  EXPECT_EQ(re.Replace("a=1; b=2", "<$&>"), "<a=1>; b=2");
  EXPECT_EQ(Make("x", false, true).Replace("axbx", "$'"), "abxb");
  EXPECT_EQ(Make("(a)|(b)", false, true).Replace("ab", "[$2]"), "[][b]");
  EXPECT_EQ(Make("", false, true).Replace("ab", "-"), "-a-b-");
  // A copy keeps the pattern, IgnoreCase and Global.
  RegExp copy = Make("abc", true, true);
  RegExp copied = copy;
  EXPECT_EQ(Found(copied, "ABC abc"), "@0+3@4+3");
}

}  // namespace
}  // namespace tabulo::platform
