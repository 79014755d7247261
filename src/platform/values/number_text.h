// Numbers as text in a locale: the reader behind CDbl/IsNumeric and the writer behind CStr.
// Internal to the platform library; callers use conversions.h.
//
// What the reader accepts, after blanks (space, tab) around the text are dropped:
//   [+|-] digits [decimal-separator digits] [(E|e) [+|-] digits]
// with at least one digit before the exponent, or "&H" hex / "&O" octal digits (any letter
// case). Grouping separators are accepted only inside the integer part and only in their
// proper places: the first group has one to three digits and every later group exactly three
// ("1,234,567.5" in en-US; "1.234" is 1234 in de-DE, while "1.5" and "12.34" are not numbers
// there). Anything else makes the text not a number: currency signs, parentheses, "0x",
// trailing text.
// A hex or octal value up to &HFFFF is a 16-bit pattern and up to &HFFFFFFFF a 32-bit one,
// as the classic literals are (&HFFFF = -1, &H10000 = 65536); anything larger overflows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/locale.h"

namespace tabulo::platform::number_text {

enum class Status { Ok, NotANumber, Overflow };

// A number read from text: either an exact integer (hex/octal) or the decimal value
// (negative ? -1 : 1) * digits * 10^exponent, with digits free of leading zeros.
struct Parsed {
  bool is_radix = false;
  int64_t radix_value = 0;
  bool negative = false;
  std::string digits;  // empty for zero
  int64_t exponent = 0;
};

// Reads the text; Status::Ok fills `out`. Never raises.
Status Parse(std::string_view text, const Locale& loc, Parsed& out);
// The nearest double; Overflow beyond the double range (tiny values become 0).
Status ToDouble(const Parsed& p, double& out);
// Exact currency (value * 10,000, halves to even); Overflow outside the 64-bit range.
Status ToCurrency(const Parsed& p, int64_t& scaled);

// The classic number-to-text form: at most `significant` digits (15 for Double, 7 for
// Single), trailing zeros dropped, the locale's decimal separator, and an exponent form
// ("1E+20", "1.5E-07") when the decimal exponent is >= `significant` or < -4. Raises 6 for
// NaN and infinities, which no classic number can hold.
std::string FormatDouble(double x, int significant, const Locale& loc);
// Currency with up to four decimals, trailing zeros dropped.
std::string FormatCurrency(int64_t scaled, const Locale& loc);

}  // namespace tabulo::platform::number_text
