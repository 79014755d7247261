// The designer's script commands against a hosting session: what they print, and the
// faults that stop a script (an unknown page or widget, a command that does not suit the
// widget, a command without an open sheet).
#include <gtest/gtest.h>

#include <sstream>

#include "container/script/runner.h"
#include "container/session_script_host.h"
#include "page_fixture.h"

namespace tabulo::pages::testing {
namespace {

using DesignScriptTest = PageTest;

TEST_F(DesignScriptTest, CommandsPrintWhatTheWidgetsHold) {
  container::SessionScriptHost host(*session_);
  std::ostringstream out, err;
  container::ScriptRunner runner(host, out, err);
  std::istringstream script(
      "page ColumnProperties\n"
      "click Grid 2 1\n"
      "key Down\n"
      "cell Grid 2 1\n"
      "page eSignature\n"
      "check chkESignatureRequired 1\n"
      "check chkESignatureRequired 1\n"
      "widget chkESignatureRequired\n"
      "selected cboReasonCategory\n"
      "page UsrControlProperties\n"
      "answer font \"Arial\" 10 italic underline\n"
      "press btnFont\n"
      "apply\n"
      "get Font.Underline\n"
      "widget lblFont\n");
  ASSERT_EQ(runner.Run(script), 0) << err.str();
  EXPECT_EQ(out.str(),
            "Grid(2, 1) = \"False\"\n"
            "chkESignatureRequired = 1\n"
            "cboReasonCategory.ListIndex = -1\n"
            "Font.Underline = True\n"
            "lblFont = \"Font\"\n");
}

TEST_F(DesignScriptTest, FaultsStopTheScript) {
  const std::pair<std::string, std::string> rows[] = {
      {"fill txtSQL \"x\"", "fill: no property page or dialog is open (use page NAME)"},
      {"page Nowhere", "unknown page 'Nowhere'"},
      {"page DSNSelection\npress txtSQL", "press suits a button, not txtSQL"},
      {"page DSNSelection\nfill cboPreference \"x\"", "fill suits a text box or an editable"},
      {"page DSNSelection\nchoose lstTable 3", "lstTable has no entry 3"},
      {"page DSNSelection\nwidget nosuch", "unknown widget 'nosuch' on Data Source Properties"},
      {"apply", "apply: no property sheet is open"},
  };
  for (const auto& [script, message] : rows) {
    SCOPED_TRACE(script);
    container::SessionScriptHost host(*session_);
    std::ostringstream out, err;
    container::ScriptRunner runner(host, out, err);
    std::istringstream in(script);
    EXPECT_EQ(runner.Run(in), 2);
    EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace tabulo::pages::testing
