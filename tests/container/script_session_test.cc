// The session commands of `tabulo script` against the fake host: the event log following
// later controls, calls by dispatch id, the commands a host without sessions refuses, and
// the operator's typing into the grid's editor.
// Their faults are in script_runner_test.cc's fault table; `set` is in its first test.
#include <gtest/gtest.h>

#include <sstream>

#include "container/fake_script_host.h"
#include "container/script/events.h"
#include "container/script/input.h"
#include "container/script/runner.h"

namespace tabulo::container {
namespace {

using platform::Variant;
using test_support::ExpectFault;
using test_support::ExpectTranscript;
using test_support::FakeScriptHost;
using test_support::Ran;

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
