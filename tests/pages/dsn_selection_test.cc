// The data source page on a real SQLite database: first paint, listings, the query builder
// round trip, applying (order, debug line, refresh) and closing the sheet. The labels, the
// table listed and chosen, the refused empty data source and leaving the page (applied once)
// are in the design_source acceptance script.
#include <gtest/gtest.h>

#include "control/globals.h"
#include "page_fixture.h"
#include "pages/dsn_selection.h"

namespace tabulo::pages::testing {
namespace {

using DSNSelectionTest = PageTest;

TEST_F(DSNSelectionTest, FirstPaintShowsTheControlsValuesUnchanged) {
  ctl().SetUser("ann");
  ctl().SetPassword("p w");
  DSNSelection& page = Show<DSNSelection>();
  EXPECT_TRUE(page.txtDatabase.locked());
  EXPECT_EQ(page.txtUID.text(), "ann");
  EXPECT_EQ(page.txtPWD.text(), "p w");
  EXPECT_EQ(page.cboCluster.list_count(), 2);
  EXPECT_EQ(page.cboCluster.text(), "Local");
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

// A closed sheet leaves no Apply button to click.
TEST_F(DSNSelectionTest, ClosingTheSheetEndsThePage) {
  Show<DSNSelection>();
  sheet().Close();
  EXPECT_EQ(localization::g_ApplyButtonWindow, 0);
}

// Without a statement the query builder does not open and says why. (Its round trip, a
// cancel and a statement without a table are in the design_query_builder acceptance script.)
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

}  // namespace
}  // namespace tabulo::pages::testing
