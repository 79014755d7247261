// Layout at small and large sizes, and the refresh timer on the virtual clock.
#include "edit_fixture.h"
#include "fake_data_server.h"
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

// Exact re-query counts on a counting data server: every Query counts once.
class TimerCountTest : public HostedControlTest {
 protected:
  void SetUp() override {
    fake_ = std::make_shared<FakeDataServer>();
    fake_->rows = 5;
    auto fake = fake_;
    InstallHostWith(host::DefaultHostConfig("TESTBOX"),
                    [fake](const host::HostConfig&, const host::ServerConfig&) { return fake; });
  }
  TabuloCtl& AutoRefreshing(double interval) {
    TabuloCtl& ctl = NewControl();
    ctl.SetDSNname("plant");
    ctl.SetRecordSource("SELECT Id FROM T");
    ctl.SetAutoRefresh(true);
    ctl.SetRefreshInterval(interval);
    return ctl;
  }
  // The query count after each of `ticks` further seconds.
  std::vector<int> CountsPerSecond(int ticks) {
    std::vector<int> out;
    for (int i = 0; i < ticks; ++i) {
      container_.event_loop().RunFor(1000);
      out.push_back(fake_->queries);
    }
    return out;
  }
  std::shared_ptr<FakeDataServer> fake_;
};

TEST_F(TimerCountTest, RequeriesOnTheFirstTickAtOrAfterEachDeadline) {
  AutoRefreshing(2500);
  EnterRunMode();  // the tick at 250 ms loads; the next deadline is 2750 ms
  ASSERT_EQ(fake_->queries, 1);
  // Ticks at 1250, 2250, 3250 (re-query, deadline 5750), 4250, 5250, 6250 (re-query).
  EXPECT_EQ(CountsPerSecond(6), (std::vector<int>{1, 1, 2, 2, 2, 3}));
}

TEST_F(TimerCountTest, IntervalOfOneSecondRequeriesOnEveryTick) {
  // The deadline falls exactly on the next tick: "not later than now" holds every time.
  TabuloCtl& ctl = AutoRefreshing(1000);
  EnterRunMode();
  EXPECT_EQ(CountsPerSecond(5), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(ctl.Timer1.interval(), 1000);
  ctl.SetRefreshInterval(2000);  // a new interval: the next tick re-queries
  EXPECT_EQ(CountsPerSecond(4), (std::vector<int>{7, 7, 8, 8}));
}

TEST_F(TimerCountTest, PopupRefreshRequeriesOnceAndKeepsTheTimersDeadline) {
  TabuloCtl& ctl = AutoRefreshing(3000);
  EnterRunMode();
  ASSERT_EQ(fake_->queries, 1);
  container_.QueuePopupChoice(0);
  ctl.Grid.UserMouseDown(100, 300, /*button=*/2);
  ASSERT_EQ(container_.popups().size(), 1u);
  EXPECT_EQ(container_.popups().back().captions, std::vector<std::string>{"Refresh"});
  EXPECT_EQ(fake_->queries, 2);
  container_.QueuePopupChoice(-1);  // closed without a choice
  ctl.Grid.UserMouseDown(100, 300, /*button=*/2);
  EXPECT_EQ(fake_->queries, 2);
  // The timer's own deadline (3250 ms) is unchanged by the menu's refresh.
  EXPECT_EQ(CountsPerSecond(3), (std::vector<int>{2, 2, 3}));
}

class TimerEditTest : public EditTest {};

TEST_F(TimerEditTest, TicksWhileAnEditIsOpenNeitherRefreshNorLoseTheText) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Customer FROM Orders ORDER BY Id", 10);
  ctl.SetAutoRefresh(true);
  container_.event_loop().RunFor(1000);  // the timer is running again
  TestDb(db_).Exec("UPDATE Orders SET Customer = 'Other' WHERE Id = 2");
  TypeInto(ctl, 1, 2, "Zed");
  container_.event_loop().RunFor(5000);
  EXPECT_TRUE(ctl.Timer1.running());
  EXPECT_TRUE(ctl.txtEdit.visible());
  EXPECT_EQ(ctl.txtEdit.text(), "Zed");
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "C2");  // not re-queried
  // The grid scrolled under the editor hides it; the edit is still open and still guarded.
  ctl.Grid.ScrollTo(2, 1);
  ASSERT_FALSE(ctl.txtEdit.visible());
  container_.event_loop().RunFor(3000);
  EXPECT_TRUE(ctl.Editing());
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "C2");
  // Committed, the next ticks re-query again and show both changes.
  ctl.Grid.UserClick(3, 2);
  EXPECT_EQ(DbValue("SELECT Customer FROM Orders WHERE Id = 1"), "Zed");
  ctl.Grid.UserClick(0, 0);
  container_.event_loop().RunFor(1000);
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 2), "Zed");
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "Other");
}

}  // namespace
}  // namespace tabulo::control::testing
