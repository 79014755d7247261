// The classic conversions between variant types, in the user's locale.
//
// Rules kept exactly, since callers rely on them:
// - to an integer type, fractions round to the nearest integer, halves to the even
//   neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2); a result outside the type raises 6 "Overflow";
// - Null raises 94 "Invalid use of Null" (CStr included); Empty converts to 0 / "" / False;
// - text that is not a number (or not a date, for CDate) raises 13 "Type mismatch";
// - text is parsed and written with the locale's decimal and grouping separators and
//   date order; booleans become "True" / "False".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/locale.h"
#include "platform/values/variant.h"

namespace tabulo::platform {

int16_t CInt(const Variant& v, const Locale& loc);
int32_t CLng(const Variant& v, const Locale& loc);
uint8_t CByte(const Variant& v, const Locale& loc);
float CSng(const Variant& v, const Locale& loc);
double CDbl(const Variant& v, const Locale& loc);
int64_t CCurScaled(const Variant& v, const Locale& loc);  // currency * 10,000
bool CBool(const Variant& v, const Locale& loc);
double CDate(const Variant& v, const Locale& loc);
std::string CStr(const Variant& v, const Locale& loc);

// Converts to the given type (Variant leaves v unchanged); the classic errors as above.
Variant ChangeType(const Variant& v, VarType to, const Locale& loc);

// IsNumeric / IsDate: whether the conversion would succeed. Never raise. The number and
// date texts accepted are described in number_text.h and date_parse.cc.
bool IsNumeric(const Variant& v, const Locale& loc);
bool IsDate(const Variant& v, const Locale& loc);

// Round half to even, as every integer conversion does.
double RoundHalfEven(double x);

// Dates: serial day numbers (days since 1899-12-30, time as the fraction; before
// 1899-12-30 the integer part is negative and the fraction still counts forward, as in
// the classic encoding). The valid range is 0100-01-01 to 9999-12-31 23:59:59; outside it
// the functions raise 6 (from numbers) or 13 (from text).
// DateSerial: years 0-29 mean 2000-2029 and 30-99 mean 1930-1999; months and days outside
// their range carry over (month 13 is January of the next year, day 0 the last day of the
// previous month). TimeSerial carries the same way across midnight.
double DateSerial(int year, int month, int day);
double TimeSerial(int hour, int minute, int second);
struct DateParts {
  int year, month, day, hour, minute, second;
  int millisecond;  // truncated, 0..999
};
DateParts SplitDate(double date);

// Formats a date with the pattern tokens of the classic Format function: yyyy, yy, m, mm,
// mmm, mmmm, d, dd, ddd, dddd, h, hh, n, nn, s, ss, AM/PM, am/pm, "/" and ":" as the locale's
// separators, "\\x" and "quoted" text copied, every other character copied. Seconds are
// rounded to the nearest second before formatting (so 23:59:59.6 shows the next day), as
// the classic formatter does. Raises 6 outside the date range.
std::string FormatDate(double date, std::string_view pattern, const Locale& loc);

// Writes a double in the shortest form that reads back as the same double, with "." as
// decimal separator and no grouping (2.499, not 2.4990000000000001). Whichever of the plain
// and the exponent form is shorter: 1e+20, 1e-07, 123.5. Both zeros give "0". NaN and the
// infinities raise 6.
std::string ShortestRoundTrip(double x);

}  // namespace tabulo::platform
