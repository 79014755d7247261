#include "script_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/fake_script_host.h"
#include "script_error.h"

namespace tabulo::app {
namespace {

using test_support::FakeScriptHost;
using test_support::Outcome;
using test_support::RunScript;

// Joins texts (operator+ on literals trips a false GCC 12 -Wrestrict warning).
std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

Outcome RunScript(const std::string& script) {
  FakeScriptHost host;
  return RunScript(host, script);
}

TEST(ScriptRunner, ShowSizeAndModeReachTheHost) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "show\nsize 12000 4800\nmode run\nshow\nMODE Design\nshow\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "[9600x3600 design at=0 text=first]\n"
            "[12000x4800 run at=0 text=first]\n"
            "[12000x4800 design at=0 text=first]\n");
  EXPECT_FALSE(host.container().AmbientUserMode());
}

TEST(ScriptRunner, LetGetAndCallGoThroughAutomationByName) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "let Text \"a \"\"b\"\"\"\n"
                        "get text\n"
                        "let Count 0x10\n"
                        "get COUNT\n"
                        "let Ratio 0.1\n"
                        "get Ratio\n"
                        "let Flag true\n"
                        "get Flag\n"
                        "get Amount\n"
                        "get Born\n"
                        "get Picture\n"
                        "let Cell 2 3 {1, \"x\"}\n"
                        "get Cell 2 3\n"
                        "get Cell 0 0\n"
                        "call Adjust 5\n"
                        "call Adjust 5 10\n"
                        "call Nop\n"
                        "call Echo {{1, 2}, {3, 4}}\n"
                        "get Echo \"x\\ty\"\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "text = \"a \"\"b\"\"\"\n"
            "COUNT = 16\n"
            "Ratio = 0.1\n"
            "Flag = True\n"
            "Amount = 12.3456\n"
            "Born = #2026-01-05 06:00:00#\n"
            "Picture = Nothing\n"
            "Cell = {1, \"x\"}\n"
            "Cell = Empty\n"
            "Adjust -> 5\n"
            "Adjust -> 5\n"
            "Echo -> {{1, 2}, {3, 4}}\n"
            "Echo = \"x\\ty\"\n");
  EXPECT_EQ(host.sample().text, "a \"b\"");
  EXPECT_EQ(host.sample().nops, 1);
}

TEST(ScriptRunner, RaisedErrorsArePrintedAsResultsAndTheScriptGoesOn) {
  Outcome r = RunScript(
      "call Fail\n"
      "let Version \"2.0\"\n"
      "let Small 40000\n"
      "let Count \"abc\"\n"
      "call Adjust\n"
      "call Adjust 1 2 3\n"
      "let Picture Nothing\n"
      "scroll -1\n"
      "get Count\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "ERROR -2147217900: Syntax error near \"FROM\"\n"
            "ERROR 450: Wrong number of arguments or invalid property assignment\n"
            "ERROR 6: Overflow\n"
            "ERROR 13: Type mismatch\n"
            "ERROR 450: Wrong number of arguments or invalid property assignment\n"
            "ERROR 450: Wrong number of arguments or invalid property assignment\n"
            "ERROR 450: Wrong number of arguments or invalid property assignment\n"
            "ERROR 380: Invalid property value\n"
            "Count = 0\n");
}

// Each script's fault is on its last line: what ran before it printed, the rest did not run.
TEST(ScriptRunner, FaultsOfTheScriptStopItWithTheLineNumberAndExit2) {
  struct Case {
    std::string bad_line;
    std::string message;
  };
  const Case cases[] = {
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
       "answer takes 1 argument to 4, given 0 (answer N | answer sign USER PASSWORD "
       "REASON | answer cancel)"},
  };
  for (const Case& c : cases) {
    Outcome r = RunScript(Cat({"get Count\n# comment\n\n", c.bad_line, "\nget Text\n"}));
    EXPECT_EQ(r.code, 2) << c.bad_line;
    EXPECT_EQ(r.out, "Count = 0\n") << c.bad_line;
    EXPECT_EQ(r.err, Cat({"line 4: ", c.message, "\n"}));
  }
}

TEST(ScriptRunner, TickAdvancesTheVirtualClockThroughTimersAndPostedWork) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "call StartTicking 100\n"
                        "call PostText \"later\"\n"
                        "get Text\n"
                        "tick 250\n"
                        "get Ticks\n"
                        "get Text\n"
                        "tick 49\n"
                        "get Ticks\n"
                        "tick 1\n"
                        "get Ticks\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Text = \"first\"\n"
            "Ticks = 2\n"
            "Text = \"later\"\n"
            "Ticks = 2\n"
            "Ticks = 3\n");
  EXPECT_EQ(host.container().clock().NowMillis(), 300);
}

TEST(ScriptRunner, ScrollReachesTheHost) {
  Outcome r = RunScript("scroll 0x7FFFFFFF\nshow\n");
  EXPECT_EQ(r.out, "[9600x3600 design at=2147483647 text=first]\n");
}

TEST(ScriptRunner, AnswersAreQueuedAndMessagesDrainSinceTheLastCall) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "answer 7\n"
                        "call Notify \"Delete?\" 36 \"\"\n"
                        "call Notify \"Say \"\"yes\"\"\\r\\nnow\" 0 \"Mine\"\n"
                        "messages\n"
                        "messages\n"
                        "call Notify \"Last\" 4\n"
                        "messages\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Notify -> 7\n"
            "Notify -> 1\n"
            "MSGBOX style=36 title=\"Tabulo\" text=\"Delete?\"\n"
            "MSGBOX style=0 title=\"Mine\" text=\"Say \"\"yes\"\"\\r\\nnow\"\n"
            "Notify -> 6\n"
            "MSGBOX style=4 title=\"Tabulo\" text=\"Last\"\n");
  EXPECT_EQ(host.container().pending_answers(), 0u);
}

TEST(ScriptRunner, DebugPrintsEachLineWithoutItsLineEndOnce) {
  Outcome r = RunScript(
      "call Trace \"one\\r\\ntwo\\r\\n\"\n"
      "call Trace \"three\\r\\n\"\n"
      "debug\n"
      "debug\n"
      "call Trace \"half\"\n"
      "call Trace \"way\\r\\n\\r\\nunix\\n\"\n"
      "debug\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "one\ntwo\nthree\nhalfway\n\nunix\n");
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
                           if (c.Arg(0) == "cancel") {
                             c.out << "cancel queued\n";
                             return;
                           }
                           number_answer.run(c);
                         }});
  }
  std::vector<std::pair<int32_t, int32_t>> clicks;
};

TEST(ScriptRunner, HostsAddCommandsAndWrapBuiltIns) {
  ExtendingHost host;
  Outcome r = RunScript(host, "click 1 2\nanswer cancel\nanswer 2\nCLICK 3 4\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "cancel queued\n");
  EXPECT_EQ(host.clicks, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {3, 4}}));
  EXPECT_EQ(host.container().pending_answers(), 1u);
  Outcome bad = RunScript(host, "click 1\n");
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err, "line 1: click takes 2 arguments, given 1 (click ROW COL)\n");
}

TEST(ScriptRunner, CommandTableFindsNamesInAnyCaseAndReturnsWhatItReplaced) {
  CommandTable table;
  EXPECT_FALSE(static_cast<bool>(table.Add("Show", {"show", 0, 0, [](CommandContext&) {}}).run));
  ASSERT_NE(table.Find("SHOW"), nullptr);
  EXPECT_EQ(table.Find("show")->usage, "show");
  Command old = table.Add("show", {"show X", 1, 1, nullptr});
  EXPECT_EQ(old.usage, "show");
  EXPECT_TRUE(static_cast<bool>(old.run));
  EXPECT_EQ(table.Find("show")->usage, "show X");
  EXPECT_EQ(table.Find("hide"), nullptr);
  EXPECT_EQ(table.Names(), (std::vector<std::string>{"show"}));
}

std::filesystem::path TempDir() {
  const char* base = std::getenv("TABULO_TEST_TMP");
  std::filesystem::path dir =
      std::filesystem::path(base ? base : std::filesystem::temp_directory_path().string()) /
      "script_runner_test";
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(ScriptRunner, ScriptFilesRunAndUnreadableOnesExit2) {
  std::filesystem::path file = TempDir() / "session.tab";
  {
    std::ofstream f(file, std::ios::binary);
    f << "# a session\r\nlet Count 3\r\nget Count\r\nget Bogus\r\n";
  }
  FakeScriptHost host;
  std::ostringstream out, err;
  EXPECT_EQ(RunScriptFile(file.string(), host, out, err), 2);
  EXPECT_EQ(out.str(), "Count = 3\n");
  EXPECT_EQ(err.str(), "line 4: unknown member 'Bogus' of SampleControl\n");

  std::ostringstream out2, err2;
  std::string missing = (TempDir() / "missing.tab").string();
  EXPECT_EQ(RunScriptFile(missing, host, out2, err2), 2);
  EXPECT_EQ(err2.str(), Cat({"tabulo script: cannot read '", missing, "'\n"}));

  std::ostringstream out3, err3;
  EXPECT_EQ(RunScriptFile(TempDir().string(), host, out3, err3), 2);
  EXPECT_NE(err3.str().find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace tabulo::app
