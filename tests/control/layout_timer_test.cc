// Layout at small and large sizes, and the refresh timer on the virtual clock.
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

class LayoutTest : public HostedControlTest {
 protected:
  void SetUp() override { InstallDefaultHost(); }
};

TEST_F(LayoutTest, GridRowsFollowTheGridHeight) {
  TabuloCtl& ctl = NewControl();
  // 3000 / 240 - 1 = 11.5, rounded half to even: 12 rows.
  EXPECT_EQ(ctl.VisibleRows(), 12);
  EXPECT_EQ(ctl.Grid.Rows(), 12);
  EXPECT_EQ(ctl.Grid.FixedRows(), 1);
  EXPECT_EQ(ctl.Grid.height(), 3000);
  EXPECT_EQ(ctl.Grid.width(), kWidth - ctl.ScrollBar.width());
  EXPECT_EQ(ctl.ScrollBar.left(), ctl.Grid.width());
  EXPECT_EQ(ctl.ScrollBar.height(), 3000);
  EXPECT_EQ(ctl.sBar.Panels(1).width(), 4800);
  EXPECT_EQ(ctl.sBar.Panels(2).width(), 4800);
  EXPECT_TRUE(ctl.sBar.visible());

  ctl.Resize(9600, 3240 + platform::kStatusBarHeight);  // 12.5 rounds to 12
  EXPECT_EQ(ctl.VisibleRows(), 12);
  ctl.Resize(9600, 3480 + platform::kStatusBarHeight);  // 13.5 rounds to 14
  EXPECT_EQ(ctl.VisibleRows(), 14);
  ctl.Resize(30000, 240000 + platform::kStatusBarHeight);
  EXPECT_EQ(ctl.VisibleRows(), 999);
  EXPECT_EQ(ctl.Grid.Rows(), 999);
}

TEST_F(LayoutTest, TooSmallKeepsTheHeaderRow) {
  TabuloCtl& ctl = NewControl();
  ctl.Resize(600, 400);
  EXPECT_EQ(ctl.VisibleRows(), 1);
  EXPECT_EQ(ctl.Grid.Rows(), 1);
  ctl.Resize(0, 0);
  EXPECT_EQ(ctl.VisibleRows(), 1);
  EXPECT_EQ(ctl.sBar.Panels(1).width(), 0);
}

TEST_F(LayoutTest, HidingTheStatusBarGivesItsHeightToTheGrid) {
  TabuloCtl& ctl = NewControl();
  ctl.SetShowStatusBar(false);
  EXPECT_FALSE(ctl.sBar.visible());
  EXPECT_EQ(ctl.Grid.height(), kHeight);
  EXPECT_EQ(ctl.VisibleRows(), 13);  // 3315 / 240 - 1 = 12.8
  EXPECT_EQ(ctl.sBar.Panels(1).width(), 4800);
  // At design time growing never starts the timer.
  EXPECT_FALSE(ctl.Timer1.running());
  ctl.Resize(9600, 6000);
  EXPECT_FALSE(ctl.Timer1.running());
}

TEST_F(LayoutTest, GrowingInRunModeRefreshesOnceToFillTheNewRows) {
  TabuloCtl& ctl = Browse(OrdersDb(40), "SELECT Id FROM Orders ORDER BY Id");
  ASSERT_FALSE(ctl.Timer1.running());
  ASSERT_EQ(ctl.Grid.TextMatrix(11, 1), "11");
  ctl.SetShowStatusBar(false);
  EXPECT_EQ(ctl.Grid.Rows(), 13);
  EXPECT_TRUE(ctl.Timer1.running());
  EXPECT_EQ(ctl.Timer1.interval(), 250);
  EXPECT_EQ(ctl.Grid.TextMatrix(12, 1), "");
  container_.event_loop().RunFor(250);
  EXPECT_EQ(ctl.Grid.TextMatrix(12, 1), "12");
  EXPECT_FALSE(ctl.Timer1.running());
  // Shrinking cuts rows without a refresh.
  ctl.Resize(kWidth, 1200);  // the status bar is hidden: 1200 / 240 - 1
  EXPECT_EQ(ctl.Grid.Rows(), 4);
  EXPECT_FALSE(ctl.Timer1.running());
}

class TimerTest : public HostedControlTest {
 protected:
  void SetUp() override {
    InstallDefaultHost();
    path_ = OrdersDb(10);
  }
  void AddOrder(int id) {
    TestDb(path_).Exec("INSERT INTO Orders(Id) VALUES(" + std::to_string(id) + ")");
  }
  std::filesystem::path path_;
};

TEST_F(TimerTest, WithoutAutoRefreshRunModeLoadsOnceAndStops) {
  TabuloCtl& ctl = NewControl();
  ctl.SetDSNname(path_.string());
  ctl.SetRecordSource("SELECT Id FROM Orders");
  container_.SetAmbientUserMode(true);
  ctl.UserModeSet();
  EXPECT_TRUE(ctl.Timer1.running());
  container_.event_loop().RunFor(249);
  EXPECT_EQ(ctl.CurrentRecordSet(), nullptr);
  container_.event_loop().RunFor(1);
  EXPECT_EQ(ctl.NumberRows(), 10);
  EXPECT_FALSE(ctl.Timer1.running());
  AddOrder(11);
  container_.event_loop().RunFor(5000);
  EXPECT_EQ(ctl.NumberRows(), 10);
}

TEST_F(TimerTest, AutoRefreshWithIntervalZeroRequeriesEverySecond) {
  TabuloCtl& ctl = NewControl();
  ctl.SetDSNname(path_.string());
  ctl.SetRecordSource("SELECT Id FROM Orders");
  ctl.SetAutoRefresh(true);
  EnterRunMode();
  EXPECT_EQ(ctl.NumberRows(), 10);
  EXPECT_TRUE(ctl.Timer1.running());
  EXPECT_EQ(ctl.Timer1.interval(), 1000);
  AddOrder(11);
  container_.event_loop().RunFor(999);
  EXPECT_EQ(ctl.NumberRows(), 10);
  container_.event_loop().RunFor(1);
  EXPECT_EQ(ctl.NumberRows(), 11);
  AddOrder(12);
  container_.event_loop().RunFor(1000);
  EXPECT_EQ(ctl.NumberRows(), 12);
}

TEST_F(TimerTest, LongerIntervalWaitsForItsDeadline) {
  TabuloCtl& ctl = NewControl();
  ctl.SetDSNname(path_.string());
  ctl.SetRecordSource("SELECT Id FROM Orders");
  ctl.SetAutoRefresh(true);
  ctl.SetRefreshInterval(3000);
  EnterRunMode();
  AddOrder(11);
  container_.event_loop().RunFor(2000);
  EXPECT_EQ(ctl.NumberRows(), 10);
  container_.event_loop().RunFor(1000);
  EXPECT_EQ(ctl.NumberRows(), 11);
  // A new interval makes the next tick re-query.
  AddOrder(12);
  ctl.SetRefreshInterval(60000);
  container_.event_loop().RunFor(1000);
  EXPECT_EQ(ctl.NumberRows(), 12);
}

TEST_F(TimerTest, TickDuringAnEditNeitherRefreshesNorStops) {
  TabuloCtl& ctl = NewControl();
  ctl.SetDSNname(path_.string());
  ctl.SetRecordSource("SELECT Id FROM Orders");
  ctl.SetAutoRefresh(true);
  EnterRunMode();
  ctl.txtEdit.set_visible(true);
  AddOrder(11);
  container_.event_loop().RunFor(3000);
  EXPECT_EQ(ctl.NumberRows(), 10);
  EXPECT_TRUE(ctl.Timer1.running());
  ctl.txtEdit.set_visible(false);
  container_.event_loop().RunFor(1000);
  EXPECT_EQ(ctl.NumberRows(), 11);
}

TEST_F(TimerTest, TurningAutoRefreshOffStopsTheTimer) {
  TabuloCtl& ctl = NewControl();
  ctl.SetDSNname(path_.string());
  ctl.SetRecordSource("SELECT Id FROM Orders");
  ctl.SetAutoRefresh(true);
  EnterRunMode();
  ctl.SetAutoRefresh(false);
  EXPECT_FALSE(ctl.Timer1.running());
  AddOrder(11);
  container_.event_loop().RunFor(3000);
  EXPECT_EQ(ctl.NumberRows(), 10);
}

}  // namespace
}  // namespace tabulo::control::testing
