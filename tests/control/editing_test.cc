// Editing in place: the editor over the cell, what it accepts and refuses, the grid's events
// passed on to the host, the popup menu and the column fit.
#include "edit_fixture.h"
#include "platform/text/ui_language.h"

namespace tabulo::control::testing {
namespace {

using platform::Variant;

TEST_F(EditTest, EditorOpensOnlyOnDataCellsWithUpdatesAllowedAndTheTimerRestartsOtherwise) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id", 5);
  for (auto [row, col] : {std::pair(0, 2), std::pair(3, 0)}) {  // header, row numbers
    ctl.Grid.UserClick(row, col);
    EXPECT_EQ(EditState(ctl, row), "closed hidden 0 row 1 marked 0") << row << "," << col;
  }

  ctl.Grid.UserClick(3, 2);
  ASSERT_TRUE(ctl.txtEdit.visible());
  EXPECT_TRUE(ctl.Editing() && ctl.txtEdit.has_focus());
  EXPECT_EQ(ctl.txtEdit.text() + "@" + std::to_string(ctl.EditRow()) + "," +
                std::to_string(ctl.EditCol()),
            "3@3,2");
  // Laid exactly over the cell, in the control's coordinates, above the grid.
  const auto& e = ctl.txtEdit;
  EXPECT_EQ(
      (std::vector<double>{e.left(), e.top(), e.width(), e.height()}),
      (std::vector<double>{
          ctl.Grid.left() + ctl.Grid.CellLeft(), ctl.Grid.top() + ctl.Grid.CellTop(),
          static_cast<double>(ctl.Grid.CellWidth()), static_cast<double>(ctl.Grid.RowHeight(3))}));
  EXPECT_GT(e.z_order(), ctl.Grid.z_order());

  // Without AllowUpdates no editor opens, yet the timer restarts.
  // Unchanged text closes the editor without a mark, an event or a statement.
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(EditState(ctl, 3), "closed hidden 0 row 1 marked 0");
  EXPECT_TRUE(Changed().empty() && DebugLines("GetSqlUpdateQuery").empty());
  EXPECT_EQ(MessageCount(), 0u);
  ctl.SetAllowUpdates(false);
  ctl.SetAutoRefresh(true);
  ctl.Timer1.set_enabled(false);
  ctl.Grid.UserClick(2, 2);
  EXPECT_FALSE(ctl.txtEdit.visible());
  EXPECT_TRUE(ctl.Timer1.enabled());
  // A row without a record enters nothing: leaving the cell restarted the timer.
  ctl.Timer1.set_enabled(false);
  ctl.Grid.UserClick(8, 2);
  EXPECT_TRUE(ctl.Timer1.enabled());
}

TEST_F(EditTest, TextsThatAreNoValueOfAnUnquotedColumnAreRefusedInTheUserLanguage) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Price, Placed, Note FROM Orders ORDER BY Id");
  struct Case {
    int32_t col;
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {2, "1; DROP TABLE Orders", "Updated value is not a valid number"},
      {2, "1.5", "Updated value must be a whole number"},
      {2, "99999999999", "Updated value is out of range for this column"},
      {3, "0 OR 1=1", "Updated value is not a valid number"},
      {4, "yesterday'); DELETE FROM Orders; --", "Updated value is not a valid date or time"},
      {2, "   ", "Updated value cannot be blank"},
  };
  for (const Case& c : cases) {
    size_t before = MessageCount();
    Edit(ctl, 2, c.col, c.text);
    ASSERT_EQ(MessageCount(), before + 1) << c.text;
    EXPECT_EQ(LastMessage().text, c.message) << c.text;
    EXPECT_TRUE(ctl.Editing() && DebugLines("GetSqlUpdateQuery").empty()) << c.text;
    // Put the original text back and leave, so the next case starts closed.
    ctl.txtEdit.set_sel_start(0);
    ctl.txtEdit.set_sel_length(1000);
    ctl.txtEdit.TypeText(ctl.Grid.TextMatrix(2, c.col));
    ctl.txtEdit.PressKey(platform::kKeyReturn);
    ASSERT_FALSE(ctl.Editing()) << c.text;
  }
  EXPECT_EQ(DbValue("SELECT (SELECT count(*) FROM Orders) || '|' || Qty || '|' || Price FROM "
                    "Orders WHERE Id = 2"),
            "50|2|1.0");
  // A blank text is accepted for a quoted column.
  const size_t before = MessageCount();
  Edit(ctl, 3, 5, "");
  EXPECT_EQ(MessageCount(), before);
  EXPECT_EQ(DbValue("SELECT quote(Note) FROM Orders WHERE Id = 3"), "''");

  platform::SetUserInterfaceLanguage(1031);
  Edit(ctl, 3, 2, "abc");
  platform::SetUserInterfaceLanguage(1033);
  EXPECT_EQ(LastMessage().text, "Der geänderte Wert ist keine gültige Zahl");
}

TEST_F(EditTest, AcceptedTextLandsInTheEditedCellEvenAfterTheCurrentCellMovedOn) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  TypeInto(ctl, 2, 2, "");
  // Leaving by a click: refused, yet the grid's current cell moves on regardless.
  ctl.Grid.UserClick(5, 3);
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(std::pair(ctl.Grid.Row(), ctl.Editing()), std::pair(5, true));
  ctl.txtEdit.TypeText("42");
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2) + "|" + ctl.Grid.TextMatrix(5, 3), "42|n5");
  EXPECT_EQ(Changed(), std::vector<std::string>{"CellValueChanged(2, 2)"});
  EXPECT_EQ(DbValue("SELECT Qty || '|' || (SELECT Note FROM Orders WHERE Id = 5) FROM Orders "
                    "WHERE Id = 2"),
            "42|n5");
  // No mark is left anywhere once written.
  for (int32_t r = 1; r < ctl.Grid.Rows(); ++r)
    EXPECT_EQ(EditState(ctl, r), "closed hidden 0 row 1 marked 0") << r;
}

// The order of the mouse events, the key events and DblClick are asserted by the edit script.
TEST_F(EditTest, ClickCarriesTheRecordPositionAndDataColumn) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  ctl.SetAllowUpdates(false);
  ctl.ScrollBar.SetValue(10);
  events_->on_event = [&](std::string_view name, std::vector<Variant>& args) {
    if (name == "Click") args[4] = Variant(int32_t{99});  // the host may write Status
  };
  ctl.Grid.UserClick(3, 2);
  // Row is the record's zero-based position, Column the zero-based data column; the
  // arguments as the interface types them.
  EXPECT_EQ(events_->Named("Click"), std::vector<std::string>{"Click(0, 12, 1, 0, 0)"});
  std::vector<platform::VarType> types;
  for (const Variant& v : events_->last["Click"]) types.push_back(v.type());
  using enum platform::VarType;
  EXPECT_EQ(types, (std::vector<platform::VarType>{Integer, Long, Long, Long, Long}));
}

// Its caption and what its choice does: PopupRefreshRequeriesOnceAndKeepsTheTimersDeadline.
TEST_F(EditTest, RightButtonShowsThePopupMenuBeforeMouseDownAndOpensNoEditor) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty FROM Orders ORDER BY Id");
  size_t popups_at_mouse_down = 0;
  events_->on_event = [&](std::string_view name, std::vector<Variant>&) {
    if (name == "MouseDown") popups_at_mouse_down = container_.popups().size();
  };
  container_.QueuePopupChoice(0);
  ctl.Grid.UserClick(2, 2, 2);
  ASSERT_EQ(container_.popups().size(), 1u);
  EXPECT_EQ(popups_at_mouse_down, 1u);
  EXPECT_FALSE(ctl.txtEdit.visible());  // the right button does not move the current cell
}

TEST_F(EditTest, DoubleClickOnAHeaderBorderFitsTheColumnToItsLongestVisibleText) {
  TabuloCtl& ctl =
      EditOrders("SELECT Id, Customer, Note, Qty, Price, Placed FROM Orders ORDER BY Id");
  host::testing::TestDb(db_).Exec(
      "UPDATE Orders SET Note = 'a much longer note here' WHERE Id = 4");
  ctl.Refresh();
  const int32_t border =
      ctl.Grid.ColWidth(0) + ctl.Grid.ColWidth(1) + ctl.Grid.ColWidth(2) + ctl.Grid.ColWidth(3);
  events_->lines.clear();
  ctl.Grid.UserDblClickAt(static_cast<float>(border - 40), 100);
  EXPECT_TRUE(events_->Named("DblClick").empty());
  const int32_t expected = platform::TextWidth(ctl.Font()->name(), ctl.Font()->size(),
                                               ctl.Font()->bold(), "a much longer note here") +
                           150;
  EXPECT_EQ(ctl.Grid.ColWidth(3), expected);
  // Within the header but away from a border: the host's DblClick.
  ctl.Grid.UserDblClickAt(static_cast<float>(ctl.Grid.ColWidth(0) + 200), 100);
  EXPECT_EQ(events_->Named("DblClick").size(), 1u);

  // Scrolled sideways, the border test counts the fixed column and the first one shown.
  for (int32_t c = 1; c < ctl.Grid.Cols(); ++c) ctl.Grid.SetColWidth(c, 3000);
  ctl.Grid.SetLeftCol(3);
  ASSERT_EQ(ctl.Grid.LeftCol(), 3);
  ctl.Grid.UserDblClickAt(static_cast<float>(ctl.Grid.ColWidth(0) + 3000 - 30), 100);
  EXPECT_EQ(std::tuple(ctl.Grid.LeftCol(), ctl.Grid.MouseCol(), events_->Named("DblClick").size(),
                       ctl.Grid.ColWidth(3)),
            std::tuple(3, 3, size_t{1}, expected));
}

// A refill the operator asked for (a refresh; a language change refreshes too) throws an open
// edit away: the grid shows the stored value again and nothing is written afterwards.
TEST_F(EditTest, ARefillTheOperatorAskedForEndsAnOpenEditWithoutApplyingIt) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  TypeInto(ctl, 1, 3, "typed");
  ctl.OnLanguageChange(1031);
  EXPECT_EQ(std::tuple(ctl.Editing(), ctl.txtEdit.visible(), ctl.PendingChanges()),
            std::tuple(false, false, 0));
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 3), "n1");
  TypeInto(ctl, 2, 3, "typed");
  ctl.Grid.SetTopRow(2);  // also when a grid scroll hid the editor
  ASSERT_TRUE(ctl.Editing());
  ctl.Refresh();
  EXPECT_FALSE(ctl.Editing());
  ctl.Grid.UserClick(4, 2);
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(DbValue("SELECT count(*) FROM Orders WHERE Note = 'typed' OR Qty = 'typed'"), "0");
  EXPECT_TRUE(events_->Named("CellValueChanged").empty());
}

// Binary values are shown by their size, never edited, never in the way of the values around.
TEST_F(EditTest, BinaryValuesShowTheirSizeAndAreNotEdited) {
  db_ = folder_ / "files.db";
  // Row 25 holds a blob in a text column: met only after a scroll.
  TestDb(db_).Exec(
      "CREATE TABLE Files(Id INTEGER PRIMARY KEY, Name TEXT, Data BLOB);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) "
      "INSERT INTO Files SELECT i, 'f' || i, CASE i WHEN 2 THEN NULL WHEN 3 THEN x'00' "
      "ELSE zeroblob(1024) END FROM n;"
      "UPDATE Files SET Name = x'0102' WHERE Id = 25");
  TabuloCtl& ctl = EditTable(db_, "SELECT Id, Name, Data FROM Files ORDER BY Id", "Files");
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"1", "1", "f1", "(binary, 1024 bytes)"}));
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 3) + "|" + ctl.Grid.TextMatrix(3, 3), "|(binary, 1 byte)");

  ctl.ScrollBar.SetValue(20);
  const int32_t last = ctl.Grid.Rows() - 1;
  ASSERT_GT(last, 6);
  EXPECT_EQ(ctl.Grid.TextMatrix(5, 2), "(binary, 2 bytes)");  // record 25
  EXPECT_EQ(ctl.Grid.TextMatrix(last, 2), std::string("f").append(std::to_string(20 + last)));
  EXPECT_EQ(MessageCount(), 0u);

  ctl.Grid.UserClick(1, 3);
  EXPECT_FALSE(ctl.txtEdit.visible() || ctl.Editing());
  ctl.Grid.UserClick(1, 2);
  EXPECT_TRUE(ctl.txtEdit.visible());
}

}  // namespace
}  // namespace tabulo::control::testing
