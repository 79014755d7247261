// The column page: editing cells in place, applying (renaming, hiding, sizing, the Unique
// flags kept) and an empty statement. The first paint's rows, a rename, a hidden column, a width
// rounded half to even, applying (the control's grid follows) and a new statement's columns are in
// the design_columns acceptance script.
#include <gtest/gtest.h>

#include "page_fixture.h"
#include "pages/column_properties.h"

namespace tabulo::pages::testing {
namespace {

using ColumnPropertiesTest = PageTest;

TEST_F(ColumnPropertiesTest, FirstPaintMarksTheVisibleColumnsAndNothingChanged) {
  ColumnProperties& page = Show<ColumnProperties>();
  EXPECT_EQ(page.Grid.CellBackColorAt(2, 1), kVisibleColor);
  EXPECT_EQ(page.Grid.FixedRows(), 1);
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

}  // namespace
}  // namespace tabulo::pages::testing
