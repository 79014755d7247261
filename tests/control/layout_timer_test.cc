// Layout at small and large sizes, and the refresh timer on the virtual clock.
#include "edit_fixture.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using LayoutTest = DefaultHostTest;

TEST_F(LayoutTest, GridRowsFollowTheGridHeightRoundedHalfToEven) {
  TabuloCtl& ctl = NewControl();
  EXPECT_EQ(ctl.Grid.FixedRows(), 1);
  EXPECT_EQ(ctl.Grid.height(), 3000);
  EXPECT_EQ(ctl.Grid.width(), kWidth - ctl.ScrollBar.width());
  EXPECT_EQ(ctl.ScrollBar.left(), ctl.Grid.width());
  EXPECT_EQ(ctl.ScrollBar.height(), 3000);
  EXPECT_TRUE(ctl.sBar.visible());
  const double bar = platform::kStatusBarHeight;
  // Width, height -> grid rows (height / 240 - 1, at least the header) and panel width.
  const std::vector<std::tuple<double, double, int32_t, int32_t>> sizes = {
      {kWidth, 3000 + bar, 12, 4800},     // 11.5
      {kWidth, 3240 + bar, 12, 4800},     // 12.5
      {kWidth, 3480 + bar, 14, 4800},     // 13.5
      {30000, 240000 + bar, 999, 15000},  // the most rows
      {600, 400, 1, 300},
      {0, 0, 1, 0}};
  for (const auto& [width, height, rows, panel] : sizes) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    ctl.Resize(width, height);
    EXPECT_EQ(ctl.VisibleRows(), rows);
    EXPECT_EQ(ctl.Grid.Rows(), rows);
    EXPECT_EQ(ctl.sBar.Panels(1).width(), panel);
    EXPECT_EQ(ctl.sBar.Panels(2).width(), panel);
  }
  // Hiding the status bar gives its height to the grid; at design time growing never starts
  // the timer.
  ctl.Resize(kWidth, kHeight);
  ctl.SetShowStatusBar(false);
  EXPECT_FALSE(ctl.sBar.visible());
  EXPECT_EQ(ctl.Grid.height(), kHeight);
  EXPECT_EQ(ctl.VisibleRows(), 13);  // 3315 / 240 - 1 = 12.8
  EXPECT_EQ(ctl.sBar.Panels(1).width(), 4800);
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
  Run(250);
  EXPECT_EQ(ctl.Grid.TextMatrix(12, 1), "12");
  EXPECT_FALSE(ctl.Timer1.running());
  // Shrinking cuts rows without a refresh.
  ctl.Resize(kWidth, 1200);  // the status bar is hidden: 1200 / 240 - 1
  EXPECT_EQ(ctl.Grid.Rows(), 4);
  EXPECT_FALSE(ctl.Timer1.running());
}

// Exact re-query counts on a counting data server: every Query counts once.
class TimerCountTest : public HostedControlTest {
 protected:
  void SetUp() override { fake_ = InstallFakeHost(5); }
  TabuloCtl& AutoRefreshing(double interval) {
    TabuloCtl& ctl = Configured("plant", "SELECT Id FROM T", true);
    ctl.SetRefreshInterval(interval);
    EnterRunMode();
    return ctl;
  }
  // The query count after each of `ticks` further seconds.
  std::vector<int> CountsPerSecond(int ticks) {
    std::vector<int> out;
    for (int i = 0; i < ticks; ++i) {
      Run(1000);
      out.push_back(fake_->queries);
    }
    return out;
  }
  std::shared_ptr<FakeDataServer> fake_;
};

TEST_F(TimerCountTest, IntervalZeroRequeriesEverySecondUntilTurnedOff) {
  TabuloCtl& ctl = AutoRefreshing(0);
  EXPECT_EQ(ctl.Timer1.interval(), 1000);
  Run(999);
  EXPECT_EQ(fake_->queries, 1);
  EXPECT_EQ(CountsPerSecond(2), (std::vector<int>{2, 3}));  // at 1250 and 2250 ms
  ctl.SetAutoRefresh(false);
  EXPECT_FALSE(ctl.Timer1.running());
  EXPECT_EQ(CountsPerSecond(3), (std::vector<int>{3, 3, 3}));
}

TEST_F(TimerCountTest, RequeriesOnTheFirstTickAtOrAfterEachDeadline) {
  AutoRefreshing(2500);  // the tick at 250 ms loads; the next deadline is 2750 ms
  ASSERT_EQ(fake_->queries, 1);
  // Ticks at 1250, 2250, 3250 (re-query, deadline 5750), 4250, 5250, 6250 (re-query).
  EXPECT_EQ(CountsPerSecond(6), (std::vector<int>{1, 1, 2, 2, 2, 3}));
}

TEST_F(TimerCountTest, IntervalOfOneSecondRequeriesOnEveryTick) {
  // The deadline falls exactly on the next tick: "not later than now" holds every time.
  TabuloCtl& ctl = AutoRefreshing(1000);
  EXPECT_EQ(CountsPerSecond(5), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(ctl.Timer1.interval(), 1000);
  ctl.SetRefreshInterval(2000);  // a new interval: the next tick re-queries
  EXPECT_EQ(CountsPerSecond(4), (std::vector<int>{7, 7, 8, 8}));
}

TEST_F(TimerCountTest, PopupRefreshRequeriesOnceAndKeepsTheTimersDeadline) {
  TabuloCtl& ctl = AutoRefreshing(3000);
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

TEST_F(EditTest, TicksWhileAnEditIsOpenNeitherRefreshNorLoseTheText) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Customer FROM Orders ORDER BY Id", 10);
  ctl.SetAutoRefresh(true);
  Run(1000);  // the timer is running again
  TestDb(db_).Exec("UPDATE Orders SET Customer = 'Other' WHERE Id = 2");
  TypeInto(ctl, 1, 2, "Zed");
  Run(5000);
  EXPECT_TRUE(ctl.Timer1.running());
  EXPECT_TRUE(ctl.txtEdit.visible());
  EXPECT_EQ(ctl.txtEdit.text(), "Zed");
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "C2");  // not re-queried
  // The grid scrolled under the editor hides it; the edit is still open and still guarded.
  ctl.Grid.ScrollTo(2, 1);
  ASSERT_FALSE(ctl.txtEdit.visible());
  Run(3000);
  EXPECT_TRUE(ctl.Editing());
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "C2");
  // Committed, the next ticks re-query again and show both changes.
  ctl.Grid.UserClick(3, 2);
  EXPECT_EQ(DbValue("SELECT Customer FROM Orders WHERE Id = 1"), "Zed");
  ctl.Grid.UserClick(0, 0);
  Run(1000);
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 2), "Zed");
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "Other");
}

}  // namespace
}  // namespace tabulo::control::testing
