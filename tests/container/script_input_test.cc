#include "container/script/input.h"

#include <gtest/gtest.h>

#include <sstream>

#include "container/fake_script_host.h"
#include "container/script/events.h"
#include "container/script/runner.h"

namespace tabulo::container {
namespace {

using platform::Variant;
using test_support::ExpectFault;
using test_support::FakeScriptHost;
using test_support::Ran;

// The mouse events of a press of `button` in the middle of a cell (in the single-precision
// twips they carry), with `before_up` between the MouseDown and the MouseUp.
std::string Press(platform::FlexGrid& grid, int32_t row, int32_t col, int button,
                  const std::string& before_up = "") {
  std::ostringstream at, out;
  at << static_cast<float>(grid.ColLeftOf(col) + grid.ColWidth(col) / 2.0) << ", "
     << static_cast<float>(grid.RowTopOf(row) + grid.RowHeight(row) / 2.0) << ")\n";
  out << "EVENT MouseMove(0, 0, " << at.str() << "EVENT MouseDown(" << button << ", 0, " << at.str()
      << before_up << "EVENT MouseUp(" << button << ", 0, " << at.str();
  return out.str();
}

TEST(ScriptInput, ClicksRaiseTheMouseEventsInOrderAndMoveTheCurrentCell) {
  FakeScriptHost host;
  platform::FlexGrid& grid = host.sample_grid();
  EXPECT_EQ(Ran(host, "rclick 4 2\nevents\n"), Press(grid, 4, 2, 2));
  EXPECT_EQ(grid.Row(), 1);  // the right button leaves the current cell
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_FALSE(host.sample_editor().visible());
  EXPECT_EQ(Ran(host, "click 2 3\nevents\nevents\n"), Press(grid, 2, 3, 1) + "EVENT Click(2, 3)\n");
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(grid.Col(), 3);
  // A double click: the first press clicks, the second raises DblClick before its MouseUp.
  FakeScriptHost other;
  std::string first = Press(other.sample_grid(), 3, 2, 1);
  EXPECT_EQ(Ran(other, "dblclick 3 2\nevents\n"),
            first + "EVENT Click(3, 2)\nEVENT DblClick()\n" + first.substr(first.rfind("EVENT")));
}

TEST(ScriptInput, ScrollingTheGridBringsAFormerlyHiddenRowOnScreen) {
  FakeScriptHost host;
  host.sample_grid().ScrollTo(4, 1);
  ExpectFault(host, "click 8 1\nclick 2 1\n", 2, "click 2 1: the cell is not on screen");
  EXPECT_EQ(host.sample_grid().Row(), 8);
}

TEST(ScriptInput, TypeReplacesTheOpenEditorsWholeTextAndEnterOrTabCommitsIt) {
  FakeScriptHost host;
  std::string out = Ran(host,
                        "click 2 2\nevents\ntype \"Ab \"\"c\"\"\"\nkey ENTER\nevents\n"
                        "click 3 2\ntype 007\nkey tab\nclick 4 2\ntype \"\"\nkey Enter\nevents\n");
  platform::FlexGrid& grid = host.sample_grid();
  EXPECT_EQ(grid.TextMatrix(2, 2), "Ab \"c\"");
  EXPECT_EQ(grid.TextMatrix(3, 2), "007");
  EXPECT_EQ(grid.TextMatrix(4, 2), "");
  EXPECT_FALSE(host.sample_editor().visible());
  // The keys went to the editor, not to the grid: no key events of the control.
  std::istringstream lines(out);
  std::vector<std::string> changes;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.find("EVENT Key"), std::string::npos) << line;
    if (line.starts_with("EVENT CellValueChanged")) changes.push_back(line);
  }
  EXPECT_EQ(changes, (std::vector<std::string>{"EVENT CellValueChanged(2, 2)",
                                               "EVENT CellValueChanged(3, 2)",
                                               "EVENT CellValueChanged(4, 2)"}));
}

TEST(ScriptInput, TypeNeedsAnEditorShownWithTheFocus) {
  FakeScriptHost host;
  // Open once, then closed with Enter: typing again has no editor to go to.
  ExpectFault(host, "click 2 1\ntype \"y\"\nkey Enter\ntype \"z\"\n", 4, "no editor is open");
  EXPECT_EQ(host.sample_grid().TextMatrix(2, 1), "y");
  // Clicking the current cell again moves nothing, so it opens no editor.
  ExpectFault(host, "click 2 1\ntype \"z\"\n", 2, "no editor is open");
  // Shown but without the focus, it takes no typing either.
  platform::TextBox& editor = host.sample_editor();
  editor.set_visible(true);
  host.sample_grid().SetFocus();
  ExpectFault(host, "type \"w\"\n", 1, "no editor is open");
  EXPECT_NE(editor.text(), "w");
}

TEST(ScriptInput, KeysGoToTheGridOrToTheEditorThatHasTheFocus) {
  FakeScriptHost host;
  platform::FlexGrid& grid = host.sample_grid();
  EXPECT_EQ(Ran(host,
                "key down\n"  // the grid navigates; entering the cell opens the editor
                "events\n"
                "key Right\n"   // in the editor: its caret, no event of the control
                "key Enter\n"   // closes the editor, the grid has the focus again
                "key Escape\n"  // a character key on the grid: with KeyPress
                "key RIGHT\n"
                "events\n"),
            "EVENT KeyDown(40, 0)\nEVENT KeyUp(40, 0)\n"
            "EVENT KeyDown(27, 0)\nEVENT KeyPress(27)\nEVENT KeyUp(27, 0)\n"
            "EVENT KeyDown(39, 0)\nEVENT KeyUp(39, 0)\n");
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(grid.Col(), 2);
  EXPECT_TRUE(EditorIsOpen(host.sample_editor()));
  // In the open editor, keys move its caret; the grid does not navigate.
  Ran(host, "type \"abc\"\nkey Home\nkey Delete\nkey End\nkey Backspace\n");
  EXPECT_EQ(host.sample_editor().text(), "b");
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(grid.Col(), 2);
  EXPECT_EQ(KeyCodeByName("pageDOWN"), platform::kKeyPageDown);
  EXPECT_EQ(KeyCodeByName("Enter "), std::nullopt);
}

TEST(ScriptInput, AControlWithoutAGridRefusesMouseAndKeys) {
  FakeScriptHost host;
  host.DropWidgets();
  ExpectFault(host, "click 1 1\n", 1, "click: the control has no grid");
  ExpectFault(host, "key Enter\n", 1, "key: the control has no grid");
  ExpectFault(host, "type \"a\"\n", 1, "no editor is open");
}

TEST(ScriptEvents, EventsPrintValuesInTheScriptsOutputFormsOnce) {
  FakeScriptHost host;
  host.sample().Raise("KeyPress", {Variant(static_cast<int16_t>(65))});
  EXPECT_EQ(Ran(host, "events\n"), "");  // raised before the runner connected: not seen
  std::istringstream in("events\ncall Nop\nevents\n");
  std::ostringstream out, err;
  ScriptRunner runner(host, out, err);
  host.sample().Raise("MouseMove",
                      {Variant(int16_t{0}), Variant(int16_t{1}), Variant(1.5f), Variant(-0.25f)});
  host.sample().Raise("DblClick", {});
  ASSERT_EQ(runner.Run(in), 0);
  EXPECT_EQ(out.str(), "EVENT MouseMove(0, 1, 1.5, -0.25)\nEVENT DblClick()\n");
  EXPECT_EQ(FormatEvent("CellValueChanged", {Variant("a \"b\"\r\n"), Variant(true), Variant()}),
            "EVENT CellValueChanged(\"a \"\"b\"\"\\r\\n\", True, Empty)");
}

}  // namespace
}  // namespace tabulo::container
