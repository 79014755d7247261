// The text rendering of a scene: the grid drawn with its changed cells, scroll bar, editor
// and status bar; text cells (fitting on code point boundaries, display widths of wide and
// combining characters, numbers that never read as other numbers) and the grid's columns
// fitted to the control's width.
#include "view/text_renderer.h"

#include <gtest/gtest.h>

#include <tuple>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "view/text_cells.h"

namespace tabulo::view {
namespace {

using platform::FlexGrid;

// The grid below, drawn whole.
const char* const kGrid =
    "   |   Name   |  Réf.  |\n"
    "---+----------+--------+\n"
    "  1|Möchten   |      42|\n"
    "  2|Straße un…|       7|\n"
    "  3|          |        |\n";

// A grid like the control's: header row, row-number column (3 characters), "Name" (10
// characters) and "Réf." (8 characters), placed at (100, 50) in the control.
class TextRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g.SetRows(4);
    g.SetCols(3);
    g.SetColWidth(0, 360);
    g.SetColWidth(1, 1200);
    g.SetColWidth(2, 960);
    g.Move(100, 50, 2520, 960);
    Put(0, 1, "Name", platform::kAlignCenterCenter);
    Put(0, 2, "Réf.", platform::kAlignCenterCenter);
    Put(1, 0, "1", platform::kAlignGeneral);
    Put(1, 1, "Möchten", platform::kAlignLeftCenter);
    Put(1, 2, "42", platform::kAlignRightCenter);
    Put(2, 0, "2", platform::kAlignGeneral);
    Put(2, 1, "Straße und Weg", platform::kAlignLeftCenter);
    Put(2, 2, "7", platform::kAlignRightCenter);
    Put(3, 0, "3", platform::kAlignGeneral);
    scene.grid = &g;
  }

  void Put(int32_t r, int32_t c, const std::string& text, int16_t align) {
    g.SetRow(r);
    g.SetCol(c);
    g.SetText(text);
    g.SetCellAlignment(align);
  }

  // An empty editor over cell (r, c), as the control places its text box.
  void OpenEditorOnCell(int32_t r, int32_t c) {
    g.SetRow(r);
    g.SetCol(c);
    scene.editor = EditorState{.left = g.left() + g.CellLeft(),
                               .top = g.top() + g.CellTop(),
                               .width = static_cast<double>(g.CellWidth()),
                               .height = static_cast<double>(g.CellHeight()),
                               .text = "",
                               .visible = true,
                               .sel_start = 0,
                               .sel_length = 0};
  }

  FlexGrid g;
  Scene scene;
};

TEST_F(TextRendererTest, ChangedCellIsMarkedAndRedWithAnsi) {
  // The mark is the scene's, not the cell's colour.
  g.SetRow(2);
  g.SetCol(1);
  g.SetCellBackColor(255);
  scene.changed = {{2, 2}};
  std::string plain = RenderText(scene);
  EXPECT_NE(plain.find("  2|Straße un…|     *7*|\n"), std::string::npos) << plain;
  std::string ansi = RenderText(scene, RenderOptions{.ansi = true});
  EXPECT_NE(ansi.find("|\x1b[41m     *7*\x1b[0m|"), std::string::npos) << ansi;
  // Unchanged cells carry no colour.
  EXPECT_EQ(ansi.find("\x1b[41m      42"), std::string::npos);
  scene.changed.clear();
  EXPECT_EQ(RenderText(scene).find('*'), std::string::npos);
}

TEST_F(TextRendererTest, ScrollBarThumbAtTopMiddleAndBottom) {
  scene.scroll_bar = ScrollBarState{.min = 0, .max = 100, .value = 50};
  auto bar_of = [&] {
    std::string out = RenderText(scene), bar;
    for (size_t end = out.find('\n'), start = 0; end != std::string::npos;
         start = end + 1, end = out.find('\n', start)) {
      std::string line = out.substr(start, end - start);
      bar += line.substr(line.size() - 3) + ",";  // the bar's symbols are 3 bytes each
    }
    return bar;
  };
  EXPECT_EQ(bar_of(), "▲,░,█,░,▼,");  // the ends: the acceptance scripts' renderings
  scene.scroll_bar->value = 74;       // rounds to the middle
  EXPECT_EQ(bar_of(), "▲,░,█,░,▼,");
  scene.scroll_bar->max = 0;  // an empty range keeps the thumb at the top
  EXPECT_EQ(bar_of(), "▲,█,░,░,▼,");
  scene.scroll_bar->enabled = false;
  EXPECT_EQ(bar_of(), "▲,░,░,░,▼,");
  scene.scroll_bar->visible = false;
  EXPECT_EQ(RenderText(scene).find("▲"), std::string::npos);
}

// A short editor text over its cell is in the acceptance scripts' renderings.
TEST_F(TextRendererTest, EditorIsDrawnOverItsCellAndWidensToItsText) {
  OpenEditorOnCell(2, 1);
  // The cell holds "[" 7 characters "_]" with the caret at the end; one more widens the
  // editor over the next cell, whole, and the line's end stops it. Selected, the text alone
  // needs one character less.
  const std::tuple<const char*, int32_t, const char*> rows[] = {
      {"", 0, "  2|[_       ]|       7|"},
      {"1234567", 0, "  2|[1234567_]|       7|"},
      {"12345678", 0, "  2|[12345678_        ]|"},
      {"12345678", 8, "  2|[12345678]|       7|"},
      {"1234567890123456", 0, "  2|[1234567890123456_]|"},
      {"12345678901234567", 0, "  2|[1234567890123456…]|"},
  };
  for (const auto& [text, selected, line] : rows) {
    scene.editor->text = text;
    scene.editor->sel_start = selected ? 0 : static_cast<int32_t>(std::string(text).size());
    scene.editor->sel_length = selected;
    EXPECT_NE(RenderText(scene).find(std::string(line) + "\n"), std::string::npos)
        << text << "\n"
        << RenderText(scene);
  }
  scene.editor->visible = false;
  EXPECT_NE(RenderText(scene).find("  2|Straße un…|"), std::string::npos);
}

// The caret is drawn where it stands, not always at the end; a selection shows no caret.
TEST_F(TextRendererTest, EditorCaretIsDrawnWhereTheTextBoxHasIt) {
  OpenEditorOnCell(2, 1);
  struct Case {
    std::string text;
    int32_t sel_start, sel_length;
    bool caret_mark;
    std::string slot;
  };
  const std::vector<Case> cases = {
      {"abc", 0, 0, true, "[_abc    ]"}, {"abc", 1, 0, true, "[a_bc    ]"},
      {"abc", 3, 0, true, "[abc_    ]"}, {"abc", 0, 3, true, "[abc     ]"},
      {"abc", 2, 1, true, "[abc     ]"}, {"abc", 1, 0, false, "[abc     ]"},
      {"ßé", 1, 0, true, "[ß_é     ]"},  {"a\tb", 2, 0, true, "[a\\t_b   ]"},
  };
  for (const Case& c : cases) {
    scene.editor->text = c.text;
    scene.editor->sel_start = c.sel_start;
    scene.editor->sel_length = c.sel_length;
    RenderOptions options;
    options.caret_mark = c.caret_mark;
    EXPECT_NE(RenderText(scene, options).find("  2|" + c.slot + "|"), std::string::npos)
        << c.text << " " << c.sel_start << "+" << c.sel_length << "\n"
        << RenderText(scene, options);
  }
}

// Panels side by side, cut to their widths, are in every acceptance script's renderings (as
// is the scroll bar's one character beside fitted columns).
TEST_F(TextRendererTest, AHiddenStatusBarIsLeftOut) {
  scene.status_bar = StatusBarState{.panels = {{"Browsing: Orders@db", 1260}}};
  scene.status_bar->visible = false;
  EXPECT_EQ(RenderText(scene).find("Browsing"), std::string::npos);
}

TEST_F(TextRendererTest, HiddenColumnsAndColumnsOutOfViewAreLeftOut) {
  g.SetColWidth(1, 0);
  EXPECT_EQ(RenderText(scene),
            "   |  Réf.  |\n"
            "---+--------+\n"
            "  1|      42|\n"
            "  2|       7|\n"
            "  3|        |\n");
  g.SetColWidth(1, 1200);
  g.Move(100, 50, 1560, 720);  // column 2 starts at 1560, row 3 at 720
  EXPECT_EQ(RenderText(scene),
            "   |   Name   |\n"
            "---+----------+\n"
            "  1|Möchten   |\n"
            "  2|Straße un…|\n");
  // The whole grid ignores the grid's size.
  EXPECT_EQ(RenderText(scene, RenderOptions{.whole_grid = true}), kGrid);
}

TEST_F(TextRendererTest, ScrolledGridShowsFixedCellsThenTheWindow) {
  g.ScrollTo(2, 2);
  EXPECT_EQ(RenderText(scene),
            "   |  Réf.  |\n"
            "---+--------+\n"
            "  2|       7|\n"
            "  3|        |\n");
  std::string whole = RenderText(scene, RenderOptions{.whole_grid = true});
  EXPECT_NE(whole.find("  1|Möchten   |      42|\n"), std::string::npos) << whole;
}

TEST_F(TextRendererTest, ImpossiblyWideSlotsAreCapped) {
  g.SetColWidth(2, INT32_MAX);
  scene.status_bar = StatusBarState{.panels = {{"x", 1e300}}};
  std::string out = RenderText(scene);
  std::string first = out.substr(0, out.find('\n'));
  EXPECT_EQ(CodePoints(first), 4 + 11 + 1000 + 1);
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1).size(), 1000 + 1);
}

TEST_F(TextRendererTest, MultiLineTextsStayOnTheirLine) {
  g.SetTextMatrix(1, 1, "a\r\nb");
  EXPECT_NE(RenderText(scene).find("  1|a\\r\\nb    |"), std::string::npos);
}

TEST(TextRenderer, SceneWithoutGridIsRefused) {
  EXPECT_EQ(test_support::ErrorOf([] { (void)RenderText(Scene{}); }),
            platform::kErrInvalidProcedureCall);
}

constexpr const char* kAcute = "\xCC\x81";  // U+0301, a combining accent

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

// Padding by alignment, cuts with a mark on code point boundaries, wide and combining
// characters kept whole: the fitted text is always exactly as wide as asked.
TEST(ReadableCells, FitKeepsCharactersWholeAndTheWidthExact) {
  const std::string e_acute = std::string("e") + kAcute;
  const struct {
    std::string text;
    int64_t width;
    HAlign align;
    std::string fitted;
  } rows[] = {// clang-format off
      {"Réf.", 6, HAlign::kLeft, "Réf.  "}, {"Réf.", 6, HAlign::kRight, "  Réf."},
      {"ab", 5, HAlign::kCenter, " ab  "}, {"", 2, HAlign::kLeft, "  "},
      {"Möchten", 7, HAlign::kLeft, "Möchten"}, {"Möchten", 3, HAlign::kLeft, "Mö…"},
      {"ééé", 2, HAlign::kRight, "é…"}, {"ab", 1, HAlign::kLeft, "…"}, {"abc", 0, HAlign::kLeft, ""},
      {"日本語", 5, HAlign::kLeft, "日本…"}, {"日", 4, HAlign::kRight, "  日"},
      {"日本語", 4, HAlign::kLeft, "日… "},  // 本 would not fit before the mark
      {e_acute + e_acute + "x", 3, HAlign::kLeft, e_acute + e_acute + "x"},
      {e_acute + e_acute + "x", 2, HAlign::kLeft, e_acute + "…"},
      {std::string(kAcute) + "x", 3, HAlign::kLeft, std::string(" ") + kAcute + "x "}};
  // clang-format on
  for (const auto& r : rows) {
    EXPECT_EQ(Fit(r.text, r.width, r.align), r.fitted) << r.text;
    EXPECT_EQ(DisplayWidth(r.fitted), r.width) << r.text;
  }
  EXPECT_EQ(CodePoints(Fit("x\xFF\xFEyz", 3)), 3);  // invalid bytes are one character each
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

TEST_F(FittedGridTest, TheWidthIsSharedByTheColumnsWhateverTheirTexts) {
  const std::pair<int64_t, std::string> rows[] = {
      // The columns' own widths: long texts cut, the number shown as #.
      {31,
       "        |Name      |Qty       |\n"
       "--------+----------+----------+\n"
       "       1|Straße un…|##########|\n"
       "       2|日本語の… |         7|\n"},
      // One more character: to the first scrollable column; the next to the second.
      {32,
       "        |Name       |Qty       |\n"
       "--------+-----------+----------+\n"
       "       1|Straße und…|##########|\n"
       "       2|日本語のテ…|         7|\n"},
      {35,
       "        |Name        |Qty         |\n"
       "--------+------------+------------+\n"
       "       1|Straße und …|123456789012|\n"
       "       2|日本語のテ… |           7|\n"},
      // Room beyond every text is shared all the same, in turn.
      {46,
       "        |Name              |Qty              |\n"
       "--------+------------------+-----------------+\n"
       "       1|Straße und Weg    |     123456789012|\n"
       "       2|日本語のテキスト  |                7|\n"},
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

// Other rows scrolled into view (short texts, then long ones) leave every column as wide as
// it was: the lines' rule is the same whatever the texts.
TEST_F(FittedGridTest, ColumnsKeepTheirWidthsWhileOtherRowsComeIntoView) {
  for (int64_t chars : {31, 40, 46, 80}) {
    const std::string wide = At(chars);
    for (int32_t r = 1; r < 3; ++r) {
      g.SetTextMatrix(r, 1, "x");
      g.SetTextMatrix(r, 2, "1");
    }
    const std::string narrow = At(chars);
    g.SetTextMatrix(1, 1, std::string(60, 'w'));
    const std::string wider = At(chars);
    const auto rule = [](const std::string& text) {
      const size_t start = text.find('\n') + 1;
      return text.substr(start, text.find('\n', start) - start);
    };
    EXPECT_EQ(rule(narrow), rule(wide)) << chars;
    EXPECT_EQ(rule(wider), rule(wide)) << chars;
    EXPECT_EQ(DisplayWidth(rule(wide)), chars) << chars;
    SetUp();
  }
}

// A column the right edge cuts short by one character is not drawn whole; the row numbers give
// up their blanks for the first scrollable column as far as it needs (13 characters).
TEST_F(FittedGridTest, ColumnsDrawnWholeLeaveOutTheOneCutAtTheEdge) {
  using Cols = std::vector<int32_t>;
  const std::pair<int64_t, Cols> rows[] = {{31, {0, 1, 2}}, {30, {0, 1}}, {21, {0, 1}},
                                           {13, {0, 1}},    {12, {0}},    {80, {0, 1, 2}}};
  for (const auto& [chars, whole] : rows) {
    scene.width = static_cast<double>(chars) * kTwipsPerChar;
    EXPECT_EQ(ColumnsDrawnWhole(scene), whole) << chars;
  }
  scene.width = 0;  // no limit: every column in the grid's window
  EXPECT_EQ(ColumnsDrawnWhole(scene), (Cols{0, 1, 2}));
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
