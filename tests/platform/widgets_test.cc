// The text box, list and combo boxes, check box, command button, up-down, status bar, the
// small captioned widgets and the vertical scroll bar.
#include <gtest/gtest.h>

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
using test_support::ErrorOf;
using test_support::Events;
using test_support::Tag;
namespace {

// A text box whose key and change events are recorded as "down<code>/<shift>",
// "press<ascii>", "up<code>" and "change:<text>".
class TextBoxTest : public ::testing::Test {
 protected:
  TextBoxTest() {
    box_.on_key_down = [this](int16_t& code, int16_t shift) {
      events_.push_back(Tag(Tag("down", code) + "/", shift));
    };
    box_.on_key_press = [this](int16_t& ascii) { events_.push_back(Tag("press", ascii)); };
    box_.on_key_up = [this](int16_t& code, int16_t) { events_.push_back(Tag("up", code)); };
    box_.on_change = [this] { events_.push_back("change:" + box_.text()); };
  }
  Events Take() { return std::exchange(events_, {}); }
  TextBox box_{"txtEdit"};
  Events events_;
};

TEST_F(TextBoxTest, TypingRaisesKeyEventsPerCharacterAndInsertsAtTheCaret) {
  box_.set_text("ac");
  box_.set_text("ac");  // the same text again raises no Change
  EXPECT_EQ(Take(), Events{"change:ac"});
  box_.set_sel_start(1);
  box_.TypeText("B");
  EXPECT_EQ(box_.text(), "aBc");
  EXPECT_EQ(box_.sel_start(), 2);
  EXPECT_EQ(Take(), (Events{"down66/1", "press66", "change:aBc", "up66"}));
  box_.set_text("");
  box_.TypeText("é€😀");  // non-ASCII text keeps its code points; no key on the layout types é
  EXPECT_EQ(box_.text(), "é€😀");
  EXPECT_EQ(box_.sel_start(), 3);
  EXPECT_EQ(Take()[1], "down0/0");
}

TEST_F(TextBoxTest, KeyHandlersCancelOrReplaceTheCharacterOrTheKey) {
  box_.on_key_press = [](int16_t& ascii) {
    if (ascii >= '0' && ascii <= '9') ascii = 0;  // digits refused
    if (ascii >= 'a' && ascii <= 'z') ascii = static_cast<int16_t>(ascii - 32);
  };
  box_.TypeText("a1b2");
  EXPECT_EQ(box_.text(), "AB");
  box_.on_key_down = [](int16_t& code, int16_t) {
    if (code == kKeyDelete) code = 0;
  };
  box_.set_sel_start(0);
  box_.PressKey(kKeyDelete);
  EXPECT_EQ(box_.text(), "AB");
}

TEST_F(TextBoxTest, SelectionIsInCodePointsAndSelTextReplacesIt) {
  box_.set_text("Grüße 10°");
  box_.set_sel_start(2);
  box_.set_sel_length(3);
  EXPECT_EQ(box_.sel_text(), "üße");
  box_.set_sel_text("ee");
  EXPECT_EQ(box_.text(), "Gree 10°");
  EXPECT_EQ(box_.sel_start(), 4);
  EXPECT_EQ(box_.sel_length(), 0);
  box_.set_sel_start(100);  // beyond the end goes to the end
  EXPECT_EQ(box_.sel_start(), 8);
  box_.set_sel_start(7);
  box_.set_sel_length(50);
  EXPECT_EQ(box_.sel_length(), 1);
  EXPECT_EQ(box_.sel_text(), "°");
  EXPECT_EQ(ErrorOf([&] { box_.set_sel_start(-1); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { box_.set_sel_length(-1); }), kErrInvalidPropertyValue);
}

TEST_F(TextBoxTest, MaxLengthLimitsTypingButNotTheProgram) {
  box_.set_max_length(3);
  box_.TypeText("abcd");
  EXPECT_EQ(box_.text(), "abc");
  box_.set_text("abcdef");
  EXPECT_EQ(box_.text(), "abcdef");
  box_.set_sel_start(6);
  box_.PressKey(kKeyBack);  // a box over its limit may still shrink
  EXPECT_EQ(box_.text(), "abcde");
  EXPECT_EQ(ErrorOf([&] { box_.set_max_length(-1); }), kErrInvalidPropertyValue);
}

TEST_F(TextBoxTest, ControlKeysRaiseKeyPressAndNavigationKeysDoNot) {
  box_.set_text("abc");
  box_.set_sel_start(3);
  Take();
  box_.PressKey(kKeyBack);
  box_.PressKey(kKeyReturn);  // single line: nothing inserted
  EXPECT_EQ(box_.text(), "ab");
  EXPECT_EQ(Take(),
            (Events{"down8/0", "press8", "change:ab", "up8", "down13/0", "press13", "up13"}));
  box_.set_multi_line(true);
  box_.PressKey(kKeyReturn);
  EXPECT_EQ(box_.text(), "ab\r\n");
  box_.set_text("abcd");
  box_.set_sel_start(2);
  Take();
  box_.PressKey(kKeyDelete);
  EXPECT_EQ(box_.text(), "abd");
  EXPECT_EQ(Take(), (Events{"down46/0", "change:abd", "up46"}));
  for (auto [key, caret] : {std::pair{kKeyLeft, 1}, {kKeyEnd, 3}, {kKeyHome, 0}, {kKeyRight, 1}}) {
    box_.PressKey(key);
    EXPECT_EQ(box_.sel_start(), caret) << key;
  }
}

TEST_F(TextBoxTest, LockedOrDisabledBoxKeepsItsTextAndAppearanceValuesAreChecked) {
  box_.set_text("x");
  box_.set_locked(true);
  Take();
  box_.TypeText("y");
  EXPECT_EQ(box_.text(), "x");
  EXPECT_EQ(Take(), (Events{"down89/0", "press121", "up89"}));  // events still come
  box_.set_locked(false);
  box_.set_enabled(false);
  box_.TypeText("y");
  box_.PressKey(kKeyBack);
  EXPECT_EQ(box_.text(), "x");
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(ErrorOf([&] { box_.set_alignment(3); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { box_.set_font_size(0); }), kErrInvalidPropertyValue);
}

// A list of red, green and blue whose clicks are recorded as "click<ListIndex>".
class ListBoxTest : public ::testing::Test {
 protected:
  ListBoxTest() {
    for (const char* s : {"red", "green", "blue"}) list_.AddItem(s);
    list_.on_click = [this] { events_.push_back(Tag("click", list_.list_index())); };
  }
  Events Items() const {
    Events items;
    for (int32_t i = 0; i < list_.list_count(); ++i) items.push_back(list_.list(i));
    return items;
  }
  ListBox list_{"lstColours"};
  Events events_;
};

TEST_F(ListBoxTest, ItemsAreAddedInOrderOrAtAnIndexAndDataIsChecked) {
  list_.AddItem("white", 0);
  list_.AddItem("black", 4);
  EXPECT_EQ(Items(), (Events{"white", "red", "green", "blue", "black"}));
  EXPECT_EQ(ErrorOf([&] { list_.AddItem("x", 6); }), kErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { list_.AddItem("x", -2); }), kErrInvalidProcedureCall);
  list_.set_item_data(2, 77);
  EXPECT_EQ(list_.item_data(2), 77);
  EXPECT_EQ(list_.item_data(0), 0);
  EXPECT_EQ(ErrorOf([&] { (void)list_.list(5); }), kErrInvalidPropertyArrayIndex);
  EXPECT_EQ(ErrorOf([&] { (void)list_.item_data(-1); }), kErrInvalidPropertyArrayIndex);
  EXPECT_EQ(ErrorOf([&] { list_.set_list(5, "x"); }), kErrInvalidPropertyArrayIndex);
}

TEST_F(ListBoxTest, ClickFollowsEveryChangeOfListIndexAndBadIndicesRaise380) {
  list_.set_list_index(1);
  list_.set_list_index(1);
  list_.SelectItem(2);
  list_.set_list_index(-1);
  EXPECT_EQ(list_.text(), "");
  list_.set_list_index(0);
  EXPECT_EQ(ErrorOf([&] { list_.set_list_index(3); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { list_.set_list_index(-2); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { list_.SelectItem(7); }), kErrInvalidPropertyValue);
  EXPECT_EQ(list_.list_index(), 0);
  EXPECT_EQ(events_, (Events{"click1", "click2", "click-1", "click0"}));
  // A disabled list ignores the user, not the program.
  list_.set_enabled(false);
  list_.SelectItem(1);
  EXPECT_EQ(list_.list_index(), 0);
  list_.set_list_index(1);
  EXPECT_EQ(events_.back(), "click1");
}

TEST_F(ListBoxTest, SelectionFollowsItsItemThroughInsertsAndRemovals) {
  list_.set_list_index(1);  // green
  events_.clear();
  list_.AddItem("white", 0);
  EXPECT_EQ(list_.list_index(), 2);
  list_.RemoveItem(0);
  EXPECT_EQ(list_.list_index(), 1);
  EXPECT_EQ(list_.text(), "green");
  list_.RemoveItem(2);
  EXPECT_EQ(list_.list_index(), 1);
  list_.RemoveItem(1);
  EXPECT_EQ(list_.list_index(), -1);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(ErrorOf([&] { list_.RemoveItem(1); }), kErrInvalidProcedureCall);
  list_.Clear();
  EXPECT_EQ(list_.list_count(), 0);
}

TEST_F(ListBoxTest, TextSelectsAnItemOrRaises383) {
  list_.set_text("blue");
  EXPECT_EQ(list_.list_index(), 2);
  EXPECT_EQ(test_support::ErrorText([&] { list_.set_text("purple"); }),
            std::to_string(kErrPropertyReadOnly) + ": 'Text' property is read-only");
  EXPECT_EQ(list_.list_index(), 2);
}

TEST(ComboBox, DropDownEditTextFollowsTheSelectionAndBack) {
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
}

TEST(ComboBox, DropDownListIsNotEditable) {
  ComboBox combo("cboLevel", kComboDropDownList);
  combo.AddItem("low");
  combo.AddItem("high");
  int clicks = 0;
  combo.on_click = [&] { ++clicks; };
  combo.set_text("high");
  EXPECT_EQ(combo.list_index(), 1);
  EXPECT_EQ(ErrorOf([&] { combo.set_text("medium"); }), kErrPropertyReadOnly);
  combo.EditText("medium");
  EXPECT_EQ(combo.text(), "high");
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(ErrorOf([&] { combo.set_style(1); }), kErrInvalidPropertyValue);
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
  button->UserClick();
  EXPECT_EQ(clicks, 2);
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

TEST(StatusBar, PanelsAreOneBasedAndKeepTheirOrder) {
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
}

TEST(StatusBar, PanelPropertiesAreCheckedAndTheHeightStaysFixed) {
  StatusBar bar("sb");
  Panel& p = bar.Panels(1);
  EXPECT_EQ(ErrorOf([&] { p.set_alignment(3); }), kErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { p.set_width(-1); }), kErrInvalidPropertyValue);
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

// Runs `script` on a bar with Max 100, SmallChange 1 and LargeChange 10. Operations, separated
// by ";": "set v", "min v", "max v", "small v", "large v", "disable", "up", "down" (arrows),
// "above", "below" (trough), "drag p p ...", and "value", which logs "=<value>". The result
// is the log: "change:<v>", "scroll:<v>" and "error<n>" for an operation that raised.
std::string RunScript(std::string_view script) {
  VScrollBar bar("vsbRows");
  std::string log;
  bar.on_change = [&] { log += " change:" + std::to_string(bar.value()); };
  bar.on_scroll = [&] { log += " scroll:" + std::to_string(bar.value()); };
  bar.set_max(100);
  bar.set_small_change(1);
  bar.set_large_change(10);
  std::istringstream ops{std::string(script)};
  for (std::string op; std::getline(ops, op, ';');) {
    std::istringstream words(op);
    std::string verb;
    std::vector<int16_t> n;
    words >> verb;
    for (int v; words >> v;) n.push_back(static_cast<int16_t>(v));
    const int32_t error = ErrorOf([&] {
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
      if (verb == "value") log += " =" + std::to_string(bar.value());
    });
    if (error != 0) log += " error" + std::to_string(error);
  }
  return log.empty() ? log : log.substr(1);
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
  for (auto [script, log] : rows) EXPECT_EQ(RunScript(script), log) << script;
}

}  // namespace
}  // namespace tabulo::platform
