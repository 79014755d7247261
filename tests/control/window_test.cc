// The row window: which records the grid shows at each scroll position, how cells are
// aligned, and what a result that changes underneath the control looks like.
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using Row = std::vector<std::string>;

using WindowTest = DefaultHostTest;

TEST_F(WindowTest, EachBarMoveAndRefreshShowsItsWindow) {
  TabuloCtl& ctl = BrowseOrders(30);
  ASSERT_EQ(ctl.Grid.Rows(), 12);
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Id", "Customer", "Qty"}));
  EXPECT_EQ(ctl.ScrollBar.Max(), 30);
  EXPECT_TRUE(ctl.Grid.CellFontBoldAt(0, 2));  // header cells are bold
  // Bar value -> first record shown. The window moves by the bar's difference; a move past the
  // end shows the last record alone; a forward move with the last record shown (the fill
  // ended at EOF) leaves the window, and the next backward move counts from the bar's value.
  const std::vector<std::pair<int32_t, int32_t>> moves = {{0, 0},   {1, 1},   {10, 10}, {3, 3},
                                                          {0, 0},   {30, 29}, {0, 0},   {20, 20},
                                                          {25, 20}, {24, 19}, {0, 0},   {10, 10}};
  for (const auto& [value, first] : moves) {
    SCOPED_TRACE("bar at " + std::to_string(value));
    ctl.ScrollBar.SetValue(value);
    ExpectOrdersFrom(ctl, first, 30);
  }
  // A refresh keeps the position, a move to the top resets it, design time ignores the bar.
  ctl.Refresh();
  ExpectOrdersFrom(ctl, 10, 30);
  ctl.Refresh(true);
  EXPECT_EQ(ctl.ScrollBar.Value(), 0);
  ExpectOrdersFrom(ctl, 0, 30);
  container_.SetAmbientUserMode(false);
  ctl.ScrollBar.SetMax(30);
  ctl.ScrollBar.SetValue(15);
  ExpectOrdersFrom(ctl, 0, 30);
}

TEST_F(WindowTest, AnEmptyResultShowsItsHeaderAndDoesNotScroll) {
  TabuloCtl& none = Browse(OrdersDb(5), "SELECT Id, Note FROM Orders WHERE Id < 0");
  EXPECT_EQ(std::tuple(none.NumberRows(), none.NumberColumns()), std::tuple(0, 2));
  EXPECT_EQ(RowText(none, 0), (Row{"", "Id", "Note"}));
  for (int r = 1; r < none.Grid.Rows(); ++r) EXPECT_EQ(RowText(none, r), (Row{"", "", ""}));
  EXPECT_EQ(none.ScrollBar.Max(), none.ScrollBar.Min());
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(WindowTest, CellsAreTrimmedAndAlignedByTypeUnderUnicodeCaptions) {
  std::filesystem::path path = folder_ / "mixed.db";
  TestDb(path).Exec(
      "CREATE TABLE M(Name VARCHAR(20), Qty INTEGER, Price DOUBLE, Placed TIMESTAMP);"
      "INSERT INTO M VALUES('  padded   ', 42, 2.5, '2020-01-02 10:30:00'), (NULL, NULL, NULL, "
      "NULL), ('Grüße', ' many ', NULL, NULL)");
  TabuloCtl& ctl = Browse(path,
                          "SELECT Name AS \"Très 注\", Qty AS \"Größe\", Price, Placed FROM M "
                          "ORDER BY rowid");
  EXPECT_TRUE(container_.message_boxes().empty());
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Très 注", "Größe", "Price", "Placed"}));
  EXPECT_EQ(RowText(ctl, 1), (Row{"1", "padded", "42", "2.5", "1/2/2020 10:30:00 AM"}));
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "", "", "", ""}));
  EXPECT_EQ(RowText(ctl, 3), (Row{"3", "Grüße", "many", "", ""}));
  // Header centred; text left, numbers, dates and nulls right; text in an integer column left.
  std::string aligned;
  for (int r = 0; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) aligned += std::to_string(ctl.Grid.CellAlignmentAt(r, c));
  EXPECT_EQ(aligned,
            "4444"
            "1777"
            "7777"
            "1177");
}

TEST_F(WindowTest, HiddenColumnsAreSkippedAndAllHiddenLeavesTheNumbers) {
  TabuloCtl& ctl = BrowseOrders(30);
  EditColumns(ctl, {{1, 1, false}});  // hide Customer
  ctl.Refresh();
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Id", "Qty"}));
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "2", "2"}));

  EditColumns(ctl, {{0, 1, false}, {2, 1, false}});
  ctl.Refresh();
  EXPECT_EQ(RowText(ctl, 3), (Row{"3"}));  // the numbers alone
}

TEST_F(WindowTest, ChangesByOthersAppearOnlyAfterTheNextRefreshNumberedRight) {
  std::filesystem::path path = OrdersDb(30);
  TabuloCtl& ctl = Browse(path, kOrders);
  TestDb(path).Exec(
      "UPDATE Orders SET Customer = 'Changed' WHERE Id IN (2, 25); DELETE FROM Orders WHERE Id = "
      "3");
  // Scrolling reads the snapshot, not the database.
  ctl.ScrollBar.SetValue(20);
  ExpectOrdersFrom(ctl, 20, 30);
  ctl.ScrollBar.SetValue(0);
  ExpectOrdersFrom(ctl, 0, 30);
  EXPECT_EQ(ctl.NumberRows(), 30);
  ctl.Refresh();
  EXPECT_EQ(ctl.NumberRows(), 29);
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "2", "Changed", "2"}));
  EXPECT_EQ(RowText(ctl, 3), (Row{"3", "4", "C4", "4"}));

  // A result that shrank under the window, still scrollable: the bar's value comes down to the
  // new count, the last record alone.
  TestDb(path).Exec(
      "UPDATE Orders SET Customer = 'C' || Id; INSERT INTO Orders(Id, Customer, Qty) VALUES(3, "
      "'C3', 3)");
  ctl.Refresh();
  ctl.ScrollBar.SetValue(25);
  ASSERT_EQ(ctl.FirstRow(), 25);
  TestDb(path).Exec("DELETE FROM Orders WHERE Id > 20");
  ctl.Refresh();
  EXPECT_EQ(ctl.ScrollBar.Max(), 20);
  ExpectOrdersFrom(ctl, 19, 20);
  // Fewer records than rows: no scrolling, the whole result from the top.
  TestDb(path).Exec("DELETE FROM Orders WHERE Id > 10");
  ctl.Refresh();
  EXPECT_EQ(ctl.ScrollBar.Max(), ctl.ScrollBar.Min());
  ExpectOrdersFrom(ctl, 0, 10);
  EXPECT_TRUE(container_.message_boxes().empty());
}

}  // namespace
}  // namespace tabulo::control::testing
