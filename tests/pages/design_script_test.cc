// The property sheet (the control's four pages from the library's class factories, in the
// control's order, initialised, applied when changed, ended on close) and the designer's
// script commands against a hosting session: what they print, and the faults that stop a
// script (an unknown page or widget, a command that does not suit the widget, a command
// without an open sheet).
#include <gtest/gtest.h>

#include <sstream>

#include "container/script/runner.h"
#include "container/session_script_host.h"
#include "library/classes.h"
#include "page_fixture.h"

namespace tabulo::pages::testing {
namespace {

TEST_F(PageTest, CreatesTheControlsPagesInOrderThroughTheLibrary) {
  Show<platform::PropertyPage>();
  const std::pair<const char*, const char*> pages[] = {{"UsrControlProperties", "General"},
                                                       {"DSNSelection", "Data Source Properties"},
                                                       {"ColumnProperties", "Column Properties"},
                                                       {"eSignature", "1210 Not Found"}};
  ASSERT_EQ(sheet().page_count(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(pages[i].first);
    platform::PropertyPage& page = sheet().page(i);
    EXPECT_EQ(page.ClassName(), pages[i].first);
    EXPECT_EQ(page.caption(), pages[i].second);
    EXPECT_EQ(page.SelectedControls().front().get(), &ctl());
    library::ClassFactory* factory = library::FindClass(std::string("VELTRA.") + pages[i].first);
    ASSERT_NE(factory, nullptr);
    auto made = factory->CreateInstance(box());
    EXPECT_EQ(made->ClassName(), pages[i].first);
    EXPECT_EQ(factory->QueryInterface(made, std::string("_") + pages[i].first), made);
  }
  // Changed is the page's automation property; Apply reaches only changed pages.
  platform::PropertyPage& general = sheet().page(0);
  general.Put("Changed", platform::Variant(true));
  ctl().SetAllowUpdates(true);  // the page still shows it unticked
  Debug();
  sheet().Apply();
  EXPECT_EQ(Debug(), (std::vector<std::string>{"UsrControlProperties.ApplyChanges()"}));
  EXPECT_FALSE(ctl().AllowUpdates());
  sheet().Close();
  EXPECT_TRUE(sheet().closed());
  EXPECT_EQ(sheet().current(), nullptr);
}

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
