// The formatting step on texts: numbered and sequential markers, escapes, and the repeated
// search-from-the-start replacement.
#include "localization/format.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error_of.h"
#include "localization/case_fold.h"
#include "platform/values/com_error.h"

namespace tabulo::localization {
using test_support::ErrorOf;
namespace {

using Texts = std::vector<std::string>;

TEST(FormatLocalizedText, MarkersEscapesAndValues) {
  Texts twelve(12);
  for (int i = 0; i < 12; ++i) twelve[i] = std::string("v").append(std::to_string(i + 1));
  const struct {
    const char* text;
    Texts values;
    const char* want;
  } rows[] = {
      // clang-format off
      // Numbered markers take their value wherever they stand; "%S" is a marker too.
      {"b=%s2 a=%s1", {"x", "y"}, "b=y a=x"}, {"%S1 and %s2", {"x", "y"}, "x and y"},
      {"[%S][%s]", {"a", "b"}, "[a][b]"},
      // Missing values remove their markers.
      {"DSN Property could not be set. %s %s", {"boom"}, "DSN Property could not be set. boom "},
      {"a%sb%sc", {}, "abc"},
      // Step 1 fills the first "%s1"; the second "%s" is the first sequential marker, so it
      // gets value 1 again and the digit stays behind it.
      {"%s1-%s1", {"v"}, "v-v1"},
      // The first occurrence of "%s1" is the front of "%s12": it takes value 1 and leaves "2".
      {"%s12|%s1", twelve, "v12|v11"},
      // Escapes become control characters.
      {"a\\nb\\Nc\\td\\Te", {}, "a\r\nb\r\nc\td\te"}, {"back\\\\nslash", {}, "back\\\r\nslash"},
      // Values of numbered markers are formatted further; sequential values are not unescaped
      // but their markers are filled.
      {"%s1", {"l1\\nl2\\t%s"}, "l1\r\nl2\tl1\\nl2\\t"}, {"<%s>", {"a\\n%s", "b"}, "<a\\nb>"},
      {"<%s>", {"%s%s"}, "<>"},
      {"M\xC3\xB6" "chten %s?", {"\xC3\xA9t\xC3\xA9"}, "M\xC3\xB6" "chten \xC3\xA9t\xC3\xA9?"}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(FormatLocalizedText(r.text, r.values), r.want) << r.text;
  EXPECT_EQ(FillNumberedMarkers("%s12|%s1", twelve), "v12|%s1");
  EXPECT_EQ(FillNumberedMarkers("%s12|%s1", {"a"}), "a2|%s1");
  // A "%" ahead of a marker pairs with an "s" behind it once the marker is gone.
  EXPECT_EQ(FillSequentialMarkers("%%ss", {}), "");
  EXPECT_EQ(FillSequentialMarkers("%%ss", {"x"}), "%xs");
}

TEST(ReplaceAllText, SearchesFromTheStartAfterEachReplacementIgnoringCase) {
  // A single left-to-right pass would leave "aab"; matches across the edge count.
  EXPECT_EQ(ReplaceAllText("aabb", "ab", "a"), "aa");
  EXPECT_EQ(ReplaceAllText("xxABxab", "ab", "-"), "xx-x-");
  EXPECT_EQ(ReplaceAllText("\xC3\xA9t\xC3\xA9", "\xC3\x89", "e"), "ete");
  EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
}

TEST(ReplaceAllText, RefusesEndlessReplacementsAndTextsThatGrowWithoutBound) {
  // A replacement holding the searched text never ends.
  EXPECT_EQ(ErrorOf([] { ReplaceAllText("a", "a", "bA"); }), platform::kErrInvalidProcedureCall);
  // Each "a" moves right past every "b", multiplying them: finite, but exponential.
  const std::string with = std::string(64 * 1024, 'b') + "a";
  EXPECT_EQ(ErrorOf([&] { ReplaceAllText("aaaab", "ab", with); }), platform::kErrOutOfMemory);
}

TEST(FoldCase, KeepsLengthAndFoldsLatinLetters) {
  EXPECT_EQ(FoldCase("abz\xC3\xA4\xC3\xBE\xC3\xB7\xC3\x9F"), "ABZ\xC3\x84\xC3\x9E\xC3\xB7\xC3\x9F");
  EXPECT_EQ(FoldCase("a\xC3"), "A\xC3");  // a lead byte at the very end
}

}  // namespace
}  // namespace tabulo::localization
