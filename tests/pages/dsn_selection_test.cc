// The data source page on a real SQLite database: first paint, listings, the table choice,
// the query builder round trip, applying (order, debug line, refresh) and leaving the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "control/globals.h"
#include "page_fixture.h"
#include "pages/dsn_selection.h"
#include "pages/usr_control_properties.h"
#include "querybuilder/query_builder_dialog.h"

namespace tabulo::pages::testing {
namespace {

using DSNSelectionTest = PageTest;

TEST_F(DSNSelectionTest, FirstPaintShowsTheControlsValuesUnchanged) {
  ctl().SetUser("ann");
  ctl().SetPassword("p w");
  DSNSelection& page = Show<DSNSelection>();
  EXPECT_EQ(page.caption(), "Data Source Properties");
  EXPECT_EQ(page.cboPreference.list_index(), 0);
  EXPECT_EQ(page.lblStep3[1]->caption(), "DSN:");
  EXPECT_TRUE(page.txtDatabase.locked());
  EXPECT_EQ(page.cboDSNList.text(), db());
  EXPECT_EQ(page.txtUID.text(), "ann");
  EXPECT_EQ(page.txtPWD.text(), "p w");
  EXPECT_EQ(page.txtSQL.text(), kStatement);
  EXPECT_EQ(page.cboCluster.list_count(), 2);
  EXPECT_EQ(page.cboCluster.text(), "Local");
  EXPECT_FALSE(page.Changed());
  EXPECT_TRUE(page.cboDSNList.has_focus());
  // Choosing the SQL server type relabels the source and opens the database box.
  page.cboPreference.SelectItem(1);
  EXPECT_EQ(page.lblStep3[1]->caption(), "Server:");
  EXPECT_FALSE(page.txtDatabase.locked());
  EXPECT_TRUE(page.Changed());
}

TEST_F(DSNSelectionTest, ListingTablesAndChoosingOneWritesTheStatement) {
  DSNSelection& page = Show<DSNSelection>();
  page.cmdListTables->UserClick();
  ASSERT_EQ(page.lstTable.list_count(), 1);
  EXPECT_EQ(page.lstTable.list(0), "Orders");
  EXPECT_EQ(page.lstTable.list_index(), -1);
  EXPECT_EQ(Debug().back(), "g_DataServer.ListSources(DSN)");
  page.lstTable.DoubleClickItem(0);
  EXPECT_EQ(page.txtSQL.text(), "SELECT * FROM Orders");
  // Without a data source the list is only emptied; without a data server it says why.
  page.cboDSNList.set_text("");
  page.cmdListTables->UserClick();
  EXPECT_EQ(page.lstTable.list_count(), 0);
  page.cboDSNList.set_text(db());
  control::g_DataServer.reset();
  page.cmdListTables->UserClick();
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "Error retrieving the data source list: Not connected to data server."});
}

TEST_F(DSNSelectionTest, ApplyWritesTheFieldsInOrderAndRefreshes) {
  DSNSelection& page = Show<DSNSelection>();
  Debug();
  page.txtUID.set_text(" ann ");
  // A password keeps its blanks, and a ";" in it cuts nothing short.
  page.txtPWD.set_text(" a;UID=x ");
  page.txtSQL.set_text("SELECT Id, Qty FROM Orders WHERE Qty > 1");
  page.cboCluster.SelectItem(1);
  EXPECT_TRUE(page.Changed());
  sheet().Apply();
  EXPECT_FALSE(page.Changed());
  EXPECT_EQ(Debug().front(), "DSNSelection.ApplyChanges()");
  EXPECT_EQ(ctl().DSNname(), db());
  EXPECT_EQ(ctl().User(), "ann");
  EXPECT_EQ(ctl().Password(), " a;UID=x ");
  EXPECT_EQ(ctl().DataTable(), "Orders");
  EXPECT_EQ(ctl().RecordSource(), "SELECT Id, Qty FROM Orders WHERE Qty > 1");
  EXPECT_EQ(ctl().ClusterName(), "Plant");
  EXPECT_EQ(ctl().Columns().size(), 3u);  // Id, Qty and the spare entry: refreshed
}

TEST_F(DSNSelectionTest, AnEmptyOrNoneDataSourceIsRefused) {
  for (std::string dsn : {"", "(None)"}) {
    SCOPED_TRACE(dsn);
    DSNSelection& page = Show<DSNSelection>();
    page.cboDSNList.set_text(dsn);
    page.cmdApply->UserClick();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"The system data source name must be entered."});
    EXPECT_TRUE(page.Changed());
    EXPECT_EQ(ctl().DSNname(), db());
  }
}

// Showing another page applies the data source page once; coming back applies nothing, and
// an ended page is clicked no more.
TEST_F(DSNSelectionTest, LeavingThePageAppliesItOnce) {
  DSNSelection& page = Show<DSNSelection>();
  page.txtSQL.set_text("SELECT Qty FROM Orders");
  Debug();
  Show<UsrControlProperties>();
  Show<UsrControlProperties>();
  std::vector<std::string> lines = Debug();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DSNSelection.ApplyChanges()"), 1);
  EXPECT_EQ(ctl().RecordSource(), "SELECT Qty FROM Orders");
  Show<DSNSelection>();
  sheet().Close();
  EXPECT_EQ(localization::g_ApplyButtonWindow, 0);
}

struct BuilderCase {
  const char* name;
  std::string statement;
  std::function<void(querybuilder::QueryBuilderDialog&)> edit;
  std::string expected;  // the statement afterwards
  std::string message;   // the message box, if any
};

TEST_F(DSNSelectionTest, QueryBuilderRoundTrip) {
  const BuilderCase cases[] = {
      {"ok", kStatement,
       [](querybuilder::QueryBuilderDialog& d) {
         auto& columns = dynamic_cast<platform::ListBox&>(*d.FindWidget("lstTableColumns"));
         columns.SelectItem(2);                // Qty
         d.cmdOrderByButtons[0]->UserClick();  // sort by Qty; the selection moves on
         columns.SelectItem(2);
         d.cmdWhereButtons->UserClick();  // "Qty "
         d.cboOperators.SelectItem(4);    // ">"
         d.cmdInsert->UserClick();
         dynamic_cast<platform::TextBox&>(*d.FindWidget("txtWhere")).TypeText(" 5");
         d.cmdOk->UserClick();
       },
       "SELECT Id, Customer, Qty FROM Orders WHERE Qty > 5 ORDER BY Qty", ""},
      {"cancel", kStatement,
       [](querybuilder::QueryBuilderDialog& d) {
         d.cmdSelectButtons[1]->UserClick();
         d.cmdCancel->UserClick();
       },
       kStatement, ""},
      {"bad from", "SELECT a", nullptr, "SELECT a",
       "There was an error launching the query builder:\r\n\r\nAn invalid table name was "
       "specified in FROM portion."},
      {"no table", "", nullptr, "", "You must first select a table from the table list."},
  };
  for (const BuilderCase& c : cases) {
    SCOPED_TRACE(c.name);
    DSNSelection& page = Show<DSNSelection>();
    page.txtSQL.set_text(c.statement);
    box().SetModalRunner([&](platform::Form& form) {
      auto& dialog = dynamic_cast<querybuilder::QueryBuilderDialog&>(form);
      c.edit(dialog);
    });
    page.cmdBuildQuery->UserClick();
    EXPECT_EQ(page.txtSQL.text(), c.expected);
    if (c.edit) {
      // Applied, the control refreshes with the statement built.
      sheet().Apply();
      EXPECT_EQ(ctl().RecordSource(), c.expected);
    }
    std::vector<std::string> boxes = Boxes();
    EXPECT_EQ(boxes,
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
  }
}

}  // namespace
}  // namespace tabulo::pages::testing
