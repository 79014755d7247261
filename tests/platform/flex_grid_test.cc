// The grid widget: the order of its events for program moves, mouse and keys, scrolling and
// geometry, sizes, texts, cell formats and the errors of its indices.
#include "platform/widgets/flex_grid.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
using test_support::Events;
using test_support::Tag;
namespace {

// "r<row>c<col>".
std::string RowCol(int32_t row, int32_t col) {
  return Tag(Tag("r", row) + "c", col);
}

// The events of a move of the current cell.
Events Moved(std::string_view from, std::string_view to) {
  return {"LeaveCell " + std::string(from), "EnterCell " + std::string(to), "RowColChange",
          "SelChange"};
}

Events Join(std::initializer_list<Events> parts) {
  Events all;
  for (const Events& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A 5 x 4 grid (header row, row-number column 600 twips, data columns 1200 twips, rows 240
// twips) laid out so that every cell is in view, with every event recorded as text.
class FlexGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g.SetRows(5);
    g.SetCols(4);
    g.SetColWidth(0, 600);
    for (int c = 1; c < 4; ++c) g.SetColWidth(c, 1200);
    g.Move(0, 0, 4200, 1200);
    g.on_leave_cell = [this] { ev.push_back("LeaveCell " + Cell()); };
    g.on_enter_cell = [this] { ev.push_back("EnterCell " + Cell()); };
    g.on_row_col_change = [this] { ev.push_back("RowColChange"); };
    g.on_sel_change = [this] { ev.push_back("SelChange"); };
    g.on_click = [this] { ev.push_back("Click"); };
    g.on_dbl_click = [this] { ev.push_back("DblClick"); };
    g.on_scroll = [this] { ev.push_back("Scroll"); };
    g.on_mouse_down = [this](int16_t& b, int16_t&, float&, float&) {
      ev.push_back(Tag("MouseDown ", b));
    };
    g.on_mouse_up = [this](int16_t& b, int16_t&, float&, float&) {
      ev.push_back(Tag("MouseUp ", b));
    };
    g.on_mouse_move = [this](int16_t&, int16_t&, float&, float&) { ev.push_back("MouseMove"); };
    g.on_key_down = [this](int16_t& k, int16_t&) { ev.push_back(Tag("KeyDown ", k)); };
    g.on_key_press = [this](int16_t& a) { ev.push_back(Tag("KeyPress ", a)); };
    g.on_key_up = [this](int16_t& k, int16_t&) { ev.push_back(Tag("KeyUp ", k)); };
  }

  std::string Cell() const { return RowCol(g.Row(), g.Col()); }
  std::string Mouse() const { return RowCol(g.MouseRow(), g.MouseCol()); }
  Events Take() { return std::exchange(ev, {}); }
  // The visible rows and columns among the first five, as "rows 0,1 cols 0,2".
  std::string Visible() const {
    std::string s = "rows";
    for (int32_t r = 0; r < 5; ++r) s += g.RowIsVisible(r) ? Tag(" ", r) : "";
    s += " cols";
    for (int32_t c = 0; c < 4; ++c) s += g.ColIsVisible(c) ? Tag(" ", c) : "";
    return s;
  }

  FlexGrid g;
  Events ev;
};

// --- Program moves ------------------------------------------------------------------------

TEST_F(FlexGridTest, SettingRowThenColRaisesTheSequenceTwice) {
  g.SetRow(2);
  EXPECT_EQ(Take(), Moved("r1c1", "r2c1"));
  g.SetCol(3);
  EXPECT_EQ(Take(), Moved("r2c1", "r2c3"));
  g.SetRow(2);  // the same cell: nothing
  g.SetCol(3);
  EXPECT_TRUE(Take().empty());
}

TEST_F(FlexGridTest, MoveCollapsesTheSelectionBeforeEnterCell) {
  g.SetRowSel(4);
  g.SetColSel(3);
  EXPECT_EQ(Take(), (Events{"SelChange", "SelChange"}));
  std::string sel_at_enter;
  g.on_enter_cell = [&] { sel_at_enter = RowCol(g.RowSel(), g.ColSel()); };
  g.SetRow(2);
  EXPECT_EQ(sel_at_enter, "r2c1");
  EXPECT_EQ(RowCol(g.RowSel(), g.ColSel()), "r2c1");
}

TEST_F(FlexGridTest, EventsAreRaisedWhileRedrawIsOffAndFixedCellsCanBeCurrent) {
  g.SetRedraw(false);
  g.SetCol(0);
  g.SetRow(0);
  EXPECT_EQ(Take(), Join({Moved("r1c1", "r1c0"), Moved("r1c0", "r0c0")}));
  EXPECT_FALSE(g.Redraw());
}

TEST_F(FlexGridTest, ShrinkingBelowTheCurrentCellMovesItSilently) {
  g.SetRow(4);
  g.SetCol(3);
  Take();
  g.SetRows(3);
  g.SetCols(2);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Cell(), "r2c1");
  EXPECT_EQ(g.RowSel(), 2);
}

// --- Mouse --------------------------------------------------------------------------------

TEST_F(FlexGridTest, ClickOnADataCellMovesTheCurrentCellBetweenMouseDownAndMouseUp) {
  g.UserClick(3, 2);
  EXPECT_EQ(Take(),
            Join({{"MouseMove", "MouseDown 1"}, Moved("r1c1", "r3c2"), {"MouseUp 1", "Click"}}));
  EXPECT_EQ(Mouse(), "r3c2");
  // Again on the same cell: no move of the mouse, no cell events.
  g.UserClick(3, 2);
  EXPECT_EQ(Take(), (Events{"MouseDown 1", "MouseUp 1", "Click"}));
  // A double click: the click, then DblClick and a second MouseUp.
  g.UserDblClick(2, 3);
  EXPECT_EQ(Take(), Join({{"MouseMove", "MouseDown 1"},
                          Moved("r3c2", "r2c3"),
                          {"MouseUp 1", "Click", "DblClick", "MouseUp 1"}}));
}

TEST_F(FlexGridTest, ClickOnTheHeaderOrRowNumbersOrWithTheRightButtonDoesNotMove) {
  const Events no_move{"MouseMove", "MouseDown 1", "MouseUp 1", "Click"};
  g.UserClick(0, 2);
  EXPECT_EQ(Take(), no_move);
  EXPECT_EQ(Mouse(), "r0c2");
  g.UserClick(3, 0);
  EXPECT_EQ(Take(), no_move);
  EXPECT_EQ(Mouse(), "r3c0");
  g.UserClick(3, 3, 2);  // the right button raises only mouse events
  EXPECT_EQ(Take(), (Events{"MouseMove", "MouseDown 2", "MouseUp 2"}));
  EXPECT_EQ(Mouse(), "r3c3");
  EXPECT_EQ(Cell(), "r1c1");
}

TEST_F(FlexGridTest, DoubleClickAtAHeaderBorderLeavesTheMouseThere) {
  std::string seen;
  g.on_dbl_click = [&] { seen = Mouse(); };
  g.UserDblClickAt(1790, 100);  // 10 twips left of the right border of column 1
  EXPECT_EQ(seen, "r0c1");
  EXPECT_EQ(Mouse(), "r0c1");
  EXPECT_EQ(Cell(), "r1c1");
}

TEST_F(FlexGridTest, MouseRowAndColFollowTheMouseAndClampAtTheEdges) {
  float seen_x = 0, seen_y = 0;
  g.on_mouse_move = [&](int16_t&, int16_t&, float& x, float& y) {
    seen_x = x;
    seen_y = y;
  };
  g.MouseMoveTo(1850, 500);  // column 2 starts at 1800, row 2 at 480
  EXPECT_EQ(Mouse(), "r2c2");
  EXPECT_FLOAT_EQ(seen_x, 1850);
  EXPECT_FLOAT_EQ(seen_y, 500);
  g.MouseMoveTo(1799, 479);  // the last twip of column 1 and row 1
  EXPECT_EQ(Mouse(), "r1c1");
  g.MouseMoveTo(99999, 99999);
  EXPECT_EQ(Mouse(), "r4c3");
  g.MouseMoveTo(-5, -5);
  EXPECT_EQ(Mouse(), "r0c0");
  g.ScrollTo(3, 3);
  g.MouseMoveTo(700, 250);  // the first cell after the fixed ones
  EXPECT_EQ(Mouse(), "r3c3");
}

TEST_F(FlexGridTest, MouseDownOutsideTheCellsMovesNothing) {
  g.Move(0, 0, 8000, 3000);  // larger than the cells
  g.UserMouseDown(7000, 2000);
  g.UserMouseUp(7000, 2000);
  EXPECT_EQ(Take(), (Events{"MouseDown 1", "MouseUp 1", "Click"}));
  EXPECT_EQ(g.Row(), 1);
}

TEST_F(FlexGridTest, LeftMouseDownTakesTheFocusWithTheMousePositionAlreadyUpdated) {
  FocusScope scope;
  Widget editor("txtEdit");
  editor.set_focus_scope(&scope);
  g.set_focus_scope(&scope);
  editor.SetFocus();
  std::string mouse_at_lost_focus;
  editor.on_lost_focus = [&] {
    mouse_at_lost_focus = Mouse();
    ev.push_back("LostFocus");
  };
  g.UserClick(0, 1);
  EXPECT_EQ(Take(), (Events{"MouseMove", "LostFocus", "MouseDown 1", "MouseUp 1", "Click"}));
  EXPECT_EQ(mouse_at_lost_focus, "r0c1");
  EXPECT_TRUE(g.has_focus());
}

TEST_F(FlexGridTest, ClickOnACellOutOfViewIsRefusedAndADisabledGridIgnoresTheUser) {
  g.Move(0, 0, 3000, 1200);  // column 3 starts at 3000: not in view
  EXPECT_EQ(ErrorOf([&] { g.UserClick(1, 3); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { g.UserClick(9, 1); }), kErrGridSubscript);
  g.SetEnabled(false);
  g.UserClick(2, 2);
  g.UserKey(kKeyDown);
  g.MouseMoveTo(10, 10);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Cell(), "r1c1");
}

// --- Keys ---------------------------------------------------------------------------------

TEST_F(FlexGridTest, ArrowAndTabKeysMoveBetweenKeyDownAndKeyUp) {
  g.UserKey(kKeyDown);
  g.UserKey(kKeyUp);
  g.UserKey(kKeyUp);  // already on the first data row
  g.UserKey(kKeyTab);
  // No KeyPress for the arrows; the tab key is a character too.
  EXPECT_EQ(Take(), Join({{"KeyDown 40"},
                          Moved("r1c1", "r2c1"),
                          {"KeyUp 40", "KeyDown 38"},
                          Moved("r2c1", "r1c1"),
                          {"KeyUp 38", "KeyDown 38", "KeyUp 38"},
                          {"KeyDown 9"},
                          Moved("r1c1", "r1c2"),
                          {"KeyPress 9", "KeyUp 9"}}));
  g.UserKey(kKeyTab, kShiftMask);
  EXPECT_EQ(Cell(), "r1c1");
}

TEST_F(FlexGridTest, CharacterKeysRaiseKeyPress) {
  g.UserKey('A');
  g.UserKey('A', kShiftMask);
  g.UserKey('7');
  g.UserKey(kKeyReturn);
  EXPECT_EQ(Take(), (Events{"KeyDown 65", "KeyPress 97", "KeyUp 65", "KeyDown 65", "KeyPress 65",
                            "KeyUp 65", "KeyDown 55", "KeyPress 55", "KeyUp 55", "KeyDown 13",
                            "KeyPress 13", "KeyUp 13"}));
  EXPECT_EQ(g.Row(), 1);
}

TEST_F(FlexGridTest, KeyDownHandlerCanCancelOrChangeTheKey) {
  g.on_key_down = [](int16_t& k, int16_t&) { k = 0; };
  g.UserKey(kKeyDown);
  EXPECT_EQ(Cell(), "r1c1");
  g.on_key_down = [](int16_t& k, int16_t&) {
    if (k == kKeyDown) k = kKeyRight;
  };
  g.UserKey(kKeyDown);
  EXPECT_EQ(Cell(), "r1c2");
}

TEST_F(FlexGridTest, HomeEndAndCtrlVariantsStayInTheNonFixedArea) {
  g.SetRow(3);
  g.SetCol(2);
  const struct {
    int16_t key, shift;
    const char* cell;
  } rows[] = {{kKeyEnd, 0, "r3c3"},
              {kKeyHome, 0, "r3c1"},
              {kKeyEnd, kCtrlMask, "r4c3"},
              {kKeyHome, kCtrlMask, "r1c1"}};
  for (const auto& r : rows) {
    g.UserKey(r.key, r.shift);
    EXPECT_EQ(Cell(), r.cell);
  }
  // From a fixed cell an arrow key lands in the data area.
  g.SetRow(0);
  g.SetCol(0);
  g.UserKey(kKeyDown);
  EXPECT_EQ(Cell(), "r1c1");
}

TEST_F(FlexGridTest, KeyMovesScrollTheCurrentCellIntoView) {
  g.SetRows(10);
  g.Move(0, 0, 4200, 720);  // header and two data rows
  g.SetRow(2);
  Take();
  g.UserKey(kKeyDown);
  EXPECT_EQ(Take(), Join({{"KeyDown 40"}, Moved("r2c1", "r3c1"), {"Scroll", "KeyUp 40"}}));
  EXPECT_EQ(g.TopRow(), 2);
  g.UserKey(kKeyPageDown);  // a page is the two rows in view
  EXPECT_EQ(g.Row(), 5);
  EXPECT_EQ(g.TopRow(), 4);
  g.UserKey(kKeyHome, kCtrlMask);
  EXPECT_EQ(g.TopRow(), 1);
}

// --- Scrolling and geometry ----------------------------------------------------------------

TEST_F(FlexGridTest, CellPositionFollowsScrollingAndFixedCells) {
  g.ScrollTo(3, 2);
  EXPECT_EQ(Take(), (Events{"Scroll"}));
  g.ScrollTo(3, 2);
  EXPECT_TRUE(Take().empty());
  const struct {
    int32_t row, col, left, top;
  } rows[] = {{3, 2, 600, 240},
              {3, 3, 1800, 240},
              {3, 1, -600, 240},  // 1 is scrolled out
              {0, 0, 0, 0},
              {4, 0, 0, 480}};
  for (const auto& r : rows) {
    g.SetRow(r.row);
    g.SetCol(r.col);
    EXPECT_EQ(g.CellLeft(), r.left) << Cell();
    EXPECT_EQ(g.CellTop(), r.top) << Cell();
  }
  g.SetCol(2);
  EXPECT_EQ(g.CellWidth(), 1200);
  EXPECT_EQ(g.CellHeight(), 240);
}

TEST_F(FlexGridTest, VisibilityAtTheEdgesOfTheGrid) {
  g.Move(0, 0, 3000, 720);  // columns 0..2 end exactly at 3000; rows 0..2 at 720
  EXPECT_EQ(Visible(), "rows 0 1 2 cols 0 1 2");
  g.Move(0, 0, 3001, 721);  // one twip of column 3 and row 3
  EXPECT_EQ(Visible(), "rows 0 1 2 3 cols 0 1 2 3");
  g.SetLeftCol(2);
  g.SetTopRow(3);
  EXPECT_EQ(Visible(), "rows 0 3 4 cols 0 2 3");
  g.Move(0, 0, 0, 0);
  EXPECT_EQ(Visible(), "rows cols");
}

// --- Sizes, texts and formats -----------------------------------------------------------------

TEST_F(FlexGridTest, ResizingKeepsContentsAndClearKeepsSizes) {
  g.SetTextMatrix(1, 1, "a");
  g.SetTextMatrix(4, 3, "z");
  g.SetCols(6);
  g.SetRows(3);
  EXPECT_EQ(g.TextMatrix(1, 1), "a");
  EXPECT_EQ(g.TextMatrix(2, 5), "");
  EXPECT_EQ(g.ColWidth(5), FlexGrid::kDefaultColWidth);
  g.SetRows(5);
  EXPECT_EQ(g.TextMatrix(4, 3), "");  // cut off, then added empty
  g.SetCellBackColor(255);
  g.SetText("b");
  g.Clear();
  EXPECT_EQ(g.Rows(), 5);
  EXPECT_EQ(g.Cols(), 6);
  EXPECT_EQ(g.ColWidth(1), 1200);
  EXPECT_EQ(g.TextMatrix(1, 1), "");
  EXPECT_EQ(g.CellBackColor(), 0);
}

TEST_F(FlexGridTest, TextIsTheCurrentCellsTextMatrixEntry) {
  g.SetRow(2);
  g.SetCol(3);
  g.SetText("Möchten");
  EXPECT_EQ(g.TextMatrix(2, 3), "Möchten");
  g.SetTextMatrix(2, 3, "x");
  EXPECT_EQ(g.Text(), "x");
}

TEST_F(FlexGridTest, CellFormatsBelongToOneCellAndDefaultToTheGrid) {
  g.SetFont(TextFont{"Arial", 10, false, false});
  EXPECT_EQ(g.CellAlignment(), kAlignGeneral);
  EXPECT_EQ(g.CellFontName(), "Arial");
  EXPECT_DOUBLE_EQ(g.CellFontSize(), 10);
  g.SetCellAlignment(kAlignRightCenter);
  g.SetCellBackColor(255);
  g.SetCellFontBold(true);
  g.SetCellFontName("Courier");
  g.SetCellFontSize(12);
  g.SetCol(2);
  EXPECT_EQ(g.CellAlignment(), kAlignGeneral);
  EXPECT_EQ(g.CellBackColor(), 0);
  EXPECT_FALSE(g.CellFontBold());
  EXPECT_EQ(g.CellFontName(), "Arial");
  EXPECT_EQ(g.CellAlignmentAt(1, 1), kAlignRightCenter);
  EXPECT_EQ(g.CellBackColorAt(1, 1), 255);
  EXPECT_TRUE(g.CellFontBoldAt(1, 1));
  g.SetCol(1);
  EXPECT_EQ(g.CellFontName(), "Courier");
  EXPECT_DOUBLE_EQ(g.CellFontSize(), 12);
}

TEST_F(FlexGridTest, WidthsAndHeightsHaveDefaultsAndAMinimum) {
  g.SetColWidth(2, 0);
  EXPECT_EQ(g.ColWidth(2), 0);
  g.SetColWidth(2, -1);
  EXPECT_EQ(g.ColWidth(2), FlexGrid::kDefaultColWidth);
  EXPECT_EQ(g.RowHeight(1), 240);  // 8.25 pt
  g.SetRowHeight(1, 100);
  g.SetRowHeightMin(200);
  EXPECT_EQ(g.RowHeight(1), 200);
  EXPECT_EQ(g.RowHeight(2), 240);
  g.SetRowHeight(1, -1);
  g.SetRowHeightMin(0);
  g.SetFont(TextFont{"Arial", 16.5, false, false});
  EXPECT_EQ(g.RowHeight(1), 480);
  g.SetColWidth(-1, 300);
  EXPECT_EQ(g.ColWidth(0), 300);
  EXPECT_EQ(g.ColWidth(3), 300);
}

TEST_F(FlexGridTest, OutOfRangeIndicesRaiseTheGridErrors) {
  EXPECT_EQ(ErrorOf([&] { (void)g.TextMatrix(5, 0); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { (void)g.TextMatrix(0, -1); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { g.SetTextMatrix(0, 4, "x"); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { (void)g.ColWidth(4); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { (void)g.RowHeight(-1); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { (void)g.ColIsVisible(4); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { (void)g.RowIsVisible(5); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { g.SetRow(5); }), kErrInvalidRowValue);
  EXPECT_EQ(ErrorOf([&] { g.SetRowSel(-1); }), kErrInvalidRowValue);
  EXPECT_EQ(ErrorOf([&] { g.SetCol(4); }), kErrInvalidColValue);
  EXPECT_EQ(ErrorOf([&] { g.SetTopRow(0); }), kErrInvalidRowValue);  // a fixed row
  EXPECT_EQ(ErrorOf([&] { g.SetLeftCol(4); }), kErrInvalidColValue);
  EXPECT_EQ(ErrorOf([&] { g.SetRows(0); }), kErrInvalidRowValue);  // below FixedRows
  EXPECT_EQ(ErrorOf([&] { g.SetCols(0); }), kErrInvalidColValue);
  EXPECT_EQ(ErrorOf([&] { g.SetFixedRows(6); }), kErrInvalidRowValue);
  EXPECT_EQ(ErrorOf([&] { g.SetFixedCols(-1); }), kErrInvalidColValue);
  EXPECT_EQ(ErrorOf([&] { g.SetCellAlignment(10); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { g.SetColWidth(1, -2); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { g.SetCellFontSize(-1); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { g.SetRows(2'000'000); }), kErrOutOfMemory);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(g.Rows(), 5);
  try {
    g.SetRow(7);
  } catch (const ComError& e) {
    EXPECT_EQ(e.description(), "Invalid Row value");
    EXPECT_EQ(e.source(), "Grid");
  }
}

TEST_F(FlexGridTest, AGridWithoutFixedCellsCanShrinkToNothing) {
  g.SetFixedRows(0);
  g.SetFixedCols(0);
  g.SetCols(0);
  g.SetRows(1);
  EXPECT_EQ(g.Cols(), 0);
  EXPECT_EQ(ErrorOf([&] { (void)g.Text(); }), kErrGridSubscript);
  g.SetCols(1);
  g.SetRow(0);
  g.SetCol(0);
  g.SetText("Name");
  EXPECT_EQ(g.TextMatrix(0, 0), "Name");
}

}  // namespace
}  // namespace tabulo::platform
