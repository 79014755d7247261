#include "platform/widgets/timer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/values/com_error.h"
#include "platform/widgets/widget_errors.h"
#include "test_support.h"

namespace tabulo::platform {
namespace {

class TimerTest : public ::testing::Test {
 protected:
  TimerTest() {
    timer_.on_timer = [this] { ticks_.push_back(clock_.NowMillis()); };
  }
  VirtualClock clock_;
  EventLoop loop_{clock_};
  Timer timer_{"tmrStatus", loop_};
  std::vector<int64_t> ticks_;
};

TEST_F(TimerTest, IntervalZeroDoesNotTickEvenWhenEnabled) {
  EXPECT_TRUE(timer_.enabled());
  EXPECT_EQ(timer_.interval(), 0);
  EXPECT_FALSE(timer_.running());
  loop_.RunFor(10000);
  EXPECT_TRUE(ticks_.empty());
}

TEST_F(TimerTest, SettingIntervalWhileRunningRestartsThePeriod) {
  timer_.set_interval(100);
  loop_.RunFor(170);
  timer_.set_interval(100);  // same value, still a restart
  loop_.RunFor(200);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{100, 270, 370}));
}

TEST_F(TimerTest, EnabledStopsAndRestartsFromNow) {
  timer_.set_interval(50);
  loop_.RunFor(60);
  timer_.set_enabled(false);
  EXPECT_FALSE(timer_.running());
  loop_.RunFor(500);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{50}));
  timer_.set_enabled(true);
  loop_.RunFor(60);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{50, 610}));
  loop_.RunFor(20);
  timer_.set_enabled(true);  // restarts at 640
  loop_.RunFor(60);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{50, 610, 690}));
}

TEST_F(TimerTest, DisablingInsideTheTickStopsIt) {
  timer_.on_timer = [this] {
    ticks_.push_back(clock_.NowMillis());
    timer_.set_enabled(false);
  };
  timer_.set_interval(10);
  loop_.RunFor(100);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{10}));
}

TEST_F(TimerTest, NegativeIntervalIsRefused) {
  timer_.set_interval(25);
  EXPECT_EQ(test_support::ErrorText([&] { timer_.set_interval(-1); }),
            std::to_string(kErrInvalidPropertyValue) + ": Invalid property value");
  EXPECT_EQ(timer_.interval(), 25);
  loop_.RunFor(25);
  EXPECT_EQ(ticks_.size(), 1u);
}

TEST(TimerLifetime, DestroyingTheTimerStopsItsTicks) {
  VirtualClock clock;
  EventLoop loop(clock);
  int ticks = 0;
  auto timer = std::make_unique<Timer>("tmr", loop);
  timer->on_timer = [&] { ++ticks; };
  timer->set_interval(10);
  loop.RunFor(10);
  timer.reset();
  loop.RunFor(100);
  EXPECT_EQ(ticks, 1);
  // A handler may destroy its own timer.
  timer = std::make_unique<Timer>("tmr", loop);
  timer->on_timer = [&] {
    ++ticks;
    timer.reset();
  };
  timer->set_interval(10);
  loop.RunFor(100);
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(timer, nullptr);
}

}  // namespace
}  // namespace tabulo::platform
