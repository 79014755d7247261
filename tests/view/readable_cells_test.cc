// Text cells: fitting and cutting on code point boundaries, display widths of wide and
// combining characters, numbers that never read as other numbers, and the grid's columns
// fitted to the control's width.
#include <gtest/gtest.h>

#include "view/text_cells.h"
#include "view/text_renderer.h"

namespace tabulo::view {
namespace {

constexpr const char* kAcute = "\xCC\x81";  // U+0301, a combining accent

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

TEST(ReadableCells, DisplayWidthCountsTerminalColumns) {
  const std::string e_acute = std::string("e") + kAcute;
  const std::pair<std::string, int64_t> rows[] = {
      {"Möchten", 7},  {"日本", 4}, {e_acute + "t" + e_acute, 3},
      {"😀", 2},        {"🇩🇪", 2},   {"\xE2\x9D\xA4\xEF\xB8\x8F", 2},  // ❤ + VS16
      {"\xFF\xFE", 2}, {kAcute, 1}, {"", 0}};
  for (const auto& [text, width] : rows) EXPECT_EQ(DisplayWidth(text), width) << text;
}

TEST(ReadableCells, FitKeepsCharactersWholeAndTheWidthExact) {
  const std::string e_acute = std::string("e") + kAcute;
  const struct {
    std::string text;
    int64_t width;
    HAlign align;
    std::string fitted;
  } rows[] = {{"日本語", 5, HAlign::kLeft, "日本…"},
              {"日本語", 4, HAlign::kLeft, "日… "},  // 本 would not fit before the mark
              {"日", 4, HAlign::kRight, "  日"},
              {e_acute + e_acute + "x", 3, HAlign::kLeft, e_acute + e_acute + "x"},
              {e_acute + e_acute + "x", 2, HAlign::kLeft, e_acute + "…"},
              {std::string(kAcute) + "x", 3, HAlign::kLeft, std::string(" ") + kAcute + "x "}};
  for (const auto& r : rows) {
    EXPECT_EQ(Fit(r.text, r.width, r.align), r.fitted) << r.text;
    EXPECT_EQ(DisplayWidth(r.fitted), r.width) << r.text;
  }
}

TEST(ReadableCells, NumberTexts) {
  for (const char* yes : {"123456789", "-1.5", "1,234,567.89", "1.234,5", "12 345", "-5%", "1e9"})
    EXPECT_TRUE(IsNumberText(yes)) << yes;
  for (const char* no : {"", "-", "1/1/2020", "12:00", "1,,2", ",5", "5,", "12a", "Qty", "%"})
    EXPECT_FALSE(IsNumberText(no)) << no;
}

// A control's grid: the row-number column (8 characters) and "Name" and "Qty" (10 each).
class FittedGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g.SetRows(3);
    g.SetCols(3);
    g.SetColWidth(0, 960);
    g.SetColWidth(1, 1200);
    g.SetColWidth(2, 1200);
    g.Move(0, 0, 3360, 720);
    const char* texts[3][3] = {{"", "Name", "Qty"},
                               {"1", "Straße und Weg", "123456789012"},
                               {"2", "日本語のテキスト", "7"}};
    for (int32_t r = 0; r < 3; ++r)
      for (int32_t c = 0; c < 3; ++c) g.SetTextMatrix(r, c, texts[r][c]);
    scene.grid = &g;
  }

  std::string At(int64_t chars) {
    scene.width = static_cast<double>(chars) * kTwipsPerChar;
    return RenderText(scene);
  }

  platform::FlexGrid g;
  Scene scene;
};

TEST_F(FittedGridTest, TheWidthIsFilledCutTextsFirst) {
  const std::pair<int64_t, std::string> rows[] = {
      // The columns' own widths: long texts cut, the number shown as #.
      {31,
       "        |Name      |Qty       |\n"
       "--------+----------+----------+\n"
       "       1|Straße un…|##########|\n"
       "       2|日本語の… |         7|\n"},
      // Two more characters each: the number fits; 本's half would not.
      {35,
       "        |Name        |Qty         |\n"
       "--------+------------+------------+\n"
       "       1|Straße und …|123456789012|\n"
       "       2|日本語のテ… |           7|\n"},
      // Every text fits; the rest is shared by the scrollable columns.
      {46,
       "        |Name                |Qty            |\n"
       "--------+--------------------+---------------+\n"
       "       1|Straße und Weg      |   123456789012|\n"
       "       2|日本語のテキスト    |              7|\n"},
      // Too narrow: the last column is cut at the edge ...
      {22,
       "        |Name      |…|\n"
       "--------+----------+-+\n"
       "       1|Straße un…|#|\n"
       "       2|日本語の… |7|\n"},
      // ... and the row numbers give up their blanks for the first scrollable column.
      {12,
       " |Name     |\n"
       "-+---------+\n"
       "1|Straße u…|\n"
       "2|日本語の…|\n"}};
  for (const auto& [chars, expected] : rows) EXPECT_EQ(At(chars), expected) << chars;
}

TEST_F(FittedGridTest, TheScrollBarTakesOneCharacter) {
  scene.scroll_bar = ScrollBarState{};
  std::string out = At(32);
  EXPECT_EQ(out.substr(0, out.find('\n')), "        |Name      |Qty       |▲");
}

TEST_F(FittedGridTest, FixedColumnsAsWideAsTheGridLeaveTheFirstScrollableOneInView) {
  g.Move(0, 0, 900, 720);
  EXPECT_EQ(At(22),
            "        |Name        |\n"
            "--------+------------+\n"
            "       1|Straße und …|\n"
            "       2|日本語のテ… |\n");
}

}  // namespace
}  // namespace tabulo::view
