// The Timer control on the event loop's timers.
#include "platform/widgets/timer.h"

#include <utility>

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

Timer::Timer(std::string name, EventLoop& loop) : Widget(std::move(name)), loop_(loop) {}

Timer::~Timer() {
  if (timer_id_) loop_.StopTimer(timer_id_);
}

void Timer::set_interval(int32_t ms) {
  if (ms < 0) throw ComError::InvalidPropertyValue(name());
  interval_ = ms;
  Restart();
}

void Timer::set_enabled(bool v) {
  Widget::set_enabled(v);
  Restart();
}

void Timer::Restart() {
  if (timer_id_) loop_.StopTimer(timer_id_);
  timer_id_ = 0;
  if (!enabled() || interval_ == 0) return;
  timer_id_ = loop_.StartTimer(interval_, [this] {
    // A copy, because the handler may destroy this timer.
    std::function<void()> handler = on_timer;
    if (handler) handler();
  });
}

}  // namespace tabulo::platform
