#include "platform/widgets/flex_grid.h"
#include "common/error_of.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

using Events = std::vector<std::string>;

// "Name detail", built without operator+ (which trips a false -Wrestrict in GCC 12).
std::string Label(const char* name, const std::string& detail) {
  std::string s = name;
  s += ' ';
  s += detail;
  return s;
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
    Record();
  }

  std::string Cell() const {
    std::string s = "r";
    s += std::to_string(g.Row());
    s += 'c';
    s += std::to_string(g.Col());
    return s;
  }

  void Record() {
    g.on_leave_cell = [this] { ev.push_back(Label("LeaveCell", Cell())); };
    g.on_enter_cell = [this] { ev.push_back(Label("EnterCell", Cell())); };
    g.on_row_col_change = [this] { ev.push_back("RowColChange"); };
    g.on_sel_change = [this] { ev.push_back("SelChange"); };
    g.on_click = [this] { ev.push_back("Click"); };
    g.on_dbl_click = [this] { ev.push_back("DblClick"); };
    g.on_scroll = [this] { ev.push_back("Scroll"); };
    g.on_mouse_down = [this](int16_t& b, int16_t&, float&, float&) {
      ev.push_back(Label("MouseDown", std::to_string(b)));
    };
    g.on_mouse_up = [this](int16_t& b, int16_t&, float&, float&) {
      ev.push_back(Label("MouseUp", std::to_string(b)));
    };
    g.on_mouse_move = [this](int16_t&, int16_t&, float&, float&) { ev.push_back("MouseMove"); };
    g.on_key_down = [this](int16_t& k, int16_t&) {
      ev.push_back(Label("KeyDown", std::to_string(k)));
    };
    g.on_key_press = [this](int16_t& a) { ev.push_back(Label("KeyPress", std::to_string(a))); };
    g.on_key_up = [this](int16_t& k, int16_t&) { ev.push_back(Label("KeyUp", std::to_string(k))); };
  }

  Events Take() { return std::exchange(ev, {}); }

  FlexGrid g;
  Events ev;
};

// --- Program moves ------------------------------------------------------------------------

TEST_F(FlexGridTest, SettingRowThenColRaisesTheSequenceTwice) {
  g.SetRow(2);
  EXPECT_EQ(Take(), (Events{"LeaveCell r1c1", "EnterCell r2c1", "RowColChange", "SelChange"}));
  g.SetCol(3);
  EXPECT_EQ(Take(), (Events{"LeaveCell r2c1", "EnterCell r2c3", "RowColChange", "SelChange"}));
}

TEST_F(FlexGridTest, SettingTheSameCellRaisesNothing) {
  g.SetRow(1);
  g.SetCol(1);
  EXPECT_TRUE(Take().empty());
}

TEST_F(FlexGridTest, MoveCollapsesTheSelectionBeforeEnterCell) {
  g.SetRowSel(4);
  g.SetColSel(3);
  EXPECT_EQ(Take(), (Events{"SelChange", "SelChange"}));
  int32_t sel_at_enter = -1;
  g.on_enter_cell = [&] { sel_at_enter = g.RowSel() * 10 + g.ColSel(); };
  g.SetRow(2);
  EXPECT_EQ(sel_at_enter, 21);
  EXPECT_EQ(g.RowSel(), 2);
  EXPECT_EQ(g.ColSel(), 1);
}

TEST_F(FlexGridTest, EventsAreRaisedWhileRedrawIsOffAndFixedCellsCanBeCurrent) {
  g.SetRedraw(false);
  g.SetCol(0);
  g.SetRow(0);
  EXPECT_EQ(Take(), (Events{"LeaveCell r1c1", "EnterCell r1c0", "RowColChange", "SelChange",
                            "LeaveCell r1c0", "EnterCell r0c0", "RowColChange", "SelChange"}));
  EXPECT_FALSE(g.Redraw());
}

TEST_F(FlexGridTest, ShrinkingBelowTheCurrentCellMovesItSilently) {
  g.SetRow(4);
  g.SetCol(3);
  Take();
  g.SetRows(3);
  g.SetCols(2);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.RowSel(), 2);
}

// --- Mouse --------------------------------------------------------------------------------

TEST_F(FlexGridTest, ClickOnADataCellMovesTheCurrentCellBetweenMouseDownAndMouseUp) {
  g.UserClick(3, 2);
  EXPECT_EQ(Take(), (Events{"MouseMove", "MouseDown 1", "LeaveCell r1c1", "EnterCell r3c2",
                            "RowColChange", "SelChange", "MouseUp 1", "Click"}));
  EXPECT_EQ(g.MouseRow(), 3);
  EXPECT_EQ(g.MouseCol(), 2);
  // Again on the same cell: no move of the mouse, no cell events.
  g.UserClick(3, 2);
  EXPECT_EQ(Take(), (Events{"MouseDown 1", "MouseUp 1", "Click"}));
}

TEST_F(FlexGridTest, ClickOnTheHeaderOrRowNumbersDoesNotMoveTheCurrentCell) {
  g.UserClick(0, 2);
  EXPECT_EQ(Take(), (Events{"MouseMove", "MouseDown 1", "MouseUp 1", "Click"}));
  EXPECT_EQ(g.MouseRow(), 0);
  EXPECT_EQ(g.MouseCol(), 2);
  g.UserClick(3, 0);
  EXPECT_EQ(Take(), (Events{"MouseMove", "MouseDown 1", "MouseUp 1", "Click"}));
  EXPECT_EQ(g.MouseRow(), 3);
  EXPECT_EQ(g.MouseCol(), 0);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Col(), 1);
}

TEST_F(FlexGridTest, DoubleClickRaisesClickThenDblClickThenASecondMouseUp) {
  g.UserDblClick(2, 3);
  EXPECT_EQ(Take(),
            (Events{"MouseMove", "MouseDown 1", "LeaveCell r1c1", "EnterCell r2c3", "RowColChange",
                    "SelChange", "MouseUp 1", "Click", "DblClick", "MouseUp 1"}));
}

TEST_F(FlexGridTest, DoubleClickAtAHeaderBorderLeavesTheMouseThere) {
  float seen_x = 0;
  g.on_dbl_click = [&] { seen_x = static_cast<float>(g.MouseCol()); };
  g.UserDblClickAt(1790, 100);  // 10 twips left of the right border of column 1
  EXPECT_EQ(g.MouseRow(), 0);
  EXPECT_EQ(g.MouseCol(), 1);
  EXPECT_FLOAT_EQ(seen_x, 1);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Col(), 1);
}

TEST_F(FlexGridTest, RightClickRaisesOnlyMouseEvents) {
  g.UserClick(3, 3, 2);
  EXPECT_EQ(Take(), (Events{"MouseMove", "MouseDown 2", "MouseUp 2"}));
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.MouseRow(), 3);
}

TEST_F(FlexGridTest, MouseRowAndColFollowTheMouseAndClampAtTheEdges) {
  float seen_x = 0, seen_y = 0;
  g.on_mouse_move = [&](int16_t&, int16_t&, float& x, float& y) {
    seen_x = x;
    seen_y = y;
  };
  g.MouseMoveTo(1850, 500);  // column 2 starts at 1800, row 2 at 480
  EXPECT_EQ(g.MouseCol(), 2);
  EXPECT_EQ(g.MouseRow(), 2);
  EXPECT_FLOAT_EQ(seen_x, 1850);
  EXPECT_FLOAT_EQ(seen_y, 500);
  g.MouseMoveTo(1799, 479);  // the last twip of column 1 and row 1
  EXPECT_EQ(g.MouseCol(), 1);
  EXPECT_EQ(g.MouseRow(), 1);
  g.MouseMoveTo(99999, 99999);
  EXPECT_EQ(g.MouseCol(), 3);
  EXPECT_EQ(g.MouseRow(), 4);
  g.MouseMoveTo(-5, -5);
  EXPECT_EQ(g.MouseCol(), 0);
  EXPECT_EQ(g.MouseRow(), 0);
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
  int32_t mouse_row_at_lost_focus = -1;
  editor.on_lost_focus = [&] {
    mouse_row_at_lost_focus = g.MouseRow();
    ev.push_back("LostFocus");
  };
  g.UserClick(0, 1);
  EXPECT_EQ(Take(), (Events{"MouseMove", "LostFocus", "MouseDown 1", "MouseUp 1", "Click"}));
  EXPECT_EQ(mouse_row_at_lost_focus, 0);
  EXPECT_TRUE(g.has_focus());
}

TEST_F(FlexGridTest, ClickOnACellOutOfViewIsRefused) {
  g.Move(0, 0, 3000, 1200);  // column 3 starts at 3000: not in view
  EXPECT_EQ(ErrorOf([&] { g.UserClick(1, 3); }), kErrGridSubscript);
  EXPECT_EQ(ErrorOf([&] { g.UserClick(9, 1); }), kErrGridSubscript);
  EXPECT_TRUE(Take().empty());
}

TEST_F(FlexGridTest, DisabledGridIgnoresUserInput) {
  g.SetEnabled(false);
  g.UserClick(2, 2);
  g.UserKey(kKeyDown);
  g.MouseMoveTo(10, 10);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(g.Row(), 1);
}

// --- Keys ---------------------------------------------------------------------------------

TEST_F(FlexGridTest, ArrowKeyMovesBetweenKeyDownAndKeyUpWithoutKeyPress) {
  g.UserKey(kKeyDown);
  EXPECT_EQ(Take(), (Events{"KeyDown 40", "LeaveCell r1c1", "EnterCell r2c1", "RowColChange",
                            "SelChange", "KeyUp 40"}));
  g.UserKey(kKeyUp);
  g.UserKey(kKeyUp);  // already on the first data row
  EXPECT_EQ(Take(), (Events{"KeyDown 38", "LeaveCell r2c1", "EnterCell r1c1", "RowColChange",
                            "SelChange", "KeyUp 38", "KeyDown 38", "KeyUp 38"}));
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

TEST_F(FlexGridTest, TabMovesRightAndShiftTabLeft) {
  g.UserKey(kKeyTab);
  EXPECT_EQ(Take(), (Events{"KeyDown 9", "LeaveCell r1c1", "EnterCell r1c2", "RowColChange",
                            "SelChange", "KeyPress 9", "KeyUp 9"}));
  g.UserKey(kKeyTab, kShiftMask);
  EXPECT_EQ(g.Col(), 1);
}

TEST_F(FlexGridTest, KeyDownHandlerCanCancelOrChangeTheKey) {
  g.on_key_down = [](int16_t& k, int16_t&) { k = 0; };
  g.UserKey(kKeyDown);
  EXPECT_EQ(g.Row(), 1);
  g.on_key_down = [](int16_t& k, int16_t&) {
    if (k == kKeyDown) k = kKeyRight;
  };
  g.UserKey(kKeyDown);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Col(), 2);
}

TEST_F(FlexGridTest, HomeEndAndCtrlVariantsStayInTheNonFixedArea) {
  g.SetRow(3);
  g.SetCol(2);
  g.UserKey(kKeyEnd);
  EXPECT_EQ(Cell(), "r3c3");
  g.UserKey(kKeyHome);
  EXPECT_EQ(Cell(), "r3c1");
  g.UserKey(kKeyEnd, kCtrlMask);
  EXPECT_EQ(Cell(), "r4c3");
  g.UserKey(kKeyHome, kCtrlMask);
  EXPECT_EQ(Cell(), "r1c1");
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
  EXPECT_EQ(Take(), (Events{"KeyDown 40", "LeaveCell r2c1", "EnterCell r3c1", "RowColChange",
                            "SelChange", "Scroll", "KeyUp 40"}));
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
  g.SetRow(3);
  g.SetCol(2);
  EXPECT_EQ(g.CellLeft(), 600);
  EXPECT_EQ(g.CellTop(), 240);
  EXPECT_EQ(g.CellWidth(), 1200);
  EXPECT_EQ(g.CellHeight(), 240);
  g.SetCol(3);
  EXPECT_EQ(g.CellLeft(), 1800);
  g.SetCol(1);  // scrolled out to the left
  EXPECT_EQ(g.CellLeft(), -600);
  g.SetRow(0);
  g.SetCol(0);
  EXPECT_EQ(g.CellLeft(), 0);
  EXPECT_EQ(g.CellTop(), 0);
  g.SetRow(4);
  EXPECT_EQ(g.CellTop(), 480);
}

TEST_F(FlexGridTest, VisibilityAtTheEdgesOfTheGrid) {
  g.Move(0, 0, 3000, 720);  // columns 0..2 end exactly at 3000; rows 0..2 at 720
  EXPECT_TRUE(g.ColIsVisible(2));
  EXPECT_FALSE(g.ColIsVisible(3));
  EXPECT_TRUE(g.RowIsVisible(2));
  EXPECT_FALSE(g.RowIsVisible(3));
  g.Move(0, 0, 3001, 721);  // one twip of column 3 and row 3
  EXPECT_TRUE(g.ColIsVisible(3));
  EXPECT_TRUE(g.RowIsVisible(3));
  g.SetLeftCol(2);
  g.SetTopRow(3);
  EXPECT_FALSE(g.ColIsVisible(1));
  EXPECT_TRUE(g.ColIsVisible(0));
  EXPECT_FALSE(g.RowIsVisible(1));
  EXPECT_TRUE(g.RowIsVisible(0));
  EXPECT_TRUE(g.RowIsVisible(4));
  g.Move(0, 0, 0, 0);
  EXPECT_FALSE(g.ColIsVisible(0));
  EXPECT_FALSE(g.RowIsVisible(0));
}

TEST_F(FlexGridTest, MouseFollowsTheScrolledCells) {
  g.ScrollTo(3, 3);
  g.MouseMoveTo(700, 250);  // first cell after the fixed ones
  EXPECT_EQ(g.MouseRow(), 3);
  EXPECT_EQ(g.MouseCol(), 3);
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
