// `tabulo script` against the fake host: commands and member names, the faults that stop a
// script, dialog answers, hosts adding commands; the session commands (the event log
// following later controls, calls by dispatch id, the commands a host without sessions
// refuses) and the operator's typing into the grid's editor.
#include "container/script/runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "container/fake_script_host.h"
#include "container/script/events.h"
#include "container/script/input.h"
#include "host/test_folder.h"
#include "platform/widgets/std_font.h"

namespace tabulo::container {
namespace {

using platform::Variant;
using test_support::ExpectFault;
using test_support::ExpectTranscript;
using test_support::FakeScriptHost;
using test_support::Outcome;
using test_support::Ran;
using test_support::RunScript;

// Commands and member names in any case; results printed, a raised error printed as a result
// while the script goes on.
TEST(ScriptRunner, CommandsReachTheHostAndTheControlByName) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"size 12000 4800", ""},
                          {"mode run", ""},
                          {"scroll 0x7FFFFFFF", ""},
                          {"show", "[12000x4800 run at=2147483647 text=first]\n"},
                          {"MODE Design", ""},
                          {"let Text \"a \"\"b\"\"\"", ""},
                          {"get text", "text = \"a \"\"b\"\"\"\n"},
                          {"let Cell 2 3 {1, \"x\"}", ""},
                          {"get Cell 2 3", "Cell = {1, \"x\"}\n"},
                          {"call Echo 0x10", "Echo -> 16\n"},
                          {"call Trace \"x\"", ""},
                          {"debug", "x\n"},
                          {"set picture FONT Arial 8.25 Italic BOLD", ""},
                          {"get Picture", "Picture = Object(StdFont)\n"},
                          {"scroll -1", "ERROR 380: Invalid property value\n"},
                          {"get Count", "Count = 0\n"}});
  EXPECT_FALSE(host.container().AmbientUserMode());
  EXPECT_EQ(host.sample().text, "a \"b\"");
  // `set NAME font` assigns a new StdFont by reference.
  auto font = std::dynamic_pointer_cast<platform::StdFont>(host.sample().picture);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(std::tuple(font->name(), font->size_scaled(), font->bold(), font->italic()),
            std::tuple("Arial", 82500, true, true));
}

// Each fault is on the last line of its script, which runs after "get Count", a comment and
// a blank line: what ran before it printed, the "get Text" after it did not run, and no
// dialog answer was queued.
TEST(ScriptRunner, FaultsOfTheScriptStopItWithTheLineNumberAndExit2) {
  const std::pair<const char*, const char*> cases[] = {
      {"frobnicate 1", "unknown command 'frobnicate'"},
      {"let Text \"a\\qb\"", "bad value in argument 2 of let: unknown escape \\q in a text"},
      {"let Text {1, 2", "array without its closing brace"},
      {"load \"open", "text without its closing quote"},
      // The argument counts: exact, none, one, at least, a range.
      {"size 100", "size takes 2 arguments, given 1 (size W H)"},
      {"show now", "show takes 0 arguments, given 1 (show)"},
      {"control", "control takes 1 argument, given 0 (control N)"},
      {"let Text", "let takes at least 2 arguments, given 1 (let NAME [ARGS] VALUE)"},
      {"answer",
       "answer takes 1 argument to 4, given 0 (answer N | answer sign USER PASSWORD REASON | "
       "answer cancel)"},
      // Whole numbers and their ranges.
      {"mode fast", "mode takes run or design, given fast"},
      {"tick -5", "tick: argument 1 out of range (0 to 2147483647), given -5"},
      {"tick 1.5", "tick expects a whole number in argument 1, given 1.5"},
      {"control 0", "control: argument 1 out of range (1 to 2147483647), given 0"},
      {"answer sign alice secret", "answer sign takes USER PASSWORD REASON, given 2 argument(s)"},
      {"answer cancel now",
       "answer takes N, sign USER PASSWORD REASON or cancel, given cancel and 1 more argument(s)"},
      // The operator's input.
      {"click 10 1", "click 10 1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"dblclick 1 -1",
       "dblclick 1 -1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"rclick 8 1", "rclick 8 1: the cell is not on screen"},
      {"click 1 5", "click 1 5: the cell is not on screen"},
      {"click 3 1\ntype {1, 2}", "type takes a text, given {1, 2}"},
      {"key F13",
       "unknown key 'F13' (known keys: Enter, Tab, Escape, Backspace, Delete, Left, Right, Up, "
       "Down, Home, End, PageUp, PageDown)"},
      // Object assignments.
      {"set Picture font Arial", "set: font takes NAME SIZE [bold] [italic]"},
      {"set Picture font Arial big", "bad value in argument 4 of set: not a value: big"},
      {"set Picture font Arial \"10\"", "set: the font size must be a number, given \"10\""},
      {"set Picture font Arial 10 bold bold",
       "set: a font style is bold or italic, once each; given bold"},
      {"set Picture font Arial 10 underline",
       "set: a font style is bold or italic, once each; given underline"},
      {"set Picture window", "set assigns font NAME SIZE [bold] [italic] or secmgr, given window"},
      {"set Picture secmgr now", "set: secmgr takes no more arguments"},
      // Calls by dispatch id.
      {"invoke Count", "bad value in argument 1 of invoke: not a value: Count"},
      {"invoke \"2\"", "invoke takes a dispatch id (0x... or decimal), given \"2\""}};
  for (const auto& [script, message] : cases) {
    SCOPED_TRACE(script);
    FakeScriptHost host;
    const std::string lines = std::string("get Count\n# comment\n\n") + script;
    const auto line = std::count(lines.begin(), lines.end(), '\n') + 1;
    Outcome r = RunScript(host, lines + "\nget Text\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "Count = 0\n");
    EXPECT_EQ(r.err, "line " + std::to_string(line) + ": " + message + "\n");
    EXPECT_EQ(host.container().pending_dialog_answers(), 0u);
  }
}

TEST(ScriptRunner, SignAndCancelAnswerTheNextDialogsInOrder) {
  FakeScriptHost host;
  Ran(host, "answer sign alice \"pass word\" \"Batch \"\"7\"\"\"\nanswer CANCEL\n");
  auto& container = host.container();
  ASSERT_EQ(container.pending_dialog_answers(), 2u);
  std::vector<Variant> args{Variant(""), Variant(""), Variant(""), Variant("prompt")};
  EXPECT_EQ(container.ShowDialog("ESignature", args), Variant::Boolean(true));
  EXPECT_EQ(args, (std::vector<Variant>{Variant("alice"), Variant("pass word"),
                                        Variant("Batch \"7\""), Variant("prompt")}));
  EXPECT_THROW(container.ShowDialog("ESignature", args), platform::ComError);
}

TEST(ScriptRunner, DebugPrintsEachLineWithoutItsLineEndOnce) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"call Trace \"half\"", ""},
                          {"call Trace \"way\\r\\n\\r\\nunix\\nlast\"", ""},
                          {"debug", "halfway\n\nunix\nlast\n"},
                          {"debug", ""}});
}

// A host that adds a command and wraps a built-in one, as later commands do.
class ExtendingHost : public FakeScriptHost {
 public:
  void AddCommands(CommandTable& table) override {
    table.Add("click", {"click ROW COL", 2, 2, [this](CommandContext& c) {
                          clicks.push_back({c.Integer(0, 0), c.Integer(1, 0)});
                        }});
    Command number_answer = table.Add("answer", {});
    table.Add("answer", {"answer N | answer cancel", 1, 1, [number_answer](CommandContext& c) {
                           if (c.Arg(0) != "cancel") return number_answer.run(c);
                           c.out << "cancel queued\n";
                         }});
  }
  std::vector<std::pair<int32_t, int32_t>> clicks;
};

TEST(ScriptRunner, HostsAddCommandsAndWrapBuiltIns) {
  ExtendingHost host;
  EXPECT_EQ(Ran(host, "click 1 2\nanswer cancel\nanswer 2\nCLICK 3 4\n"), "cancel queued\n");
  EXPECT_EQ(host.clicks, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {3, 4}}));
  EXPECT_EQ(host.container().pending_answers(), 1u);

  CommandTable table;
  EXPECT_FALSE(static_cast<bool>(table.Add("Show", {"show", 0, 0, [](CommandContext&) {}}).run));
  EXPECT_EQ(table.Names(), (std::vector<std::string>{"show"}));
}

TEST(ScriptRunner, UnreadableScriptFilesExit2) {
  host::testing::TestFolder folder;
  for (const std::string& path : {(folder / "missing.tab").string(), folder.path().string()}) {
    FakeScriptHost host;
    std::ostringstream out, err;
    EXPECT_EQ(RunScriptFile(path, host, out, err), 2);
    EXPECT_EQ(err.str(), "tabulo script: cannot read '" + path + "'\n");
  }
}

// Events print their values in the script's output forms, once; those of later controls
// carry the control's number.
TEST(ScriptSession, EventsOfEveryControlArePrintedOnceWithTheirNumber) {
  FakeScriptHost host;
  host.sample().Raise("KeyPress", {Variant(int16_t{65})});
  EXPECT_EQ(Ran(host, "events\n"), "");  // raised before the runner connected: not seen
  std::ostringstream out, err;
  ScriptRunner runner(host, out, err);
  std::istringstream first("new\nnew\n"), events("events\nevents\n");
  runner.Run(first);
  host.sample(3).Raise("DblClick", {});
  host.sample(1).Raise("MouseMove",
                       {Variant(int16_t{0}), Variant(int16_t{1}), Variant(1.5f), Variant(-0.25f)});
  host.sample(2).Raise("KeyPress", {Variant(int16_t{65})});
  EXPECT_EQ(runner.Run(events), 0) << err.str();
  EXPECT_EQ(out.str(),
            "[3] EVENT DblClick()\nEVENT MouseMove(0, 1, 1.5, -0.25)\n[2] EVENT KeyPress(65)\n");
  EXPECT_EQ(FormatEvent("CellValueChanged", {Variant("a \"b\"\r\n"), Variant(true), Variant()}),
            "EVENT CellValueChanged(\"a \"\"b\"\"\\r\\n\", True, Empty)");
}

TEST(ScriptSession, InvokeReadsPropertiesAndCallsMethodsByDispatchId) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"invoke 0x15 \"hi\"", "Echo -> \"hi\"\n"},
                          {"invoke 25 \"x\"", ""},  // Trace: Empty prints nothing
                          {"debug", "x\n"},
                          {"let Cell 1 2 \"x\"", ""},
                          {"invoke 11 1 2", "Cell = \"x\"\n"}});  // the indexed Cell
  // An id the object does not list is called, so the object's own error shows.
  std::string out = Ran(host, "invoke 999\n");
  EXPECT_EQ(out.rfind("ERROR 438: ", 0), 0u) << out;
}

// The fake keeps the defaults for everything but `new`: the session commands name
// themselves as unsupported instead of doing something else.
TEST(ScriptSession, AHostWithoutSessionsReportsTheCommandUnsupported) {
  for (std::string line : {"load a.ctl", "save a.ctl", "end", "set Picture secmgr", "language 1031",
                           "server-change Local PLANT-01"}) {
    FakeScriptHost host;
    std::string what = line.starts_with("set") ? "secmgr" : line;
    ExpectFault(host, line + "\n", 1, "this host does not support '" + what + "'");
  }
}

TEST(ScriptInput, TypeReplacesTheOpenEditorsTextAndNumbersAsWritten) {
  FakeScriptHost host;
  Ran(host, "click 3 2\ntype \"abc\"\ntype 007\n");
  EXPECT_EQ(host.editor()->text(), "007");
  EXPECT_EQ(host.grid()->Row(), 3);
  EXPECT_EQ(host.grid()->Col(), 2);
  // Shown but without the focus, the editor takes no typing.
  host.grid()->SetFocus();
  ExpectFault(host, "type \"w\"\n", 1, "no editor is open");
  EXPECT_EQ(host.editor()->text(), "007");
  EXPECT_EQ(KeyCodeByName("pageDOWN"), platform::kKeyPageDown);
  EXPECT_EQ(KeyCodeByName("Enter "), std::nullopt);
}

TEST(ScriptInput, AControlWithoutAGridRefusesMouseAndKeys) {
  FakeScriptHost host;
  host.DropWidgets();
  ExpectFault(host, "click 1 1\n", 1, "click: the control has no grid");
  ExpectFault(host, "type \"a\"\n", 1, "no editor is open");
}

}  // namespace
}  // namespace tabulo::container
