#include "container/script/runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "container/fake_script_host.h"
#include "host/test_folder.h"

namespace tabulo::container {
namespace {

using platform::Variant;
using test_support::ExpectFault;
using test_support::ExpectTranscript;
using test_support::FakeScriptHost;
using test_support::Outcome;
using test_support::Ran;
using test_support::RunScript;

TEST(ScriptRunner, ShowSizeModeAndScrollReachTheHost) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"show", "[9600x3600 design at=0 text=first]\n"},
                          {"size 12000 4800", ""},
                          {"mode run", ""},
                          {"show", "[12000x4800 run at=0 text=first]\n"},
                          {"MODE Design", ""},
                          {"scroll 0x7FFFFFFF", ""},
                          {"show", "[12000x4800 design at=2147483647 text=first]\n"}});
  EXPECT_FALSE(host.container().AmbientUserMode());
}

TEST(ScriptRunner, LetGetAndCallGoThroughAutomationByName) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"let Text \"a \"\"b\"\"\"", ""},
                          {"get text", "text = \"a \"\"b\"\"\"\n"},
                          {"let Count 0x10", ""},
                          {"get COUNT", "COUNT = 16\n"},
                          {"let Ratio 0.1", ""},
                          {"get Ratio", "Ratio = 0.1\n"},
                          {"let Flag true", ""},
                          {"get Flag", "Flag = True\n"},
                          {"get Amount", "Amount = 12.3456\n"},
                          {"get Born", "Born = #2026-01-05 06:00:00#\n"},
                          {"get Picture", "Picture = Nothing\n"},
                          {"let Cell 2 3 {1, \"x\"}", ""},
                          {"get Cell 2 3", "Cell = {1, \"x\"}\n"},
                          {"get Cell 0 0", "Cell = Empty\n"},
                          {"call Adjust 5", "Adjust -> 5\n"},
                          {"call Adjust 5 10", "Adjust -> 5\n"},
                          {"call Nop", ""},
                          {"call Echo {{1, 2}, {3, 4}}", "Echo -> {{1, 2}, {3, 4}}\n"},
                          {"get Echo \"x\\ty\"", "Echo = \"x\\ty\"\n"}});
  EXPECT_EQ(host.sample().text, "a \"b\"");
  EXPECT_EQ(host.sample().nops, 1);
}

TEST(ScriptRunner, RaisedErrorsArePrintedAsResultsAndTheScriptGoesOn) {
  const std::string kWrongArgs =
      "ERROR 450: Wrong number of arguments or invalid property assignment\n";
  FakeScriptHost host;
  ExpectTranscript(host, {{"call Fail", "ERROR -2147217900: Syntax error near \"FROM\"\n"},
                          {"let Version \"2.0\"", kWrongArgs},
                          {"let Small 40000", "ERROR 6: Overflow\n"},
                          {"let Count \"abc\"", "ERROR 13: Type mismatch\n"},
                          {"call Adjust", kWrongArgs},
                          {"call Adjust 1 2 3", kWrongArgs},
                          {"let Picture Nothing", kWrongArgs},
                          {"scroll -1", "ERROR 380: Invalid property value\n"},
                          {"get Count", "Count = 0\n"}});
}

// Each fault is on the last line of its script, which runs after "get Count", a comment and
// a blank line: what ran before it printed, the "get Text" after it did not run, and no
// dialog answer was queued.
TEST(ScriptRunner, FaultsOfTheScriptStopItWithTheLineNumberAndExit2) {
  const std::pair<const char*, const char*> cases[] = {
      {"frobnicate 1", "unknown command 'frobnicate'"},
      {"get Nope", "unknown member 'Nope' of SampleControl"},
      {"call Nope 1", "unknown member 'Nope' of SampleControl"},
      {"let Text \"a\\qb\"", "bad value in argument 2 of let: unknown escape \\q in a text"},
      {"let Text {1, 2", "array without its closing brace"},
      {"size 100", "size takes 2 arguments, given 1 (size W H)"},
      {"show now", "show takes 0 arguments, given 1 (show)"},
      {"let Text", "let takes at least 2 arguments, given 1 (let NAME [ARGS] VALUE)"},
      {"mode fast", "mode takes run or design, given fast"},
      {"tick -5", "tick: argument 1 out of range (0 to 2147483647), given -5"},
      {"tick 1.5", "tick expects a whole number in argument 1, given 1.5"},
      {"scroll \"x\"", "scroll expects a whole number in argument 1, given \"x\""},
      {"answer",
       "answer takes 1 argument to 4, given 0 (answer N | answer sign USER PASSWORD REASON | "
       "answer cancel)"},
      {"answer sign alice secret", "answer sign takes USER PASSWORD REASON, given 2 argument(s)"},
      {"answer sign a b 1 2",
       "answer takes 1 argument to 4, given 5 (answer N | answer sign USER PASSWORD REASON | "
       "answer cancel)"},
      {"answer sign a b \"\\q\"",
       "bad value in argument 4 of answer: unknown escape \\q in a text"},
      {"answer cancel now",
       "answer takes N, sign USER PASSWORD REASON or cancel, given cancel and 1 more argument(s)"},
      {"answer yes", "bad value in argument 1 of answer: not a value: yes"},
      // The operator's input.
      {"click 10 1", "click 10 1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"dblclick 1 -1",
       "dblclick 1 -1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"rclick 8 1", "rclick 8 1: the cell is not on screen"},
      {"click 1 5", "click 1 5: the cell is not on screen"},
      {"click 1", "click takes 2 arguments, given 1 (click ROW COL)"},
      {"click one 1", "bad value in argument 1 of click: not a value: one"},
      {"type \"x\"", "no editor is open"},
      {"click 3 1\ntype {1, 2}", "type takes a text, given {1, 2}"},
      {"key F13",
       "unknown key 'F13' (known keys: Enter, Tab, Escape, Backspace, Delete, Left, Right, Up, "
       "Down, Home, End, PageUp, PageDown)"},
      // The session's commands.
      {"end\nshow", "no current control"},
      {"end\nend", "no current control"},
      {"end\nsave \"x.ctl\"", "no current control"},
      {"end\nset Picture secmgr", "no current control"},
      {"control 2", "no control 2 (the session has 1)"},
      {"new\ncontrol 3", "no control 3 (the session has 2)"},
      {"control 0", "control: argument 1 out of range (1 to 2147483647), given 0"},
      {"control -1", "control: argument 1 out of range (1 to 2147483647), given -1"},
      {"control one", "bad value in argument 1 of control: not a value: one"},
      {"control 1.5", "control expects a whole number in argument 1, given 1.5"},
      {"control", "control takes 1 argument, given 0 (control N)"},
      {"new 2", "new takes 0 arguments, given 1 (new)"},
      {"load", "load takes 1 argument, given 0 (load FILE)"},
      {"save a b", "save takes 1 argument, given 2 (save FILE)"},
      {"load \"open", "text without its closing quote"},
      {"set Picture font Arial", "set: font takes NAME SIZE [bold] [italic]"},
      {"set Picture font Arial big", "bad value in argument 4 of set: not a value: big"},
      {"set Picture font Arial \"10\"", "set: the font size must be a number, given \"10\""},
      {"set Picture font Arial 10 bold bold",
       "set: a font style is bold or italic, once each; given bold"},
      {"set Picture font Arial 10 underline",
       "set: a font style is bold or italic, once each; given underline"},
      {"set Picture window", "set assigns font NAME SIZE [bold] [italic] or secmgr, given window"},
      {"set Picture secmgr now", "set: secmgr takes no more arguments"},
      {"set Bogus secmgr", "unknown member 'Bogus' of SampleControl"},
      {"set Picture",
       "set takes 2 arguments to 6, given 1 (set NAME font NAME SIZE [bold] [italic] | set NAME "
       "secmgr)"},
      {"language 0", "language: argument 1 out of range (1 to 2147483647), given 0"},
      {"language German", "bad value in argument 1 of language: not a value: German"},
      {"language", "language takes 1 argument, given 0 (language N)"},
      {"server-change Local PLANT-09", "no server \"PLANT-09\" in cluster \"Local\""},
      {"server-change Nowhere PLANT-01", "no server \"PLANT-01\" in cluster \"Nowhere\""},
      {"server-change Local",
       "server-change takes 2 arguments, given 1 (server-change CLUSTER SERVER)"},
      {"invoke Count", "bad value in argument 1 of invoke: not a value: Count"},
      {"invoke \"2\"", "invoke takes a dispatch id (0x... or decimal), given \"2\""},
      {"invoke 2.5", "invoke takes a dispatch id (0x... or decimal), given 2.5"},
      {"invoke", "invoke takes at least 1 argument, given 0 (invoke DISPID [ARGS])"}};
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

TEST(ScriptRunner, TickAdvancesTheVirtualClockThroughTimersAndPostedWork) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"call StartTicking 100", ""},
                          {"call PostText \"later\"", ""},
                          {"get Text", "Text = \"first\"\n"},
                          {"tick 250", ""},
                          {"get Ticks", "Ticks = 2\n"},
                          {"get Text", "Text = \"later\"\n"},
                          {"tick 49", ""},
                          {"get Ticks", "Ticks = 2\n"},
                          {"tick 1", ""},
                          {"get Ticks", "Ticks = 3\n"}});
  EXPECT_EQ(host.container().clock().NowMillis(), 300);
}

TEST(ScriptRunner, AnswersAreQueuedAndMessagesDrainSinceTheLastCall) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"answer 7", ""},
                          {"call Notify \"Delete?\" 36 \"\"", "Notify -> 7\n"},
                          {"call Notify \"Say \"\"yes\"\"\\r\\nnow\" 0 \"Mine\"", "Notify -> 1\n"},
                          {"messages",
                           "MSGBOX style=36 title=\"Tabulo\" text=\"Delete?\"\n"
                           "MSGBOX style=0 title=\"Mine\" text=\"Say \"\"yes\"\"\\r\\nnow\"\n"},
                          {"messages", ""},
                          {"call Notify \"Last\" 4", "Notify -> 6\n"},
                          {"messages", "MSGBOX style=4 title=\"Tabulo\" text=\"Last\"\n"}});
  EXPECT_EQ(host.container().pending_answers(), 0u);
}

TEST(ScriptRunner, SignAndCancelAnswerTheNextDialogsInOrder) {
  FakeScriptHost host;
  Ran(host, "answer sign alice \"pass word\" \"Batch \"\"7\"\"\"\nanswer CANCEL\nanswer 7\n");
  auto& container = host.container();
  EXPECT_EQ(container.pending_answers(), 1u);
  ASSERT_EQ(container.pending_dialog_answers(), 2u);
  std::vector<Variant> args{Variant(""), Variant(""), Variant(""), Variant("prompt")};
  Variant result = container.ShowDialog("ESignature", args);
  EXPECT_EQ(result, Variant::Boolean(true));
  EXPECT_EQ(args, (std::vector<Variant>{Variant("alice"), Variant("pass word"),
                                        Variant("Batch \"7\""), Variant("prompt")}));
  EXPECT_THROW(container.ShowDialog("ESignature", args), platform::ComError);
  ASSERT_EQ(container.dialogs().size(), 2u);
  EXPECT_FALSE(container.dialogs()[0].cancelled);
  EXPECT_TRUE(container.dialogs()[1].cancelled);
  EXPECT_EQ(container.MsgBox("Sure?", platform::kMbYesNo, "Q"), platform::kIdNo);
}

TEST(ScriptRunner, DebugPrintsEachLineWithoutItsLineEndOnce) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"call Trace \"one\\r\\ntwo\\r\\n\"", ""},
                          {"call Trace \"three\\r\\n\"", ""},
                          {"debug", "one\ntwo\nthree\n"},
                          {"debug", ""},
                          {"call Trace \"half\"", ""},
                          {"call Trace \"way\\r\\n\\r\\nunix\\n\"", ""},
                          {"debug", "halfway\n\nunix\n"}});
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
  ExpectFault(host, "click 1\n", 1, "click takes 2 arguments, given 1 (click ROW COL)");

  CommandTable table;
  EXPECT_FALSE(static_cast<bool>(table.Add("Show", {"show", 0, 0, [](CommandContext&) {}}).run));
  ASSERT_NE(table.Find("SHOW"), nullptr);
  Command old = table.Add("show", {"show X", 1, 1, nullptr});
  EXPECT_EQ(old.usage, "show");
  EXPECT_TRUE(static_cast<bool>(old.run));
  EXPECT_EQ(table.Find("show")->usage, "show X");
  EXPECT_EQ(table.Find("hide"), nullptr);
  EXPECT_EQ(table.Names(), (std::vector<std::string>{"show"}));
}

TEST(ScriptRunner, ScriptFilesRunAndUnreadableOnesExit2) {
  host::testing::TestFolder folder;
  std::ofstream(folder / "session.tab", std::ios::binary)
      << "# a session\r\nlet Count 3\r\nget Count\r\nget Bogus\r\n";
  const std::string missing = (folder / "missing.tab").string();
  const std::pair<std::string, std::string> cases[] = {
      {(folder / "session.tab").string(), "line 4: unknown member 'Bogus' of SampleControl\n"},
      {missing, "tabulo script: cannot read '" + missing + "'\n"},
      {folder.path().string(), "tabulo script: cannot read '" + folder.path().string() + "'\n"}};
  for (const auto& [path, error] : cases) {
    FakeScriptHost host;
    std::ostringstream out, err;
    EXPECT_EQ(RunScriptFile(path, host, out, err), 2);
    EXPECT_EQ(out.str(), path == cases[0].first ? "Count = 3\n" : "");
    EXPECT_EQ(err.str(), error);
  }
}

}  // namespace
}  // namespace tabulo::container
