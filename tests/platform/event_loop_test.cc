#include "platform/runtime/event_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

// "name" followed by a number, for event logs.
std::string Tag(const char* name, int64_t n) {
  std::string s(name);
  s.append(std::to_string(n));
  return s;
}

TEST(VirtualClock, StartsOnAMondayMorningAndAdvances) {
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
}

TEST(RealClock, DateIsRecentAndMillisAreMonotonic) {
  RealClock clock;
  int64_t a = clock.NowMillis();
  int64_t b = clock.NowMillis();
  EXPECT_LE(a, b);
  // Between 2024-01-01 (45292) and 2100-01-01 (73051).
  EXPECT_GT(clock.NowDate(), 45292.0);
  EXPECT_LT(clock.NowDate(), 73051.0);
}

class EventLoopTest : public ::testing::Test {
 protected:
  VirtualClock clock_;
  EventLoop loop_{clock_};
  std::vector<std::string> log_;
};

TEST_F(EventLoopTest, MessagesAndTasksRunInPostOrder) {
  WindowHandle a = loop_.CreateWindowHandle([this](uint32_t msg, int64_t wp, int64_t lp) {
    std::string entry = "a";
    entry += std::to_string(msg) + ":" + std::to_string(wp) + ":" + std::to_string(lp);
    log_.push_back(entry);
  });
  EXPECT_NE(a, 0);
  EXPECT_TRUE(loop_.PostMessage(a, 1, 2, 3));
  loop_.Post([this] { log_.push_back("t1"); });
  EXPECT_TRUE(loop_.PostMessage(a, 4));
  EXPECT_TRUE(log_.empty());  // nothing runs before DoEvents
  EXPECT_EQ(loop_.PendingCount(), 3);
  EXPECT_EQ(loop_.DoEvents(), 3);
  EXPECT_EQ(log_, (std::vector<std::string>{"a1:2:3", "t1", "a4:0:0"}));
  EXPECT_EQ(loop_.DoEvents(), 0);
}

TEST_F(EventLoopTest, PostToUnknownOrDestroyedWindowFails) {
  WindowHandle a =
      loop_.CreateWindowHandle([this](uint32_t, int64_t, int64_t) { log_.push_back("a"); });
  EXPECT_FALSE(loop_.PostMessage(0, 1));
  EXPECT_FALSE(loop_.PostMessage(a + 1000, 1));
  EXPECT_TRUE(loop_.PostMessage(a, 1));
  loop_.DestroyWindowHandle(a);
  EXPECT_FALSE(loop_.PostMessage(a, 1));
  // The message queued before the window went away is dropped.
  EXPECT_EQ(loop_.DoEvents(), 0);
  EXPECT_TRUE(log_.empty());
}

TEST_F(EventLoopTest, WorkQueuedWhileRunningRunsInTheSameCall) {
  loop_.Post([this] {
    log_.push_back("first");
    loop_.Post([this] { log_.push_back("third"); });
  });
  loop_.Post([this] { log_.push_back("second"); });
  EXPECT_EQ(loop_.DoEvents(), 3);
  EXPECT_EQ(log_, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(EventLoopTest, NestedDoEventsRunsTheRestOfTheQueue) {
  loop_.Post([this] {
    log_.push_back("outer-start");
    EXPECT_EQ(loop_.DoEvents(), 2);
    log_.push_back("outer-end");
  });
  loop_.Post([this] { log_.push_back("b"); });
  loop_.Post([this] { log_.push_back("c"); });
  EXPECT_EQ(loop_.DoEvents(), 1);  // the other two ran inside the nested call
  EXPECT_EQ(log_, (std::vector<std::string>{"outer-start", "b", "c", "outer-end"}));
}

TEST_F(EventLoopTest, SelfRepostingHandlerDoesNotHangDoEvents) {
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop_.Post(again);
  };
  loop_.Post(again);
  EXPECT_EQ(loop_.DoEvents(), EventLoop::kMaxItemsPerDoEvents);
  EXPECT_EQ(runs, EventLoop::kMaxItemsPerDoEvents);
  EXPECT_EQ(loop_.PendingCount(), 1);
}

TEST_F(EventLoopTest, EndlesslyNestedDoEventsIsBounded) {
  int depth = 0, max_depth = 0, dives = 0;
  std::function<void()> dive = [&] {
    ++dives;
    ++depth;
    max_depth = std::max(max_depth, depth);
    loop_.Post(dive);
    loop_.DoEvents();
    --depth;
  };
  loop_.Post(dive);
  loop_.DoEvents();
  EXPECT_EQ(max_depth, EventLoop::kMaxDoEventsDepth);
  EXPECT_EQ(dives, EventLoop::kMaxItemsPerDoEvents);
}

TEST_F(EventLoopTest, WindowDestroyedInsideItsHandlerFinishesTheCall) {
  WindowHandle a = 0;
  a = loop_.CreateWindowHandle([&](uint32_t msg, int64_t, int64_t) {
    loop_.DestroyWindowHandle(a);
    log_.push_back(Tag("msg", msg));
  });
  loop_.PostMessage(a, 1);
  loop_.PostMessage(a, 2);
  EXPECT_EQ(loop_.DoEvents(), 1);
  EXPECT_EQ(log_, (std::vector<std::string>{"msg1"}));
}

TEST_F(EventLoopTest, FirstTickIsOneIntervalAfterStart) {
  int ticks = 0;
  clock_.Advance(250);
  TimerId id = loop_.StartTimer(100, [&] { ++ticks; });
  EXPECT_NE(id, 0);
  EXPECT_TRUE(loop_.IsTimerRunning(id));
  clock_.Advance(99);
  loop_.DoEvents();
  EXPECT_EQ(ticks, 0);
  clock_.Advance(1);
  EXPECT_EQ(loop_.DoEvents(), 1);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(loop_.DoEvents(), 0);  // not due again yet
  clock_.Advance(100);
  loop_.DoEvents();
  EXPECT_EQ(ticks, 2);
}

TEST_F(EventLoopTest, MissedPeriodsTickOnceAndRestartThePeriod) {
  std::vector<int64_t> at;
  loop_.StartTimer(100, [&] { at.push_back(clock_.NowMillis()); });
  clock_.Advance(550);
  loop_.DoEvents();
  EXPECT_EQ(at, (std::vector<int64_t>{550}));
  clock_.Advance(99);
  loop_.DoEvents();
  EXPECT_EQ(at.size(), 1u);
  clock_.Advance(1);
  loop_.DoEvents();
  EXPECT_EQ(at, (std::vector<int64_t>{550, 650}));
}

TEST_F(EventLoopTest, QueuedWorkRunsBeforeDueTimers) {
  loop_.StartTimer(10, [this] { log_.push_back("tick"); });
  loop_.Post([this] { log_.push_back("task"); });
  clock_.Advance(10);
  EXPECT_EQ(loop_.DoEvents(), 2);
  EXPECT_EQ(log_, (std::vector<std::string>{"task", "tick"}));
}

TEST_F(EventLoopTest, TickIsNeverReentered) {
  int entered = 0, max_depth = 0, depth = 0;
  loop_.StartTimer(10, [&] {
    ++entered;
    ++depth;
    max_depth = std::max(max_depth, depth);
    clock_.Advance(50);  // its next tick falls due while it still runs
    loop_.DoEvents();
    --depth;
  });
  clock_.Advance(10);
  loop_.DoEvents();
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(max_depth, 1);
  // Skipped, not deferred: the next tick comes one interval after the skipped one.
  loop_.DoEvents();
  EXPECT_EQ(entered, 1);
  clock_.Advance(10);
  loop_.DoEvents();
  EXPECT_EQ(entered, 2);
}

TEST_F(EventLoopTest, StopInsideTickAndStartAnotherInsideTick) {
  TimerId first = 0, second = 0;
  int first_ticks = 0, second_ticks = 0;
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
}

TEST_F(EventLoopTest, TimerStoppedByAnEarlierTickInTheSamePassDoesNotTick) {
  TimerId b = 0;
  int b_ticks = 0;
  loop_.StartTimer(10, [&] { loop_.StopTimer(b); });
  b = loop_.StartTimer(10, [&] { ++b_ticks; });
  clock_.Advance(10);
  EXPECT_EQ(loop_.DoEvents(), 1);
  EXPECT_EQ(b_ticks, 0);
}

TEST_F(EventLoopTest, IntervalBelowOneTicksEveryMillisecond) {
  int ticks = 0;
  loop_.StartTimer(0, [&] { ++ticks; });
  loop_.RunFor(5);
  EXPECT_EQ(ticks, 5);
}

TEST_F(EventLoopTest, RunForStepsThroughTimersInTimeAndStartOrder) {
  loop_.StartTimer(30, [this] {
    log_.push_back(Tag("A@", clock_.NowMillis()));
    loop_.Post([this] { log_.push_back(Tag("A-task@", clock_.NowMillis())); });
  });
  loop_.StartTimer(20, [this] { log_.push_back(Tag("B@", clock_.NowMillis())); });
  loop_.Post([this] { log_.push_back("early"); });
  loop_.RunFor(65);
  EXPECT_EQ(clock_.NowMillis(), 65);
  EXPECT_EQ(log_, (std::vector<std::string>{"early", "B@20", "A@30", "A-task@30", "B@40", "A@60",
                                            "B@60", "A-task@60"}));
}

TEST_F(EventLoopTest, RunForRunsWorkQueuedAtTheEnd) {
  loop_.StartTimer(50, [this] { loop_.Post([this] { log_.push_back("late"); }); });
  loop_.RunFor(50);
  EXPECT_EQ(log_, (std::vector<std::string>{"late"}));
  loop_.RunFor(0);
  EXPECT_EQ(clock_.NowMillis(), 50);
  EXPECT_EQ(log_.size(), 1u);
}

TEST(EventLoopRealClock, RunForRefusesTheRealClock) {
  RealClock clock;
  EventLoop loop(clock);
  try {
    loop.RunFor(10);
    FAIL() << "expected an error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrInvalidProcedureCall);
  }
}

}  // namespace
}  // namespace tabulo::platform
