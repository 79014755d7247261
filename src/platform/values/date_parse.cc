// Reading dates from text in a locale. Accepted, after blanks around the text are dropped:
//   date [time] | time
// date: three numbers in the locale's order (M/D/Y, D/M/Y or Y/M/D) separated by "/", "-" or
//       "." (the same one twice); a first number of four digits is always year-month-day
//       (ISO 2009-03-01). Years of one or two digits mean 2000-2029 for 00-29 and 1930-1999
//       for 30-99; three or four digits are the year itself (0100..9999).
// time: h:mm or h:mm:ss, then optionally AM or PM (any case, blank before it optional) on
//       the 12-hour clock, else on the 24-hour clock; after an ISO date a "T" may stand for
//       the blank. A time alone is on day 0 (1899-12-30).
// Day and month are checked against the calendar (31.02.2009 is not a date); the order of
// day and month is the locale's, never guessed from the numbers.
#include <cctype>

#include "platform/values/conversions.h"
#include "platform/values/date_calc.h"

namespace tabulo::platform {
namespace date_calc {
namespace {

struct Cursor {
  std::string_view s;
  size_t i = 0;

  bool AtEnd() const { return i >= s.size(); }
  char Peek() const { return AtEnd() ? '\0' : s[i]; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i;
    return true;
  }
  size_t SkipBlanks() {
    const size_t from = i;
    while (Peek() == ' ' || Peek() == '\t') ++i;
    return i - from;
  }
  // A run of 1..max_digits digits; false when there is none or it is longer.
  bool Number(int max_digits, int& value, int& digits) {
    value = 0;
    digits = 0;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) {
      if (++digits > max_digits) return false;
      value = value * 10 + (s[i] - '0');
      ++i;
    }
    return digits > 0;
  }
};

bool IsDateSeparator(char c) {
  return c == '/' || c == '-' || c == '.';
}

int FullYear(int value, int digits) {
  if (digits <= 2) return value < 30 ? 2000 + value : 1900 + value;
  return value;
}

// Parses "h:mm[:ss] [AM|PM]" to a fraction of a day.
bool ParseTime(Cursor& c, double& time) {
  int h, mi, sec = 0, digits;
  if (!c.Number(2, h, digits) || !c.Eat(':')) return false;
  if (!c.Number(2, mi, digits)) return false;
  if (c.Eat(':') && !c.Number(2, sec, digits)) return false;
  const size_t mark = c.i;
  c.SkipBlanks();
  const std::string_view rest = c.s.substr(c.i);
  bool twelve = false, pm = false;
  if (rest.size() >= 2 && std::toupper(static_cast<unsigned char>(rest[1])) == 'M') {
    const char a = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    if (a == 'A' || a == 'P') {
      twelve = true;
      pm = a == 'P';
      c.i += 2;
    }
  }
  if (!twelve) c.i = mark;
  if (twelve) {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  }
  if (h > 23 || mi > 59 || sec > 59) return false;
  time = (h * 3600 + mi * 60 + sec) / 86400.0;
  return true;
}

bool ParseDay(Cursor& c, const Locale& loc, int64_t& day, bool& iso) {
  int n[3], len[3];
  char sep = '\0';
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (k == 1 && IsDateSeparator(c.Peek())) sep = c.Peek();
      if (sep == '\0' || !c.Eat(sep)) return false;
    }
    if (!c.Number(4, n[k], len[k])) return false;
  }
  int y, yl, m, d;
  iso = len[0] == 4;
  if (iso || loc.date_order() == DateOrder::YMD) {
    y = n[0], yl = len[0], m = n[1], d = n[2];
    if (len[1] > 2 || len[2] > 2) return false;
  } else if (loc.date_order() == DateOrder::MDY) {
    m = n[0], d = n[1], y = n[2], yl = len[2];
    if (len[0] > 2 || len[1] > 2) return false;
  } else {
    d = n[0], m = n[1], y = n[2], yl = len[2];
    if (len[0] > 2 || len[1] > 2) return false;
  }
  y = FullYear(y, yl);
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  day = DaysFromCivil(y, m, d);
  return true;
}

}  // namespace

bool ParseDate(std::string_view text, const Locale& loc, double& serial) {
  Cursor c{text};
  c.SkipBlanks();
  // A time alone starts with a number followed by ":".
  size_t k = c.i;
  while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
  int64_t day = 0;
  double time = 0.0;
  if (k < text.size() && text[k] == ':') {
    if (!ParseTime(c, time)) return false;
  } else {
    bool iso = false;
    if (!ParseDay(c, loc, day, iso)) return false;
    const bool blank = c.SkipBlanks() > 0;
    const bool t_mark = !blank && iso && (c.Peek() == 'T' || c.Peek() == 't');
    if (t_mark) ++c.i;
    if ((blank || t_mark) && !c.AtEnd()) {
      if (!ParseTime(c, time)) return false;
    } else if (t_mark) {
      return false;
    }
  }
  c.SkipBlanks();
  if (!c.AtEnd()) return false;
  serial = Compose(day, time);
  return true;
}

}  // namespace date_calc
}  // namespace tabulo::platform
