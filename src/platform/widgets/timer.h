// Timer: the classic Timer control. While Enabled with a non-zero Interval it raises Timer
// every Interval milliseconds on the event loop it was given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/runtime/event_loop.h"
#include "platform/widgets/widget.h"

namespace tabulo::platform {

class Timer : public Widget {
 public:
  // Starts enabled with Interval 0, so it does not tick until an interval is set.
  Timer(std::string name, EventLoop& loop);
  ~Timer() override;

  int32_t interval() const { return interval_; }
  // Milliseconds; negative raises 380. Restarts the period from now.
  void set_interval(int32_t ms);
  // Enabled is the widget's enabled state; setting it (even to the same value) restarts
  // the period from now, as the classic control does.
  void set_enabled(bool v) override;

  // True while a tick is scheduled (Enabled and Interval > 0).
  bool running() const { return timer_id_ != 0; }

  std::function<void()> on_timer;

 private:
  void Restart();
  EventLoop& loop_;
  int32_t interval_ = 0;
  TimerId timer_id_ = 0;
};

}  // namespace tabulo::platform
