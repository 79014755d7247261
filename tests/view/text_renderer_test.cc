#include "view/text_renderer.h"

#include <gtest/gtest.h>

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

  FlexGrid g;
  Scene scene;
};

TEST_F(TextRendererTest, ChangedCellIsMarkedAndRedWithAnsi) {
  g.SetRow(2);
  g.SetCol(2);
  g.SetCellBackColor(kChangedCellColor);
  std::string plain = RenderText(scene);
  EXPECT_NE(plain.find("  2|Straße un…|     *7*|\n"), std::string::npos) << plain;
  std::string ansi = RenderText(scene, RenderOptions{.ansi = true});
  EXPECT_NE(ansi.find("|\x1b[41m     *7*\x1b[0m|"), std::string::npos) << ansi;
  // Unchanged cells carry no colour.
  EXPECT_EQ(ansi.find("\x1b[41m      42"), std::string::npos);
  // White (written back) is not a change.
  g.SetCellBackColor(0xFFFFFF);
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
  EXPECT_EQ(bar_of(), "▲,░,█,░,▼,");
  scene.scroll_bar->value = 100;
  EXPECT_EQ(bar_of(), "▲,░,░,█,▼,");
  scene.scroll_bar->value = 74;  // rounds to the middle
  EXPECT_EQ(bar_of(), "▲,░,█,░,▼,");
  scene.scroll_bar->max = 0;  // an empty range keeps the thumb at the top
  EXPECT_EQ(bar_of(), "▲,█,░,░,▼,");
  scene.scroll_bar->enabled = false;
  EXPECT_EQ(bar_of(), "▲,░,░,░,▼,");
  scene.scroll_bar->visible = false;
  EXPECT_EQ(RenderText(scene).find("▲"), std::string::npos);
}

// A short editor text over its cell is in the acceptance scripts' renderings.
TEST_F(TextRendererTest, EditorIsDrawnOverItsCell) {
  g.SetRow(2);
  g.SetCol(1);
  scene.editor = EditorState{.left = g.left() + g.CellLeft(),
                             .top = g.top() + g.CellTop(),
                             .width = static_cast<double>(g.CellWidth()),
                             .height = static_cast<double>(g.CellHeight()),
                             .text = "a much longer text"};
  EXPECT_NE(RenderText(scene).find("  2|[a much …]|"), std::string::npos);
  scene.editor->visible = false;
  EXPECT_NE(RenderText(scene).find("  2|Straße un…|"), std::string::npos);
}

TEST_F(TextRendererTest, StatusBarPanelsSideBySide) {
  scene.status_bar = StatusBarState{.panels = {{"Browsing: Orders@db", 1260}, {"Connected", 1260}}};
  std::string out = RenderText(scene);
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1), "Browsing:…|Connected \n");
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

}  // namespace
}  // namespace tabulo::view
