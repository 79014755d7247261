// The row window: which records the grid shows at each scroll position, how cells are
// aligned, and what a result that changes underneath the control looks like.
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using Row = std::vector<std::string>;

class WindowTest : public HostedControlTest {
 protected:
  void SetUp() override { InstallDefaultHost(); }

  // Orders(Id, Customer, Qty) of `rows` records, ordered by Id; 11 data rows fit the grid.
  TabuloCtl& BrowseOrders(int rows) {
    return Browse(OrdersDb(rows), "SELECT Id, Customer, Qty FROM Orders ORDER BY Id");
  }
  static Row Order(int id) {
    return {std::to_string(id), std::to_string(id),
            std::string("C").append(std::to_string(id % 97)), std::to_string(id % 500)};
  }
};

TEST_F(WindowTest, WindowAtZeroNumbersRowsFromOne) {
  TabuloCtl& ctl = BrowseOrders(30);
  ASSERT_EQ(ctl.Grid.Rows(), 12);
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Id", "Customer", "Qty"}));
  for (int r = 1; r <= 11; ++r) EXPECT_EQ(RowText(ctl, r), Order(r)) << r;
  EXPECT_EQ(ctl.FirstRow(), 0);
  EXPECT_EQ(ctl.ScrollBar.Max(), 30);
  // Header cells are centred and bold.
  EXPECT_EQ(ctl.Grid.CellAlignmentAt(0, 2), 4);
  EXPECT_TRUE(ctl.Grid.CellFontBoldAt(0, 2));
}

TEST_F(WindowTest, WindowInTheMiddleAndBack) {
  TabuloCtl& ctl = BrowseOrders(30);
  ctl.ScrollBar.SetValue(10);
  EXPECT_EQ(ctl.FirstRow(), 10);
  for (int r = 1; r <= 11; ++r) EXPECT_EQ(RowText(ctl, r), Order(10 + r)) << r;
  ctl.ScrollBar.SetValue(3);
  EXPECT_EQ(RowText(ctl, 1), Order(4));
  EXPECT_EQ(RowText(ctl, 11), Order(14));
  ctl.ScrollBar.SetValue(0);
  EXPECT_EQ(RowText(ctl, 1), Order(1));
}

TEST_F(WindowTest, MoveToTheRecordCountShowsTheLastRecordAlone) {
  TabuloCtl& ctl = BrowseOrders(30);
  ctl.ScrollBar.SetValue(30);
  EXPECT_EQ(RowText(ctl, 1), Order(30));
  EXPECT_EQ(ctl.FirstRow(), 29);
  for (int r = 2; r <= 11; ++r) EXPECT_EQ(RowText(ctl, r), (Row{"", "", "", ""})) << r;
}

TEST_F(WindowTest, ForwardMoveWithTheLastRecordShownDoesNotMoveTheWindow) {
  TabuloCtl& ctl = BrowseOrders(30);
  ctl.ScrollBar.SetValue(20);  // records 21..30: the fill ends at EOF
  EXPECT_EQ(RowText(ctl, 1), Order(21));
  EXPECT_EQ(RowText(ctl, 10), Order(30));
  ctl.ScrollBar.SetValue(25);
  EXPECT_EQ(ctl.FirstRow(), 20);
  EXPECT_EQ(RowText(ctl, 1), Order(21));
  // The next backward move is measured from 25, not from where the window stands.
  ctl.ScrollBar.SetValue(24);
  EXPECT_EQ(ctl.FirstRow(), 19);
  EXPECT_EQ(RowText(ctl, 1), Order(20));
}

TEST_F(WindowTest, FewerRecordsThanRowsLeavesTheRestEmptyAndNoScrolling) {
  TabuloCtl& ctl = BrowseOrders(5);
  for (int r = 1; r <= 5; ++r) EXPECT_EQ(RowText(ctl, r), Order(r));
  for (int r = 6; r <= 11; ++r) EXPECT_EQ(RowText(ctl, r), (Row{"", "", "", ""}));
  EXPECT_EQ(ctl.ScrollBar.Max(), ctl.ScrollBar.Min());
}

TEST_F(WindowTest, ZeroRowsShowsTheHeaderOnly) {
  TabuloCtl& ctl = Browse(OrdersDb(5), "SELECT Id, Note FROM Orders WHERE Id < 0");
  EXPECT_EQ(ctl.NumberRows(), 0);
  EXPECT_EQ(ctl.NumberColumns(), 2);
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Id", "Note"}));
  for (int r = 1; r < ctl.Grid.Rows(); ++r) EXPECT_EQ(RowText(ctl, r), (Row{"", "", ""}));
  EXPECT_EQ(ctl.ScrollBar.Max(), ctl.ScrollBar.Min());
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(WindowTest, NullsTextNumbersAndDatesAreAlignedByType) {
  std::filesystem::path path = folder_ / "mixed.db";
  {
    TestDb db(path);
    db.Exec(
        "CREATE TABLE M(Name VARCHAR(20), Qty INTEGER, Price DOUBLE, Placed TIMESTAMP);"
        "INSERT INTO M VALUES('  padded   ', 42, 2.5, '2020-01-02 10:30:00');"
        "INSERT INTO M VALUES(NULL, NULL, NULL, NULL);");
  }
  TabuloCtl& ctl = Browse(path, "SELECT Name, Qty, Price, Placed FROM M ORDER BY Name DESC");
  EXPECT_EQ(RowText(ctl, 1), (Row{"1", "padded", "42", "2.5", "1/2/2020 10:30:00 AM"}));
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "", "", "", ""}));
  EXPECT_EQ(ctl.Grid.CellAlignmentAt(1, 1), 1);
  for (int c = 2; c <= 4; ++c) EXPECT_EQ(ctl.Grid.CellAlignmentAt(1, c), 7) << c;
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(ctl.Grid.CellAlignmentAt(2, c), 7) << c;
}

TEST_F(WindowTest, TextInAnIntegerColumnAndUnicodeCaptions) {
  std::filesystem::path path = folder_ / "odd.db";
  TestDb(path).Exec(
      "CREATE TABLE O(Qty INTEGER, Note VARCHAR(10));"
      "INSERT INTO O VALUES(5, 'Grüße'), (' many ', NULL), (NULL, NULL)");
  TabuloCtl& ctl =
      Browse(path, "SELECT Qty AS \"Größe\", Note AS \"Très 注\" FROM O ORDER BY rowid");
  EXPECT_TRUE(container_.message_boxes().empty());
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Größe", "Très 注"}));
  EXPECT_EQ(RowText(ctl, 1), (Row{"1", "5", "Grüße"}));
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "many", ""}));
  EXPECT_EQ(ctl.Grid.CellAlignmentAt(2, 1), 1);
  EXPECT_EQ(RowText(ctl, 3), (Row{"3", "", ""}));
  EXPECT_EQ(ctl.Grid.CellAlignmentAt(3, 1), 7);
}

TEST_F(WindowTest, HiddenColumnsAreSkippedAndAllHiddenLeavesTheNumbers) {
  TabuloCtl& ctl = BrowseOrders(30);
  platform::Variant columns = ctl.GridColumns();
  platform::SafeArray a = columns.AsArray();
  a.At(1, 1) = platform::Variant(false);  // hide Customer
  ctl.SetGridArray(platform::Variant(a));
  ctl.Refresh();
  EXPECT_EQ(RowText(ctl, 0), (Row{"", "Id", "Qty"}));
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "2", "2"}));

  for (int i = 0; i < 3; ++i) a.At(i, 1) = platform::Variant(false);
  ctl.SetGridArray(platform::Variant(a));
  ctl.Refresh();
  EXPECT_EQ(ctl.Grid.Cols(), 1);
  EXPECT_EQ(RowText(ctl, 3), (Row{"3"}));
}

TEST_F(WindowTest, ChangesCommittedByOthersAppearOnlyAfterTheNextRefresh) {
  std::filesystem::path path = OrdersDb(30);
  TabuloCtl& ctl = Browse(path, "SELECT Id, Customer, Qty FROM Orders ORDER BY Id");
  {
    TestDb other(path);
    other.Exec("UPDATE Orders SET Customer = 'Changed' WHERE Id IN (2, 25)");
    other.Exec("DELETE FROM Orders WHERE Id = 3");
  }
  EXPECT_EQ(RowText(ctl, 2), Order(2));
  // Scrolling reads the snapshot, not the database.
  ctl.ScrollBar.SetValue(20);
  EXPECT_EQ(RowText(ctl, 5), Order(25));
  ctl.ScrollBar.SetValue(0);
  EXPECT_EQ(RowText(ctl, 3), Order(3));
  EXPECT_EQ(ctl.NumberRows(), 30);

  ctl.Refresh();
  EXPECT_EQ(ctl.NumberRows(), 29);
  EXPECT_EQ(RowText(ctl, 2), (Row{"2", "2", "Changed", "2"}));
  EXPECT_EQ(RowText(ctl, 3), (Row{"3", "4", "C4", "4"}));
}

TEST_F(WindowTest, ResultThatShrankUnderTheWindowIsShownNumberedRight) {
  std::filesystem::path path = OrdersDb(30);
  TabuloCtl& ctl = Browse(path, "SELECT Id, Customer, Qty FROM Orders ORDER BY Id");
  ctl.ScrollBar.SetValue(25);
  ASSERT_EQ(ctl.FirstRow(), 25);
  // Still scrollable: the bar's value comes down to the new count, the last record alone.
  TestDb(path).Exec("DELETE FROM Orders WHERE Id > 20");
  ctl.Refresh();
  EXPECT_EQ(ctl.ScrollBar.Max(), 20);
  EXPECT_EQ(RowText(ctl, 1), Order(20));
  EXPECT_EQ(RowText(ctl, 2), (Row{"", "", "", ""}));
  // Fewer records than rows: no scrolling, the whole result from the top.
  TestDb(path).Exec("DELETE FROM Orders WHERE Id > 10");
  ctl.Refresh();
  EXPECT_EQ(ctl.ScrollBar.Max(), ctl.ScrollBar.Min());
  EXPECT_EQ(ctl.FirstRow(), 0);
  for (int r = 1; r <= 10; ++r) EXPECT_EQ(RowText(ctl, r), Order(r)) << r;
  EXPECT_EQ(RowText(ctl, 11), (Row{"", "", "", ""}));
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(WindowTest, RefreshKeepsThePositionAndMoveToTopResetsIt) {
  TabuloCtl& ctl = BrowseOrders(30);
  ctl.ScrollBar.SetValue(10);
  ctl.Refresh();
  EXPECT_EQ(ctl.FirstRow(), 10);
  EXPECT_EQ(RowText(ctl, 1), Order(11));
  ctl.Refresh(true);
  EXPECT_EQ(ctl.FirstRow(), 0);
  EXPECT_EQ(ctl.ScrollBar.Value(), 0);
  EXPECT_EQ(RowText(ctl, 1), Order(1));
}

TEST_F(WindowTest, ScrollingAtDesignTimeDoesNothing) {
  TabuloCtl& ctl = BrowseOrders(30);
  container_.SetAmbientUserMode(false);
  Row first = RowText(ctl, 1);
  ctl.ScrollBar.SetMax(30);
  ctl.ScrollBar.SetValue(15);
  EXPECT_EQ(ctl.FirstRow(), 0);
  EXPECT_EQ(RowText(ctl, 1), first);
}

}  // namespace
}  // namespace tabulo::control::testing
