// The machine's clock and the virtual clock that tests and scripts drive.
#include "platform/runtime/clock.h"

#include <chrono>
#include <ctime>

namespace tabulo::platform {
namespace {

// 2026-01-05 08:00:00: serial 46027 is 2026-01-05, plus eight hours.
constexpr double kDefaultStartDate = 46027.0 + 8.0 / 24.0;
constexpr double kMillisPerDay = 86400000.0;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// 1899-12-30, the date serials' day zero, counted from 1970-01-01.
const int64_t kSerialEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

int64_t RealClock::NowMillis() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double RealClock::NowDate() const {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const int64_t millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  const int64_t days = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                     static_cast<unsigned>(local.tm_mday)) -
                       kSerialEpochDays;
  const double day_millis = ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + local.tm_sec) * 1000.0 +
                            static_cast<double>(millis < 0 ? millis + 1000 : millis);
  return static_cast<double>(days) + day_millis / kMillisPerDay;
}

VirtualClock::VirtualClock() : start_date_(kDefaultStartDate) {}

VirtualClock::VirtualClock(double start_date) : start_date_(start_date) {}

double VirtualClock::NowDate() const {
  return start_date_ + static_cast<double>(millis_.load()) / kMillisPerDay;
}

void VirtualClock::Advance(int64_t ms) {
  if (ms > 0) millis_ += ms;
}

}  // namespace tabulo::platform
