// The commit of an edit on SQLite files: the statement built, the confirmation, the database
// read back, the reload on refusal or error, and names inside the statements.
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

using platform::Variant;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST_F(EditTest, OneEditedCellIsWrittenWithTheRowNamedByAllItsVisibleValues) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Price, Note FROM Orders ORDER BY Id");
  // A cell painted in the change colour without an edit is no change.
  ctl.SetAllowUpdates(false);
  ctl.Grid.SetRow(3);
  ctl.Grid.SetCol(3);
  ctl.Grid.SetCellBackColor(kChangedCellColor);
  ctl.SetAllowUpdates(true);
  Edit(ctl, 3, 2, "12");
  EXPECT_EQ(Statement(),
            "Tabulo: GetSqlUpdateQuery: Result=UPDATE Orders SET Qty = 12 WHERE Id = 3 AND Qty = "
            "3 AND Price >=  1.499 AND Price <=  1.501 AND Note = 'n3'\r\n");
  // Id 12 has Qty 12 too.
  EXPECT_EQ(DbValue("SELECT group_concat(Id) FROM Orders WHERE Qty = 12"), "3,12");
  EXPECT_EQ(Changed(), std::vector<std::string>{"CellValueChanged(3, 2)"});
  EXPECT_EQ(EditState(ctl, 3), "closed hidden 0 row 1 marked 0");
  for (int32_t c = 1; c < ctl.Grid.Cols(); ++c) EXPECT_EQ(ctl.Grid.CellBackColorAt(3, c), kWhite);
  EXPECT_EQ(ctl.SignatureText(1) + "|" + std::to_string(MessageCount()), "<Default>|0");

  // The control's record took the new value: the next statement names the row by it.
  Edit(ctl, 3, 2, "13");
  EXPECT_THAT(Statement(), HasSubstr("WHERE Id = 3 AND Qty = 12 AND"));
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 3"), "13");
}

TEST_F(EditTest, NullValuesAreNamedWithIsNullAndAClickElsewhereCommits) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  Edit(ctl, 7, 2, "70");  // Id 7: Note is null
  EXPECT_THAT(Statement(), HasSubstr("AND Note IS NULL"));
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 7"), "70");
  // The commit leaves the current cell in the edited row, on the last column it visited.
  EXPECT_EQ(ctl.Grid.Row(), 7);
  EXPECT_EQ(ctl.Grid.Col(), 3);
  Edit(ctl, 8, 3, "eight");
  Edit(ctl, 7, 3, "filled");
  EXPECT_EQ(DbValue("SELECT Note FROM Orders WHERE Id = 7"), "filled");
  // A header click or another cell commits as leaving the cell does.
  TypeInto(ctl, 4, 3, "by header");
  ctl.Grid.UserClick(0, 1);
  EXPECT_EQ(DbValue("SELECT Note FROM Orders WHERE Id = 4"), "by header");
  TypeInto(ctl, 5, 3, "by click");
  ctl.Grid.UserClick(6, 2);
  EXPECT_EQ(DbValue("SELECT Note FROM Orders WHERE Id = 5"), "by click");
  EXPECT_EQ(EditState(ctl, 6), "open shown 0 row 6 marked 0");  // the clicked cell's editor
}

TEST_F(EditTest, ASignatureIsAskedOnlyWithConfirmUpdatesAndFailsSilentlyWithoutAManager) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty FROM Orders ORDER BY Id");
  ctl.ESignatureRequired = true;
  Edit(ctl, 2, 2, "21");
  EXPECT_TRUE(container_.dialogs().empty());
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 2"), "21");
  ctl.SetConfirmUpdates(true);
  Edit(ctl, 3, 2, "31");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 3") + "|" + ctl.Grid.TextMatrix(3, 2),
            "3|3");
  EXPECT_EQ(MessageCount(), 0u);
  // A logged edit without a manager is refused, saying so.
  ctl.SetConfirmUpdates(false);
  ctl.LogEvent = true;
  Edit(ctl, 4, 2, "41");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4") + "|" + LastBox(),
            "4|Error logging operator event|16|Object variable or With block variable not set. "
            "The change was not written.");
}

// The active server lost while an edit is typed (the display's check found it gone): the
// edit entered is refused with a message saying why, and nothing is written.
TEST_F(EditTest, AnEditEnteredWithoutADataServerIsRefusedSayingWhy) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty FROM Orders ORDER BY Id");
  TypeInto(ctl, 3, 2, "77");
  registry_->SetServerReachable("Local", registry_->ActiveServerName("Local"), false);
  ASSERT_EQ(shared().data_server, nullptr);
  ctl.Grid.UserClick(6, 2);
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(LastMessage().text,
            "Tabulo: No data server is connected (its server stopped or cannot be reached): "
            "the change was not written; enter it again once the display shows data");
  EXPECT_EQ(LastMessage().style, platform::kMbCritical);
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 3"), "3");
}

TEST_F(EditTest, ADatabaseErrorIsShownAndTheWindowReloaded) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty FROM Orders ORDER BY Id");
  ctl.SetDataTable("NoSuchTable");
  // Nothing was written: the window comes back from the record set, not from a new query.
  TestDb(db_).Exec("UPDATE Orders SET Qty = 40 WHERE Id = 4");
  Edit(ctl, 3, 2, "99");
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_THAT(LastMessage().text, AllOf(StartsWith("Tabulo: "), HasSubstr("NoSuchTable")));
  EXPECT_EQ(LastMessage().style, platform::kMbCritical);
  EXPECT_FALSE(LastMessage().title.empty());
  EXPECT_EQ(ctl.Grid.TextMatrix(3, 2) + "|" + ctl.Grid.TextMatrix(4, 2), "3|4");
  EXPECT_EQ(EditState(ctl, 3), "closed hidden 0 row 1 marked 0");
  // The control still works afterwards.
  ctl.SetDataTable("Orders");
  Edit(ctl, 3, 2, "98");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 3"), "98");
}

TEST_F(EditTest, SetCellTextWritesTheCellGetCellTextReadsAndHiddenColumnsTakeNoPart) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Customer, Qty, Note FROM Orders ORDER BY Id");
  EditColumns(ctl, {{1, 1, false}});  // Customer hidden
  ctl.Refresh();
  ctl.ScrollBar.SetValue(10);
  ASSERT_EQ(ctl.Grid.TextMatrix(0, 2), "Qty");
  // Record 12 (Id 13), accessible column 1 (Qty): grid row 3, grid column 2.
  EXPECT_TRUE(ctl.SetCellText(12, 1, "64"));
  // The hidden column takes no part, and the visible cell after it is read right.
  EXPECT_THAT(Statement(),
              AllOf(Not(HasSubstr("Customer")),
                    HasSubstr("SET Qty = 64 WHERE Id = 13 AND Qty = 13 AND Note = 'n13'")));
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 13") + "|" + ctl.GetCellText(12, 1) + "|" +
                ctl.Grid.TextMatrix(3, 2),
            "64|64|64");
  EXPECT_EQ(ctl.Grid.CellBackColorAt(3, 2), kWhite);
  // The same text again: nothing to write, and no failure.
  EXPECT_TRUE(ctl.SetCellText(12, 1, "64"));
  EXPECT_EQ(Changed(), std::vector<std::string>{"CellValueChanged(3, 2)"});

  // Cells that are not in the window, or not in the grid, are refused without a trace.
  EXPECT_FALSE(ctl.SetCellText(2, 1, "1"));   // scrolled away
  EXPECT_FALSE(ctl.SetCellText(12, 5, "1"));  // no such column
  ctl.AllowAccessToHiddenColumnsInScript = true;
  EXPECT_FALSE(ctl.SetCellText(12, 1, "Zed"));  // Customer: hidden
  ctl.AllowAccessToHiddenColumnsInScript = false;
  EXPECT_FALSE(ctl.SetCellText(12, 0, ""));  // blank number refused, with the message
  EXPECT_EQ(LastMessage().text, "Updated value cannot be blank");
  EXPECT_EQ(DbValue("SELECT count(*) FROM Orders WHERE Qty = 1 OR Customer = 'Zed'"), "1");
}

TEST_F(EditTest, SetCellTextLeavesAnOperatorsOpenEditAloneAndReportsARefusedConfirmation) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  TypeInto(ctl, 2, 3, "operator's");
  EXPECT_FALSE(ctl.SetCellText(4, 1, "script"));
  EXPECT_EQ(std::pair(ctl.Editing(), ctl.txtEdit.text()),
            std::pair(true, std::string("operator's")));
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(DbValue("SELECT group_concat(Note, '|') FROM Orders WHERE Id IN (2, 5)"),
            "operator's|n5");

  ctl.SetConfirmUpdates(true);
  container_.QueueAnswer(platform::kIdNo);
  EXPECT_FALSE(ctl.SetCellText(0, 1, "5"));
  EXPECT_EQ(LastBox(), "Confirmation|4|Are you sure you want to Update database records?");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 1") + "|" + ctl.Grid.TextMatrix(1, 2),
            "1|1");
  container_.QueueAnswer(platform::kIdYes);
  EXPECT_TRUE(ctl.SetCellText(0, 1, "5"));
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 1"), "5");
}

TEST_F(EditTest, DoublesAndTimestampsAreMatchedWithinTheirTolerances) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Price, Placed FROM Orders ORDER BY Id");
  // Stored with milliseconds before the control reads them.
  TestDb(db_).Exec("UPDATE Orders SET Placed = '2020-01-03 10:30:00.250' WHERE Id IN (2, 3, 4)");
  ctl.Refresh();
  // Others nudge the values within the tolerances (0.001; 108 ms) for Id 2, beyond them for 3, 4.
  TestDb(db_).Exec(
      "UPDATE Orders SET Price = Price + 0.0009, Placed = '2020-01-03 10:30:00.358' WHERE Id = 2;"
      "UPDATE Orders SET Price = Price + 0.0011 WHERE Id = 3");
  Edit(ctl, 2, 2, "21");
  EXPECT_THAT(Statement(),
              HasSubstr("Price >=  0.999 AND Price <=  1.001 AND Placed >= {ts '2020-01-03 "
                        "10:30:00.142'} AND Placed <= {ts '2020-01-03 10:30:00.358'}"));
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 2"), "21");
  EXPECT_EQ(MessageCount(), 0u);

  Edit(ctl, 3, 2, "31");
  // The refusal read the window again from the database; Id 4 moves on after that.
  TestDb(db_).Exec("UPDATE Orders SET Placed = '2020-01-03 10:30:00.359' WHERE Id = 4");
  Edit(ctl, 4, 2, "41");
  EXPECT_EQ(DbValue("SELECT group_concat(Qty) FROM Orders WHERE Id IN (3, 4)"), "3,4");
  EXPECT_EQ(MessageCount(), 2u);

  // A timestamp typed by the operator is written with the database's own date form.
  Edit(ctl, 5, 4, "3/4/2021 1:02:03 PM");
  EXPECT_EQ(DbValue("SELECT Placed FROM Orders WHERE Id = 5"), "2021-03-04 13:02:03");
  EXPECT_EQ(ctl.GetCellText(4, 3), "3/4/2021 1:02:03 PM");
}

// Names from the result and the DataTable property are never pasted into a statement as text
// that could change what the statement does.
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
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2) + "|" + std::to_string(ctl.PendingChanges()), "2|0");
}

TEST_F(EditTest, ColumnsNamedWithBlanksOrKeywordsAreEditable) {
  const std::filesystem::path db = OrdersDb(3);
  TestDb(db).Exec(
      "CREATE TABLE \"Odd Names\"(\"my col\" TEXT, \"group\" INTEGER);"
      "INSERT INTO \"Odd Names\" VALUES ('a', 1), ('b', 2)");
  TabuloCtl& ctl =
      EditTable(db, "SELECT \"my col\", \"group\" FROM \"Odd Names\" ORDER BY 2", "\"Odd Names\"");
  Edit(ctl, 2, 2, "20");
  EXPECT_THAT(Statement(),
              HasSubstr("UPDATE \"Odd Names\" SET \"group\" = 20 WHERE \"my col\" = 'b'"));
  // The first grid column commits as the others do, and the row is then named by its new
  // value, kept as the text it is.
  Edit(ctl, 1, 1, "1.50");
  ctl.Grid.UserClick(2, 1);  // the commit left the current cell on (1, 2)
  Edit(ctl, 1, 2, "10");
  EXPECT_EQ(MessageCount(), 0u);
  EXPECT_EQ(DbValue("SELECT group_concat(\"my col\" || '|' || \"group\", ' ') FROM "
                    "\"Odd Names\""),
            "1.50|10 b|20");
}

}  // namespace
}  // namespace tabulo::control::testing
