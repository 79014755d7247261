// The widgets: text box, list and combo boxes, check box, command button, up-down, status bar,
// label, vertical scroll bar, and the grid (the order of its events for program moves, mouse
// and keys, scrolling and geometry, sizes, texts, cell formats, the errors of its indices).
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/error_of.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/status_bar.h"
#include "platform/widgets/text_box.h"
#include "platform/widgets/up_down.h"
#include "platform/widgets/vscroll_bar.h"
#include "platform/widgets/widget_errors.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::Cat;
using test_support::ErrorOf;
using test_support::Events;
using test_support::Tag;
namespace {

// Runs `script` on a fresh text box: each verb below is one setter or user action ("quiet 1"
// stops logging events), "show", "caret" and "selected" log "=<Text>", "@<SelStart>+<SelLength>"
// and "[<SelText>]". The log also has the events and "error<n>" for an operation that raised.
std::string RunTextBox(std::string_view script) {
  TextBox box("txtEdit");
  Events log;
  bool quiet = false;
  box.on_key_down = [&](int16_t& code, int16_t shift) {
    if (!quiet) log.push_back(Tag(Tag("down", code) + "/", shift));
  };
  box.on_key_press = [&](int16_t& ascii) {
    if (!quiet) log.push_back(Tag("press", ascii));
  };
  box.on_key_up = [&](int16_t& code, int16_t) {
    if (!quiet) log.push_back(Tag("up", code));
  };
  box.on_change = [&] {
    if (!quiet) log.push_back("change:" + box.text());
  };
  return test_support::RunScript(script, log, [&](const std::string& verb, const std::string& arg) {
    const int n = std::atoi(arg.c_str());
    if (verb == "text") box.set_text(arg);
    if (verb == "type") box.TypeText(arg);
    if (verb == "key") box.PressKey(static_cast<int16_t>(n));
    if (verb == "sel") box.set_sel_start(n);
    if (verb == "len") box.set_sel_length(n);
    if (verb == "seltext") box.set_sel_text(arg);
    if (verb == "max") box.set_max_length(n);
    if (verb == "lock") box.set_locked(n != 0);
    if (verb == "disable") box.set_enabled(false);
    if (verb == "multi") box.set_multi_line(true);
    if (verb == "align") box.set_alignment(static_cast<int16_t>(n));
    if (verb == "fontsize") box.set_font_size(n);
    if (verb == "quiet") quiet = n != 0;
    if (verb == "show") log.push_back(Cat("=", box.text()));
    if (verb == "caret") log.push_back(Tag(Tag("@", box.sel_start()) + "+", box.sel_length()));
    if (verb == "selected") log.push_back(Cat(Cat("[", box.sel_text()), "]"));
  });
}

TEST(TextBox, ScriptsOfTypingKeysSelectionAndLimits) {
  const std::pair<const char*, const char*> rows[] = {
      // Key events per typed character, inserted at the caret; the same text again raises no
      // Change; non-ASCII text keeps its code points (no key on the layout types them, and
      // beyond 16 bits KeyPress has the low 16 bits).
      {"text ac; text ac; sel 1; type B; show; caret; quiet 1; text; quiet 0; type é€😀; show; "
       "caret",
       "change:ac, down66/1, press66, change:aBc, up66, =aBc, @2+0, down0/0, press233, "
       "change:é, up0, down0/0, press8364, change:é€, up0, down0/0, press-2560, change:é€😀, "
       "up0, =é€😀, @3+0"},
      // Selections count code points, SelText replaces them, beyond the end is the end.
      {"quiet 1; text Grüße 10°; sel 2; len 3; selected; seltext ee; show; caret; sel 100; "
       "caret; sel 7; len 50; caret; selected; sel -1; len -1",
       "[üße], =Gree 10°, @4+0, @8+0, @7+1, [°], error380, error380"},
      // MaxLength limits typing, not the program; a box over its limit may still shrink.
      {"quiet 1; max 3; type abcd; show; text abcdef; show; sel 6; key 8; show; max -1",
       "=abc, =abcdef, =abcde, error380"},
      // Backspace and Return raise KeyPress (a single line inserts nothing), Delete does not;
      // Left, End, Home and Right (37, 35, 36, 39) move the caret.
      {"quiet 1; text abc; sel 3; quiet 0; key 8; key 13; show; quiet 1; multi; key 13; show; "
       "text abcd; sel 2; quiet 0; key 46; show; quiet 1; key 37; caret; key 35; caret; key 36; "
       "caret; key 39; caret",
       "down8/0, press8, change:ab, up8, down13/0, press13, up13, =ab, =ab\r\n, down46/0, "
       "change:abd, up46, =abd, @1+0, @3+0, @0+0, @1+0"},
      // A locked box keeps its text and still raises key events; a disabled one ignores the
      // user; appearance values are checked.
      {"quiet 1; text x; lock 1; quiet 0; type y; show; lock 0; disable; type y; key 8; show; "
       "align 3; fontsize 0",
       "down89/0, press121, up89, =x, =x, error380, error380"}};
  for (auto [script, log] : rows) EXPECT_EQ(RunTextBox(script), log) << script;
}

TEST(TextBox, KeyHandlersCancelOrReplaceTheCharacterOrTheKey) {
  TextBox box("txtEdit");
  box.on_key_press = [](int16_t& ascii) {
    if (ascii >= '0' && ascii <= '9') ascii = 0;  // digits refused
    if (ascii >= 'a' && ascii <= 'z') ascii = static_cast<int16_t>(ascii - 32);
  };
  box.TypeText("a1b2");
  EXPECT_EQ(box.text(), "AB");
  box.on_key_down = [](int16_t& code, int16_t) {
    if (code == kKeyDelete) code = 0;
  };
  box.set_sel_start(0);
  box.PressKey(kKeyDelete);
  EXPECT_EQ(box.text(), "AB");
}

// Runs `script` on a list of red, green and blue: "index n" sets ListIndex, "select n" is the
// user's choice; "items", "data i", "list i", "at" and "count" log the items joined by "/",
// "d<ItemData>", the item, "@<ListIndex>:<Text>" and "n<ListCount>"; clicks log
// "click<ListIndex>".
std::string RunListBox(std::string_view script) {
  ListBox list("lstColours");
  for (const char* s : {"red", "green", "blue"}) list.AddItem(s);
  Events log;
  list.on_click = [&] { log.push_back(Tag("click", list.list_index())); };
  return test_support::RunScript(script, log, [&](const std::string& verb, const std::string& arg) {
    std::istringstream words(arg);
    std::string text;
    int32_t i = -1;
    words >> text >> i;
    const int32_t n = std::atoi(arg.c_str());
    if (verb == "add") list.AddItem(text, i);
    if (verb == "remove") list.RemoveItem(n);
    if (verb == "clear") list.Clear();
    if (verb == "index") list.set_list_index(n);
    if (verb == "select") list.SelectItem(n);
    if (verb == "settext") list.set_text(arg);
    if (verb == "setdata") list.set_item_data(n, std::atoi(arg.substr(arg.find(' ')).c_str()));
    if (verb == "setlist") list.set_list(n, arg.substr(arg.find(' ') + 1));
    if (verb == "disable") list.set_enabled(false);
    if (verb == "data") log.push_back(Tag("d", list.item_data(n)));
    if (verb == "list") log.push_back(list.list(n));
    if (verb == "count") log.push_back(Tag("n", list.list_count()));
    if (verb == "at") log.push_back(Cat(Tag("@", list.list_index()) + ":", list.text()));
    if (verb == "items") {
      std::string items;
      for (int32_t k = 0; k < list.list_count(); ++k)
        items.append(k ? "/" : "").append(list.list(k));
      log.push_back(items);
    }
  });
}

TEST(ListBox, ScriptsOfItemsSelectionAndClicks) {
  const std::pair<const char*, const char*> rows[] = {
      // Items are added in order or at an index; data and indices are checked; Text selects
      // an item and any other text raises 383.
      {"add white 0; add black 4; items; add x 6; add x -2; setdata 2 77; data 2; data 0; "
       "list 5; data -1; setlist 5 x; settext blue; at; settext purple; at",
       "white/red/green/blue/black, error5, error5, d77, d0, error381, error381, error381, "
       "click3, @3:blue, error383, @3:blue"},
      // Click follows every change of ListIndex; bad indices raise 380; a disabled list
      // ignores the user, not the program.
      {"index 1; index 1; select 2; index -1; at; index 0; index 3; index -2; select 7; at; "
       "disable; select 1; at; index 1",
       "click1, click2, click-1, @-1:, click0, error380, error380, error380, @0:red, @0:red, "
       "click1"},
      // The selection follows its item through inserts and removals, without a click.
      {"index 1; add white 0; at; remove 0; at; remove 2; at; remove 1; at; remove 1; clear; "
       "count",
       "click1, @2:green, @1:green, @1:green, @-1:, error5, n0"}};
  for (auto [script, log] : rows) EXPECT_EQ(RunListBox(script), log) << script;
  ListBox list("lstColours");
  EXPECT_EQ(test_support::ErrorText([&] { list.set_text("purple"); }),
            std::to_string(kErrPropertyReadOnly) + ": 'Text' property is read-only");
}

TEST(ComboBox, DropDownEditTextFollowsTheSelectionAndBackButADropDownListIsNotEditable) {
  ComboBox combo("cboServer");
  combo.AddItem("alpha");
  combo.AddItem("beta");
  Events events;
  combo.on_click = [&] { events.push_back("click:" + combo.text()); };
  combo.on_change = [&] { events.push_back("change:" + combo.text()); };
  combo.SelectItem(1);
  combo.EditText("gamma");
  combo.set_text("alpha");
  EXPECT_EQ(events, (Events{"change:beta", "click:beta", "change:gamma", "click:gamma",
                            "change:alpha", "click:alpha"}));
  EXPECT_EQ(combo.list_index(), 0);
  // A drop-down list is not editable.
  ComboBox level("cboLevel", kComboDropDownList);
  level.AddItem("low");
  level.AddItem("high");
  level.on_click = [&] { events.push_back("click:" + level.text()); };
  level.set_text("high");
  EXPECT_EQ(level.list_index(), 1);
  EXPECT_EQ(ErrorOf([&] { level.set_text("medium"); }), kErrPropertyReadOnly);
  level.EditText("medium");
  EXPECT_EQ(level.text(), "high");
  EXPECT_EQ(events.back(), "click:high");
  EXPECT_EQ(events.size(), 7u);
  EXPECT_EQ(ErrorOf([&] { level.set_style(1); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([] { ComboBox bad("cbo", 5); }), kErrInvalidPropertyValue);
}

TEST(CheckBox, ValueChangesRaiseClickAndBadValuesRaise380) {
  CheckBox check("chkAudit");
  Events events;
  check.on_click = [&] { events.push_back(Tag("click", check.value())); };
  check.UserClick();
  check.UserClick();
  check.set_value(kGrayed);
  check.set_value(kGrayed);
  check.UserClick();  // grayed becomes checked
  EXPECT_EQ(events, (Events{"click1", "click0", "click2", "click1"}));
  EXPECT_EQ(ErrorOf([&] { check.set_value(3); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { check.set_value(-1); }), kErrInvalidPropertyValue);
  check.set_enabled(false);
  check.UserClick();
  EXPECT_EQ(check.value(), kChecked);
}

TEST(CommandButton, PostedDownAndUpClickItOnTheLoopWhileEnabledThroughout) {
  VirtualClock clock;
  EventLoop loop(clock);
  int clicks = 0;
  auto button = std::make_unique<CommandButton>("cmdApply", loop);
  button->set_caption("&Apply");
  button->on_click = [&] { ++clicks; };
  const WindowHandle hwnd = button->message_hwnd();
  auto post = [&](std::initializer_list<uint32_t> messages) {
    for (uint32_t m : messages) EXPECT_TRUE(loop.PostMessage(hwnd, m));
  };
  post({kWmLButtonDown, kWmLButtonUp});
  EXPECT_EQ(clicks, 0);  // nothing until the loop runs
  EXPECT_EQ(loop.DoEvents(), 2);
  EXPECT_EQ(clicks, 1);
  post({kWmLButtonUp});  // up without down
  loop.DoEvents();
  EXPECT_EQ(clicks, 1);
  button->set_enabled(false);
  post({kWmLButtonDown, kWmLButtonUp});
  loop.DoEvents();
  button->UserClick();
  button->set_value(true);
  EXPECT_EQ(clicks, 1);
  // Disabled between press and release: no click either.
  button->set_enabled(true);
  post({kWmLButtonDown});
  loop.Post([&] { button->set_enabled(false); });
  loop.Post([&] { button->set_enabled(true); });
  post({kWmLButtonUp});
  loop.DoEvents();
  EXPECT_EQ(clicks, 1);
  // A destroyed button no longer takes messages.
  button.reset();
  EXPECT_FALSE(loop.PostMessage(hwnd, kWmLButtonDown));
}

TEST(UpDown, ClicksStopAtTheEndsOrWrapAndExtremeRangesDoNotOverflow) {
  UpDown spin("udCount");
  spin.set_max(5);
  spin.set_increment(2);
  Events events;
  spin.on_change = [&] { events.push_back(Tag("", spin.value())); };
  spin.UpClick();
  spin.UpClick();
  spin.UpClick();  // cut short at 5
  spin.UpClick();  // at the end: no change
  spin.set_wrap(true);
  spin.UpClick();    // past Max: to Min
  spin.DownClick();  // past Min: to Max
  EXPECT_EQ(events, (Events{"2", "4", "5", "0", "5"}));
  spin.set_value(99);
  EXPECT_EQ(spin.value(), 5);
  spin.set_max(3);
  EXPECT_EQ(spin.value(), 3);
  EXPECT_EQ(ErrorOf([&] { spin.set_increment(-1); }), kErrInvalidPropertyValue);
  UpDown wide("ud");
  wide.set_min(INT32_MIN);
  wide.set_max(INT32_MAX);
  wide.set_increment(INT32_MAX);
  wide.set_value(INT32_MAX - 1);
  wide.UpClick();
  EXPECT_EQ(wide.value(), INT32_MAX);
  wide.set_value(INT32_MIN + 1);
  wide.DownClick();
  EXPECT_EQ(wide.value(), INT32_MIN);
}

TEST(StatusBar, PanelsAreOneBasedKeepTheirOrderAndTheHeightStaysFixed) {
  StatusBar bar("sbStatus");
  ASSERT_EQ(bar.PanelCount(), 1);
  bar.Panels(1).set_text("Ready");
  Panel& rows = bar.AddPanel(0, "rows", "0 rows");
  bar.AddPanel(1, "mode", "Edit");
  ASSERT_EQ(bar.PanelCount(), 3);
  EXPECT_EQ(bar.Panels(1).text(), "Edit");
  EXPECT_EQ(bar.Panels(2).text(), "Ready");
  EXPECT_EQ(&bar.Panels(3), &rows);
  EXPECT_EQ(&bar.Panels("rows"), &rows);
  bar.RemovePanel(1);
  EXPECT_EQ(bar.Panels(1).text(), "Ready");
  EXPECT_EQ(ErrorOf([&] { bar.Panels(0); }), kErrIndexOutOfBounds);
  EXPECT_EQ(ErrorOf([&] { bar.Panels(3); }), kErrIndexOutOfBounds);
  EXPECT_EQ(ErrorOf([&] { bar.RemovePanel(3); }), kErrIndexOutOfBounds);
  EXPECT_EQ(ErrorOf([&] { bar.AddPanel(4); }), kErrIndexOutOfBounds);
  EXPECT_EQ(ErrorOf([&] { bar.AddPanel(0, "rows"); }), kErrKeyNotUnique);
  EXPECT_EQ(ErrorOf([&] { bar.Panels("mode"); }), kErrElementNotFound);
  EXPECT_EQ(ErrorOf([&] { rows.set_alignment(3); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { rows.set_width(-1); }), kErrInvalidPropertyValue);
  bar.Move(0, 4000, 6000, 1000);  // wherever the owner moves it
  EXPECT_EQ(bar.top(), 4000);
  EXPECT_EQ(bar.width(), 6000);
  EXPECT_EQ(bar.height(), kStatusBarHeight);
  EXPECT_EQ(ErrorOf([&] { bar.Move(0, 0, -1, 315); }), kErrInvalidProcedureCall);
}

TEST(CaptionedWidgets, LabelAlignmentIsChecked) {
  Label label("lblInfo");
  label.set_alignment(1);
  EXPECT_EQ(ErrorOf([&] { label.set_alignment(-1); }), kErrInvalidPropertyValue);
  EXPECT_EQ(label.alignment(), 1);
}

// Runs `script` on a bar with Max 100, SmallChange 1 and LargeChange 10: "up", "down" are the
// arrows, "above", "below" the trough; "value" logs "=<value>", events "change:<v>", "scroll:<v>".
std::string RunScrollBar(std::string_view script) {
  VScrollBar bar("vsbRows");
  Events log;
  bar.on_change = [&] { log.push_back(Tag("change:", bar.value())); };
  bar.on_scroll = [&] { log.push_back(Tag("scroll:", bar.value())); };
  bar.set_max(100);
  bar.set_small_change(1);
  bar.set_large_change(10);
  return test_support::RunScript(
      script, log,
      [&](const std::string& verb, const std::string& arg) {
        std::vector<int16_t> n;
        for (int v : test_support::Numbers(arg)) n.push_back(static_cast<int16_t>(v));
        if (verb == "set") bar.set_value(n.at(0));
        if (verb == "min") bar.set_min(n.at(0));
        if (verb == "max") bar.set_max(n.at(0));
        if (verb == "small") bar.set_small_change(n.at(0));
        if (verb == "large") bar.set_large_change(n.at(0));
        if (verb == "disable") bar.set_enabled(false);
        if (verb == "up") bar.ClickUpArrow();
        if (verb == "down") bar.ClickDownArrow();
        if (verb == "above") bar.ClickTroughAbove();
        if (verb == "below") bar.ClickTroughBelow();
        if (verb == "drag") bar.DragThumb(n);
        if (verb == "value") log.push_back(Tag("=", bar.value()));
      },
      " ");
}

TEST(VScrollBar, ScriptsRaiseChangeAndScrollAsTheValueMoves) {
  const std::pair<const char*, const char*> rows[] = {
      // Program changes raise Change only when the value moves.
      {"set 42; set 42; set 0", "change:42 change:0"},
      // A value outside the range raises 380 and keeps the value; so do changes below one.
      {"set 5; set -1; set 101; value", "change:5 error380 error380 =5"},
      {"small 0; large -5; down; below", "error380 error380 change:1 change:11"},
      // Arrows move by SmallChange, the trough by LargeChange, both stopping at the ends.
      {"small 3; down; up; up; set 98; down; down", "change:3 change:0 change:98 change:100"},
      {"set 15; above; above; above; set 95; below; below",
       "change:15 change:5 change:0 change:95 change:100"},
      // A drag raises Scroll for each new position (a repeat does not move the thumb, 150 is
      // held at Max), then one Change unless it ends where it began.
      {"drag 10 20 20 150 30; drag 40 30; drag",
       "scroll:10 scroll:20 scroll:100 change:30 scroll:40"},
      // A disabled bar ignores the user but not the program.
      {"disable; down; below; drag 50; value; set 7", "=0 change:7"},
      // Narrowing the range moves the value inside; Min above Max is allowed.
      {"set 80; max 50; min 60; value; min 40; max 45", "change:80 change:50 =50 change:45"},
      // A reversed range keeps Min at the top: down goes toward Max, the smaller number.
      {"min 100; max 0; set 50; down; above; set 95; above",
       "change:100 change:50 change:49 change:59 change:95 change:100"},
      // The full sixteen-bit range does not overflow.
      {"min -32768; max 32767; large 32767; set 32000; below; set -32000; above",
       "change:32000 change:32767 change:-32000 change:-32768"}};
  for (auto [script, log] : rows) EXPECT_EQ(RunScrollBar(script), log) << script;
}

// --- The grid.

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
    if (verb == "visible") {  // the visible rows and columns, as "rows 0 1 cols 0 2"
      std::string s = "rows";
      for (int32_t r = 0; r < 5; ++r) s += g.RowIsVisible(r) ? Tag(" ", r) : "";
      s += " cols";
      for (int32_t c = 0; c < 4; ++c) s += g.ColIsVisible(c) ? Tag(" ", c) : "";
      ev.push_back(s);
    }
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
    if (verb == "tops") {  // every row's top, as "tops 0 240 480"
      std::string s = "tops";
      for (int32_t r = 0; r < g.Rows(); ++r) s += Tag(" ", g.RowTopOf(r));
      ev.push_back(s);
    }
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
      // Row tops follow each change of a height, the minimum, the font (11 pt: 320), the row
      // count, the scroll (rows above TopRow go above the fixed edge) and the fixed rows; a
      // row whose top is at the grid's height (1200) is out of view.
      {"mute; tops; setheight 2 500; tops; toprow 3; tops; heightmin 300; tops; font 11; tops; "
       "rows 7; tops; setheight -1 100; tops; rowvisible 5; rowvisible 6; fixedrows 2; tops",
       "tops 0 240 480 720 960, tops 0 240 480 980 1220, tops 0 -500 -260 240 480, "
       "tops 0 -500 -200 300 600, tops 0 -500 -180 320 640, "
       "tops 0 -500 -180 320 640 960 1280, tops 0 -300 0 300 600 900 1200, v1, v0, "
       "tops 0 300 300 600 900 1200 1500"},
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
  EXPECT_EQ(test_support::ErrorText([&] { g.SetRow(7); }, true),
            "30009: Invalid Row value from Grid");
}

}  // namespace
}  // namespace tabulo::platform
