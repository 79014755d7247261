// The members host scripts read the control through, by name and by dispatch id.
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using platform::InvokeKind;
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
    // B hidden, C captioned.
    platform::SafeArray a = ctl_->GridColumns().AsArray();
    a.At(1, 1) = Variant(false);
    a.At(2, 2) = Variant("Comment");
    ctl_->SetGridArray(Variant(a));
    ctl_->Refresh();
  }
  Variant Call(std::string_view name, InvokeKind kind, std::vector<Variant> args = {}) {
    return ctl_->InvokeByName(name, kind, args);
  }
  TabuloCtl* ctl_ = nullptr;
};

TEST_F(ScriptingTest, CellNamesAndTextsCountOnlyAccessibleColumns) {
  TabuloCtl& ctl = *ctl_;
  EXPECT_EQ(ctl.GetCellName(0), "A");
  EXPECT_EQ(ctl.GetCellName(1), "Comment");
  EXPECT_EQ(ctl.GetCellName(2), "");
  EXPECT_EQ(ctl.GetCellText(0, 1), "c0");
  EXPECT_EQ(ctl.GetCellText(149, 0), "149");
  EXPECT_EQ(ctl.GetCellText(0, 2), "");

  ctl.AllowAccessToHiddenColumnsInScript = true;
  EXPECT_EQ(ctl.GetCellName(1), "B");
  EXPECT_EQ(ctl.GetCellName(2), "Comment");
  EXPECT_EQ(ctl.GetCellText(0, 1), "b0");
  EXPECT_EQ(ctl.GetCellText(7, 2), "c7");
}

TEST_F(ScriptingTest, CellTextFailuresGiveEmptyText) {
  TabuloCtl& ctl = *ctl_;
  EXPECT_EQ(ctl.GetCellText(2, 1), "");    // null
  EXPECT_EQ(ctl.GetCellText(150, 0), "");  // the record count
  EXPECT_EQ(ctl.GetCellText(-1, 0), "");
  EXPECT_EQ(ctl.GetCellText(0, -1), "");
  EXPECT_EQ(ctl.GetCellText(3, 1), "c3");
  // The value comes from the record set, whatever the grid shows.
  ctl.Grid.SetTextMatrix(1, 2, "typed");
  EXPECT_EQ(ctl.GetCellText(0, 1), "c0");
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(ScriptingTest, ActiveRowAndColumnFollowTheWindow) {
  TabuloCtl& ctl = *ctl_;
  ctl.ScrollBar.SetValue(100);
  ASSERT_EQ(ctl.FirstRow(), 100);
  EXPECT_EQ(ctl.ActiveColumn(), -1);
  EXPECT_EQ(ctl.ActiveRow(), 99);  // the header row
  ctl.Grid.SetRow(1);
  ctl.Grid.SetCol(2);
  EXPECT_EQ(ctl.ActiveRow(), 100);
  EXPECT_EQ(ctl.ActiveColumn(), 1);
  EXPECT_EQ(Call("ActiveRow", InvokeKind::PropertyGet).AsLong(), 100);
}

TEST_F(ScriptingTest, GridColumnMembersUseGridNumbers) {
  TabuloCtl& ctl = *ctl_;
  ctl.Grid.SetRow(3);
  EXPECT_EQ(ctl.ColHeader(2), "Comment");
  EXPECT_EQ(ctl.Grid.Row(), 0);
  EXPECT_EQ(ctl.Grid.Col(), 2);
  EXPECT_EQ(ctl.ColWidth(2), 1200);
  EXPECT_TRUE(ctl.ColIsVisibile(1));
  EXPECT_THROW(ctl.ColHeader(3), platform::ComError);
  EXPECT_THROW(ctl.ColWidth(-1), platform::ComError);
  EXPECT_THROW(ctl.ColIsVisibile(3), platform::ComError);
  ctl.Grid.SetColWidth(1, 20000);
  EXPECT_FALSE(ctl.ColIsVisibile(2));
}

TEST_F(ScriptingTest, HideColumnShowsTheColumnAgain) {
  TabuloCtl& ctl = *ctl_;
  ASSERT_EQ(ctl.Grid.Cols(), 3);
  ctl.HideColumn(1);
  EXPECT_TRUE(ctl.Columns()[1].Visible);
  EXPECT_EQ(RowText(ctl, 0), (std::vector<std::string>{"", "A", "B", "Comment"}));
  EXPECT_EQ(RowText(ctl, 2), (std::vector<std::string>{"2", "1", "b1", "c1"}));
  try {
    ctl.HideColumn(4);
    FAIL() << "column 4 of 3 was taken";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), 9);
  }
  // Column 3 is the spare entry: allowed, and harmless.
  ctl.HideColumn(3);
  EXPECT_EQ(ctl.Grid.Cols(), 4);
}

TEST_F(ScriptingTest, HideColumnWithoutColumnsOnlyRefreshes) {
  TabuloCtl& ctl = *ctl_;
  ctl.SetGridArray(Variant());
  ctl.HideColumn(0);
  ctl.HideColumn(7);
  EXPECT_EQ(ctl.ColumnCount(), 0);
  EXPECT_EQ(ctl.Columns().size(), 1u);
  EXPECT_FALSE(ctl.Columns()[0].Visible);
}

TEST_F(ScriptingTest, MembersAreReachedByTheirDispatchIds) {
  TabuloCtl& ctl = *ctl_;
  const std::vector<std::pair<const char*, platform::DispId>> ids = {
      {"ActiveColumn", 0x68030019}, {"ActiveRow", 0x68030018}, {"ColIsVisibile", 0x68030013},
      {"ColHeader", 0x68030012},    {"ColWidth", 0x68030011},  {"GetCellName", 0x60030040},
      {"GetCellText", 0x60030041},  {"HideColumn", 0x6003005B}};
  for (const auto& [name, id] : ids) EXPECT_EQ(ctl.GetIdOfName(name), id) << name;

  std::vector<Variant> args{Variant(int32_t{2})};
  EXPECT_EQ(ctl.Invoke(0x68030012, InvokeKind::PropertyGet, args).AsString(), "Comment");
  EXPECT_EQ(Call("GetCellText", InvokeKind::Method, {Variant(int32_t{5}), Variant(int32_t{1})})
                .AsString(),
            "c5");
  EXPECT_EQ(Call("GetCellName", InvokeKind::Method, {Variant(int32_t{1})}).AsString(), "Comment");
  EXPECT_EQ(Call("colwidth", InvokeKind::PropertyGet, {Variant(int32_t{1})}).AsLong(), 960);
  // Read-only members take no value.
  EXPECT_THROW(Call("ActiveRow", InvokeKind::PropertyPut, {Variant(int32_t{1})}),
               platform::ComError);
  Call("HideColumn", InvokeKind::Method, {Variant(int16_t{1})});
  EXPECT_TRUE(ctl.Columns()[1].Visible);
}

}  // namespace
}  // namespace tabulo::control::testing
