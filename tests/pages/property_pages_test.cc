// The property pages, the property sheet and the designer's script commands on a hosting
// session in design mode over a 20-row sample database. What the design_* acceptance scripts
// show of each page is not repeated here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "container/design_keys.h"
#include "container/property_sheet.h"
#include "container/sample_db.h"
#include "container/script/runner.h"
#include "container/session.h"
#include "container/session_script_host.h"
#include "control/host_state.h"
#include "host/test_folder.h"
#include "library/classes.h"
#include "localization/state.h"
#include "pages/column_properties.h"
#include "pages/dsn_selection.h"
#include "pages/esignature.h"
#include "pages/page_support.h"
#include "pages/usr_control_properties.h"

namespace tabulo::pages::testing {
namespace {

inline constexpr char kStatement[] = "SELECT Id, Customer, Qty FROM Orders";

class PageTest : public ::testing::Test {
 protected:
  PageTest() {
    container::WriteSampleDatabase(db(), 20);
    std::ofstream(folder_ / "host.json") << R"({"format": 1,
      "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                    "servers": [{"name": "PLANT-01"}]},
                   {"name": "Plant", "type": "DizuvAdar", "coordinator": "Plant",
                    "servers": [{"name": "PLANT-02"}]},
                   {"name": "Local Logging", "type": "Logging", "coordinator": "Local"}],
      "security": {"users": [], "reason_categories": ["Correction", "Maintenance"],
                   "audit_database": ")" + (folder_ / "audit.db").string() +
                                                R"("}})";
    container::SessionOptions options;
    options.host_config = (folder_ / "host.json").string();
    options.ui_language = 1033;
    session_ = std::make_unique<container::Session>(options);
    ctl_ = &session_->NewControl();
    ctl_->SetDSNname(db());
    ctl_->SetRecordSource(kStatement);
    ctl_->SetDataTable("Orders");
    // Declared to the host, the control queries at design time and connects to its server.
    ctl_->UserModeSet();
    ctl_->Refresh(false);
  }

  std::string db() const { return (folder_ / "sample.db").string(); }
  platform::HeadlessContainer& box() { return session_->container(); }
  control::TabuloCtl& ctl() { return *ctl_; }

  // Opens the sheet (once) and shows the page of class T.
  template <class T>
  T& Show() {
    if (!sheet_)
      sheet_ = std::make_unique<container::PropertySheet>(
          box(), std::shared_ptr<control::TabuloCtl>(std::shared_ptr<void>(), ctl_));
    for (size_t i = 0; i < sheet_->page_count(); ++i) {
      if (auto* page = dynamic_cast<T*>(&sheet_->page(i))) {
        sheet_->Show(*page);
        return *page;
      }
    }
    throw std::logic_error("no such page");
  }
  container::PropertySheet& sheet() { return *sheet_; }

  // The debug lines written since the last call, line ends and the control's prefix left off.
  std::vector<std::string> Debug() {
    std::vector<std::string> lines;
    const auto& all = box().debug_output();
    for (; debug_seen_ < all.size(); ++debug_seen_) {
      std::string line = all[debug_seen_];
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      lines.push_back(line.starts_with("Tabulo: ") ? line.substr(8) : line);
    }
    return lines;
  }
  // The texts of the message boxes shown since the last call.
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    const auto& all = box().message_boxes();
    for (; boxes_seen_ < all.size(); ++boxes_seen_) texts.push_back(all[boxes_seen_].text);
    return texts;
  }

  host::testing::TestFolder folder_;
  std::unique_ptr<container::Session> session_;
  control::TabuloCtl* ctl_ = nullptr;
  std::unique_ptr<container::PropertySheet> sheet_;
  size_t debug_seen_ = 0, boxes_seen_ = 0;
};

using platform::DialogAnswer;
using platform::Variant;

// The general page (its listing, a colour chosen and a wide interval: design_general).
using UsrControlPropertiesTest = PageTest;

TEST_F(UsrControlPropertiesTest, FirstPaintReadsTheControlAndMarksNothing) {
  ctl().SetAllowUpdates(true);
  ctl().LogEvent = true;
  ctl().LogEventType = "edit";
  ctl().LoggingClusterName = "Local Logging";
  ctl().SetAutoRefresh(true);
  ctl().SetRefreshInterval(1500);
  UsrControlProperties& page = Show<UsrControlProperties>();
  EXPECT_EQ(page.chkAllowUpdate.value(), 1);
  EXPECT_EQ(page.chkLogChanges.value(), 1);
  EXPECT_EQ(page.txtEventType.text(), "edit");
  EXPECT_EQ(page.cboLoggingCluster.text(), "Local Logging");
  EXPECT_TRUE(page.txtEventType.enabled());
  EXPECT_EQ(page.font(), ctl().Font());  // the control's own object
  EXPECT_FALSE(page.Changed());
  EXPECT_EQ(Debug(), (std::vector<std::string>{"FillCboLoggingCluster(Local Logging)"}));
}

TEST_F(UsrControlPropertiesTest, EnablingFollowsTheCheckBoxes) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  struct Row {
    int16_t allow, log, refresh;
    bool confirm, event_type, interval;
  };
  for (const Row& r : {Row{0, 1, 0, false, false, false}, Row{1, 0, 1, true, false, true},
                       Row{1, 1, 0, true, true, false}}) {
    SCOPED_TRACE(r.allow * 100 + r.log * 10 + r.refresh);
    page.chkAllowUpdate.set_value(r.allow);
    page.chkLogChanges.set_value(r.log);
    page.chkAutoRefresh.set_value(r.refresh);
    EXPECT_EQ(page.chkConfirmUpdate.enabled(), r.confirm);
    EXPECT_EQ(page.txtEventType.enabled(), r.event_type);
    EXPECT_EQ(page.cboLoggingCluster.enabled(), r.event_type);
    EXPECT_EQ(page.txtEventType.back_color(), FieldColor(r.event_type));
    EXPECT_EQ(page.txtRefreshInterval.enabled(), r.interval);
    EXPECT_EQ(page.updnRefreshInterval.enabled(), r.interval);
  }
  EXPECT_TRUE(page.Changed());
}

TEST_F(UsrControlPropertiesTest, IntervalTextIsNormalised) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  page.chkAutoRefresh.set_value(1);
  // Letters and a number past the 32-bit limit are in the design_general acceptance script.
  const std::pair<std::string, std::string> rows[] = {
      {"", "0"}, {"7.5", "8"}, {"-3", "0"}, {"2147483647", "2147483647"}};
  for (const auto& [typed, shown] : rows) {
    SCOPED_TRACE(typed);
    page.txtRefreshInterval.set_text(typed);
    EXPECT_EQ(page.txtRefreshInterval.text(), shown);
  }
  // Typing keeps digits only.
  page.txtRefreshInterval.set_text("1");
  page.txtRefreshInterval.set_sel_start(1);
  page.txtRefreshInterval.TypeText("x2");
  EXPECT_EQ(page.txtRefreshInterval.text(), "12");
}

// Every property in order, the debug line first.
TEST_F(UsrControlPropertiesTest, ApplyWritesEveryProperty) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  Debug();
  page.chkAllowUpdate.UserClick();
  page.chkConfirmUpdate.UserClick();
  page.chkAutoRefresh.UserClick();
  page.chkDisplayStatusBar.UserClick();
  sheet().Apply();
  EXPECT_EQ(Debug(), (std::vector<std::string>{"UsrControlProperties.ApplyChanges()"}));
  EXPECT_EQ(std::tuple(ctl().AllowUpdates(), ctl().ConfirmUpdates(), ctl().AutoRefresh(),
                       ctl().ShowStatusBar()),
            std::tuple(true, true, true, false));
  EXPECT_EQ(ctl().LoggingClusterName, "From Same Coordinator");
  EXPECT_FALSE(page.Changed());
}

// The chooser's answer comes back onto the control's font; a flag reported as 255 counts as
// set. A cancelled chooser still marks the page changed.
TEST_F(UsrControlPropertiesTest, FontChooserSetsTheFontInPlace) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  std::string face("Courier New\0junk", 16);
  box().QueueDialogAnswer(DialogAnswer::Ok(
      Variant(int32_t{1}),
      {Variant(int32_t{700}), Variant(int32_t{255}), Variant(int32_t{0}), Variant(int32_t{255}),
       Variant(face), Variant(int32_t{120}), Variant(int32_t{0})}));
  page.btnFont->UserClick();
  const platform::StdFont& f = *ctl().Font();
  EXPECT_EQ(std::tuple(f.name(), f.size(), f.bold(), f.italic(), f.underline(), f.strikethrough()),
            std::tuple("Courier New", 12.0, true, true, false, true));
  EXPECT_TRUE(page.Changed());
  EXPECT_EQ(box().dialogs().back().args[5], Variant(int32_t{82}));  // 8.25 pt in tenths
  page.SetChanged(false);
  page.btnBackColor->UserClick();  // nothing queued: cancelled
  EXPECT_TRUE(page.Changed());
  EXPECT_EQ(page.back_color(), ctl().BackColor());
}

// The data source page (its labels, listing, applying and leaving: design_source).
using DSNSelectionTest = PageTest;

TEST_F(DSNSelectionTest, FirstPaintThenTheServerTypeAndTheClusterChosen) {
  ctl().SetUser("ann");
  ctl().SetPassword("p w");
  DSNSelection& page = Show<DSNSelection>();
  EXPECT_TRUE(page.txtDatabase.locked());
  EXPECT_EQ(page.txtUID.text(), "ann");
  EXPECT_EQ(page.txtPWD.text(), "p w");
  EXPECT_EQ(page.cboCluster.list_count(), 2);
  EXPECT_EQ(page.cboCluster.text(), "Local");
  EXPECT_FALSE(page.Changed());
  page.cboCluster.SelectItem(1);
  sheet().Apply();
  EXPECT_EQ(ctl().ClusterName(), "Plant");
  EXPECT_FALSE(page.Changed());
  // Choosing the SQL server type opens the database box.
  page.cboPreference.SelectItem(1);
  EXPECT_FALSE(page.txtDatabase.locked());
  EXPECT_TRUE(page.Changed());
}

TEST_F(DSNSelectionTest, ListingTablesWithoutASourceOrAServer) {
  DSNSelection& page = Show<DSNSelection>();
  page.cmdListTables->UserClick();
  ASSERT_EQ(page.lstTable.list_count(), 1);
  // Without a data source the list is only emptied; without a data server it says why.
  page.cboDSNList.set_text("");
  page.cmdListTables->UserClick();
  EXPECT_EQ(page.lstTable.list_count(), 0);
  page.cboDSNList.set_text(db());
  control::SharedHost(box()).data_server.reset();
  page.cmdListTables->UserClick();
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "Error retrieving the data source list: Not connected to data server."});
}

// "(None)" is refused as an empty data source is (the empty one: design_source).
TEST_F(DSNSelectionTest, TheNoneDataSourceIsRefused) {
  DSNSelection& page = Show<DSNSelection>();
  page.cboDSNList.set_text("(None)");
  page.cmdApply->UserClick();
  EXPECT_EQ(Boxes(), std::vector<std::string>{"The system data source name must be entered."});
  EXPECT_TRUE(page.Changed());
  EXPECT_EQ(ctl().DSNname(), db());
}

// Without a statement the query builder does not open and says why (the rest of it:
// design_query_builder).
TEST_F(DSNSelectionTest, TheQueryBuilderNeedsATable) {
  DSNSelection& page = Show<DSNSelection>();
  page.txtSQL.set_text("");
  bool opened = false;
  box().SetModalRunner([&](platform::Form&) { opened = true; });
  page.cmdBuildQuery->UserClick();
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.txtSQL.text(), "");
  EXPECT_EQ(Boxes(),
            std::vector<std::string>{"You must first select a table from the table list."});
}

// The column page (its rows, a rename, a hidden column and applying: design_columns).
using ColumnPropertiesTest = PageTest;

// Clicking cells opens the editors; leaving a cell commits it. Widths take the number the
// text starts with, rounded half to even.
TEST_F(ColumnPropertiesTest, EditingCellsAndApplyingChangesTheControlsColumns) {
  ColumnProperties& page = Show<ColumnProperties>();
  platform::FlexGrid& g = page.Grid;
  EXPECT_EQ(g.CellBackColorAt(2, 1), kVisibleColor);
  EXPECT_EQ(g.FixedRows(), 1);
  EXPECT_FALSE(page.Changed());
  g.UserClick(1, 0);
  EXPECT_FALSE(page.txtEdit.visible());
  EXPECT_FALSE(page.cmbBool.visible());
  const std::pair<std::string, std::string> widths[] = {
      {"12abc", "12"}, {"x", "0"}, {"7.5", "8"}, {"99999", "8"}};
  for (const auto& [typed, stored] : widths) {
    SCOPED_TRACE(typed);
    g.UserClick(1, 0);  // clicking the current cell again enters nothing
    g.UserClick(3, 3);
    ASSERT_TRUE(page.txtEdit.visible());
    page.txtEdit.set_text(typed);
    page.txtEdit.PressKey(platform::kKeyReturn);
    EXPECT_EQ(g.TextMatrix(3, 3), stored);
    EXPECT_FALSE(page.txtEdit.visible());
  }
  EXPECT_EQ(Boxes().size(), 1u);  // 99999 does not fit a width: said, and the cell kept
  g.UserClick(2, 2);
  page.txtEdit.set_text("Client");
  g.UserClick(2, 1);  // leaving the caption cell commits it; the list opens on "True"
  ASSERT_TRUE(page.cmbBool.visible());
  EXPECT_EQ(page.cmbBool.list_index(), 0);
  page.cmbBool.SelectItem(1);
  EXPECT_EQ(g.TextMatrix(2, 1), "False");
  EXPECT_EQ(g.CellBackColorAt(2, 1), kHiddenColor);
  EXPECT_TRUE(page.Changed());
  sheet().Apply();
  const std::vector<control::GridColumn>& cols = ctl().Columns();
  EXPECT_EQ(cols[1].Caption, "Client");
  EXPECT_FALSE(cols[1].Visible);
  EXPECT_EQ(cols[2].Width, 8);
  EXPECT_FALSE(page.Changed());
}

TEST_F(ColumnPropertiesTest, ApplyingKeepsTheUniqueFlags) {
  platform::Variant columns = ctl().GridColumns();
  columns.AsArray().At(0, 4) = platform::Variant(true);
  ctl().SetGridArray(columns);
  ColumnProperties& page = Show<ColumnProperties>();  // the first paint applies
  page.SetChanged(true);
  sheet().Apply();
  EXPECT_TRUE(ctl().Columns()[0].Unique);
}

// An empty statement shows the header row only.
TEST_F(ColumnPropertiesTest, AnEmptyStatementLeavesTheHeaderRowAlone) {
  ColumnProperties& columns = Show<ColumnProperties>();
  ASSERT_EQ(columns.Grid.Rows(), 4);
  ctl().SetRecordSource("");
  Show<ColumnProperties>();
  EXPECT_EQ(columns.Grid.Rows(), 1);
}

// The eSignature page (its first paint and applying every property ticked: design_esignature).
using ESignatureTest = PageTest;

// Without a security manager the first paint still loads the rest of the page and says why
// the list is empty; the stored category is kept by applying.
TEST_F(ESignatureTest, WithoutASecurityManagerTheRestOfThePageLoads) {
  ctl().PutRef("m_SecMgr", platform::Variant(std::shared_ptr<platform::Dispatch>()));
  ctl().ESignatureRequired = true;
  ctl().ESignatureReasonCategory = "Maintenance";
  eSignature& page = Show<eSignature>();
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(page.cboReasonCategory.list_count(), 0);
  EXPECT_EQ(page.chkESignatureRequired.value(), 1);
  EXPECT_TRUE(page.txtCommandLevel1.enabled());
  page.SetChanged(true);
  sheet().Apply();
  EXPECT_EQ(ctl().ESignatureReasonCategory, "Maintenance");
}

TEST_F(ESignatureTest, TickingEnablesStepByStep) {
  eSignature& page = Show<eSignature>();
  EXPECT_FALSE(page.Changed());
  EXPECT_EQ(page.txtESignaturePrompt.back_color(), kSysInactiveCaptionText);
  struct Step {
    platform::CheckBox* box;
    bool level2, category;
  };
  for (const Step& s : {Step{&page.chkESignatureRequired, false, false},
                        Step{&page.chkDualSignatureRequired, true, false},
                        Step{&page.chkESignatureReasonCodeRequired, true, true}}) {
    SCOPED_TRACE(s.box->name());
    s.box->UserClick();
    EXPECT_TRUE(page.txtCommandLevel1.enabled());
    EXPECT_EQ(page.txtCommandLevel2.enabled(), s.level2);
    EXPECT_EQ(page.cboReasonCategory.enabled(), s.category);
    EXPECT_EQ(page.cboReasonCategory.back_color(), FieldColor(s.category));
  }
  EXPECT_TRUE(page.Changed());
}

TEST_F(ESignatureTest, LevelsOutOfRangeAreSaidButKeptAsTyped) {
  eSignature& page = Show<eSignature>();
  const std::pair<const char*, size_t> rows[] = {{"6", 0},  {"64", 1}, {"63", 0},
                                                 {"-1", 1}, {"-", 0},  {"", 0}};
  for (const auto& [typed, boxes] : rows) {
    SCOPED_TRACE(typed);
    page.txtCommandLevel1.set_text(typed);
    EXPECT_EQ(Boxes().size(), boxes);
    EXPECT_EQ(page.txtCommandLevel1.text(), typed);
  }
}

TEST_F(ESignatureTest, ApplyWritesTheEightProperties) {
  ctl().ESignatureReasonCategory = "Retired";  // not offered: kept when nothing is chosen
  eSignature& page = Show<eSignature>();
  page.chkESignatureRequired.UserClick();
  page.txtCommandLevel1.set_text("64");
  page.txtCommandLevel2.set_text("x");  // not a number: the level stays
  sheet().Apply();
  EXPECT_TRUE(ctl().ESignatureRequired);
  EXPECT_FALSE(ctl().ESignatureReasonCodeRequired);
  EXPECT_EQ(ctl().ESignatureReasonCategory, "Retired");
  EXPECT_EQ(ctl().ESignature1CommandLevel, 64);
  EXPECT_EQ(ctl().ESignature2CommandLevel, -1);
  page.cboReasonCategory.set_list_index(0);
  page.txtCommandLevel1.set_text("");
  sheet().Apply();
  EXPECT_EQ(ctl().ESignatureReasonCategory, "Correction");
  EXPECT_EQ(ctl().ESignature1CommandLevel, -1);
}

// The property sheet: the control's four pages from the library's class factories, in order
// (their captions: the design_* scripts), applied when changed, ended on close.
TEST_F(PageTest, CreatesTheControlsPagesInOrderThroughTheLibrary) {
  Show<DSNSelection>();  // its Apply button is remembered until the sheet closes
  const char* pages[] = {"UsrControlProperties", "DSNSelection", "ColumnProperties", "eSignature"};
  ASSERT_EQ(sheet().page_count(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(pages[i]);
    platform::PropertyPage& page = sheet().page(i);
    EXPECT_EQ(page.ClassName(), pages[i]);
    EXPECT_EQ(page.SelectedControls().front().get(), &ctl());
    library::ClassFactory* factory = library::FindClass(std::string("VELTRA.") + pages[i]);
    ASSERT_NE(factory, nullptr);
    auto made = factory->CreateInstance(box());
    EXPECT_EQ(made->ClassName(), pages[i]);
    EXPECT_EQ(factory->QueryInterface(made, std::string("_") + pages[i]), made);
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
  EXPECT_EQ(localization::SharedLocalization(box()).apply_button, 0);
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
      "get Font.Underline\n");
  ASSERT_EQ(runner.Run(script), 0) << err.str();
  EXPECT_EQ(out.str(),
            "Grid(2, 1) = \"False\"\n"
            "chkESignatureRequired = 1\n"
            "cboReasonCategory.ListIndex = -1\n"
            "Font.Underline = True\n");
}

// A command that does not suit the widget stops the script. (Unknown pages and widgets and
// commands without a page: design_esignature, the command-line test and display_test.cc.)
TEST_F(DesignScriptTest, FaultsStopTheScript) {
  const std::pair<std::string, std::string> rows[] = {
      {"page DSNSelection\npress txtSQL", "press suits a button, not txtSQL"},
      {"page DSNSelection\nfill cboPreference \"x\"", "fill suits a text box or an editable"},
      {"page DSNSelection\nchoose lstTable 3", "lstTable has no entry 3"},
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

// The designer's keys at a terminal: page tabs going round, sheet keys refused in the dialog,
// quitting asks only when something is not saved, a refused Apply saves nothing and says why.
TEST_F(PageTest, DesignKeysSaveOnlyWhatThePagesAccept) {
  container::SessionScriptHost host(*session_);
  const std::string path = (folder_ / "keys.ctl").string();
  container::DesignKeys keys(*session_, host, path);
  EXPECT_TRUE(keys.Tabs(false).starts_with("[General] Data Source Properties  Column"))
      << keys.Tabs(false);
  keys.Key("Ctrl+PgUp");  // from the first page round to the last
  EXPECT_TRUE(keys.Tabs(false).starts_with(" General  Data Source")) << keys.Tabs(false);
  EXPECT_EQ(keys.Tabs(false).back(), ']');
  keys.Key("Ctrl+PgDn");
  keys.Key("Alt+U");
  // The choosers are asked at the foot line; what was not understood is asked again.
  auto& general = dynamic_cast<UsrControlProperties&>(*host.desk().form());
  keys.Key("Alt+O");
  keys.Type("#ff80");
  keys.Key("Enter");
  EXPECT_EQ(keys.note().find("Not understood: Colour"), 0u) << keys.note();
  keys.Type("0g");
  keys.Key("Backspace");
  keys.Type("0");
  keys.Key("Enter");
  EXPECT_EQ(general.fore_color(), 0x0080ff);
  general.btnFont->SetFocus();
  keys.Key("Space");
  keys.Type("Courier");
  keys.Key("Space");
  keys.Type("New 10 bold");
  keys.Key("Enter");
  ASSERT_TRUE(general.font());
  EXPECT_EQ(std::tuple(general.font()->name(), general.font()->size(), general.font()->bold()),
            std::tuple(std::string("Courier New"), 10.0, true));
  keys.Key("Ctrl+Q");
  EXPECT_FALSE(keys.done());
  EXPECT_EQ(keys.note().find("Save the changes to " + path + "?"), 0u) << keys.note();
  keys.Key("Escape");  // back to the sheet, the question gone
  keys.Type("n");
  EXPECT_FALSE(keys.done());

  keys.Key("Ctrl+PgDn");
  host.desk().Fill("cboDSNList", "(None)");
  host.desk().Fill("txtSQL", "SELECT Id FROM Orders");  // the page changed: Apply takes it
  keys.Key("Ctrl+S");
  EXPECT_EQ(keys.note(), "The system data source name must be entered.");
  EXPECT_FALSE(keys.saved());
  EXPECT_FALSE(std::filesystem::exists(path));
  host.desk().Fill("cboDSNList", db());
  std::vector<std::string> in_dialog;
  host.desk().WatchModal([&](const std::function<bool()>& closed) {
    for (const char* key : {"Ctrl+S", "Ctrl+PgDn", "Escape"}) {
      keys.Key(key);
      in_dialog.push_back(keys.note());
    }
    EXPECT_TRUE(closed());
  });
  host.desk().Press("cmdBuildQuery");
  EXPECT_EQ(in_dialog[0], "Query Builder is open: Enter is its OK, Escape its Cancel");
  EXPECT_EQ(in_dialog[1], in_dialog[0]);
  EXPECT_EQ(in_dialog[2], "");
  keys.Key("Ctrl+S");
  EXPECT_EQ(keys.note(), "Saved to " + path);
  EXPECT_TRUE(keys.saved());
  EXPECT_TRUE(ctl().AllowUpdates());
  keys.Key("Ctrl+Q");  // nothing left unsaved
  EXPECT_TRUE(keys.done());
}

}  // namespace
}  // namespace tabulo::pages::testing
