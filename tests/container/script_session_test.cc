// The session commands of `tabulo script` against the fake host: more controls, the event log
// following them, saving and loading, object assignments, the host's notifications and calls
// by dispatch id. Their faults are in script_runner_test.cc's fault table.
#include <gtest/gtest.h>

#include <sstream>

#include "container/fake_script_host.h"
#include "container/script/runner.h"
#include "platform/widgets/std_font.h"

namespace tabulo::container {
namespace {

using test_support::ExpectFault;
using test_support::ExpectTranscript;
using test_support::FakeScriptHost;
using test_support::Ran;

TEST(ScriptSession, NewMakesTheNewControlCurrentAndControlSwitchesBack) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"let Text \"one\"", ""},
                          {"new", ""},
                          {"get Text", "Text = \"first\"\n"},  // new-instance value of control 2
                          {"let Text \"two\"", ""},
                          {"control 1", ""},
                          {"get Text", "Text = \"one\"\n"},
                          {"CONTROL 2", ""},
                          {"show", "[9600x3600 design at=0 text=two]\n"}});
  EXPECT_EQ(host.control_count(), 2);
  EXPECT_EQ(host.sample(1).text, "one");
  EXPECT_EQ(host.sample(2).text, "two");
}

TEST(ScriptSession, EventsOfLaterControlsCarryTheirNumber) {
  FakeScriptHost host;
  std::ostringstream out, err;
  ScriptRunner runner(host, out, err);
  std::istringstream first("call Nop\nnew\nnew\n"), events("events\nevents\n");
  runner.Run(first);
  host.sample(3).Raise("DblClick", {});
  host.sample(1).Raise("Click", {platform::Variant(int32_t{1}), platform::Variant(int32_t{2})});
  host.sample(2).Raise("KeyPress", {platform::Variant(int16_t{65})});
  EXPECT_EQ(runner.Run(events), 0) << err.str();
  // The second `events` prints nothing: the first took them all.
  EXPECT_EQ(out.str(), "[3] EVENT DblClick()\nEVENT Click(1, 2)\n[2] EVENT KeyPress(65)\n");
}

TEST(ScriptSession, EndLeavesNoControlUntilOneIsSelectedOrCreated) {
  FakeScriptHost host;
  test_support::Outcome r =
      RunScript(host, "end\ncontrol 1\nget Text\nend\nnew\nget Count\nend\nget Text\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "Text = \"first\"\nCount = 0\n");
  EXPECT_EQ(r.err, "line 8: no current control\n");
  EXPECT_TRUE(host.sample(1).ended);
  EXPECT_TRUE(host.sample(2).ended);
}

TEST(ScriptSession, SaveAndLoadCarryTheControlIntoANewOneAndALoadErrorIsAResult) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"load \"missing.ctl\"", "ERROR 53: File not found (missing.ctl)\n"},
                          {"let Text \"saved\"", ""},
                          {"let Count 7", ""},
                          {"save \"a b.ctl\"", ""},
                          {"let Text \"changed\"", ""},
                          {"end", ""},
                          {"load \"a b.ctl\"", ""},
                          {"get Text", "Text = \"saved\"\n"},
                          {"get Count", "Count = 7\n"},
                          {"save plain.ctl", ""},  // a bare word is the name as written
                          {"load plain.ctl", ""},
                          {"get Text", "Text = \"saved\"\n"}});
  EXPECT_EQ(host.control_count(), 3);  // the failed load placed none
  EXPECT_EQ(host.sample(1).text, "changed");
}

// "name size-in-ten-thousandths [bold] [italic]" of the sample's Picture, a StdFont.
std::string FontOf(FakeScriptHost& host) {
  auto font = std::dynamic_pointer_cast<platform::StdFont>(host.sample().picture);
  if (!font) return "no font";
  return font->name() + " " + std::to_string(font->size_scaled()) + (font->bold() ? " bold" : "") +
         (font->italic() ? " italic" : "");
}

TEST(ScriptSession, SetFontAssignsANewStdFontByReferenceAndBadValuesAreTheFontsErrors) {
  FakeScriptHost host;
  EXPECT_EQ(Ran(host, "set Picture font \"Courier New\" 10 bold\nget Picture\n"),
            "Picture = Object(StdFont)\n");
  EXPECT_EQ(FontOf(host), "Courier New 100000 bold");
  auto first = host.sample().picture;
  Ran(host, "set picture FONT Arial 8.25 Italic BOLD\n");
  EXPECT_EQ(FontOf(host), "Arial 82500 bold italic");
  EXPECT_NE(host.sample().picture, first);  // a new object each time
  Ran(host, "set Picture font Arial 9\n");
  EXPECT_EQ(FontOf(host), "Arial 90000");

  FakeScriptHost fresh;
  EXPECT_EQ(Ran(fresh, "set Picture font \"\" 10\nset Picture font Arial 0\nget Picture\n"),
            "ERROR 380: Invalid property value\nERROR 380: Invalid property value\n"
            "Picture = Nothing\n");
}

TEST(ScriptSession, SetSecMgrAssignsTheHostsSecurityManagerWhereReferencesAreTaken) {
  FakeScriptHost host;
  EXPECT_EQ(Ran(host, "set Picture secmgr\nget Picture\n"), "Picture = Object(SecurityManager)\n");
  EXPECT_EQ(host.sample().picture, host.secmgr());
  // Text takes no reference assignment: the object's error, and Text keeps its value.
  std::string out = Ran(host, "set Text secmgr\nget Text\n");
  EXPECT_EQ(out.rfind("ERROR ", 0), 0u) << out;
  EXPECT_NE(out.find("\nText = \"first\"\n"), std::string::npos) << out;
}

TEST(ScriptSession, LanguageAndServerChangeReachTheHost) {
  FakeScriptHost host;
  EXPECT_EQ(Ran(host,
                "language 1031\nlanguage 0x40C\n"
                "server-change Local PLANT-02\nserver-change \"Backup\" \"SPARE\"\n"),
            "");
  EXPECT_EQ(host.languages, (std::vector<int32_t>{1031, 1036}));
  EXPECT_EQ(host.server_changes, (std::vector<std::string>{"Local/PLANT-02", "Backup/SPARE"}));
}

TEST(ScriptSession, InvokeReadsPropertiesAndCallsMethodsByDispatchId) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"let Count 5", ""},
                          {"invoke 2", "Count = 5\n"},
                          {"invoke 0x15 \"hi\"", "Echo -> \"hi\"\n"},
                          {"invoke 22", ""},  // Nop: Empty prints nothing
                          {"let Cell 1 2 \"x\"", ""},
                          {"invoke 11 1 2", "Cell = \"x\"\n"},  // the indexed Cell
                          {"invoke 0x17", "ERROR -2147217900: Syntax error near \"FROM\"\n"}});
  EXPECT_EQ(host.sample().nops, 1);
  // An id the object does not list is called, so the object's own error shows.
  std::string out = Ran(host, "invoke 999\n");
  EXPECT_EQ(out.rfind("ERROR 438: ", 0), 0u) << out;
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
  for (std::string line : {"new", "load a.ctl", "save a.ctl", "end", "set Picture secmgr",
                           "language 1031", "server-change Local PLANT-01"}) {
    OneControlHost host;
    std::string what = line.starts_with("set") ? "secmgr" : line;
    ExpectFault(host, line + "\n", 1, "this host does not support '" + what + "'");
  }
  OneControlHost host;
  ExpectFault(host, "control 2\n", 1, "no control 2 (the session has 1)");
}

}  // namespace
}  // namespace tabulo::container
