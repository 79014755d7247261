// FormatDate: dates as text with the pattern tokens of the classic Format function, and the
// locale's general date form that CStr writes.
#include <cctype>
#include <cstdio>

#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "platform/values/date_calc.h"

namespace tabulo::platform {
namespace {

using namespace date_calc;

struct Moment {
  int64_t day;
  int64_t year;
  int month, mday, hour, minute, second;
};

Moment RoundedMoment(double date) {
  if (!InRange(date)) throw ComError::Overflow("Format");
  Moment m{};
  int64_t ms;
  Decompose(date, 1000, m.day, ms);
  if (m.day > kLastDay) throw ComError::Overflow("Format");  // rounded past 9999-12-31
  CivilFromDays(m.day, m.year, m.month, m.mday);
  const int64_t s = ms / 1000;
  m.hour = static_cast<int>(s / 3600);
  m.minute = static_cast<int>(s / 60 % 60);
  m.second = static_cast<int>(s % 60);
  return m;
}

void AppendNumber(std::string& out, int64_t v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
  out += buf;
}

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

size_t RunLength(std::string_view p, size_t i) {
  const char c = Lower(p[i]);
  size_t n = 1;
  while (i + n < p.size() && Lower(p[i + n]) == c) ++n;
  return n;
}

// The AM/PM markers: "AM/PM", "am/pm" (any case; the first letter's case is the output's)
// and the one-letter "A/P". Returns the token length at i, or 0.
size_t AmPmTokenAt(std::string_view p, size_t i) {
  // The tokens are ASCII: compare letter by letter without building case-mapped copies,
  // since every date shown in a grid cell passes here.
  auto match = [&](std::string_view tok) {
    if (p.size() - i < tok.size()) return false;
    for (size_t k = 0; k < tok.size(); ++k)
      if (Lower(p[i + k]) != tok[k]) return false;
    return true;
  };
  if (match("am/pm")) return 5;
  if (match("a/p")) return 3;
  return 0;
}

// Whether the next date token after position i (skipping separators) is s/ss: "m" before
// seconds means minutes, as after hours.
bool SecondsFollow(std::string_view p, size_t i) {
  for (; i < p.size(); ++i) {
    const char c = Lower(p[i]);
    if (c == 's') return true;
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '"' || c == '\\') return false;
  }
  return false;
}

bool HasAmPm(std::string_view p) {
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '"') {
      const size_t close = p.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      i = close;
    } else if (p[i] == '\\') {
      ++i;
    } else if (AmPmTokenAt(p, i) > 0) {
      return true;
    }
  }
  return false;
}

std::string_view ShortDatePattern(const Locale& loc) {
  switch (loc.date_order()) {
    case DateOrder::MDY:
      return "m/d/yyyy";
    case DateOrder::DMY:
      return "dd/mm/yyyy";
    case DateOrder::YMD:
      return "yyyy/mm/dd";
  }
  return "yyyy/mm/dd";
}

std::string_view LongTimePattern(const Locale& loc) {
  return loc.twelve_hour_clock() ? "h:nn:ss AM/PM" : "hh:nn:ss";
}

std::string FormatMoment(const Moment& m, std::string_view p, const Locale& loc) {
  std::string out;
  const bool twelve = HasAmPm(p);
  bool after_hour = false;  // the last date token was h/hh: a following "m" is minutes
  size_t i = 0;
  while (i < p.size()) {
    const char c = p[i];
    const char lc = Lower(c);
    if (c == '"') {
      const size_t close = p.find('"', i + 1);
      const size_t end = close == std::string_view::npos ? p.size() : close;
      out.append(p.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (c == '\\') {
      if (i + 1 < p.size()) {
        const size_t next = Utf8Next(p, i + 1);
        out.append(p.substr(i + 1, next - i - 1));
        i = next;
      } else {
        ++i;
      }
      continue;
    }
    if (size_t len = AmPmTokenAt(p, i); len > 0) {
      const bool pm = m.hour >= 12;
      const bool upper = std::isupper(static_cast<unsigned char>(c));
      std::string_view mark = len == 5 ? (pm ? "PM" : "AM") : (pm ? "P" : "A");
      out += upper ? std::string(mark) : LCase(mark);
      i += len;
      continue;
    }
    const size_t run = RunLength(p, i);
    switch (lc) {
      case 'y': {
        const size_t n = run >= 4 ? 4 : run >= 2 ? 2 : 1;
        if (n == 4) AppendNumber(out, m.year, 4);
        if (n == 2) AppendNumber(out, m.year % 100, 2);
        if (n == 1) AppendNumber(out, DayOfYear(m.day), 1);
        i += n;
        after_hour = false;
        continue;
      }
      case 'm': {
        const size_t n = run >= 4 ? 4 : run;
        if (n <= 2 && (after_hour || SecondsFollow(p, i + n))) {
          AppendNumber(out, m.minute, static_cast<int>(n));
        } else if (n <= 2) {
          AppendNumber(out, m.month, static_cast<int>(n));
        } else {
          out += loc.MonthName(m.month, n == 3);
        }
        i += n;
        after_hour = false;
        continue;
      }
      case 'd': {
        if (run >= 5) {
          out += FormatMoment(m, ShortDatePattern(loc), loc);
          i += 5;
        } else if (run >= 3) {
          out += loc.DayName(Weekday(m.day), run == 3);
          i += run;
        } else {
          AppendNumber(out, m.mday, static_cast<int>(run));
          i += run;
        }
        after_hour = false;
        continue;
      }
      case 'h': {
        const size_t n = run >= 2 ? 2 : 1;
        int h = m.hour;
        if (twelve) h = h % 12 == 0 ? 12 : h % 12;
        AppendNumber(out, h, static_cast<int>(n));
        i += n;
        after_hour = true;
        continue;
      }
      case 'n':
      case 's': {
        const size_t n = run >= 2 ? 2 : 1;
        AppendNumber(out, lc == 'n' ? m.minute : m.second, static_cast<int>(n));
        i += n;
        after_hour = false;
        continue;
      }
      default:
        break;
    }
    if (c == '/') {
      out += loc.date_separator();
    } else {
      out.push_back(c);  // every other byte as it stands (UTF-8 passes through whole)
    }
    ++i;
  }
  return out;
}

}  // namespace

std::string FormatDate(double date, std::string_view pattern, const Locale& loc) {
  return FormatMoment(RoundedMoment(date), pattern, loc);
}

namespace date_calc {

std::string GeneralDate(double serial, const Locale& loc) {
  const Moment m = RoundedMoment(serial);
  const bool midnight = m.hour == 0 && m.minute == 0 && m.second == 0;
  if (m.day == 0) return FormatMoment(m, LongTimePattern(loc), loc);
  std::string out = FormatMoment(m, ShortDatePattern(loc), loc);
  if (!midnight) {
    out += ' ';
    out += FormatMoment(m, LongTimePattern(loc), loc);
  }
  return out;
}

}  // namespace date_calc
}  // namespace tabulo::platform
