// Clock: where the platform's time comes from. Timers and "now" read a Clock handed down by
// the container, so tests drive time with the virtual clock instead of sleeping.
#pragma once

#include <atomic>
#include <cstdint>

namespace tabulo::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a monotonic scale with an arbitrary origin; what timers are measured in.
  virtual int64_t NowMillis() const = 0;
  // The wall-clock local date and time as a date serial (days since 1899-12-30).
  virtual double NowDate() const = 0;
};

// The machine's clocks.
class RealClock : public Clock {
 public:
  int64_t NowMillis() const override;
  double NowDate() const override;
};

// Time that moves only when told to. NowDate() is the start date plus the elapsed time.
// One thread may move it while others read it.
class VirtualClock : public Clock {
 public:
  // Default start: 2026-01-05 08:00:00 (a Monday morning, so dates in test output are fixed).
  VirtualClock();
  explicit VirtualClock(double start_date);
  int64_t NowMillis() const override { return millis_; }
  double NowDate() const override;
  // Moves time forward; a negative amount is ignored.
  void Advance(int64_t ms);

 private:
  double start_date_;
  std::atomic<int64_t> millis_{0};  // read by the threads of a display's sessions
};

}  // namespace tabulo::platform
