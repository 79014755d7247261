#include "platform/text/regexp.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

RegExp Make(std::string pattern, bool ignore_case = false, bool global = false) {
  RegExp re;
  re.SetPattern(std::move(pattern));
  re.SetIgnoreCase(ignore_case);
  re.SetGlobal(global);
  return re;
}

int32_t ErrorNumberOf(const RegExp& re, std::string_view subject) {
  try {
    re.Execute(subject);
  } catch (const ComError& e) {
    return e.number();
  }
  return 0;
}

const char* kFourParts = R"(SELECT\s(.+)\sFROM\s(.+)\sWHERE\s(.+)\sORDER BY\s(.+))";

TEST(RegExp, StatementPatternSplitsIntoGreedyGroups) {
  RegExp re = Make(kFourParts, true, true);
  MatchCollection m = re.Execute("select a, b from t where x = 1 order by a desc");
  ASSERT_EQ(m.Count(), 1);
  const SubMatches& g = m.Item(0).SubMatches();
  ASSERT_EQ(g.Count(), 4);
  EXPECT_EQ(g.Item(0), "a, b");
  EXPECT_EQ(g.Item(1), "t");
  EXPECT_EQ(g.Item(2), "x = 1");
  EXPECT_EQ(g.Item(3), "a desc");
  EXPECT_EQ(m.Item(0).FirstIndex(), 0);
}

TEST(RegExp, GreedyGroupRunsToTheLastKeyword) {
  RegExp re = Make(R"(SELECT\s(.+)\sFROM\s(.+))", true, true);
  MatchCollection m = re.Execute("xx SELECT a FROM (SELECT b FROM c)");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Item(0).FirstIndex(), 3);
  EXPECT_EQ(m.Item(0).SubMatches().Item(0), "a FROM (SELECT b");
  EXPECT_EQ(m.Item(0).SubMatches().Item(1), "c)");
}

TEST(RegExp, DotStopsAtLineFeedButNotAtCarriageReturn) {
  RegExp re = Make(R"(SELECT\s(.+)\sFROM\s(.+))", true);
  // CR LF before FROM: "\s" takes the LF and "." the CR.
  MatchCollection crlf = re.Execute("SELECT a, b\r\nFROM t");
  ASSERT_EQ(crlf.Count(), 1);
  EXPECT_EQ(crlf.Item(0).SubMatches().Item(0), "a, b\r");
  EXPECT_EQ(crlf.Item(0).SubMatches().Item(1), "t");
  // A line feed inside the column list cannot be crossed.
  EXPECT_EQ(re.Execute("SELECT a,\nb FROM t").Count(), 0);
  EXPECT_TRUE(Make(".").Test("\r"));
  EXPECT_FALSE(Make(".").Test("\n"));
}

TEST(RegExp, DollarWithoutMultilineMatchesOnlyAtTheVeryEnd) {
  EXPECT_FALSE(Make("a$").Test("a\n"));
  EXPECT_TRUE(Make("a$").Test("ba"));
  RegExp multi = Make("^a$", false, true);
  EXPECT_EQ(multi.Execute("a\nb\na").Count(), 0);
  multi.SetMultiline(true);
  MatchCollection m = multi.Execute("a\nb\na");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Item(1).FirstIndex(), 4);
}

TEST(RegExp, WordAndSpaceClassesAreAscii) {
  EXPECT_FALSE(Make(R"(^\w$)").Test("\xC3\xA9"));  // e acute
  EXPECT_TRUE(Make(R"(^\w+$)").Test("aZ09_"));
  EXPECT_TRUE(Make(R"(^\s+$)").Test(" \t\r\n\v\f"));
  EXPECT_FALSE(Make(R"(\s)").Test("abc"));
}

TEST(RegExp, IgnoreCaseAndItsChangeRecompiles) {
  RegExp re = Make("from");
  EXPECT_FALSE(re.Test("FROM"));
  re.SetIgnoreCase(true);
  EXPECT_TRUE(re.Test("FROM"));
  EXPECT_TRUE(re.Test("FrOm"));
  re.SetPattern("where");
  EXPECT_FALSE(re.Test("FROM"));
  EXPECT_TRUE(re.Test("WHERE"));
  // Case folding beyond ASCII works with UTF-8 subjects.
  EXPECT_TRUE(Make("\xC3\xA9", true).Test("\xC3\x89"));
}

TEST(RegExp, UnsetGroupIsEmptyNotEmptyText) {
  RegExp re = Make("([^,]+)(,)?", false, true);
  MatchCollection m = re.Execute("a, b,c");
  ASSERT_EQ(m.Count(), 3);
  EXPECT_EQ(m.Item(0).SubMatches().Item(0), "a");
  EXPECT_EQ(m.Item(0).SubMatches().Item(1), ",");
  EXPECT_EQ(m.Item(1).SubMatches().Item(0), " b");
  EXPECT_EQ(m.Item(2).SubMatches().Item(0), "c");
  EXPECT_FALSE(m.Item(2).SubMatches().Item(1).has_value());
  EXPECT_TRUE(m.Item(2).SubMatches().AsVariant(1).IsEmpty());
  EXPECT_EQ(m.Item(2).SubMatches().AsVariant(0), Variant("c"));
  // A group that matched the empty text is not unset.
  MatchCollection e = Make("a(b*)").Execute("a");
  EXPECT_EQ(e.Item(0).SubMatches().Item(0), std::optional<std::string>(""));
}

TEST(RegExp, GlobalFindsEveryNonOverlappingMatch) {
  RegExp re = Make("aa", false, true);
  MatchCollection m = re.Execute("aaaaa");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Item(0).FirstIndex(), 0);
  EXPECT_EQ(m.Item(1).FirstIndex(), 2);
  re.SetGlobal(false);
  EXPECT_EQ(re.Execute("aaaaa").Count(), 1);
}

TEST(RegExp, EmptyMatchAdvancesByOneCodePoint) {
  RegExp re = Make("x*", false, true);
  // "\xC3\xA9" is one code point: the empty matches land at 0, 1, 3 (after "xx"), 4.
  MatchCollection m = re.Execute(
      "\xC3\xA9"
      "axx");
  ASSERT_EQ(m.Count(), 4);
  EXPECT_EQ(m.Item(0).FirstIndex(), 0);
  EXPECT_EQ(m.Item(0).Length(), 0);
  EXPECT_EQ(m.Item(1).FirstIndex(), 1);
  EXPECT_EQ(m.Item(2).FirstIndex(), 2);
  EXPECT_EQ(m.Item(2).Value(), "xx");
  EXPECT_EQ(m.Item(3).FirstIndex(), 4);
  EXPECT_EQ(m.Item(3).Length(), 0);
}

TEST(RegExp, IndexAndLengthCountCodePoints) {
  RegExp re = Make("b+", false, true);
  // Two-, three- and four-byte characters before the matches.
  MatchCollection m = re.Execute(
      "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
      "bb\xC3\xA9"
      "b");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Item(0).FirstIndex(), 3);
  EXPECT_EQ(m.Item(0).Length(), 2);
  EXPECT_EQ(m.Item(1).FirstIndex(), 6);
  EXPECT_EQ(Make("\xC3\xA9+").Execute("a\xC3\xA9\xC3\xA9").Item(0).Length(), 2);
}

TEST(RegExp, EcmaScriptEscapesAndEmptyClass) {
  EXPECT_TRUE(Make(R"(^\u0041\x42$)").Test("AB"));
  EXPECT_TRUE(Make(R"(^\q$)").Test("q"));  // unknown escape is the letter
  EXPECT_TRUE(Make("^[^]$").Test("\n"));
  EXPECT_TRUE(Make(R"(^(a)?\1b$)").Test("b"));  // back reference to an unset group
}

TEST(RegExp, BadPatternIsSyntaxErrorWithOffset) {
  for (const char* bad : {"(abc", "[a-", "a**", "x{2,1}", "(?<", "*a", "a)"}) {
    RegExp re = Make(bad);
    try {
      re.Test("abc");
      ADD_FAILURE() << "no error for " << bad;
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrRegExpSyntax) << bad;
      EXPECT_NE(e.description().find("Syntax error in regular expression: "), std::string::npos);
      EXPECT_NE(e.description().find(" at offset "), std::string::npos);
    }
  }
  // The object stays usable with a corrected pattern.
  RegExp re = Make("(abc");
  EXPECT_EQ(ErrorNumberOf(re, "abc"), kErrRegExpSyntax);
  re.SetPattern("(abc)");
  EXPECT_TRUE(re.Test("abc"));
}

TEST(RegExp, CatastrophicBacktrackingEndsWithTheLimitError) {
  RegExp re = Make("(a+)+$");
  try {
    re.Execute(std::string(30, 'a') + "b");
    FAIL() << "expected the match limit error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrRegExpMatchLimit);
    EXPECT_EQ(e.description().rfind("Regular expression match limit exceeded", 0), 0u);
  }
  // A short subject of the same shape is answered correctly.
  EXPECT_FALSE(re.Test(std::string(8, 'a') + "b"));
}

TEST(RegExp, LongStatementDoesNotExhaustTheStack) {
  std::string sql = "SELECT ";
  for (int i = 0; sql.size() < 200'000; ++i) {
    sql += 'a';
    sql += std::to_string(i);
    sql += ", ";
  }
  sql += "z FROM t WHERE x = 1 ORDER BY a0";
  RegExp re = Make(kFourParts, true, true);
  MatchCollection m = re.Execute(sql);
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Item(0).SubMatches().Item(1), "t");
  EXPECT_EQ(m.Item(0).SubMatches().Item(3), "a0");
  RegExp list = Make("([^,]+)(,)?", false, true);
  MatchCollection items = list.Execute(*m.Item(0).SubMatches().Item(0));
  EXPECT_GT(items.Count(), 20'000);
  EXPECT_EQ(items.Item(items.Count() - 1).SubMatches().Item(0), " z");
}

TEST(RegExp, InvalidUtf8SubjectIsAClearError) {
  RegExp re = Make("a", false, true);
  for (std::string bad : {std::string("ab\xC3"), std::string("\xFF"), std::string("a\xC0\xAF"),
                          std::string("\xED\xA0\x80")}) {
    try {
      re.Execute(bad);
      ADD_FAILURE() << "no error";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrInvalidProcedureCall);
      EXPECT_NE(e.description().find("not valid UTF-8"), std::string::npos);
    }
  }
}

TEST(RegExp, ItemOutOfRangeIsInvalidProcedureCall) {
  MatchCollection m = Make("(a)").Execute("a");
  EXPECT_THROW(m.Item(1), ComError);
  EXPECT_THROW(m.Item(-1), ComError);
  EXPECT_THROW(m.Item(0).SubMatches().Item(1), ComError);
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
}

TEST(RegExp, CopyKeepsTheSettings) {
  RegExp re = Make("abc", true, true);
  RegExp copy = re;
  EXPECT_EQ(copy.Pattern(), "abc");
  EXPECT_TRUE(copy.IgnoreCase());
  EXPECT_TRUE(copy.Global());
  EXPECT_EQ(copy.Execute("ABC abc").Count(), 2);
}

}  // namespace
}  // namespace tabulo::platform
