// The session commands of `tabulo script` against the fake host: more controls, the event log
// following them, saving and loading, object assignments, the host's notifications, calls by
// dispatch id, and the faults each command reports.
#include <gtest/gtest.h>

#include <sstream>

#include "app/fake_script_host.h"
#include "platform/widgets/std_font.h"
#include "script_runner.h"

namespace tabulo::app {
namespace {

using test_support::FakeScriptHost;
using test_support::Outcome;
using test_support::RunScript;

// A fault of the script on `line`: exit status 2 and the message on the error stream.
void ExpectFault(const std::string& script, int line, const std::string& message_part) {
  FakeScriptHost host;
  Outcome r = RunScript(host, script);
  EXPECT_EQ(r.code, 2) << script;
  EXPECT_EQ(r.err.rfind("line " + std::to_string(line) + ": ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(message_part), std::string::npos) << r.err;
}

TEST(ScriptSession, NewMakesTheNewControlCurrentAndControlSwitchesBack) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "let Text \"one\"\n"
                        "new\n"
                        "get Text\n"
                        "let Text \"two\"\n"
                        "control 1\n"
                        "get Text\n"
                        "CONTROL 2\n"
                        "show\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Text = \"first\"\n"  // new-instance value of control 2
            "Text = \"one\"\n"
            "[9600x3600 design at=0 text=two]\n");
  EXPECT_EQ(host.control_count(), 2);
  EXPECT_EQ(host.sample(1).text, "one");
  EXPECT_EQ(host.sample(2).text, "two");
}

TEST(ScriptSession, EventsOfLaterControlsCarryTheirNumber) {
  FakeScriptHost host;
  std::istringstream in("call Nop\n");
  std::ostringstream out, err;
  ScriptRunner runner(host, out, err);
  runner.Run(in);
  std::istringstream more("new\nnew\n");
  runner.Run(more);
  host.sample(3).Raise("DblClick", {});
  host.sample(1).Raise("Click", {platform::Variant(int32_t{1}), platform::Variant(int32_t{2})});
  host.sample(2).Raise("KeyPress", {platform::Variant(int16_t{65})});
  std::istringstream events("events\nevents\n");
  EXPECT_EQ(runner.Run(events), 0) << err.str();
  // The second `events` prints nothing: the first took them all.
  EXPECT_EQ(out.str(),
            "[3] EVENT DblClick()\n"
            "EVENT Click(1, 2)\n"
            "[2] EVENT KeyPress(65)\n");
}

TEST(ScriptSession, EndLeavesNoControlUntilOneIsSelectedOrCreated) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "end\ncontrol 1\nget Text\nend\nnew\nget Count\nend\nget Text\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "Text = \"first\"\nCount = 0\n");
  EXPECT_EQ(r.err, "line 8: no current control\n");
  EXPECT_TRUE(host.sample(1).ended);
  EXPECT_TRUE(host.sample(2).ended);

  ExpectFault("end\nshow\n", 2, "no current control");
  ExpectFault("end\nend\n", 2, "no current control");
  ExpectFault("end\nsave \"x.ctl\"\n", 2, "no current control");
  ExpectFault("end\nset Picture secmgr\n", 2, "no current control");
}

TEST(ScriptSession, ControlOutOfRangeOrNotANumberIsAFault) {
  ExpectFault("control 2\n", 1, "no control 2 (the session has 1)");
  ExpectFault("new\ncontrol 3\n", 2, "no control 3 (the session has 2)");
  ExpectFault("control 0\n", 1, "out of range");
  ExpectFault("control -1\n", 1, "out of range");
  ExpectFault("control one\n", 1, "bad value");
  ExpectFault("control 1.5\n", 1, "whole number");
  ExpectFault("control\n", 1, "control takes 1 argument, given 0 (control N)");
  ExpectFault("new 2\n", 1, "new takes 0 arguments, given 1");
}

TEST(ScriptSession, SaveAndLoadCarryTheControlIntoANewOne) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "let Text \"saved\"\nlet Count 7\n"
                        "save \"a b.ctl\"\n"
                        "let Text \"changed\"\n"
                        "end\n"
                        "load \"a b.ctl\"\n"
                        "get Text\nget Count\n"
                        "save plain.ctl\n"  // a bare word is the name as written
                        "load plain.ctl\n"
                        "get Text\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Text = \"saved\"\nCount = 7\nText = \"saved\"\n");
  EXPECT_EQ(host.control_count(), 3);
  EXPECT_EQ(host.sample(1).text, "changed");
}

TEST(ScriptSession, ALoadErrorIsAResultAndPlacesNoControl) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "load \"missing.ctl\"\nget Text\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "ERROR 53: File not found (missing.ctl)\nText = \"first\"\n");
  EXPECT_EQ(host.control_count(), 1);

  ExpectFault("load\n", 1, "load takes 1 argument, given 0 (load FILE)");
  ExpectFault("save a b\n", 1, "save takes 1 argument, given 2");
  ExpectFault("load \"open\n", 1, "");
}

TEST(ScriptSession, SetFontAssignsANewStdFontByReference) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "set Picture font \"Courier New\" 10 bold\n"
                        "get Picture\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Picture = Object(StdFont)\n");
  auto font = std::dynamic_pointer_cast<platform::StdFont>(host.sample().picture);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->name(), "Courier New");
  EXPECT_EQ(font->size(), 10.0);
  EXPECT_TRUE(font->bold());
  EXPECT_FALSE(font->italic());

  RunScript(host, "set picture FONT Arial 8.25 Italic BOLD\n");
  auto second = std::dynamic_pointer_cast<platform::StdFont>(host.sample().picture);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, font);  // a new object each time
  EXPECT_EQ(second->name(), "Arial");
  EXPECT_EQ(second->size_scaled(), 82500);
  EXPECT_TRUE(second->bold());
  EXPECT_TRUE(second->italic());

  RunScript(host, "set Picture font Arial 9\n");
  auto plain = std::dynamic_pointer_cast<platform::StdFont>(host.sample().picture);
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->bold());
  EXPECT_FALSE(plain->italic());
}

TEST(ScriptSession, ABadFontValueIsTheFontsErrorAndAssignsNothing) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "set Picture font \"\" 10\nset Picture font Arial 0\nget Picture\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "ERROR 380: Invalid property value\n"
            "ERROR 380: Invalid property value\n"
            "Picture = Nothing\n");
}

TEST(ScriptSession, SetFaults) {
  ExpectFault("set Picture font Arial\n", 1, "font takes NAME SIZE [bold] [italic]");
  ExpectFault("set Picture font Arial big\n", 1, "bad value in argument 4 of set");
  ExpectFault("set Picture font Arial \"10\"\n", 1, "font size must be a number");
  ExpectFault("set Picture font Arial 10 bold bold\n", 1, "bold or italic, once each");
  ExpectFault("set Picture font Arial 10 underline\n", 1, "given underline");
  ExpectFault("set Picture window\n", 1, "font NAME SIZE [bold] [italic] or secmgr, given window");
  ExpectFault("set Picture secmgr now\n", 1, "secmgr takes no more arguments");
  ExpectFault("set Bogus secmgr\n", 1, "unknown member 'Bogus' of SampleControl");
  ExpectFault("set Picture\n", 1, "set takes 2 arguments to 6, given 1");
}

TEST(ScriptSession, SetSecMgrAssignsTheHostsSecurityManager) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "set Picture secmgr\nget Picture\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Picture = Object(SecurityManager)\n");
  EXPECT_EQ(host.sample().picture, host.secmgr());
}

TEST(ScriptSession, SetOnAPropertyWithoutReferenceAssignmentIsTheObjectsError) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "set Text secmgr\nget Text\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("ERROR ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Text = \"first\"\n"), std::string::npos);
}

TEST(ScriptSession, LanguageAndServerChangeReachTheHost) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "language 1031\nlanguage 0x40C\n"
                        "server-change Local PLANT-02\nserver-change \"Backup\" \"SPARE\"\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(host.languages, (std::vector<int32_t>{1031, 1036}));
  EXPECT_EQ(host.server_changes, (std::vector<std::string>{"Local/PLANT-02", "Backup/SPARE"}));

  ExpectFault("language 0\n", 1, "out of range");
  ExpectFault("language German\n", 1, "bad value");
  ExpectFault("language\n", 1, "language takes 1 argument");
  ExpectFault("server-change Local PLANT-09\n", 1, "no server \"PLANT-09\" in cluster \"Local\"");
  ExpectFault("server-change Nowhere PLANT-01\n", 1, "in cluster \"Nowhere\"");
  ExpectFault("server-change Local\n", 1, "server-change takes 2 arguments, given 1");
}

TEST(ScriptSession, InvokeReadsPropertiesAndCallsMethodsByDispatchId) {
  FakeScriptHost host;
  Outcome r = RunScript(host,
                        "let Count 5\n"
                        "invoke 2\n"            // Count
                        "invoke 0x15 \"hi\"\n"  // Echo
                        "invoke 22\n"           // Nop: Empty prints nothing
                        "let Cell 1 2 \"x\"\n"
                        "invoke 11 1 2\n"  // the indexed Cell
                        "invoke 0x17\n");  // Fail
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Count = 5\n"
            "Echo -> \"hi\"\n"
            "Cell = \"x\"\n"
            "ERROR -2147217900: Syntax error near \"FROM\"\n");
  EXPECT_EQ(host.sample().nops, 1);
}

TEST(ScriptSession, InvokeOfAnUnknownIdIsTheObjectsErrorAndBadIdsAreFaults) {
  FakeScriptHost host;
  Outcome r = RunScript(host, "invoke 999\nget Text\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("ERROR 438: ", 0), 0u) << r.out;

  ExpectFault("invoke Count\n", 1, "bad value");
  ExpectFault("invoke \"2\"\n", 1, "dispatch id (0x... or decimal), given \"2\"");
  ExpectFault("invoke 2.5\n", 1, "dispatch id");
  ExpectFault("invoke\n", 1, "invoke takes at least 1 argument");
}

// A host that holds one control only keeps the defaults: the session commands name
// themselves as unsupported instead of doing something else.
class OneControlHost : public ScriptHost {
 public:
  platform::Dispatch& control() override { return inner_.control(); }
  platform::HeadlessContainer& container() override { return inner_.container(); }
  void Size(int32_t, int32_t) override {}
  void Scroll(int32_t) override {}
  std::string Render() override { return {}; }
  std::vector<std::string> TakeDebugOutput() override { return {}; }

 private:
  FakeScriptHost inner_;
};

TEST(ScriptSession, AHostWithoutSessionsReportsTheCommandUnsupported) {
  for (const char* line : {"new", "load a.ctl", "save a.ctl", "end", "set Picture secmgr",
                           "language 1031", "server-change Local PLANT-01"}) {
    OneControlHost host;
    std::istringstream in(std::string(line) + "\n");
    std::ostringstream out, err;
    EXPECT_EQ(ScriptRunner(host, out, err).Run(in), 2) << line;
    EXPECT_NE(err.str().find("this host does not support"), std::string::npos) << err.str();
  }
  OneControlHost host;
  std::istringstream in("control 2\n");
  std::ostringstream out, err;
  EXPECT_EQ(ScriptRunner(host, out, err).Run(in), 2);
  EXPECT_EQ(err.str(), "line 1: no control 2 (the session has 1)\n");
}

}  // namespace
}  // namespace tabulo::app
