// The editor's keys as an operator presses them: the editor opens with its whole text
// selected so that typing replaces the value, the caret keys end the selection, Escape puts
// the opening text back and closes it after a refused value, and a write the database
// refuses because someone else changed the row shows the row as it now is.
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

// Opens the editor on (row, col) by a click, as an operator does: no selection made by the
// test. A click on the current cell enters nothing: the row-number column is made current first.
void Open(TabuloCtl& ctl, int32_t row, int32_t col) {
  if (ctl.Grid.Row() == row && ctl.Grid.Col() == col) ctl.Grid.SetCol(0);
  ctl.Grid.UserClick(row, col);
  ASSERT_TRUE(ctl.txtEdit.visible() && ctl.txtEdit.has_focus()) << row << "," << col;
}

std::string Selection(const TabuloCtl& ctl) {
  return std::to_string(ctl.txtEdit.sel_start()) + "+" + std::to_string(ctl.txtEdit.sel_length());
}

TEST_F(EditTest, TypingIntoAFreshEditorReplacesTheValueAndEnterWritesWhatWasTyped) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Price, Note FROM Orders ORDER BY Id");
  struct Case {
    int32_t row, col;
    std::string opened, selection, typed, written;
  };
  // One-, two- and three-character values and a multi-byte text: the selection covers every
  // character, not one short and not the bytes.
  const std::vector<Case> cases = {
      {3, 2, "3", "0+1", "9", "9"},     {10, 2, "10", "0+2", "7", "7"},
      {5, 3, "2.5", "0+3", "5", "5.0"}, {8, 4, "n8", "0+2", "Zoë", "Zoë"},
      {8, 4, "Zoë", "0+3", "x", "x"},
  };
  for (const Case& c : cases) {
    Open(ctl, c.row, c.col);
    EXPECT_EQ(ctl.txtEdit.text(), c.opened) << c.row;
    EXPECT_EQ(Selection(ctl), c.selection) << c.row;
    ctl.txtEdit.TypeText(c.typed);
    EXPECT_EQ(ctl.txtEdit.text(), c.typed) << c.row;
    ctl.txtEdit.PressKey(platform::kKeyReturn);
    const std::string column = c.col == 2 ? "Qty" : c.col == 3 ? "Price" : "Note";
    EXPECT_EQ(DbValue("SELECT " + column + " FROM Orders WHERE Id = " + std::to_string(c.row)),
              c.written)
        << c.row;
  }
  // Letters on a number column are refused as they stand, not as letters before the value.
  Open(ctl, 2, 2);
  ctl.txtEdit.TypeText("abc");
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(LastMessage().text, "Updated value is not a valid number");
  EXPECT_EQ(ctl.txtEdit.text(), "abc");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 2"), "2");
}

TEST_F(EditTest, CaretKeysEndTheSelectionWhereAnyTextFieldWould) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  struct Case {
    int16_t key;
    std::string selection, after_typing;
  };
  // From the whole of "n10" selected: Home and Left go to its start, End and Right to its end.
  const std::vector<Case> cases = {
      {platform::kKeyHome, "0+0", "5n10"},
      {platform::kKeyEnd, "3+0", "n105"},
      {platform::kKeyLeft, "0+0", "5n10"},
      {platform::kKeyRight, "3+0", "n105"},
  };
  for (const Case& c : cases) {
    Open(ctl, 10, 3);
    ASSERT_EQ(Selection(ctl), "0+3");
    ctl.txtEdit.PressKey(c.key);
    EXPECT_EQ(Selection(ctl), c.selection) << c.key;
    ctl.txtEdit.TypeText("5");
    EXPECT_EQ(ctl.txtEdit.text(), c.after_typing) << c.key;
    ctl.txtEdit.PressKey(platform::kKeyEscape);
  }
  // Then one step at a time, stopping at either end.
  Open(ctl, 10, 3);
  ctl.txtEdit.PressKey(platform::kKeyEnd);
  ctl.txtEdit.PressKey(platform::kKeyRight);
  EXPECT_EQ(Selection(ctl), "3+0");
  ctl.txtEdit.PressKey(platform::kKeyLeft);
  EXPECT_EQ(Selection(ctl), "2+0");
  ctl.txtEdit.PressKey(platform::kKeyHome);
  ctl.txtEdit.PressKey(platform::kKeyLeft);
  EXPECT_EQ(Selection(ctl), "0+0");
  EXPECT_EQ(DbValue("SELECT Note FROM Orders WHERE Id = 10"), "n10");
}

TEST_F(EditTest, EscapeAfterARefusedValuePutsTheOpeningTextBackAndWritesNothing) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  ctl.SetAutoRefresh(true);
  Open(ctl, 4, 2);
  ctl.txtEdit.TypeText("x");
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  ASSERT_EQ(MessageCount(), 1u);
  // The refusal leaves the editor open with the focus, the timer stopped.
  EXPECT_TRUE(ctl.Editing() && ctl.txtEdit.has_focus());
  EXPECT_FALSE(ctl.Timer1.enabled());
  // Enter again only repeats the refusal; Escape ends it.
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(MessageCount(), 2u);
  ctl.txtEdit.PressKey(platform::kKeyEscape);
  EXPECT_EQ(EditState(ctl, 4), "closed hidden 0 row 4 marked 0");
  EXPECT_EQ(ctl.txtEdit.text() + "|" + ctl.Grid.TextMatrix(4, 2), "4|4");
  EXPECT_TRUE(ctl.Grid.has_focus());
  EXPECT_TRUE(ctl.Timer1.enabled());
  EXPECT_EQ(MessageCount(), 2u);
  EXPECT_TRUE(Changed().empty() && DebugLines("GetSqlUpdateQuery").empty());
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4"), "4");

  // The keys that follow reach the editor: the next edit is written as typed.
  Open(ctl, 4, 2);
  ctl.txtEdit.TypeText("6");
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4"), "6");
  EXPECT_EQ(Changed(), std::vector<std::string>{"CellValueChanged(4, 2)"});

  // Escape on an accepted-looking text that was never committed writes nothing either.
  Open(ctl, 5, 3);
  ctl.txtEdit.TypeText("changed");
  ctl.txtEdit.PressKey(platform::kKeyEscape);
  EXPECT_EQ(ctl.Grid.TextMatrix(5, 3), "n5");
  EXPECT_EQ(MessageCount(), 2u);
  EXPECT_EQ(DbValue("SELECT Note FROM Orders WHERE Id = 5"), "n5");
}

TEST_F(EditTest, AWriteRefusedBecauseSomeoneElseChangedTheRowShowsTheRowAsItNowIs) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  Open(ctl, 4, 2);
  TestDb(db_).Exec("UPDATE Orders SET Qty = 77 WHERE Id = 4");
  ctl.txtEdit.TypeText("55");
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(LastMessage().title, "DataServer");
  EXPECT_EQ(LastMessage().style, platform::kMbCritical);
  // Printable text only: no control character or stray byte before or inside it.
  const std::string& text = LastMessage().text;
  EXPECT_EQ(text.rfind("Tabulo: The row was changed or deleted by someone else", 0), 0u) << text;
  for (unsigned char ch : text) EXPECT_TRUE(ch >= 0x20 && ch < 0x7f) << text;
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4"), "77");
  EXPECT_EQ(ctl.Grid.TextMatrix(4, 2), "77");
  EXPECT_EQ(EditState(ctl, 4), "closed hidden 0 row 1 marked 0");
  // The next edit of the row compares with the value it now holds, and is written.
  Open(ctl, 4, 2);
  EXPECT_EQ(ctl.txtEdit.text(), "77");
  ctl.txtEdit.TypeText("56");
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  EXPECT_EQ(MessageCount(), 1u);
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4"), "56");
}

}  // namespace
}  // namespace tabulo::control::testing
