// The regular expression object: greedy groups over statements, line and case rules, code
// point positions, replacement, and its errors.
#include "platform/text/regexp.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
using test_support::ErrorText;
namespace {

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
