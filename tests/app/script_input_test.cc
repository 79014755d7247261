#include "script_input.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/fake_script_host.h"
#include "script_events.h"
#include "script_runner.h"

namespace tabulo::app {
namespace {

using platform::Variant;
using test_support::FakeScriptHost;
using test_support::Outcome;
using test_support::RunScript;

// The middle of a cell, in the single-precision twips the mouse events carry.
std::string Centre(platform::FlexGrid& grid, int32_t row, int32_t col) {
  float x = static_cast<float>(grid.ColLeftOf(col) + grid.ColWidth(col) / 2.0);
  float y = static_cast<float>(grid.RowTopOf(row) + grid.RowHeight(row) / 2.0);
  std::ostringstream s;
  s << x << ", " << y;
  return s.str();
}

TEST(ScriptInput, ClickMovesTheCurrentCellWithTheMouseEventsInOrder) {
  FakeScriptHost host;
  platform::FlexGrid& grid = host.sample_grid();
  grid.SetRow(1);
  grid.SetCol(1);
  std::string at = Centre(grid, 2, 3);
  Outcome r = RunScript(host, "click 2 3\nevents\nevents\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "EVENT MouseMove(0, 0, " + at + ")\nEVENT MouseDown(1, 0, " + at +
                       ")\nEVENT MouseUp(1, 0, " + at + ")\nEVENT Click(2, 3)\n");
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(grid.Col(), 3);
}

TEST(ScriptInput, RightClickUsesButtonTwoAndLeavesTheCurrentCell) {
  FakeScriptHost host;
  platform::FlexGrid& grid = host.sample_grid();
  std::string at = Centre(grid, 4, 2);
  Outcome r = RunScript(host, "rclick 4 2\nevents\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "EVENT MouseMove(0, 0, " + at + ")\nEVENT MouseDown(2, 0, " + at +
                       ")\nEVENT MouseUp(2, 0, " + at + ")\n");
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_FALSE(host.sample_editor().visible());
}

TEST(ScriptInput, DoubleClickRaisesDblClickBetweenTheMouseUps) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "dblclick 3 2\nevents\n");
  ASSERT_EQ(r.code, 0) << r.err;
  std::string at = Centre(host.sample_grid(), 3, 2);
  EXPECT_EQ(r.out, "EVENT MouseMove(0, 0, " + at + ")\nEVENT MouseDown(1, 0, " + at +
                       ")\nEVENT MouseUp(1, 0, " + at + ")\nEVENT Click(3, 2)\nEVENT DblClick()\n" +
                       "EVENT MouseUp(1, 0, " + at + ")\n");
}

TEST(ScriptInput, CellsOutsideTheGridOrOffScreenAreScriptFaults) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"click 10 1", "click 10 1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"dblclick 1 -1",
       "dblclick 1 -1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"rclick 8 1", "rclick 8 1: the cell is not on screen"},
      {"click 1 5", "click 1 5: the cell is not on screen"},
      {"click 1", "click takes 2 arguments, given 1 (click ROW COL)"},
      {"click one 1", "bad value in argument 1 of click: not a value: one"},
  };
  for (const Case& c : cases) {
    FakeScriptHost host;
    Outcome r = RunScript(host, std::string("events\n") + c.line + "\nevents\n");
    EXPECT_EQ(r.code, 2) << c.line;
    EXPECT_EQ(r.out, "") << c.line;
    EXPECT_EQ(r.err, "line 2: " + std::string(c.message) + "\n");
  }
}

TEST(ScriptInput, ScrollingTheGridBringsAFormerlyHiddenRowOnScreen) {
  FakeScriptHost host;
  host.sample_grid().ScrollTo(4, 1);
  Outcome r = RunScript(host, "click 8 1\nclick 2 1\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "line 2: click 2 1: the cell is not on screen\n");
  EXPECT_EQ(host.sample_grid().Row(), 8);
}

TEST(ScriptInput, TypeReplacesTheOpenEditorsWholeTextAndEnterCommitsIt) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "click 2 2\n"
                        "events\n"
                        "type \"Ab \"\"c\"\"\"\n"
                        "key ENTER\n"
                        "events\n"
                        "click 3 2\n"
                        "type 007\n"
                        "key tab\n"
                        "click 4 2\n"
                        "type \"\"\n"
                        "key Enter\n"
                        "events\n");
  ASSERT_EQ(r.code, 0) << r.err;
  platform::FlexGrid& grid = host.sample_grid();
  EXPECT_EQ(grid.TextMatrix(2, 2), "Ab \"c\"");
  EXPECT_EQ(grid.TextMatrix(3, 2), "007");
  EXPECT_EQ(grid.TextMatrix(4, 2), "");
  EXPECT_FALSE(host.sample_editor().visible());
  // The keys went to the editor, not to the grid: no key events of the control.
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::string> changes;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line.find("EVENT Key"), std::string::npos) << line;
    if (line.starts_with("EVENT CellValueChanged")) changes.push_back(line);
  }
  EXPECT_EQ(changes, (std::vector<std::string>{"EVENT CellValueChanged(2, 2)",
                                               "EVENT CellValueChanged(3, 2)",
                                               "EVENT CellValueChanged(4, 2)"}));
}

TEST(ScriptInput, TypeWithoutAnOpenEditorIsAScriptFault) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "type \"x\"\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "line 1: no editor is open\n");

  // Open once, then closed with Enter: typing again has no editor to go to.
  Outcome closed = RunScript(host, "click 2 1\ntype \"y\"\nkey Enter\ntype \"z\"\n");
  EXPECT_EQ(closed.code, 2);
  EXPECT_EQ(closed.err, "line 4: no editor is open\n");
  EXPECT_EQ(host.sample_grid().TextMatrix(2, 1), "y");

  // Clicking the current cell again moves nothing, so it opens no editor.
  Outcome same = RunScript(host, "click 2 1\ntype \"z\"\n");
  EXPECT_EQ(same.err, "line 2: no editor is open\n");

  // Shown but without the focus, it takes no typing either.
  platform::TextBox& editor = host.sample_editor();
  editor.set_visible(true);
  host.sample_grid().SetFocus();
  Outcome unfocused = RunScript(host, "type \"w\"\n");
  EXPECT_EQ(unfocused.err, "line 1: no editor is open\n");
  EXPECT_NE(editor.text(), "w");

  Outcome not_text = RunScript(host, "click 3 1\ntype {1, 2}\n");
  EXPECT_EQ(not_text.err, "line 2: type takes a text, given {1, 2}\n");
}

TEST(ScriptInput, KeysGoToTheGridOrToTheEditorThatHasTheFocus) {
  FakeScriptHost host;
  platform::FlexGrid& grid = host.sample_grid();
  Outcome r = RunScript(host,
                        "key down\n"  // the grid navigates; entering the cell opens the editor
                        "events\n"
                        "key Right\n"   // in the editor: its caret, no event of the control
                        "key Enter\n"   // closes the editor, the grid has the focus again
                        "key Escape\n"  // a character key on the grid: with KeyPress
                        "key RIGHT\n"
                        "events\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "EVENT KeyDown(40, 0)\nEVENT KeyUp(40, 0)\n"
            "EVENT KeyDown(27, 0)\nEVENT KeyPress(27)\nEVENT KeyUp(27, 0)\n"
            "EVENT KeyDown(39, 0)\nEVENT KeyUp(39, 0)\n");
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(grid.Col(), 2);
  EXPECT_TRUE(EditorIsOpen(host.sample_editor()));
}

TEST(ScriptInput, KeysInTheOpenEditorMoveItsCaret) {
  FakeScriptHost host;
  Outcome r =
      RunScript(host, "click 2 2\ntype \"abc\"\nkey Home\nkey Delete\nkey End\nkey Backspace\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(host.sample_editor().text(), "b");
  EXPECT_EQ(host.sample_grid().Row(), 2);  // the grid did not navigate
  EXPECT_EQ(host.sample_grid().Col(), 2);
}

TEST(ScriptInput, UnknownKeyNamesListTheKnownOnes) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "key F13\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err,
            "line 1: unknown key 'F13' (known keys: Enter, Tab, Escape, Backspace, Delete, Left, "
            "Right, Up, Down, Home, End, PageUp, PageDown)\n");
  EXPECT_EQ(KeyCodeByName("pageDOWN"), platform::kKeyPageDown);
  EXPECT_EQ(KeyCodeByName("Enter "), std::nullopt);
}

TEST(ScriptInput, AControlWithoutAGridRefusesMouseAndKeys) {
  FakeScriptHost host;
  host.DropWidgets();
  for (const char* line : {"click 1 1", "key Enter"}) {
    Outcome r = RunScript(host, std::string(line) + "\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "line 1: " + std::string(line).substr(0, std::string(line).find(' ')) +
                         ": the control has no grid\n");
  }
  EXPECT_EQ(RunScript(host, "type \"a\"\n").err, "line 1: no editor is open\n");
}

TEST(ScriptEvents, EventsPrintValuesInTheScriptsOutputFormsOnce) {
  FakeScriptHost host;
  host.sample().Raise("KeyPress", {Variant(static_cast<int16_t>(65))});
  Outcome r = RunScript(host, "events\n");
  // Raised before the runner connected: not seen.
  EXPECT_EQ(r.out, "");
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

TEST(ScriptAnswers, SignAndCancelAnswerTheNextDialogsInOrder) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "answer sign alice \"pass word\" \"Batch \"\"7\"\"\"\n"
                        "answer CANCEL\n"
                        "answer 7\n");
  ASSERT_EQ(r.code, 0) << r.err;
  auto& container = host.container();
  EXPECT_EQ(container.pending_answers(), 1u);
  ASSERT_EQ(container.pending_dialog_answers(), 2u);
  std::vector<Variant> args{Variant(""), Variant(""), Variant(""), Variant("prompt")};
  Variant result = container.ShowDialog("ESignature", args);
  EXPECT_EQ(result.type(), platform::VarType::Boolean);
  EXPECT_TRUE(result.AsBoolean());
  EXPECT_EQ(args[0].AsString(), "alice");
  EXPECT_EQ(args[1].AsString(), "pass word");
  EXPECT_EQ(args[2].AsString(), "Batch \"7\"");
  EXPECT_EQ(args[3].AsString(), "prompt");
  EXPECT_THROW(container.ShowDialog("ESignature", args), platform::ComError);
  ASSERT_EQ(container.dialogs().size(), 2u);
  EXPECT_FALSE(container.dialogs()[0].cancelled);
  EXPECT_TRUE(container.dialogs()[1].cancelled);
  EXPECT_EQ(container.MsgBox("Sure?", platform::kMbYesNo, "Q"), platform::kIdNo);
}

TEST(ScriptAnswers, MalformedAnswersAreScriptFaults) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"answer sign alice secret", "answer sign takes USER PASSWORD REASON, given 2 argument(s)"},
      {"answer sign a b 1 2",
       "answer takes 1 argument to 4, given 5 (answer N | answer sign USER "
       "PASSWORD REASON | answer cancel)"},
      {"answer sign a b \"\\q\"",
       "bad value in argument 4 of answer: unknown escape \\q in a text"},
      {"answer cancel now",
       "answer takes N, sign USER PASSWORD REASON or cancel, given cancel and "
       "1 more argument(s)"},
      {"answer yes", "bad value in argument 1 of answer: not a value: yes"},
  };
  for (const Case& c : cases) {
    FakeScriptHost host;
    Outcome r = RunScript(host, std::string(c.line) + "\n");
    EXPECT_EQ(r.code, 2) << c.line;
    EXPECT_EQ(r.err, "line 1: " + std::string(c.message) + "\n");
    EXPECT_EQ(host.container().pending_dialog_answers(), 0u) << c.line;
  }
}

}  // namespace
}  // namespace tabulo::app
