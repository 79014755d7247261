// The runtime: the event loop on a virtual clock (posted messages and tasks, nested DoEvents,
// timers) and the timer widget on it; the container the tests run in (message boxes, dialogs,
// ambient properties, scales, mouse pointer, popup menus) and the debug output sinks.
#include "platform/runtime/event_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error_of.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/debug_output.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"
#include "platform/widgets/timer.h"
#include "platform/widgets/widget_errors.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
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
  EXPECT_EQ(ErrorOf([&] { loop.RunFor(10); }), kErrInvalidProcedureCall);
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
  int entered = 0, max_depth = 0, depth = 0;
  loop_.StartTimer(10, [&] {
    ++entered;
    max_depth = std::max(max_depth, ++depth);
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

using Lines = std::vector<std::string>;

TEST(HeadlessContainer, MessageBoxesTakeQueuedAnswersThenTheDefaultButton) {
  HeadlessContainer c;
  c.QueueAnswer(kIdNo);
  c.QueueAnswer(kIdYes);
  EXPECT_EQ(c.MsgBox("Save changes?", kMbYesNo | kMbQuestion, ""), kIdNo);
  EXPECT_EQ(c.MsgBox("Really?", kMbYesNo, "Confirm"), kIdYes);
  // Nothing queued: each style's default button answers.
  // clang-format off
  const std::pair<int32_t, int> defaults[] = {
      {kMbOkOnly, kIdOk}, {kMbYesNo | kMbCritical, kIdYes},
      {kMbOkCancel | kMbDefaultButton2, kIdCancel}, {kMbYesNoCancel | kMbDefaultButton3, kIdCancel},
      {kMbYesNo | kMbDefaultButton3, kIdYes},  // no third button
      {kMbRetryCancel | kMbExclamation, kIdRetry}, {kMbAbortRetryIgnore | kMbDefaultButton2, kIdRetry}};
  // clang-format on
  for (auto [style, answer] : defaults) EXPECT_EQ(c.MsgBox("x", style, ""), answer) << style;
  // An unknown button set is refused before showing and leaves the queue alone.
  c.QueueAnswer(kIdOk);
  EXPECT_EQ(ErrorOf([&] { c.MsgBox("x", 6, ""); }), 5);
  EXPECT_EQ(c.pending_answers(), 1u);
  ASSERT_EQ(c.message_boxes().size(), 9u);
  const MsgBoxRecord& first = c.message_boxes()[0];
  // The default title, as shown.
  EXPECT_EQ(first.text + "|" + std::to_string(first.style) + "|" + first.title,
            "Save changes?|36|Tabulo");
  EXPECT_EQ(c.message_boxes()[1].title, "Confirm");
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(c.message_boxes()[i].answered, i < 2) << i;
  // The buttons' captions the displays show, and none beside the answers.
  std::string captions;
  for (int id = kIdOk - 1; id <= kIdNo + 1; ++id) captions += std::string(ButtonCaption(id)) + "|";
  EXPECT_EQ(captions, "|OK|Cancel|Abort|Retry|Ignore|Yes|No||");
}

TEST(HeadlessContainer, DialogsRaise32755WhenCancelledOrUnansweredAndPickTheColour) {
  HeadlessContainer c;
  c.QueueDialogAnswer(DialogAnswer::Cancel());
  std::vector<Variant> args{Variant("keep")};
  EXPECT_EQ(test_support::ErrorText([&] { c.ShowDialog("PropertyPages", args); }),
            "32755: Cancel was selected.");
  EXPECT_EQ(ErrorOf([&] { c.ShowDialog("PropertyPages", args); }), 32755);  // nothing queued
  EXPECT_EQ(args[0], Variant("keep"));
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant(int32_t{0xFF00})));
  EXPECT_EQ(c.ChooseColor(0xFFFFFF), std::optional<int32_t>(0xFF00));
  EXPECT_EQ(c.ChooseColor(0x123456), std::nullopt);
  ASSERT_EQ(c.dialogs().size(), 4u);
  EXPECT_TRUE(c.dialogs()[0].cancelled && c.dialogs()[1].cancelled);
  EXPECT_EQ(c.dialogs()[2].dialog, "Color");
  EXPECT_EQ(c.dialogs()[2].args,
            (std::vector<Variant>{Variant(int32_t{0xFFFFFF}), Variant(int32_t{3})}));
}

TEST(HeadlessContainer, FontChooserChangesTheFontInPlace) {
  HeadlessContainer c;
  StdFont font;
  auto chosen = StdFont::Create();
  chosen->SetName("Arial");
  chosen->SetSize(12);
  chosen->SetWeight(800);
  chosen->SetUnderline(true);
  chosen->SetCharset(238);
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant(chosen)));
  EXPECT_TRUE(c.ChooseFont(font));
  // Bold is applied after Weight, as the font page does: 800 becomes 700.
  EXPECT_EQ(test_support::FontText(font), "Arial 120000 700 238 underline");
  auto shown = std::dynamic_pointer_cast<StdFont>(c.dialogs()[0].args[0].AsObject());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->name(), "MS Sans Serif");  // the dialog started from the font's state
  StdFont unchanged;
  EXPECT_FALSE(c.ChooseFont(unchanged));
  EXPECT_TRUE(unchanged == StdFont());
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant("not a font")));
  EXPECT_EQ(ErrorOf([&] { c.ChooseFont(unchanged); }), 13);
}

TEST(HeadlessContainer, AmbientChangesReachListenersInOrderPastFailingOrRemovedOnes) {
  HeadlessContainer c;
  std::vector<std::string> calls;
  AmbientListenerToken third = 0;
  c.AddAmbientListener([&](std::string_view n) {
    calls.push_back("a:" + std::string(n));
    c.RemoveAmbientListener(third);
    throw ComError(5, "listener failed");
  });
  AmbientListenerToken b =
      c.AddAmbientListener([&](std::string_view n) { calls.push_back("b:" + std::string(n)); });
  third = c.AddAmbientListener([&](std::string_view n) { calls.push_back("c:" + std::string(n)); });
  c.SetAmbientUserMode(false);
  EXPECT_FALSE(c.AmbientUserMode());
  c.SetAmbientDisplayName("Grid1");
  c.RemoveAmbientListener(b);
  auto font = StdFont::Create();
  c.SetAmbientFont(font);
  EXPECT_EQ(c.AmbientFont(), font);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:UserMode", "b:UserMode", "a:DisplayName",
                                             "b:DisplayName", "a:Font"}));
  EXPECT_EQ(ErrorOf([&] { c.SetAmbientFont(nullptr); }), 380);
}

TEST(HeadlessContainer, ScalesMousePointerAndPopupMenus) {
  HeadlessContainer c;
  EXPECT_EQ(c.ScaleX(10, kScaleCharacters, kScaleTwips), 1200.0);
  EXPECT_EQ(c.ScaleX(1260, kScaleTwips, kScaleCharacters), 10.5);
  EXPECT_EQ(c.ScaleY(2, kScaleCharacters, kScaleTwips), 480.0);
  EXPECT_EQ(c.ScaleX(100, kScalePixels, kScaleTwips), 1500.0);
  EXPECT_EQ(c.ScaleY(30, kScaleTwips, kScalePixels), 2.0);
  EXPECT_EQ(c.ScaleX(1, kScaleInches, kScaleTwips), 1440.0);
  EXPECT_EQ(ErrorOf([&] { c.ScaleX(1, 0, kScaleTwips); }), 5);
  EXPECT_EQ(ErrorOf([&] { c.ScaleY(1, kScaleTwips, 8); }), 5);
  c.SetMousePointer(kPointerHourglass);
  c.SetMousePointer(kPointerDefault);
  EXPECT_EQ(ErrorOf([&] { c.SetMousePointer(16); }), 380);
  EXPECT_EQ(c.pointer_history(), (std::vector<int16_t>{11, 0}));
  c.QueuePopupChoice(0);
  c.QueuePopupChoice(5);
  EXPECT_EQ(c.PopupMenu({"Refresh"}, 100, 200), 0);
  EXPECT_EQ(c.PopupMenu({"Refresh"}, 0, 0), -1);           // out of range
  EXPECT_EQ(c.PopupMenu({"Refresh", "Other"}, 0, 0), -1);  // nothing queued
  ASSERT_EQ(c.popups().size(), 3u);
  EXPECT_EQ(c.popups()[0].x, 100);
}

TEST(DebugOutput, SinksRecordSplitIntoLinesNestOrWriteToStderr) {
  RecordingDebugSink outer, inner;
  ScopedDebugSink outer_scope(&outer);
  {
    ScopedDebugSink inner_scope(&inner);
    OutputDebugString("Tabulo: first\r\n");
    OutputDebugString("Tabulo: sec");
    OutputDebugString("ond\nthird");
    {
      ScopedDebugSink none(nullptr);
      OutputDebugString("nobody listens\r\n");  // discarded
    }
  }
  OutputDebugString("to outer\n");
  EXPECT_EQ(inner.writes(), (Lines{"Tabulo: first\r\n", "Tabulo: sec", "ond\nthird"}));
  EXPECT_EQ(inner.lines(), (Lines{"Tabulo: first", "Tabulo: second"}));
  EXPECT_EQ(inner.pending(), "third");
  EXPECT_EQ(outer.lines(), Lines{"to outer"});
  inner.Clear();
  EXPECT_TRUE(inner.writes().empty() && inner.lines().empty() && inner.pending().empty());
  StderrDebugSink err;
  ScopedDebugSink err_scope(&err);
  testing::internal::CaptureStderr();
  OutputDebugString("Tabulo: to stderr\r\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tabulo: to stderr\r\n");
}

}  // namespace
}  // namespace tabulo::platform
