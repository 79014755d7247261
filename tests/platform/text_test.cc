#include "platform/text/text.h"
#include "common/error_of.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

TEST(Utf8Length, CountsCodePointsNotBytes) {
  EXPECT_EQ(Utf8Length(""), 0);
  EXPECT_EQ(Utf8Length("M\u00f6chten"), 7);  // 8 bytes
  EXPECT_EQ(Utf8Length("\U0001F600"), 1);    // 4-byte emoji
  EXPECT_EQ(Utf8Length("a\u20acb"), 3);      // 3-byte euro sign
  EXPECT_EQ(Utf8Length("\u00e9t\u00e9"), 3);
}

TEST(Utf8Length, EachInvalidByteCountsOne) {
  EXPECT_EQ(Utf8Length("\xff"), 1);
  EXPECT_EQ(Utf8Length("a\x80"
                       "b"),
            3);                                  // stray continuation
  EXPECT_EQ(Utf8Length("\xc3"), 1);              // truncated at the end
  EXPECT_EQ(Utf8Length("\xe2\x82"), 2);          // truncated 3-byte sequence
  EXPECT_EQ(Utf8Length("\xc0\xaf"), 2);          // overlong "/"
  EXPECT_EQ(Utf8Length("\xed\xa0\x80"), 3);      // a surrogate is not a code point
  EXPECT_EQ(Utf8Length("\xf4\x90\x80\x80"), 4);  // beyond U+10FFFF
  EXPECT_EQ(Utf8Length("\xc3\xa4\xc3"), 2);      // ä then a lone lead byte
}

TEST(Utf8Mid, TakesCodePoints) {
  EXPECT_EQ(Utf8Mid("M\u00f6chten", 2, 3), "\u00f6ch");
  EXPECT_EQ(Utf8Mid("M\u00f6chten", 2), "\u00f6chten");
  EXPECT_EQ(Utf8Mid("a\U0001F600b", 2, 1), "\U0001F600");
  EXPECT_EQ(Utf8Mid("abc", 4), "");
  EXPECT_EQ(Utf8Mid("abc", 2, 0), "");
  EXPECT_EQ(Utf8Mid("abc", 2, 100), "bc");
  EXPECT_EQ(ErrorOf([] { Utf8Mid("abc", 0, 1); }), kErrInvalidProcedureCall);
}

TEST(Utf8LeftRight, TakeCodePointsFromEitherEnd) {
  EXPECT_EQ(Utf8Left("\u00e4\u00f6\u00fc", 2), "\u00e4\u00f6");
  EXPECT_EQ(Utf8Right("\u00e4\u00f6\u00fc", 2), "\u00f6\u00fc");
  EXPECT_EQ(Utf8Left("ab", 5), "ab");
  EXPECT_EQ(Utf8Right("ab", 5), "ab");
  EXPECT_EQ(Utf8Right("ab", 0), "");
  EXPECT_EQ(ErrorOf([] { Utf8Left("ab", -1); }), kErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Utf8Right("ab", -1); }), kErrInvalidProcedureCall);
}

TEST(Trim, RemovesOnlyCharacter32) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(LTrim("  a  "), "a  ");
  EXPECT_EQ(RTrim("  a  "), "  a");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim("\u00a0a\u00a0"), "\u00a0a\u00a0");
  EXPECT_EQ(Trim("    "), "");
  EXPECT_EQ(LTrim("   "), "");
  EXPECT_EQ(RTrim("   "), "");
}

TEST(CaseMapping, CoversAsciiAndLatin1Letters) {
  EXPECT_EQ(UCase("abc xyz 123"), "ABC XYZ 123");
  EXPECT_EQ(UCase("\u00e4\u00f6\u00fc\u00e9\u00e8\u00e7\u00e0\u00f8"),
            "\u00c4\u00d6\u00dc\u00c9\u00c8\u00c7\u00c0\u00d8");
  EXPECT_EQ(LCase("\u00c4\u00d6\u00dc\u00c9 ABC"), "\u00e4\u00f6\u00fc\u00e9 abc");
  EXPECT_EQ(UCase("stra\u00dfe"), "STRA\u00dfE");    // ß has no one-letter capital
  EXPECT_EQ(UCase("\u00f7"), "\u00f7");              // division sign is no letter
  EXPECT_EQ(LCase("\u00d7"), "\u00d7");              // nor is the multiplication sign
  EXPECT_EQ(UCase("\u0153\u00ff"), "\u0152\u0178");  // French œ, ÿ
  EXPECT_EQ(LCase("\u0152\u0178"), "\u0153\u00ff");
  EXPECT_EQ(UCase("\u20ac\U0001F600"), "\u20ac\U0001F600");
  EXPECT_EQ(UCase("a\xff\xc3"), "A\xff\xc3");  // invalid bytes pass through
}

TEST(EqualsIgnoreCase, ComparesAfterUpperCasing) {
  EXPECT_TRUE(EqualsIgnoreCase("Gr\u00fc\u00dfe", "GR\u00dc\u00dfE"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abd"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
}

TEST(InStr, ReturnsCodePointPositions) {
  EXPECT_EQ(InStr(1, "M\u00f6chten", "ch"), 3);
  EXPECT_EQ(InStr(1, "\U0001F600x", "x"), 2);
  EXPECT_EQ(InStr(1, "abcabc", "c"), 3);
  EXPECT_EQ(InStr(4, "abcabc", "c"), 6);
  EXPECT_EQ(InStr(7, "abcabc", "c"), 0);
  EXPECT_EQ(InStr(1, "abc", "d"), 0);
  EXPECT_EQ(InStr(1, "", "a"), 0);
  EXPECT_EQ(InStr(2, "abc", ""), 2);
  EXPECT_EQ(InStr(4, "abc", ""), 0);
  EXPECT_EQ(ErrorOf([] { InStr(0, "abc", "a"); }), kErrInvalidProcedureCall);
}

TEST(InStr, IgnoresCaseOnRequest) {
  EXPECT_EQ(InStr(1, "Stra\u00dfe \u00c4RGER", "\u00e4rger"), 0);
  EXPECT_EQ(InStr(1, "Stra\u00dfe \u00c4RGER", "\u00e4rger", true), 8);
  EXPECT_EQ(InStr(1, "SELECT", "lec", true), 3);
}

TEST(InStr, NeverMatchesInsideACodePoint) {
  // "\xa4" is the tail of ä; a needle made of it must not report ä's position.
  EXPECT_EQ(InStr(1, "\u00e4", "\xa4"), 0);
  EXPECT_EQ(InStr(1, "\u00e4\xa4", "\xa4"), 2);
  // A needle that is the lead byte alone would cut ä in two.
  EXPECT_EQ(InStr(1, "\u00e4", "\xc3"), 0);
}

TEST(ReplaceAll, LeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("it's", "'", "''"), "it''s");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("abc", "d", "x"), "abc");
  EXPECT_EQ(ReplaceAll("x\u00e4x", "\u00e4", "ae"), "xaex");
  EXPECT_EQ(ReplaceAll("A a \u00c4 \u00e4", "\u00e4", "*", true), "A a * *");
  EXPECT_EQ(ReplaceAll("A a", "a", "b", true), "b b");
  EXPECT_EQ(ReplaceAll("\u00e4", "\xc3", "x"), "\u00e4");
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

}  // namespace
}  // namespace tabulo::platform
