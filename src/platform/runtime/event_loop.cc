// The event loop: a FIFO of posted window messages and tasks, plus timers measured on the
// loop's clock.
#include "platform/runtime/event_loop.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::platform {

namespace {

struct QueuedItem {
  WindowHandle hwnd = 0;  // 0: a task
  uint32_t msg = 0;
  int64_t wparam = 0;
  int64_t lparam = 0;
  std::function<void()> task;
};

struct TimerState {
  int64_t interval = 1;
  int64_t next_due = 0;
  bool in_tick = false;
  std::function<void()> tick;
};

}  // namespace

struct EventLoop::Impl {
  // Handlers are shared so a window destroyed from inside its own handler stays callable
  // until that call returns.
  std::map<WindowHandle, std::shared_ptr<MessageHandler>> windows;
  WindowHandle next_window = 1;
  std::deque<QueuedItem> queue;
  // Ordered by id, which is the start order.
  std::map<TimerId, std::shared_ptr<TimerState>> timers;
  TimerId next_timer = 1;
  int depth = 0;

  // Items the outermost DoEvents may still run. Nested calls share the outermost call's
  // budget; otherwise every nesting level would multiply it.
  int budget = 0;

  // One level of running queued work.
  struct Nesting {
    explicit Nesting(Impl& im) : impl(im) {
      if (impl.depth == 0) impl.budget = kMaxItemsPerDoEvents;
      ++impl.depth;
    }
    ~Nesting() { --impl.depth; }
    Impl& impl;
  };

  // Runs queued messages and tasks while the budget lasts.
  int RunQueue() {
    int ran = 0;
    while (budget > 0 && !queue.empty()) {
      QueuedItem item = std::move(queue.front());
      queue.pop_front();
      if (item.hwnd == 0) {
        --budget;
        ++ran;
        item.task();
        continue;
      }
      auto it = windows.find(item.hwnd);
      if (it == windows.end()) continue;
      std::shared_ptr<MessageHandler> handler = it->second;
      --budget;
      ++ran;
      if (*handler) (*handler)(item.msg, item.wparam, item.lparam);
    }
    return ran;
  }

  // Ticks every timer due at `now`, earliest first, ties in start order.
  int RunDueTimers(int64_t now) {
    std::vector<std::pair<int64_t, TimerId>> due;
    for (const auto& [id, t] : timers) {
      if (t->next_due <= now) due.emplace_back(t->next_due, id);
    }
    std::sort(due.begin(), due.end());
    int ran = 0;
    for (const auto& [when, id] : due) {
      auto it = timers.find(id);
      if (it == timers.end()) continue;  // stopped by an earlier tick
      std::shared_ptr<TimerState> t = it->second;
      if (t->next_due > now) continue;  // restarted by an earlier tick
      // Missed periods collapse into this one tick; the next is one interval later.
      t->next_due = now + t->interval;
      if (t->in_tick) continue;  // never re-entered
      t->in_tick = true;
      try {
        t->tick();
      } catch (...) {
        t->in_tick = false;
        throw;
      }
      t->in_tick = false;
      ++ran;
    }
    return ran;
  }

  // The earliest due time of a timer that could tick, if any.
  bool NextDue(int64_t* when) const {
    bool found = false;
    for (const auto& [id, t] : timers) {
      if (t->in_tick) continue;
      if (!found || t->next_due < *when) *when = t->next_due;
      found = true;
    }
    return found;
  }
};

EventLoop::EventLoop(Clock& clock) : clock_(clock), impl_(new Impl) {}

EventLoop::~EventLoop() {
  delete impl_;
}

WindowHandle EventLoop::CreateWindowHandle(MessageHandler handler) {
  WindowHandle h = impl_->next_window++;
  impl_->windows[h] = std::make_shared<MessageHandler>(std::move(handler));
  return h;
}

void EventLoop::DestroyWindowHandle(WindowHandle hwnd) {
  impl_->windows.erase(hwnd);
}

bool EventLoop::PostMessage(WindowHandle hwnd, uint32_t msg, int64_t wparam, int64_t lparam) {
  if (hwnd == 0 || impl_->windows.find(hwnd) == impl_->windows.end()) return false;
  impl_->queue.push_back(QueuedItem{hwnd, msg, wparam, lparam, nullptr});
  return true;
}

void EventLoop::Post(std::function<void()> task) {
  if (!task) return;
  impl_->queue.push_back(QueuedItem{0, 0, 0, 0, std::move(task)});
}

int EventLoop::PendingCount() const {
  return static_cast<int>(impl_->queue.size());
}

int EventLoop::DoEvents() {
  if (impl_->depth >= kMaxDoEventsDepth) return 0;
  Impl::Nesting nesting(*impl_);
  int ran = impl_->RunQueue();
  ran += impl_->RunDueTimers(clock_.NowMillis());
  return ran;
}

TimerId EventLoop::StartTimer(int64_t interval_ms, std::function<void()> tick) {
  if (!tick) return 0;
  auto t = std::make_shared<TimerState>();
  t->interval = std::max<int64_t>(interval_ms, 1);
  t->next_due = clock_.NowMillis() + t->interval;
  t->tick = std::move(tick);
  TimerId id = impl_->next_timer++;
  impl_->timers[id] = std::move(t);
  return id;
}

void EventLoop::StopTimer(TimerId id) {
  impl_->timers.erase(id);
}

bool EventLoop::IsTimerRunning(TimerId id) const {
  return impl_->timers.find(id) != impl_->timers.end();
}

void EventLoop::RunFor(int64_t ms) {
  auto* vclock = dynamic_cast<VirtualClock*>(&clock_);
  if (!vclock) {
    throw ComError(kErrInvalidProcedureCall,
                   "Invalid procedure call or argument: RunFor needs the virtual clock",
                   "EventLoop");
  }
  const int64_t end = vclock->NowMillis() + std::max<int64_t>(ms, 0);
  auto run_queue = [this] {
    Impl::Nesting nesting(*impl_);
    impl_->RunQueue();
  };
  run_queue();  // what was queued before time moves
  int64_t when = 0;
  while (impl_->NextDue(&when) && when <= end) {
    if (when > vclock->NowMillis()) vclock->Advance(when - vclock->NowMillis());
    impl_->RunDueTimers(vclock->NowMillis());
    run_queue();
  }
  if (end > vclock->NowMillis()) vclock->Advance(end - vclock->NowMillis());
  run_queue();
}

}  // namespace tabulo::platform
