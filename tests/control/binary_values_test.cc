// Binary values in the window: shown by their size, never edited, and never in the way of
// the values around them.
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

TEST_F(EditTest, BinaryValuesShowTheirSizeAndAreNotEdited) {
  db_ = folder_ / "files.db";
  // Row 25 holds a blob in a text column: met only after a scroll.
  TestDb(db_).Exec(
      "CREATE TABLE Files(Id INTEGER PRIMARY KEY, Name TEXT, Data BLOB);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) "
      "INSERT INTO Files SELECT i, 'f' || i, CASE i WHEN 2 THEN NULL WHEN 3 THEN x'00' "
      "ELSE zeroblob(1024) END FROM n;"
      "UPDATE Files SET Name = x'0102' WHERE Id = 25");
  TabuloCtl& ctl = Browse(db_, "SELECT Id, Name, Data FROM Files ORDER BY Id");
  ctl.SetDataTable("Files");
  ctl.SetAllowUpdates(true);
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"1", "1", "f1", "(binary, 1024 bytes)"}));
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 3), "");
  EXPECT_EQ(ctl.Grid.TextMatrix(3, 3), "(binary, 1 byte)");
  EXPECT_EQ(MessageCount(), 0u);

  ctl.ScrollBar.SetValue(20);
  const int32_t last = ctl.Grid.Rows() - 1;
  ASSERT_GT(last, 6);
  EXPECT_EQ(ctl.Grid.TextMatrix(5, 2), "(binary, 2 bytes)");  // record 25
  EXPECT_EQ(ctl.Grid.TextMatrix(last, 2), std::string("f").append(std::to_string(20 + last)));
  EXPECT_EQ(MessageCount(), 0u);

  ctl.Grid.UserClick(1, 3);
  EXPECT_FALSE(ctl.txtEdit.visible());
  EXPECT_FALSE(ctl.Editing());
  ctl.Grid.UserClick(1, 2);
  EXPECT_TRUE(ctl.txtEdit.visible());
}

}  // namespace
}  // namespace tabulo::control::testing
