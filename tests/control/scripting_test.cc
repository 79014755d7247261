// The members host scripts read the control through, by name and by dispatch id.
#include "common/error_of.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using platform::Variant;

class ScriptingTest : public HostedControlTest {
 protected:
  void SetUp() override {
    InstallDefaultHost();
    std::filesystem::path path = folder_ / "abc.db";
    TestDb db(path);
    db.Exec("CREATE TABLE T(A INTEGER, B VARCHAR(20), C VARCHAR(20))");
    db.Exec(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 149) "
        "INSERT INTO T SELECT i, 'b' || i, CASE WHEN i = 2 THEN NULL ELSE 'c' || i END FROM n");
    ctl_ = &Browse(path, "SELECT A, B, C FROM T ORDER BY A");
    EditColumns(*ctl_, {{1, 1, false}, {2, 2, "Comment"}});  // B hidden, C captioned
    ctl_->Refresh();
  }
  TabuloCtl* ctl_ = nullptr;
};

TEST_F(ScriptingTest, CellNamesAndTextsCountOnlyAccessibleColumns) {
  TabuloCtl& ctl = *ctl_;
  // Script column numbers with B hidden, then with hidden columns accessible.
  const std::vector<std::string> kNames[2] = {{"A", "Comment", ""}, {"A", "B", "Comment"}};
  for (bool hidden : {false, true}) {
    ctl.AllowAccessToHiddenColumnsInScript = hidden;
    for (int32_t col = 0; col < 3; ++col)
      EXPECT_EQ(ctl.GetCellName(col), kNames[hidden][static_cast<size_t>(col)]) << col;
  }
  // Texts by record and script column; a null, a record or column out of range give "".
  struct Text {
    bool hidden;
    int32_t row, col;
    const char* text;
  };
  const Text kTexts[] = {{false, 0, 1, "c0"}, {false, 149, 0, "149"}, {false, 0, 2, ""},
                         {true, 0, 1, "b0"},  {true, 7, 2, "c7"},     {false, 2, 1, ""},
                         {false, 150, 0, ""}, {false, -1, 0, ""},     {false, 0, -1, ""}};
  for (const Text& t : kTexts) {
    ctl.AllowAccessToHiddenColumnsInScript = t.hidden;
    EXPECT_EQ(ctl.GetCellText(t.row, t.col), t.text) << t.hidden << " " << t.row << " " << t.col;
  }
  // The value comes from the record set, whatever the grid shows.
  ctl.AllowAccessToHiddenColumnsInScript = false;
  ctl.Grid.SetTextMatrix(1, 2, "typed");
  EXPECT_EQ(ctl.GetCellText(0, 1), "c0");
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(ScriptingTest, ActiveRowAndColumnFollowTheWindowColumnMembersUseGridNumbers) {
  TabuloCtl& ctl = *ctl_;
  ctl.ScrollBar.SetValue(100);
  ASSERT_EQ(ctl.FirstRow(), 100);
  EXPECT_EQ(std::tuple(ctl.ActiveRow(), ctl.ActiveColumn()), std::tuple(99, -1));  // the header
  ctl.Grid.SetRow(1);
  ctl.Grid.SetCol(2);
  EXPECT_EQ(std::tuple(ctl.ActiveRow(), ctl.ActiveColumn()), std::tuple(100, 1));
  EXPECT_EQ(ctl.Get("ActiveRow"), Variant(int32_t{100}));
  // The grid's column members take grid numbers.
  ctl.Grid.SetRow(3);
  EXPECT_EQ(ctl.ColHeader(2), "Comment");
  EXPECT_EQ(std::tuple(ctl.Grid.Row(), ctl.Grid.Col()), std::tuple(0, 2));  // on the header cell
  EXPECT_EQ(std::tuple(ctl.ColWidth(1), ctl.ColWidth(2), ctl.ColIsVisibile(1)),
            std::tuple(960, 1200, true));
  EXPECT_THROW(ctl.ColHeader(3), platform::ComError);
  EXPECT_THROW(ctl.ColWidth(-1), platform::ComError);
  EXPECT_THROW(ctl.ColIsVisibile(3), platform::ComError);
  ctl.Grid.SetColWidth(1, 20000);
  EXPECT_FALSE(ctl.ColIsVisibile(2));
}

TEST_F(ScriptingTest, HideColumnShowsTheColumnAgain) {
  TabuloCtl& ctl = *ctl_;
  ASSERT_EQ(ctl.Grid.Cols(), 3);
  // Called by id, as scripts do: the member shows the descriptor's column again.
  std::vector<Variant> args{Variant(int16_t{1})};
  ctl.Invoke(static_cast<platform::DispId>(0x6003005B), platform::InvokeKind::Method, args);
  EXPECT_TRUE(ctl.Columns()[1].Visible);
  EXPECT_EQ(RowText(ctl, 0), (std::vector<std::string>{"", "A", "B", "Comment"}));
  EXPECT_EQ(RowText(ctl, 2), (std::vector<std::string>{"2", "1", "b1", "c1"}));
  EXPECT_EQ(test_support::ErrorOf([&] { ctl.HideColumn(4); }), 9);  // column 4 of 3
  // Column 3 is the spare entry: allowed, and harmless.
  args = {Variant(int16_t{3})};
  ctl.InvokeByName("HideColumn", platform::InvokeKind::Method, args);
  EXPECT_EQ(ctl.Grid.Cols(), 4);
  // Without columns it only refreshes.
  ctl.SetGridArray(Variant());
  ctl.HideColumn(0);
  ctl.HideColumn(7);
  EXPECT_EQ(std::tuple(ctl.ColumnCount(), ctl.Columns().size(), ctl.Columns()[0].Visible),
            std::tuple(0, size_t{1}, false));
}

}  // namespace
}  // namespace tabulo::control::testing
