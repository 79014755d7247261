// The column list: how it is rebuilt from a new result, exchanged as GridColumns/GridArray,
// and how the grid's widths come back into it.
#include "common/error_of.h"
#include "hosted_control.h"
#include "persisted_properties.h"

namespace tabulo::control::testing {
namespace {

using platform::SafeArray;
using platform::Variant;

class ColumnsTest : public DefaultHostTest {
 protected:
  // Changes one descriptor through the GridArray exchange, as a property page does.
  static void Edit(TabuloCtl& ctl, int i, const std::string& caption, int16_t width, bool visible,
                   bool unique) {
    EditColumns(ctl, {{i, 1, visible}, {i, 2, caption}, {i, 3, width}, {i, 4, unique}});
  }
};

TEST_F(ColumnsTest, NewColumnsTakeTheirNameAndAWidthByDefinedSize) {
  std::filesystem::path path = folder_ / "sizes.db";
  TestDb(path).Exec(
      "CREATE TABLE S(Ten VARCHAR(10), Eleven VARCHAR(11)); INSERT INTO S VALUES('a','b')");
  TabuloCtl& ctl = Browse(path, "SELECT Ten, Eleven FROM S");
  EXPECT_EQ(ColumnList(ctl), "Ten/Ten/8 Eleven/Eleven/10");
  EXPECT_EQ(std::pair(ctl.Grid.ColWidth(1), ctl.Grid.ColWidth(2)), std::pair(960, 1200));
}

TEST_F(ColumnsTest, ColumnsKeepCaptionWidthAndFlagsByNameAcrossStatements) {
  std::filesystem::path path = OrdersDb(10);
  TabuloCtl& ctl = Browse(path, "SELECT Id, Customer, Qty FROM Orders");
  Edit(ctl, 1, "Client", 20, true, true);
  Edit(ctl, 2, "Quantity", 6, false, false);
  ctl.SetRecordSource("SELECT Qty, Price, Customer FROM Orders");
  ctl.Refresh();
  EXPECT_EQ(ColumnList(ctl), "-Qty/Quantity/6 Price/Price/8 Customer/Client/20*");
  EXPECT_EQ(RowText(ctl, 0), (std::vector<std::string>{"", "Price", "Client"}));
  // Two fields of the same name take the first matching entry.
  ctl.SetRecordSource("SELECT Customer, Qty AS Customer FROM Orders ORDER BY Id");
  ctl.Refresh();
  EXPECT_EQ(ColumnList(ctl), "Customer/Client/20* Customer/Client/20*");
  EXPECT_EQ(RowText(ctl, 2), (std::vector<std::string>{"2", "C2", "2"}));
}

TEST_F(ColumnsTest, DataTableChangeShowsEveryColumnAndClearsUnique) {
  std::filesystem::path path = OrdersDb(10);
  TabuloCtl& ctl = Browse(path, "SELECT Id, Customer FROM Orders");
  Edit(ctl, 0, "Number", 5, false, true);
  // Blanks around the same name are no change.
  ctl.SetDataTable("  " + ctl.DataTable() + " ");
  ctl.SetRecordSource("SELECT Id, Customer FROM Orders");
  ctl.Refresh();
  EXPECT_EQ(ctl.Columns()[0], (GridColumn{"Id", false, "Number", 5, true}));

  ctl.SetDataTable("OrdersArchive");
  ctl.SetRecordSource("SELECT Id, Customer FROM Orders");
  ctl.Refresh();
  EXPECT_EQ(ctl.Columns()[0], (GridColumn{"Id", true, "Number", 5, false}));
}

TEST_F(ColumnsTest, DsnChangeKeepsTheListAndUserChangeRebuildsIt) {
  std::filesystem::path a = folder_ / "a.db";
  std::filesystem::path b = folder_ / "b.db";
  TestDb(a).Exec("CREATE TABLE T(x INTEGER, y INTEGER); INSERT INTO T VALUES(1, 2)");
  TestDb(b).Exec("CREATE TABLE T(x INTEGER, y INTEGER, z INTEGER); INSERT INTO T VALUES(3, 4, 5)");
  TabuloCtl& ctl = Browse(a, "SELECT * FROM T");
  ASSERT_EQ(ctl.ColumnCount(), 2);
  ctl.SetDSNname(b.string());
  ctl.Refresh();
  EXPECT_EQ(std::tuple(ctl.NumberColumns(), ctl.ColumnCount()), std::tuple(3, 2));
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"1", "3", "4"}));
  ctl.SetUser("operator");
  ctl.Refresh();
  EXPECT_EQ(ColumnList(ctl), "x/x/8 y/y/8 z/z/8");
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"1", "3", "4", "5"}));
}

TEST_F(ColumnsTest, GridColumnsRoundTripsThroughGridArray) {
  Variant empty = NewControl().GridColumns();
  ASSERT_TRUE(empty.IsArray());
  EXPECT_EQ(std::pair(empty.AsArray().UBound(1), empty.AsArray().UBound(2)), std::pair(0, 5));

  TabuloCtl& ctl = Browse(OrdersDb(5), "SELECT Id, Customer, Qty FROM Orders");
  Edit(ctl, 1, "Client", 12, false, true);
  Variant v = ctl.GridColumns();
  const SafeArray& a = v.AsArray();
  // Its layout for a browsed result is printed by the browse script; widths are Integers.
  ASSERT_EQ(a.UBound(1), 3);
  EXPECT_EQ(a.At(1, 3).type(), platform::VarType::Integer);

  std::vector<GridColumn> before = ctl.Columns();
  size_t notes = container_.property_changes().size();
  ctl.SetGridArray(v);
  EXPECT_EQ(ctl.Columns(), before);
  EXPECT_EQ(NotesSince(notes), std::vector<std::string>{"GridColCount"});
  EXPECT_EQ(RowText(ctl, 0), (std::vector<std::string>{"", "Id", "Qty"}));
}

TEST_F(ColumnsTest, GridArrayThatCannotBeTakenRaisesAndLeavesAConsistentList) {
  TabuloCtl& ctl = Browse(OrdersDb(5), "SELECT Id, Customer FROM Orders");
  SafeArray a = SafeArray::Matrix(3, 3);
  a.At(0, 0) = Variant("First");
  a.At(0, 1) = Variant(true);
  a.At(0, 2) = Variant("One");
  size_t notes = container_.property_changes().size();
  int32_t cols = ctl.Grid.Cols();
  EXPECT_EQ(test_support::ErrorOf([&] { ctl.SetGridArray(Variant(a)); }), 9);
  // The first row's name and caption copied, the list's size kept; nothing told.
  EXPECT_EQ(std::tuple(ctl.ColumnCount(), ctl.Columns().size(),
                       ctl.Columns()[0].Name + "/" + ctl.Columns()[0].Caption),
            std::tuple(2, size_t{3}, "First/One"));
  EXPECT_TRUE(NotesSince(notes).empty());
  EXPECT_EQ(std::pair(ctl.Grid.Cols(), ctl.Grid.TextMatrix(0, 2)),
            std::pair(cols, std::string("Customer")));
  // A list that is no list or cannot be taken leaves a consistent empty list.
  SafeArray no_rows(platform::VarType::Variant, {{0, 0}, {0, 6}});
  EXPECT_EQ(test_support::ErrorOf([&] { ctl.SetGridArray(Variant(no_rows)); }), 9);
  EXPECT_EQ(ctl.ColumnCount(), 0);
  EXPECT_EQ(ctl.Columns(), std::vector<GridColumn>{GridColumn{}});

  EXPECT_EQ(test_support::ErrorOf([&] { ctl.SetGridArray(Variant(SafeArray::Matrix(40000, 5))); }),
            6);
  EXPECT_EQ(ctl.Columns(), std::vector<GridColumn>{GridColumn{}});
  // Two fields and no descriptors: the fill stops at the first field and says so.
  ctl.Refresh();
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(LastBox(), "Error|64|Tabulo: 9\r\nSubscript out of range");
  // A list that describes the fields again fills the window.
  ctl.SetUser("");
  ctl.Refresh();
  EXPECT_EQ(RowText(ctl, 4), (std::vector<std::string>{"4", "4", "C4"}));
  // Anything but an array empties the list, and says so once.
  ASSERT_EQ(ctl.ColumnCount(), 2);
  notes = container_.property_changes().size();
  ctl.SetGridArray(Variant("not an array"));
  EXPECT_EQ(std::tuple(ctl.ColumnCount(), ctl.Grid.Cols()), std::tuple(0, 1));
  EXPECT_EQ(ctl.Columns(), std::vector<GridColumn>{GridColumn{}});
  EXPECT_EQ(NotesSince(notes), std::vector<std::string>{"GridColCount"});
}

// Widths the operator gave the grid: kept by grid position over a refill, taken into the list
// (halves to even) when switching to design mode.
TEST_F(ColumnsTest, GridWidthsAreKeptByPositionAndCapturedHalvesToEven) {
  TabuloCtl& ctl = Browse(OrdersDb(5), "SELECT Id, Customer, Qty FROM Orders");
  ctl.Grid.SetColWidth(2, 2000);
  ctl.Refresh();  // the fill keeps present widths
  EXPECT_EQ(std::pair(ctl.Grid.ColWidth(2), ctl.Grid.ColWidth(3)), std::pair(2000, 960));
  ctl.SetGridOrdinalColWidth(5);
  ctl.Refresh();
  EXPECT_EQ(ctl.Grid.ColWidth(0), 600);

  Edit(ctl, 1, "Customer", 8, false, false);  // Customer hidden: Qty is grid column 2
  ctl.Grid.SetColWidth(0, 540);               // 4.5 -> 4
  ctl.Grid.SetColWidth(1, 1260);              // 10.5 -> 10
  ctl.Grid.SetColWidth(2, 1380);              // 11.5 -> 12
  container_.SetAmbientUserMode(false);
  EXPECT_EQ(ColumnList(ctl), "Id/Id/10 -Customer/Customer/8 Qty/Qty/12");
  EXPECT_EQ(ctl.GridOrdinalColWidth(), 4);
}

}  // namespace
}  // namespace tabulo::control::testing
