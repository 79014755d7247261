// Date serials: the calendar arithmetic and DateSerial / TimeSerial / SplitDate.
#include <cmath>

#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "platform/values/date_calc.h"

namespace tabulo::platform {
namespace date_calc {
namespace {

constexpr int64_t kUnixEpochSerial = 25569;  // 1970-01-01
constexpr int64_t kMsPerDay = 86'400'000;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

bool InRange(double serial) {
  return serial > static_cast<double>(kFirstDay - 1) && serial < static_cast<double>(kLastDay + 1);
}

bool IsLeapYear(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Howard Hinnant's days_from_civil / civil_from_days, shifted to the 1899-12-30 origin.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kUnixEpochSerial;
}

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  const int64_t z = days - kUnixEpochSerial + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2);
}

int Weekday(int64_t days) {
  // Day 0 (1899-12-30) was a Saturday.
  return static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
}

int DayOfYear(int64_t days) {
  int64_t y;
  int m, d;
  CivilFromDays(days, y, m, d);
  return static_cast<int>(days - DaysFromCivil(y, 1, 1)) + 1;
}

double Compose(int64_t day, double time) {
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

void Decompose(double serial, int64_t unit_ms, int64_t& day, int64_t& ms_of_day) {
  const double whole = std::trunc(serial);
  const double frac = std::fabs(serial - whole);  // exact
  day = static_cast<int64_t>(whole);
  const int64_t units = static_cast<int64_t>(std::floor(frac * kMsPerDay / unit_ms + 0.5));
  ms_of_day = units * unit_ms;
  if (ms_of_day >= kMsPerDay) {
    ++day;
    ms_of_day -= kMsPerDay;
  }
}

}  // namespace date_calc

using namespace date_calc;

double DateSerial(int year, int month, int day) {
  int64_t y = year;
  if (y >= 0 && y <= 29) y += 2000;
  if (y >= 30 && y <= 99) y += 1900;
  // Months and days outside their range carry into the next or previous ones.
  const int64_t m0 = static_cast<int64_t>(month) - 1;
  y += FloorDiv(m0, 12);
  const int m = static_cast<int>(m0 - FloorDiv(m0, 12) * 12) + 1;
  if (y < 0 || y > 10000) throw ComError::Overflow("DateSerial");
  const int64_t days = DaysFromCivil(y, m, 1) + (static_cast<int64_t>(day) - 1);
  if (days < kFirstDay || days > kLastDay) throw ComError::Overflow("DateSerial");
  return static_cast<double>(days);
}

double TimeSerial(int hour, int minute, int second) {
  const int64_t total =
      static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + second;
  const int64_t day = FloorDiv(total, 86400);
  const int64_t rest = total - day * 86400;
  if (day < kFirstDay || day > kLastDay) throw ComError::Overflow("TimeSerial");
  return Compose(day, static_cast<double>(rest) / 86400.0);
}

DateParts SplitDate(double date) {
  if (!InRange(date)) throw ComError::Overflow("SplitDate");
  // Rounding to 0.1 ms first absorbs the representation error of the serial (up to ~20 us at
  // the far end of the range), so 14:05 never reads as 14:04:59.999.
  const double whole = std::trunc(date);
  const double frac = std::fabs(date - whole);
  int64_t day = static_cast<int64_t>(whole);
  int64_t tenths = static_cast<int64_t>(std::floor(frac * 864'000'000.0 + 0.5));
  if (tenths >= 864'000'000) {
    if (day + 1 > kLastDay) {  // stay on the last day rather than leave the range
      tenths = 863'999'999;
    } else {
      ++day;
      tenths -= 864'000'000;
    }
  }
  const int64_t ms = tenths / 10;
  DateParts p{};
  int64_t y;
  CivilFromDays(day, y, p.month, p.day);
  p.year = static_cast<int>(y);
  p.hour = static_cast<int>(ms / 3'600'000);
  p.minute = static_cast<int>(ms / 60'000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

}  // namespace tabulo::platform
