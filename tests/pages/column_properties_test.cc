// The column page: the grid of the control's columns, editing cells in place, applying
// (renaming, hiding, sizing, the Unique flags kept) and reloading after a new statement.
#include <gtest/gtest.h>

#include "page_fixture.h"
#include "pages/column_properties.h"
#include "pages/dsn_selection.h"

namespace tabulo::pages::testing {
namespace {

using ColumnPropertiesTest = PageTest;

std::vector<std::string> Row(platform::FlexGrid& g, int32_t r) {
  std::vector<std::string> cells;
  for (int32_t c = 0; c < g.Cols(); ++c) cells.push_back(g.TextMatrix(r, c));
  return cells;
}

TEST_F(ColumnPropertiesTest, FirstPaintListsTheColumnsAndApplies) {
  Debug();
  ColumnProperties& page = Show<ColumnProperties>();
  EXPECT_EQ(page.caption(), "Column Properties");
  ASSERT_EQ(page.Grid.Rows(), 4);
  EXPECT_EQ(Row(page.Grid, 0), (std::vector<std::string>{"Name", "Visible", "Caption", "Width"}));
  EXPECT_EQ(page.Grid.TextMatrix(2, 0), "Customer");
  EXPECT_EQ(page.Grid.TextMatrix(2, 1), "True");
  EXPECT_EQ(page.Grid.CellBackColorAt(2, 1), kVisibleColor);
  EXPECT_EQ(page.Grid.FixedRows(), 1);
  EXPECT_EQ(Debug(), (std::vector<std::string>{"ColumnProperties.ApplyChanges()"}));
  EXPECT_FALSE(page.Changed());
}

// Clicking cells opens the editors; leaving a cell commits it. Widths take the number the
// text starts with, rounded half to even.
TEST_F(ColumnPropertiesTest, EditingCellsAndApplyingChangesTheControlsColumns) {
  ColumnProperties& page = Show<ColumnProperties>();
  platform::FlexGrid& g = page.Grid;
  g.UserClick(1, 0);
  EXPECT_FALSE(page.txtEdit.visible());
  EXPECT_FALSE(page.cmbBool.visible());
  const std::pair<std::string, std::string> widths[] = {
      {"12abc", "12"}, {"x", "0"}, {"7.5", "8"}, {"6.5", "6"}, {"99999", "6"}};
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
  EXPECT_EQ(cols[2].Width, 6);
  // The grid follows: the row numbers, Id and Qty (Customer hidden).
  EXPECT_EQ(ctl().Grid.Cols(), 3);
  EXPECT_EQ(ctl().Grid.TextMatrix(0, 2), "Qty");
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

TEST_F(ColumnPropertiesTest, ANewStatementFromTheDataSourcePageReloadsTheGrid) {
  ColumnProperties& columns = Show<ColumnProperties>();
  DSNSelection& source = Show<DSNSelection>();
  source.txtSQL.set_text("SELECT Price FROM Orders");
  Show<ColumnProperties>();  // applies the data source page first
  ASSERT_EQ(columns.Grid.Rows(), 2);
  EXPECT_EQ(columns.Grid.TextMatrix(1, 0), "Price");
  // An empty statement shows the header row only.
  ctl().SetRecordSource("");
  Show<ColumnProperties>();
  EXPECT_EQ(columns.Grid.Rows(), 1);
}

}  // namespace
}  // namespace tabulo::pages::testing
