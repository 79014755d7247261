// ISO date parsing with a civil-calendar day count.
#include "host/servers/sqlite/iso_date.h"

#include <cmath>
#include <cstdint>

namespace tabulo::host::sqlite {
namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads exactly `n` digits at `pos`.
bool Digits(std::string_view s, size_t& pos, int n, int& out) {
  if (pos + static_cast<size_t>(n) > s.size()) return false;
  out = 0;
  for (int i = 0; i < n; ++i) {
    char c = s[pos + static_cast<size_t>(i)];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  pos += static_cast<size_t>(n);
  return true;
}

bool Expect(std::string_view s, size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

// Parses "hh:mm[:ss[.fff]]" at pos to the end of the text; yields the fraction of a day.
std::optional<double> ParseTimeAt(std::string_view s, size_t pos) {
  int h = 0, mi = 0, sec = 0;
  if (!Digits(s, pos, 2, h) || !Expect(s, pos, ':') || !Digits(s, pos, 2, mi)) return {};
  double frac_seconds = 0.0;
  if (pos < s.size()) {
    if (!Expect(s, pos, ':') || !Digits(s, pos, 2, sec)) return {};
    if (pos < s.size()) {
      if (!Expect(s, pos, '.') || pos >= s.size()) return {};
      double scale = 0.1;
      for (; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c < '0' || c > '9') return {};
        frac_seconds += (c - '0') * scale;
        scale /= 10;
      }
    }
  }
  if (h > 23 || mi > 59 || sec > 59) return {};
  return (h * 3600.0 + mi * 60.0 + sec + frac_seconds) / 86400.0;
}

}  // namespace

std::optional<double> ParseIsoDateTime(std::string_view s) {
  size_t pos = 0;
  int y = 0, m = 0, d = 0;
  if (!Digits(s, pos, 4, y) || !Expect(s, pos, '-') || !Digits(s, pos, 2, m) ||
      !Expect(s, pos, '-') || !Digits(s, pos, 2, d)) {
    return {};
  }
  if (y < 100 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return {};
  double time = 0.0;
  if (pos < s.size()) {
    if (s[pos] != ' ' && s[pos] != 'T') return {};
    auto t = ParseTimeAt(s, pos + 1);
    if (!t) return {};
    time = *t;
  }
  const int64_t days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) -
                       DaysFromCivil(1899, 12, 30);
  // Before the epoch the classic date keeps the time of day as a positive fraction written
  // after a negative day number: 1899-12-29 06:00 is -1.25.
  return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

std::optional<double> ParseIsoTime(std::string_view s) {
  if (s.size() >= 10 && s[4] == '-') return ParseIsoDateTime(s);
  return ParseTimeAt(s, 0);
}

}  // namespace tabulo::host::sqlite
