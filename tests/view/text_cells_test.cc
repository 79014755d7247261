#include "view/text_cells.h"

#include <gtest/gtest.h>

namespace tabulo::view {
namespace {

TEST(TextCells, FitPadsByAlignmentCountingCodePoints) {
  EXPECT_EQ(Fit("Réf.", 6), "Réf.  ");
  EXPECT_EQ(Fit("Réf.", 6, HAlign::kRight), "  Réf.");
  EXPECT_EQ(Fit("ab", 5, HAlign::kCenter), " ab  ");
  EXPECT_EQ(Fit("", 2), "  ");
  EXPECT_EQ(Fit("abc", 0), "");
}

TEST(TextCells, FitCutsWithAMarkOnCodePointBoundaries) {
  EXPECT_EQ(Fit("Möchten", 7), "Möchten");
  EXPECT_EQ(Fit("Möchten", 3), "Mö…");
  EXPECT_EQ(Fit("ééé", 2, HAlign::kRight), "é…");
  EXPECT_EQ(Fit("ab", 1), "…");
  EXPECT_EQ(CodePoints(Fit("x\xFF\xFEyz", 3)), 3);  // invalid bytes are one character each
}

TEST(TextCells, CodePointHelpers) {
  EXPECT_EQ(CodePoints("Straße"), 6);
  EXPECT_EQ(CodePoints("\xE2\x82\xAC"), 1);
  EXPECT_EQ(FirstCodePoints("Möchten", 2), "Mö");
  EXPECT_EQ(FirstCodePoints("ab", 5), "ab");
  EXPECT_EQ(OneLine("a\tb\nc"), "a b c");
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
