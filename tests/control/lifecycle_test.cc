// The control's life in its container: the host test, the host's site, switching between
// design and run mode, the host's language and the end of a control.
#include "fake_data_server.h"
#include "host/resource_store.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

class LifecycleTest : public HostedControlTest {
 protected:
  // A control on a counting double (every Query and ListAll counts) set to browse "plant".
  TabuloCtl& Plant(int64_t rows = 30) {
    fake_ = InstallFakeHost(rows);
    return Configured("plant", "SELECT Id FROM T");
  }
  std::shared_ptr<FakeDataServer> fake_;
};

// The host's resource store: it answers in the language the control asks for (the built-in
// table follows the user-interface language instead). It must know every text looked up.
void InstallLanguageStore(localization::LocalizationState& state) {
  state.resource_store = host::ResourceStore::Parse(
      "Tabulo 1059 1033 = Options\n"
      "Tabulo 1059 1031 = Optionen\n"
      "Tabulo 1060 1031 = Aktualisieren\n"
      "Tabulo 1060 1036 = Rafraîchir\n"
      "Tabulo 1060 1033 = Refresh\n"
      "Tabulo 1009 1033 = Not Connected\n"
      "Tabulo 1009 1031 = Nicht Angeschlossen\n"
      "Tabulo 1155 1033 = Connected\n"
      "Tabulo 1155 1031 = Angeschlossen\n"
      "Tabulo 1155 1036 = Relié\n"
      "Tabulo 1154 1033 = Browsing\n"
      "Tabulo 1154 1036 = Lecture rapide\n",
      "languages.txt");
  state.resource_store_tried = true;
}

TEST_F(LifecycleTest, TheConfigurationToolCountsAsInsideTheHostWithoutASite) {
  InstallDefaultHost();
  // The module name, compared in upper case, and only its first 99 characters: "PANEL STUDIO"
  // ending at character 99 is read whole, one character further it is cut inside "Studio".
  const std::vector<std::pair<std::string, bool>> modules = {
      {"d:\\tools\\panel studio 7\\ps.exe", true},
      {"C:\\" + std::string(83, 'x') + "\\Panel Studio\\ps.exe", true},
      {"C:\\" + std::string(84, 'x') + "\\Panel Studio\\ps.exe", false}};
  for (const auto& [module, inside] : modules) {
    SCOPED_TRACE(module);
    ResetShared();
    container_.SetModuleFileName(module);
    TabuloCtl& ctl = NewControl(/*in_host=*/false);
    EXPECT_EQ(ctl.sBar.Panels(1).text(), inside ? "VELTRA Panel Studio - Tabulo" : "VELTRA Tabulo");
    // Show connects at once and stores the answer for the process.
    EXPECT_EQ(shared().in_host, inside);
    EXPECT_EQ(shared().data_server != nullptr, inside);
    EXPECT_EQ(ctl.sBar.Panels(2).text(), inside ? "Connected@TESTBOX" : "Not Connected");
    bool data = true;
    platform::Variant names;
    EXPECT_EQ(ctl.GetClusterNames(data, names), inside ? 1 : 0);
    ctl.Terminate();
  }
}

TEST_F(LifecycleTest, RuntimeWithoutASiteLoadsNothingUnlessAnotherControlConnected) {
  InstallDefaultHost();
  std::filesystem::path path = OrdersDb(5);
  container_.SetHostRuntime(true);
  container_.SetModuleFileName("C:\\Program Files\\VELTRA\\Brindle\\Brindle.exe");
  TabuloCtl& lone = Configured(path, "SELECT Id FROM Orders", false, /*in_host=*/false);
  EXPECT_EQ(lone.sBar.Panels(1).text(), "VELTRA Tabulo");
  EnterRunMode();
  EXPECT_EQ(Shown(lone), "Not Connected");

  // Once another control of the process is connected, its data server serves this one too.
  Browse(path, "SELECT Id FROM Orders");
  ASSERT_NE(shared().data_server, nullptr);
  lone.Refresh();
  EXPECT_EQ(Shown(lone), "1, 2, 3, 4, 5, Connected@TESTBOX");
}

// A site that answers marks the host: automation_test (HostInterfacesTest).
TEST_F(LifecycleTest, AFailingSiteDoesNotMarkTheHostANewControlStartsInEnglishAgain) {
  InstallDefaultHost();
  TabuloCtl& ctl = NewControl(/*in_host=*/false);
  auto failing = std::make_shared<TestSite>();
  failing->fail = true;
  ctl.SetControlSite(7, failing, 1031, 1031, 2, "op");
  EXPECT_EQ(failing->asked, std::vector<int32_t>{host::kServiceSecurityManager});
  EXPECT_FALSE(shared().in_host);
  // The language arguments are not the host's language change.
  EXPECT_EQ(shared_localization().language, 1033);
  ctl.SetControlSite(7, nullptr, 1033, 1033, 0, "");
  EXPECT_FALSE(shared().in_host);
  // A new control starts the process in English again.
  InstallLanguageStore(shared_localization());
  // Outside the host, the status shows Not Connected in the new language, without a message.
  ctl.OnLanguageChange(1031);
  EXPECT_EQ(ctl.sBar.Panels(2).text(), "Nicht Angeschlossen");
  EXPECT_TRUE(container_.message_boxes().empty());
  ASSERT_EQ(ctl.mnuRefreshCaption, "Aktualisieren");
  TabuloCtl& second = NewControl(/*in_host=*/false);
  EXPECT_EQ(shared_localization().language, 1033);
  EXPECT_EQ(second.mnuRefreshCaption, "Refresh");
  EXPECT_EQ(ctl.mnuRefreshCaption, "Aktualisieren");  // captions are set, not looked up
}

// No UserModeSet here: the ambient change to run mode opens the host's gate by itself.
TEST_F(LifecycleTest, DesignRunDesignQueriesOnlyOnTheFirstTickOfRunMode) {
  TabuloCtl& ctl = Plant();
  container_.SetAmbientUserMode(true);
  EXPECT_TRUE(ctl.Timer1.running());
  Run(249);
  EXPECT_EQ(fake_->queries, 0);
  Run(1);
  EXPECT_EQ(std::pair(fake_->queries, ctl.Timer1.running()), std::pair(1, false));
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"1", "1"}));

  ctl.ScrollBar.SetValue(10);
  ctl.Grid.SetColWidth(1, 1800);  // the operator drags the column to 15 characters
  ctl.Grid.SetColWidth(0, 720);
  // Other ambient changes are ignored: no timer, the window stays.
  container_.SetAmbientDisplayName("Grid2");
  container_.SetAmbientFont(platform::StdFont::Create());
  EXPECT_EQ(std::pair(ctl.Timer1.running(), ctl.FirstRow()), std::pair(false, 10));

  container_.SetAmbientUserMode(false);
  EXPECT_EQ(std::tuple(ctl.Timer1.running(), ctl.FirstRow(), ctl.ScrollBar.Value()),
            std::tuple(false, 0, 0));
  Run(5000);
  EXPECT_EQ(fake_->queries, 1);  // neither scrolling nor design mode queries by itself

  // Back in run mode the grid is set up from the widths captured when leaving it, emptied, and
  // refilled from the first record by the first tick.
  container_.SetAmbientUserMode(true);
  EXPECT_EQ(std::tuple(ctl.Grid.ColWidth(1), ctl.Grid.ColWidth(0), ctl.Grid.TextMatrix(1, 1),
                       fake_->queries),
            std::tuple(1800, 720, "", 1));
  Run(250);
  EXPECT_EQ(fake_->queries, 2);
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"1", "1"}));
}

TEST_F(LifecycleTest, LanguageChangeTranslatesAndRequeriesTerminateStopsTheTimer) {
  TabuloCtl& ctl = Plant();
  ctl.SetDataTable("T");
  ctl.SetAutoRefresh(true);
  EnterRunMode();
  ASSERT_EQ(fake_->queries, 1);
  InstallLanguageStore(shared_localization());

  // Language asked -> popup and refresh captions, the two panels; each change re-queries.
  // English (United Kingdom) is not one of the three: English (United States).
  const std::vector<std::tuple<int32_t, std::string>> changes = {
      {1036, "Options|Rafraîchir|Lecture rapide: T@plant|Relié@FAKEBOX"},
      {1031, "Optionen|Aktualisieren|Browsing: T@plant|Angeschlossen@FAKEBOX"},
      {2057, "Options|Refresh|Browsing: T@plant|Connected@FAKEBOX"}};
  int queries = 1;
  for (const auto& [language, shown] : changes) {
    ctl.OnLanguageChange(language);
    EXPECT_EQ(ctl.mnuPopupCaption + "|" + ctl.mnuRefreshCaption + "|" + ctl.sBar.Panels(1).text() +
                  "|" + ctl.sBar.Panels(2).text(),
              shown);
    EXPECT_EQ(fake_->queries, ++queries);
  }
  EXPECT_EQ(shared_localization().language, 1033);
  // The end stops the timer and releases the data for the process (the record set and the data
  // server: failover_test); a second end changes nothing.
  ASSERT_TRUE(ctl.Timer1.running());
  ctl.Terminate();
  EXPECT_FALSE(ctl.Timer1.running());
  Run(5000);
  EXPECT_EQ(fake_->queries, queries);
  ctl.Terminate();
  EXPECT_EQ(shared().data_server, nullptr);
}

}  // namespace
}  // namespace tabulo::control::testing
