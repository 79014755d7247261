// Tests of the formatting step on texts: numbered and sequential markers, escapes, and the
// repeated search-from-the-start replacement.
#include "localization/format.h"

#include <gtest/gtest.h>

#include <string>

#include "localization/case_fold.h"
#include "platform/values/com_error.h"

namespace tabulo::localization {
namespace {

using Texts = std::vector<std::string>;

TEST(FormatLocalizedText, NumberedMarkersTakeTheirValueWhereverTheyStand) {
  EXPECT_EQ(FormatLocalizedText("b=%s2 a=%s1", {"x", "y"}), "b=y a=x");
  EXPECT_EQ(FormatLocalizedText("%S1 and %s2", {"x", "y"}), "x and y");
}

TEST(FormatLocalizedText, UpperCaseSIsASequentialMarkerToo) {
  EXPECT_EQ(FormatLocalizedText("[%S][%s]", {"a", "b"}), "[a][b]");
}

TEST(FormatLocalizedText, MissingValuesRemoveTheirMarkers) {
  EXPECT_EQ(FormatLocalizedText("DSN Property could not be set. %s %s", {"boom"}),
            "DSN Property could not be set. boom ");
  EXPECT_EQ(FormatLocalizedText("a%sb%sc", {}), "abc");
}

TEST(FormatLocalizedText, SecondNumberedMarkerBecomesSequentialAndKeepsItsDigit) {
  // Step 1 fills the first "%s1"; the second "%s" is the first sequential marker, so it
  // gets value 1 again and the digit stays behind it.
  EXPECT_EQ(FormatLocalizedText("%s1-%s1", {"v"}), "v-v1");
}

TEST(FormatLocalizedText, NumberedMarkerOneAlsoMatchesTheStartOfTwelve) {
  Texts values(12);
  for (int i = 0; i < 12; ++i) values[i] = std::string("v").append(std::to_string(i + 1));
  // The first occurrence of "%s1" is the front of "%s12": it takes value 1 and leaves "2".
  EXPECT_EQ(FormatLocalizedText("%s12|%s1", values), "v12|v11");
  EXPECT_EQ(FillNumberedMarkers("%s12|%s1", values), "v12|%s1");
  EXPECT_EQ(FillNumberedMarkers("%s12|%s1", {"a"}), "a2|%s1");
}

TEST(FormatLocalizedText, EscapesBecomeControlCharacters) {
  EXPECT_EQ(FormatLocalizedText("a\\nb\\Nc\\td\\Te", {}), "a\r\nb\r\nc\td\te");
  EXPECT_EQ(FormatLocalizedText("back\\\\nslash", {}), "back\\\r\nslash");
}

TEST(FormatLocalizedText, ValuesFromNumberedMarkersAreFormattedFurther) {
  EXPECT_EQ(FormatLocalizedText("%s1", {"l1\\nl2\\t%s"}), "l1\r\nl2\tl1\\nl2\\t");
}

TEST(FormatLocalizedText, SequentialValuesAreNotUnescapedButTheirMarkersAreFilled) {
  EXPECT_EQ(FormatLocalizedText("<%s>", {"a\\n%s", "b"}), "<a\\nb>");
  EXPECT_EQ(FormatLocalizedText("<%s>", {"%s%s"}), "<>");
  // A "%" ahead of a marker pairs with an "s" behind it once the marker is gone.
  EXPECT_EQ(FillSequentialMarkers("%%ss", {}), "");
  EXPECT_EQ(FillSequentialMarkers("%%ss", {"x"}), "%xs");
}

TEST(FormatLocalizedText, LeavesNonAsciiTextIntact) {
  EXPECT_EQ(FormatLocalizedText("M\xC3\xB6"
                                "chten %s?",
                                {"\xC3\xA9t\xC3\xA9"}),
            "M\xC3\xB6"
            "chten \xC3\xA9t\xC3\xA9?");
}

TEST(ReplaceAllText, SearchesFromTheStartAfterEachReplacement) {
  // A single left-to-right pass would leave "aab"; matches across the edge count.
  EXPECT_EQ(ReplaceAllText("aabb", "ab", "a"), "aa");
  EXPECT_EQ(ReplaceAllText("xxABxab", "ab", "-"), "xx-x-");
}

TEST(ReplaceAllText, IgnoresCaseOfLatinLetters) {
  EXPECT_EQ(ReplaceAllText("Stra\xC3\x84"
                           "e stra\xC3\xA4"
                           "e",
                           "STRA\xC3\x84"
                           "E",
                           "x"),
            "x x");
  EXPECT_EQ(ReplaceAllText("\xC3\xA9t\xC3\xA9", "\xC3\x89", "e"), "ete");
}

TEST(ReplaceAllText, RefusesEndlessReplacementsAndIgnoresEmptySearch) {
  EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
  try {
    ReplaceAllText("a", "a", "bA");
    FAIL() << "a replacement holding the searched text never ends";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrInvalidProcedureCall);
  }
}

TEST(ReplaceAllText, StopsATextThatGrowsWithoutBound) {
  // Each "a" moves right past every "b", multiplying them: finite, but exponential.
  const std::string with = std::string(64 * 1024, 'b') + "a";
  try {
    ReplaceAllText("aaaab", "ab", with);
    FAIL() << "the text should have outgrown the limit";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrOutOfMemory);
  }
}

TEST(FoldCase, KeepsLengthAndFoldsLatinLetters) {
  EXPECT_EQ(FoldCase("abz\xC3\xA4\xC3\xBE\xC3\xB7\xC3\x9F"), "ABZ\xC3\x84\xC3\x9E\xC3\xB7\xC3\x9F");
  const std::string broken = "a\xC3";  // a lead byte at the very end
  EXPECT_EQ(FoldCase(broken), "A\xC3");
}

}  // namespace
}  // namespace tabulo::localization
