// Text helpers on UTF-8: code point counts and slices, trimming, case, search and replace.
#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error_of.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

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

}  // namespace
}  // namespace tabulo::platform
