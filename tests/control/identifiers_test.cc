// Names from the result and the DataTable property in the UPDATE statements: a name is never
// pasted into a statement as text that could change what the statement does.
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

using ::testing::HasSubstr;

TEST_F(EditTest, ANameThatHoldsAClauseChangesNoOtherRow) {
  TabuloCtl& ctl =
      EditOrders("SELECT Id, Qty AS \"Qty=999 WHERE Id=3 --\" FROM Orders ORDER BY Id");
  Edit(ctl, 1, 2, "7");
  EXPECT_THAT(Statement(), HasSubstr("UPDATE Orders SET \"Qty=999 WHERE Id=3 --\" = 7 WHERE"));
  EXPECT_EQ(MessageCount(), 1u);  // no such column: the database refuses the statement
  EXPECT_EQ(DbValue("SELECT count(*) FROM Orders WHERE Qty <> Id % 500"), "0");

  ctl.SetDataTable("Orders SET Qty = 0; --");
  Edit(ctl, 2, 2, "8");
  ASSERT_EQ(MessageCount(), 2u);
  EXPECT_EQ(LastMessage().text, "Tabulo: DataTable 'Orders SET Qty = 0; --' is not a table name");
  EXPECT_EQ(DbValue("SELECT count(*) FROM Orders WHERE Qty <> Id % 500"), "0");
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "2");
  EXPECT_EQ(ctl.PendingChanges(), 0);
}

TEST_F(EditTest, ColumnsNamedWithBlanksOrKeywordsAreEditable) {
  const std::filesystem::path db = OrdersDb(3);
  TestDb(db).Exec(
      "CREATE TABLE \"Odd Names\"(\"my col\" TEXT, \"group\" INTEGER);"
      "INSERT INTO \"Odd Names\" VALUES ('a', 1), ('b', 2)");
  db_ = db;
  TabuloCtl& ctl = Browse(db, "SELECT \"my col\", \"group\" FROM \"Odd Names\" ORDER BY 2");
  ctl.SetDataTable("\"Odd Names\"");
  ctl.SetAllowUpdates(true);
  ctl.SetConfirmUpdates(false);
  Edit(ctl, 2, 2, "20");
  EXPECT_THAT(Statement(),
              HasSubstr("UPDATE \"Odd Names\" SET \"group\" = 20 WHERE \"my col\" = 'b'"));
  EXPECT_EQ(MessageCount(), 0u);
  EXPECT_EQ(DbValue("SELECT \"group\" FROM \"Odd Names\" WHERE \"my col\" = 'b'"), "20");
}

}  // namespace
}  // namespace tabulo::control::testing
