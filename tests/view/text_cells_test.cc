#include "view/text_cells.h"

#include <gtest/gtest.h>

namespace tabulo::view {
namespace {

TEST(TextCells, FitPadsByAlignmentAndCutsWithAMarkOnCodePointBoundaries) {
  const struct {
    const char* text;
    int32_t width;
    HAlign align;
    const char* fitted;
  } rows[] = {{"Réf.", 6, HAlign::kLeft, "Réf.  "}, {"Réf.", 6, HAlign::kRight, "  Réf."},
              {"ab", 5, HAlign::kCenter, " ab  "},  {"", 2, HAlign::kLeft, "  "},
              {"abc", 0, HAlign::kLeft, ""},        {"Möchten", 7, HAlign::kLeft, "Möchten"},
              {"Möchten", 3, HAlign::kLeft, "Mö…"}, {"ééé", 2, HAlign::kRight, "é…"},
              {"ab", 1, HAlign::kLeft, "…"}};
  for (const auto& r : rows) EXPECT_EQ(Fit(r.text, r.width, r.align), r.fitted) << r.text;
  EXPECT_EQ(CodePoints(Fit("x\xFF\xFEyz", 3)), 3);  // invalid bytes are one character each
}

TEST(TextCells, CodePointHelpers) {
  EXPECT_EQ(CodePoints("Straße"), 6);
  EXPECT_EQ(CodePoints("\xE2\x82\xAC"), 1);
  EXPECT_EQ(FirstCodePoints("Möchten", 2), "Mö");
  EXPECT_EQ(FirstCodePoints("ab", 5), "ab");
  EXPECT_EQ(OneLine("a\tb\nc\x1b"), "a\\tb\\nc\\x1B");
}

TEST(TextCells, NumbersForGeneralAlignment) {
  for (const char* yes : {"0", "-12", "+3.5", "1,25", "6.02e23", "1E-3"}) {
    EXPECT_TRUE(LooksNumeric(yes)) << yes;
  }
  for (const char* no : {"", "-", "1.", ".5", "12a", "1.2.3", "e5", "Qty", "1 000"}) {
    EXPECT_FALSE(LooksNumeric(no)) << no;
  }
}

}  // namespace
}  // namespace tabulo::view
