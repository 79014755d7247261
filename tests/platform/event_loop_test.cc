// The event loop on a virtual clock: posted messages and tasks, nested DoEvents, and timers;
// the timer widget on it.
#include "platform/runtime/event_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error_of.h"
#include "platform/runtime/clock.h"
#include "platform/values/com_error.h"
#include "platform/widgets/timer.h"
#include "platform/widgets/widget_errors.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::Events;
using test_support::Tag;
namespace {

TEST(Clock, VirtualStartsOnAMondayMorningAndAdvancesRealIsRecentAndMonotonic) {
  VirtualClock clock;
  EXPECT_EQ(clock.NowMillis(), 0);
  EXPECT_DOUBLE_EQ(clock.NowDate(), 46027.0 + 8.0 / 24.0);
  clock.Advance(90 * 60 * 1000);  // an hour and a half
  EXPECT_EQ(clock.NowMillis(), 5400000);
  EXPECT_DOUBLE_EQ(clock.NowDate(), 46027.0 + 9.5 / 24.0);
  clock.Advance(-1000);
  EXPECT_EQ(clock.NowMillis(), 5400000);
  VirtualClock other(45000.5);
  other.Advance(43200000);
  EXPECT_DOUBLE_EQ(other.NowDate(), 45001.0);
  RealClock real;
  int64_t a = real.NowMillis();
  EXPECT_LE(a, real.NowMillis());
  // Between 2024-01-01 (45292) and 2100-01-01 (73051).
  EXPECT_GT(real.NowDate(), 45292.0);
  EXPECT_LT(real.NowDate(), 73051.0);
  // RunFor steps virtual time only.
  EventLoop loop(real);
  EXPECT_EQ(test_support::ErrorOf([&] { loop.RunFor(10); }), kErrInvalidProcedureCall);
}

class EventLoopTest : public ::testing::Test {
 protected:
  std::function<void()> Logs(std::string entry) {
    return [this, entry] { log_.push_back(entry); };
  }
  VirtualClock clock_;
  EventLoop loop_{clock_};
  Events log_;
};

TEST_F(EventLoopTest, MessagesAndTasksRunInPostOrderAndOnlyToLiveWindows) {
  WindowHandle a = loop_.CreateWindowHandle([this](uint32_t msg, int64_t wp, int64_t lp) {
    log_.push_back(Tag(Tag(Tag("a", msg) + ":", wp) + ":", lp));
  });
  EXPECT_NE(a, 0);
  EXPECT_TRUE(loop_.PostMessage(a, 1, 2, 3));
  loop_.Post(Logs("t1"));
  EXPECT_TRUE(loop_.PostMessage(a, 4));
  EXPECT_TRUE(log_.empty());  // nothing runs before DoEvents
  EXPECT_EQ(loop_.PendingCount(), 3);
  EXPECT_EQ(loop_.DoEvents(), 3);
  EXPECT_EQ(log_, (Events{"a1:2:3", "t1", "a4:0:0"}));
  EXPECT_EQ(loop_.DoEvents(), 0);
  EXPECT_FALSE(loop_.PostMessage(0, 1));
  EXPECT_FALSE(loop_.PostMessage(a + 1000, 1));
}

TEST_F(EventLoopTest, WorkQueuedWhileRunningRunsInTheSameCallAndNestedCallsRunTheRest) {
  loop_.Post([this] {
    log_.push_back("first");
    loop_.Post(Logs("third"));
  });
  loop_.Post(Logs("second"));
  EXPECT_EQ(loop_.DoEvents(), 3);
  loop_.Post([this] {
    log_.push_back("outer-start");
    EXPECT_EQ(loop_.DoEvents(), 2);
    log_.push_back("outer-end");
  });
  loop_.Post(Logs("b"));
  loop_.Post(Logs("c"));
  EXPECT_EQ(loop_.DoEvents(), 1);  // the other two ran inside the nested call
  EXPECT_EQ(log_, (Events{"first", "second", "third", "outer-start", "b", "c", "outer-end"}));
}

TEST_F(EventLoopTest, SelfRepostingOrEndlesslyNestingHandlersAreBounded) {
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop_.Post(again);
  };
  loop_.Post(again);
  EXPECT_EQ(loop_.DoEvents(), EventLoop::kMaxItemsPerDoEvents);
  EXPECT_EQ(runs, EventLoop::kMaxItemsPerDoEvents);
  EXPECT_EQ(loop_.PendingCount(), 1);
  VirtualClock clock;
  EventLoop loop(clock);
  int depth = 0, max_depth = 0, dives = 0;
  std::function<void()> dive = [&] {
    ++dives;
    max_depth = std::max(max_depth, ++depth);
    loop.Post(dive);
    loop.DoEvents();
    --depth;
  };
  loop.Post(dive);
  loop.DoEvents();
  EXPECT_EQ(max_depth, EventLoop::kMaxDoEventsDepth);
  EXPECT_EQ(dives, EventLoop::kMaxItemsPerDoEvents);
}

// The call finishes; the message queued before the window went away is dropped.
TEST_F(EventLoopTest, WindowDestroyedInsideItsHandlerFinishesTheCall) {
  WindowHandle a = 0;
  a = loop_.CreateWindowHandle([&](uint32_t msg, int64_t, int64_t) {
    loop_.DestroyWindowHandle(a);
    log_.push_back(Tag("msg", msg));
  });
  loop_.PostMessage(a, 1);
  loop_.PostMessage(a, 2);
  EXPECT_EQ(loop_.DoEvents(), 1);
  EXPECT_EQ(log_, Events{"msg1"});
}

TEST_F(EventLoopTest, FirstTickIsOneIntervalAfterStartAndMissedPeriodsTickOnce) {
  std::vector<int64_t> at;
  clock_.Advance(250);
  TimerId id = loop_.StartTimer(100, [&] { at.push_back(clock_.NowMillis()); });
  EXPECT_NE(id, 0);
  EXPECT_TRUE(loop_.IsTimerRunning(id));
  clock_.Advance(99);
  loop_.DoEvents();
  EXPECT_TRUE(at.empty());
  clock_.Advance(1);
  EXPECT_EQ(loop_.DoEvents(), 1);
  EXPECT_EQ(loop_.DoEvents(), 0);  // not due again yet
  clock_.Advance(100);
  loop_.DoEvents();
  // Missed periods tick once and restart the period.
  clock_.Advance(550);
  loop_.DoEvents();
  clock_.Advance(99);
  loop_.DoEvents();
  EXPECT_EQ(at, (std::vector<int64_t>{350, 450, 1000}));
  clock_.Advance(1);
  loop_.DoEvents();
  EXPECT_EQ(at.back(), 1100);
}

TEST_F(EventLoopTest, QueuedWorkRunsBeforeDueTimersAndATickIsNeverReentered) {
  loop_.StartTimer(10, Logs("tick"));
  loop_.Post(Logs("task"));
  clock_.Advance(10);
  EXPECT_EQ(loop_.DoEvents(), 2);
  EXPECT_EQ(log_, (Events{"task", "tick"}));
  VirtualClock clock;
  EventLoop loop(clock);
  int entered = 0, max_depth = 0, depth = 0;
  loop.StartTimer(10, [&] {
    ++entered;
    max_depth = std::max(max_depth, ++depth);
    clock.Advance(50);  // its next tick falls due while it still runs
    loop.DoEvents();
    --depth;
  });
  clock.Advance(10);
  loop.DoEvents();
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(max_depth, 1);
  // Skipped, not deferred: the next tick comes one interval after the skipped one.
  loop.DoEvents();
  EXPECT_EQ(entered, 1);
  clock.Advance(10);
  loop.DoEvents();
  EXPECT_EQ(entered, 2);
}

TEST_F(EventLoopTest, TimersStoppedOrStartedInsideTicks) {
  TimerId first = 0, second = 0, stopped = 0;
  int first_ticks = 0, second_ticks = 0, stopped_ticks = 0;
  first = loop_.StartTimer(100, [&] {
    ++first_ticks;
    loop_.StopTimer(first);
    second = loop_.StartTimer(30, [&] { ++second_ticks; });
  });
  clock_.Advance(100);
  loop_.DoEvents();
  EXPECT_EQ(first_ticks, 1);
  EXPECT_FALSE(loop_.IsTimerRunning(first));
  EXPECT_TRUE(loop_.IsTimerRunning(second));
  EXPECT_EQ(second_ticks, 0);  // started at 100, first due at 130
  clock_.Advance(100);
  loop_.DoEvents();
  EXPECT_EQ(first_ticks, 1);
  EXPECT_EQ(second_ticks, 1);
  // A timer stopped by an earlier tick in the same pass does not tick.
  loop_.StopTimer(second);
  loop_.StartTimer(10, [&] { loop_.StopTimer(stopped); });
  stopped = loop_.StartTimer(10, [&] { ++stopped_ticks; });
  clock_.Advance(10);
  EXPECT_EQ(loop_.DoEvents(), 1);
  EXPECT_EQ(stopped_ticks, 0);
}

TEST_F(EventLoopTest, RunForStepsThroughTimersInTimeAndStartOrder) {
  loop_.StartTimer(30, [this] {
    log_.push_back(Tag("A@", clock_.NowMillis()));
    loop_.Post([this] { log_.push_back(Tag("A-task@", clock_.NowMillis())); });
  });
  loop_.StartTimer(20, [this] { log_.push_back(Tag("B@", clock_.NowMillis())); });
  loop_.Post(Logs("early"));
  loop_.RunFor(65);
  EXPECT_EQ(clock_.NowMillis(), 65);
  EXPECT_EQ(log_,
            (Events{"early", "B@20", "A@30", "A-task@30", "B@40", "A@60", "B@60", "A-task@60"}));
}

TEST_F(EventLoopTest, RunForRunsWorkQueuedAtTheEndAndBelowOneTicksEveryMillisecond) {
  loop_.StartTimer(50, [this] { loop_.Post(Logs("late")); });
  loop_.RunFor(50);
  EXPECT_EQ(log_, Events{"late"});
  loop_.RunFor(0);
  EXPECT_EQ(clock_.NowMillis(), 50);
  EXPECT_EQ(log_.size(), 1u);
  int ticks = 0;
  loop_.StartTimer(0, [&] { ++ticks; });
  loop_.RunFor(5);
  EXPECT_EQ(ticks, 5);
}

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

// One timer through its settings; the times are those of the virtual clock.
TEST_F(TimerTest, IntervalAndEnabledStartAndRestartThePeriod) {
  // Interval 0 does not tick even when enabled.
  EXPECT_TRUE(timer_.enabled());
  EXPECT_EQ(timer_.interval(), 0);
  EXPECT_FALSE(timer_.running());
  loop_.RunFor(10000);
  // Setting Interval while running restarts the period, the same value too.
  timer_.set_interval(100);
  loop_.RunFor(170);
  timer_.set_interval(100);
  loop_.RunFor(200);  // ends at 10370
  // Enabled stops the timer and restarts it from now, even when already on.
  timer_.set_interval(50);
  loop_.RunFor(60);
  timer_.set_enabled(false);
  EXPECT_FALSE(timer_.running());
  loop_.RunFor(500);
  timer_.set_enabled(true);  // at 10930
  loop_.RunFor(60);
  loop_.RunFor(20);
  timer_.set_enabled(true);  // restarts at 11010
  loop_.RunFor(60);
  // A negative interval is refused and the timer runs on with the old one.
  EXPECT_EQ(test_support::ErrorText([&] { timer_.set_interval(-1); }),
            std::to_string(kErrInvalidPropertyValue) + ": Invalid property value");
  EXPECT_EQ(timer_.interval(), 50);
  loop_.RunFor(50);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{10100, 10270, 10370, 10420, 10980, 11060, 11110}));
}

TEST_F(TimerTest, DestroyingTheTimerStopsItsTicksAndAHandlerMayDestroyItsOwn) {
  int ticks = 0;
  auto timer = std::make_unique<Timer>("tmr", loop_);
  timer->on_timer = [&] { ++ticks; };
  timer->set_interval(10);
  loop_.RunFor(10);
  timer.reset();
  loop_.RunFor(100);
  EXPECT_EQ(ticks, 1);
  timer = std::make_unique<Timer>("tmr", loop_);
  timer->on_timer = [&] {
    ++ticks;
    timer.reset();
  };
  timer->set_interval(10);
  loop_.RunFor(100);
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(timer, nullptr);
}

}  // namespace
}  // namespace tabulo::platform
