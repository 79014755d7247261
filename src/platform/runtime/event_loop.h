// EventLoop: the user-interface thread's message loop. Everything of the control runs in
// its callbacks: posted window messages, posted tasks and timer ticks. DoEvents lets pending
// work run from inside a handler, as the classic DoEvents does.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/runtime/clock.h"

namespace tabulo::platform {

using WindowHandle = int64_t;  // 0 = no window

// Window messages the platform knows by number.
inline constexpr uint32_t kWmLButtonDown = 513;
inline constexpr uint32_t kWmLButtonUp = 514;

using MessageHandler = std::function<void(uint32_t msg, int64_t wparam, int64_t lparam)>;
using TimerId = int64_t;  // 0 = no timer

class EventLoop {
 public:
  explicit EventLoop(Clock& clock);
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  Clock& clock() { return clock_; }

  // Windows: a handle with a handler for the messages posted to it.
  WindowHandle CreateWindowHandle(MessageHandler handler);
  void DestroyWindowHandle(WindowHandle hwnd);
  // Queues a message; false when the window does not exist (as PostMessage fails).
  bool PostMessage(WindowHandle hwnd, uint32_t msg, int64_t wparam = 0, int64_t lparam = 0);
  // Queues a task to run on the loop.
  void Post(std::function<void()> task);

  // Runs every queued message and task in order, including those queued while running,
  // then every timer that is due at the clock's present time. Returns how many ran.
  // One call, with the calls nested in it, runs at most kMaxItemsPerDoEvents messages and
  // tasks, so a handler that posts itself forever cannot hang it; the rest stay queued. Calls
  // nested deeper than kMaxDoEventsDepth run nothing and return 0 (the stack stays bounded). A
  // message whose window was destroyed after it was posted is dropped and not counted.
  int DoEvents();
  static constexpr int kMaxItemsPerDoEvents = 100000;
  static constexpr int kMaxDoEventsDepth = 64;
  // Messages and tasks waiting to run.
  int PendingCount() const;

  // Timers tick every interval_ms (at least 1) from the moment they start; a tick that is
  // due while its own handler still runs is skipped, never re-entered. When time jumped past
  // several periods the timer ticks once, and its next tick is one interval after that tick.
  TimerId StartTimer(int64_t interval_ms, std::function<void()> tick);
  void StopTimer(TimerId id);
  bool IsTimerRunning(TimerId id) const;

  // With a virtual clock: advances time in steps to each due timer up to now + ms, running
  // the timers and queued work in time order, then runs what is queued at the end.
  // Ties run in start order. The clock must be a VirtualClock (otherwise ComError 5).
  void RunFor(int64_t ms);

 private:
  struct Impl;
  Clock& clock_;
  Impl* impl_;
};

}  // namespace tabulo::platform
