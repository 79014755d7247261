// The grid widget: the order of its events for program moves, mouse and keys, scrolling and
// geometry, sizes, texts, cell formats and the errors of its indices.
#include "platform/widgets/flex_grid.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::Cat;
using test_support::ErrorOf;
using test_support::Events;
using test_support::Tag;
namespace {

// "r<row>c<col>".
std::string RowCol(int32_t row, int32_t col) {
  return Tag(Tag("r", row) + "c", col);
}

// A 5 x 4 grid (header row, row-number column 600 twips, data columns 1200 twips, rows 240
// twips) laid out so that every cell is in view, with every event recorded as text: "Leave
// r1c1", "Enter r2c1", "RowCol", "Sel", "Click", "DblClick", "Scroll", "Move", "Down<button>",
// "Up<button>", "KeyDown<code>", "Press<ascii>", "KeyUp<code>".
class FlexGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g.SetRows(5);
    g.SetCols(4);
    g.SetColWidth(0, 600);
    for (int c = 1; c < 4; ++c) g.SetColWidth(c, 1200);
    g.Move(0, 0, 4200, 1200);
    g.on_leave_cell = [this] { Log(Cat("Leave ", Cell())); };
    g.on_enter_cell = [this] { Log(Cat("Enter ", Cell())); };
    g.on_row_col_change = [this] { Log("RowCol"); };
    g.on_sel_change = [this] { Log("Sel"); };
    g.on_click = [this] { Log("Click"); };
    g.on_dbl_click = [this] { Log("DblClick"); };
    g.on_scroll = [this] { Log("Scroll"); };
    g.on_mouse_down = [this](int16_t& b, int16_t&, float&, float&) { Log(Tag("Down", b)); };
    g.on_mouse_up = [this](int16_t& b, int16_t&, float&, float&) { Log(Tag("Up", b)); };
    g.on_mouse_move = [this](int16_t&, int16_t&, float&, float&) { Log("Move"); };
    g.on_key_down = [this](int16_t& k, int16_t&) { Log(Tag("KeyDown", k)); };
    g.on_key_press = [this](int16_t& a) { Log(Tag("Press", a)); };
    g.on_key_up = [this](int16_t& k, int16_t&) { Log(Tag("KeyUp", k)); };
  }

  void Log(const std::string& event) {
    if (!muted_) ev.push_back(event);
  }
  std::string Cell() const { return RowCol(g.Row(), g.Col()); }
  std::string Mouse() const { return RowCol(g.MouseRow(), g.MouseCol()); }
  Events Take() { return std::exchange(ev, {}); }
  // The visible rows and columns among the first five, as "rows 0 1 cols 0 2".
  std::string Visible() const {
    std::string s = "rows";
    for (int32_t r = 0; r < 5; ++r) s += g.RowIsVisible(r) ? Tag(" ", r) : "";
    s += " cols";
    for (int32_t c = 0; c < 4; ++c) s += g.ColIsVisible(c) ? Tag(" ", c) : "";
    return s;
  }

  // Runs operations separated by ";" and returns the events, joined by ", ". Each verb of Op
  // is one setter or user action of the grid, or a reading added to the log ("cell" gives
  // "@r<row>c<col>", "get r c" the quoted text, "formats" the current cell's alignment, back
  // colour, bold, font name and size); "mute" and "unmute" stop and resume recording events.
  std::string Run(std::string_view script) {
    return test_support::RunScript(
        script, ev, [this](const std::string& verb, const std::string& arg) { Op(verb, arg); });
  }
  void Op(const std::string& verb, const std::string& arg) {
    std::vector<int> n = test_support::Numbers(arg);
    n.resize(3);
    if (verb == "row") g.SetRow(n[0]);
    if (verb == "col") g.SetCol(n[0]);
    if (verb == "rowsel") g.SetRowSel(n[0]);
    if (verb == "colsel") g.SetColSel(n[0]);
    if (verb == "rows") g.SetRows(n[0]);
    if (verb == "cols") g.SetCols(n[0]);
    if (verb == "toprow") g.SetTopRow(n[0]);
    if (verb == "leftcol") g.SetLeftCol(n[0]);
    if (verb == "redraw") g.SetRedraw(n[0] != 0);
    if (verb == "size") g.Move(0, 0, n[0], n[1]);
    if (verb == "disable") g.SetEnabled(false);
    if (verb == "scroll") g.ScrollTo(n[0], n[1]);
    if (verb == "click") g.UserClick(n[0], n[1], static_cast<int16_t>(n[2] == 0 ? 1 : n[2]));
    if (verb == "dblclick") g.UserDblClick(n[0], n[1]);
    if (verb == "move") g.MouseMoveTo(n[0], n[1]);
    if (verb == "down") g.UserMouseDown(n[0], n[1]);
    if (verb == "up") g.UserMouseUp(n[0], n[1]);
    if (verb == "key") g.UserKey(static_cast<int16_t>(n[0]), static_cast<int16_t>(n[1]));
    muted_ = verb == "mute" || (muted_ && verb != "unmute");
    if (verb == "cell") ev.push_back(Cat("@", Cell()));
    if (verb == "mouse") ev.push_back(Cat("mouse ", Mouse()));
    if (verb == "sel") ev.push_back(Cat("sel ", RowCol(g.RowSel(), g.ColSel())));
    if (verb == "top") ev.push_back(Tag("top ", g.TopRow()));
    if (verb == "pos") ev.push_back(Tag(Tag("at ", g.CellLeft()) + ",", g.CellTop()));
    if (verb == "extent") ev.push_back(Tag(Tag("", g.CellWidth()) + "x", g.CellHeight()));
    if (verb == "visible") ev.push_back(Visible());
    std::istringstream words(arg);
    std::string text;
    if (verb == "settext" && words >> n[0] >> n[1] >> text) g.SetTextMatrix(n[0], n[1], text);
    if (verb == "text") g.SetText(arg);
    if (verb == "get") ev.push_back(Cat(Cat("'", g.TextMatrix(n[0], n[1])), "'"));
    if (verb == "cur") ev.push_back(Cat(Cat("'", g.Text()), "'"));
    if (verb == "clear") g.Clear();
    if (verb == "dims") ev.push_back(Tag(Tag("", g.Rows()) + "x", g.Cols()));
    if (verb == "fixedrows") g.SetFixedRows(n[0]);
    if (verb == "fixedcols") g.SetFixedCols(n[0]);
    if (verb == "setwidth") g.SetColWidth(n[0], n[1]);
    if (verb == "setheight") g.SetRowHeight(n[0], n[1]);
    if (verb == "heightmin") g.SetRowHeightMin(n[0]);
    if (verb == "width") ev.push_back(Tag("w", g.ColWidth(n[0])));
    if (verb == "height") ev.push_back(Tag("h", g.RowHeight(n[0])));
    if (verb == "colvisible") ev.push_back(Tag("v", g.ColIsVisible(n[0])));
    if (verb == "rowvisible") ev.push_back(Tag("v", g.RowIsVisible(n[0])));
    if (verb == "font") g.SetFont(TextFont{"Arial", std::stod(arg), false, false});
    if (verb == "setalign") g.SetCellAlignment(static_cast<int16_t>(n[0]));
    if (verb == "setback") g.SetCellBackColor(n[0]);
    if (verb == "setbold") g.SetCellFontBold(n[0] != 0);
    if (verb == "setfontname") g.SetCellFontName(arg);
    if (verb == "setfontsize") g.SetCellFontSize(n[0]);
    if (verb == "formats") {
      ev.push_back(std::to_string(g.CellAlignment()) + " " + std::to_string(g.CellBackColor()) +
                   " " + std::to_string(g.CellFontBold()) + " " + g.CellFontName() + " " +
                   ShortestRoundTrip(g.CellFontSize()));
    }
    if (verb == "formatsat") {
      ev.push_back(Tag(
          Tag(Tag("at ", g.CellAlignmentAt(n[0], n[1])) + " ", g.CellBackColorAt(n[0], n[1])) + " ",
          g.CellFontBoldAt(n[0], n[1])));
    }
  }

  FlexGrid g;
  Events ev;
  bool muted_ = false;
};

// Scripts and the events they raise, each on a fresh grid.
struct Script {
  const char* ops;
  const char* events;
};
void PrintTo(const Script& s, std::ostream* os) {
  *os << s.ops;
}

const Script kScripts[] = {
    // clang-format off
      // A program move: LeaveCell, EnterCell, RowColChange, SelChange; none to the same cell.
      {"row 2; col 3", "Leave r1c1, Enter r2c1, RowCol, Sel, Leave r2c1, Enter r2c3, RowCol, Sel"},
      {"row 1; col 1", ""},
      {"rowsel 4; colsel 3", "Sel, Sel"},
      // Raised while Redraw is off; fixed cells can be current.
      {"redraw 0; col 0; row 0",
       "Leave r1c1, Enter r1c0, RowCol, Sel, Leave r1c0, Enter r0c0, RowCol, Sel"},
      // A click on a data cell moves between MouseDown and MouseUp; again on the same cell,
      // no move of the mouse and no cell events.
      {"click 3 2; mouse; click 3 2",
       "Move, Down1, Leave r1c1, Enter r3c2, RowCol, Sel, Up1, Click, mouse r3c2, Down1, Up1, "
       "Click"},
      // The header, the row numbers and the right button move nothing.
      {"click 0 2; mouse; click 3 0; mouse; cell",
       "Move, Down1, Up1, Click, mouse r0c2, Move, Down1, Up1, Click, mouse r3c0, @r1c1"},
      {"click 3 3 2; cell; mouse", "Move, Down2, Up2, @r1c1, mouse r3c3"},
      // A double click: the click, DblClick, then a second MouseUp.
      {"dblclick 2 3",
       "Move, Down1, Leave r1c1, Enter r2c3, RowCol, Sel, Up1, Click, DblClick, Up1"},
      // Outside the cells (the grid larger than they are) nothing moves.
      {"size 8000 3000; down 7000 2000; up 7000 2000; cell", "Down1, Up1, Click, @r1c1"},
      {"disable; click 2 2; key 40; move 10 10; cell", "@r1c1"},
      // Arrow keys move between KeyDown and KeyUp without KeyPress; up stops at row 1.
      {"key 40; key 38; key 38",
       "KeyDown40, Leave r1c1, Enter r2c1, RowCol, Sel, KeyUp40, "
       "KeyDown38, Leave r2c1, Enter r1c1, RowCol, Sel, KeyUp38, KeyDown38, KeyUp38"},
      {"key 65; key 65 1; key 55; key 13; cell",
       "KeyDown65, Press97, KeyUp65, KeyDown65, Press65, KeyUp65, KeyDown55, Press55, KeyUp55, "
       "KeyDown13, Press13, KeyUp13, @r1c1"},
      // Tab moves right, shift-tab left.
      {"key 9; mute; key 9 1; cell",
       "KeyDown9, Leave r1c1, Enter r1c2, RowCol, Sel, Press9, KeyUp9, @r1c1"},
      // Home, End and their Ctrl variants stay in the non-fixed area, and from a fixed cell
      // an arrow key lands in it.
      {"mute; row 3; col 2; key 35; cell; key 36; cell; key 35 2; cell; key 36 2; cell; "
       "row 0; col 0; key 40; cell", "@r3c3, @r3c1, @r4c3, @r1c1, @r1c1"},
      // Key moves scroll the current cell into view; a page is the two rows in view.
      {"mute; rows 10; size 4200 720; row 2; key 40; top; key 34; cell; top; key 36 2; top",
       "top 2, @r5c1, top 4, top 1"},
      {"rows 10; size 4200 720; row 2; key 40",
       "Leave r1c1, Enter r2c1, RowCol, Sel, KeyDown40, Leave r2c1, Enter r3c1, RowCol, Sel, "
       "Scroll, KeyUp40"},
      {"scroll 3 2; scroll 3 2", "Scroll"},
      // Column 2 starts at 1800 and row 2 at 480; (1799, 479) is the last twip of row 1 and
      // column 1; a scrolled grid shows row and column 3 after the fixed ones.
      {"mute; move 1850 500; mouse; move 1799 479; mouse; move 99999 99999; mouse; move -5 -5; "
       "mouse; scroll 3 3; move 700 250; mouse",
       "mouse r2c2, mouse r1c1, mouse r4c3, mouse r0c0, mouse r3c3"},
      // Shrinking below the current cell moves it silently.
      {"mute; row 4; col 3; unmute; rows 3; cols 2; cell; sel", "@r2c1, sel r2c1"},
      // A click on a cell out of view (column 3 starts at 3000) or beyond the grid is refused.
      {"size 3000 1200; click 1 3; click 9 1", "error381, error381"},
      // Cell positions follow scrolling (column 1 is scrolled out) and the fixed cells.
      {"mute; scroll 3 2; row 3; col 2; pos; col 3; pos; col 1; pos; row 0; col 0; pos; row 4; "
       "pos; col 2; extent", "at 600,240, at 1800,240, at -600,240, at 0,0, at 0,480, 1200x240"},
      // Columns 0..2 end exactly at 3000, rows 0..2 at 720; one twip more shows part of the
      // next; scrolled, the fixed ones stay.
      {"mute; size 3000 720; visible; size 3001 721; visible; leftcol 2; toprow 3; visible; "
       "size 0 0; visible",
       "rows 0 1 2 cols 0 1 2, rows 0 1 2 3 cols 0 1 2 3, rows 0 3 4 cols 0 2 3, rows cols"},
      // Resizing keeps the contents (cut off, then added empty); Clear keeps the sizes.
      {"mute; settext 1 1 a; settext 4 3 z; cols 6; rows 3; get 1 1; get 2 5; width 5; rows 5; "
       "get 4 3; setback 255; text b; clear; dims; width 1; get 1 1; formats",
       "'a', '', w960, '', 5x6, w1200, '', 9 0 0 MS Sans Serif 8.25"},
      // Cell formats belong to one cell and default to the grid's (alignment 9 is general,
      // 7 right centre).
      {"mute; font 10; formats; setalign 7; setback 255; setbold 1; setfontname Courier; "
       "setfontsize 12; col 2; formats; formatsat 1 1; col 1; formats",
       "9 0 0 Arial 10, 9 0 0 Arial 10, at 7 255 1, 7 255 1 Courier 12"},
      // Widths and heights: 0 is kept, -1 is the default (960, rows 240 for 8.25 pt), the
      // minimum height holds, the font sets the height, column -1 is every column.
      {"mute; setwidth 2 0; width 2; setwidth 2 -1; width 2; height 1; setheight 1 100; "
       "heightmin 200; height 1; height 2; setheight 1 -1; heightmin 0; font 16.5; height 1; "
       "setwidth -1 300; width 0; width 3",
       "w0, w960, h240, h200, h240, h480, w300, w300"},
      // Indices out of range raise 381, rows and columns 30009 and 30010 (TopRow 0 is a fixed
      // row, Rows 0 below FixedRows), bad formats 380, a huge grid 7; no event, no change.
      {"get 5 0; get 0 -1; settext 0 4 x; width 4; height -1; colvisible 4; rowvisible 5; row 5; "
       "rowsel -1; col 4; toprow 0; leftcol 4; rows 0; cols 0; fixedrows 6; fixedcols -1; "
       "setalign 10; setwidth 1 -2; setfontsize -1; rows 2000000; dims",
       "error381, error381, error381, error381, error381, error381, error381, error30009, "
       "error30009, error30010, error30009, error30010, error30009, error30010, error30009, "
       "error30010, error380, error380, error380, error7, 5x4"},
      // A grid without fixed cells can shrink to nothing.
      {"mute; fixedrows 0; fixedcols 0; cols 0; rows 1; dims; cur; cols 1; row 0; col 0; "
       "text Name; get 0 0; settext 0 0 Id; cur",
       "1x0, error381, 'Name', 'Id'"}};
// clang-format on

class FlexGridEvents : public FlexGridTest, public ::testing::WithParamInterface<Script> {};

TEST_P(FlexGridEvents, OfProgramMovesMouseAndKeys) {
  EXPECT_EQ(Run(GetParam().ops), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(FlexGrid, FlexGridEvents, ::testing::ValuesIn(kScripts));

// --- Program moves ------------------------------------------------------------------------

TEST_F(FlexGridTest, MoveCollapsesTheSelectionBeforeEnterCell) {
  g.SetRowSel(4);
  g.SetColSel(3);
  Take();
  std::string sel_at_enter;
  g.on_enter_cell = [&] { sel_at_enter = RowCol(g.RowSel(), g.ColSel()); };
  g.SetRow(2);
  EXPECT_EQ(sel_at_enter, "r2c1");
  EXPECT_EQ(RowCol(g.RowSel(), g.ColSel()), "r2c1");
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
  EXPECT_EQ(Take(), (Events{"Move", "LostFocus", "Down1", "Up1", "Click"}));
  EXPECT_EQ(mouse_at_lost_focus, "r0c1");
  EXPECT_TRUE(g.has_focus());
}

// A KeyDown handler that cancels the key is the control's grid-events test.
TEST_F(FlexGridTest, KeyDownHandlerCanChangeTheKey) {
  g.on_key_down = [](int16_t& k, int16_t&) {
    if (k == kKeyDown) k = kKeyRight;
  };
  g.UserKey(kKeyDown);
  EXPECT_EQ(Cell(), "r1c2");
}

TEST_F(FlexGridTest, GridErrorsNameTheGrid) {
  try {
    g.SetRow(7);
    ADD_FAILURE() << "moved";
  } catch (const ComError& e) {
    EXPECT_EQ(e.description(), "Invalid Row value");
    EXPECT_EQ(e.source(), "Grid");
  }
}

}  // namespace
}  // namespace tabulo::platform
