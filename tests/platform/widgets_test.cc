// The text box, list and combo boxes, check box, command button, up-down, status bar, the
// small captioned widgets and the vertical scroll bar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/error_of.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"
#include "platform/values/com_error.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
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
  EXPECT_NE(hwnd, 0);
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
  EXPECT_EQ(rows.width(), kDefaultPanelWidth);
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

}  // namespace
}  // namespace tabulo::platform
