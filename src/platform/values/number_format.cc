// Writing numbers as text: the classic CStr forms in a locale, and the shortest
// round-trip form used in SQL text.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "platform/values/number_text.h"

namespace tabulo::platform {
namespace number_text {

std::string FormatDouble(double x, int significant, const Locale& loc) {
  if (!std::isfinite(x)) throw ComError::Overflow("CStr");
  if (x == 0.0) return "0";  // -0 too
  // "%.*e" rounds correctly to the wanted number of significant digits.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, x);
  std::string_view s(buf);
  const bool negative = s[0] == '-';
  if (negative) s.remove_prefix(1);
  const size_t e_pos = s.find('e');
  std::string digits;
  for (char c : s.substr(0, e_pos)) {
    if (c != '.') digits.push_back(c);
  }
  const int exp10 = std::atoi(std::string(s.substr(e_pos + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  const std::string_view dec = loc.decimal_separator();
  if (exp10 >= significant || exp10 < -4) {
    out += digits[0];
    if (digits.size() > 1) {
      out += dec;
      out.append(digits, 1);
    }
    char exp_buf[16];
    std::snprintf(exp_buf, sizeof exp_buf, "E%c%02d", exp10 < 0 ? '-' : '+', std::abs(exp10));
    out += exp_buf;
  } else if (exp10 >= 0) {
    const size_t int_len = static_cast<size_t>(exp10) + 1;
    if (digits.size() <= int_len) {
      out += digits;
      out.append(int_len - digits.size(), '0');
    } else {
      out.append(digits, 0, int_len);
      out += dec;
      out.append(digits, int_len);
    }
  } else {
    out += "0";
    out += dec;
    out.append(static_cast<size_t>(-exp10 - 1), '0');
    out += digits;
  }
  return out;
}

std::string FormatCurrency(int64_t scaled, const Locale& loc) {
  const bool negative = scaled < 0;
  // Unsigned arithmetic keeps the most negative value exact.
  const uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string out = negative ? "-" : "";
  out += std::to_string(mag / 10000);
  uint64_t frac = mag % 10000;
  if (frac != 0) {
    std::string f = std::to_string(frac);
    f.insert(0, 4 - f.size(), '0');
    while (f.back() == '0') f.pop_back();
    out += loc.decimal_separator();
    out += f;
  }
  return out;
}

}  // namespace number_text

std::string ShortestRoundTrip(double x) {
  if (!std::isfinite(x)) throw ComError::Overflow("ShortestRoundTrip");
  if (x == 0.0) return "0";  // both zeros: SQL has no negative zero worth keeping
  // to_chars picks the shorter of the plain and the exponent form ("1e+20", "1e-07"); both
  // read back as the same double in SQLite and in from_chars.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, res.ptr);
}

}  // namespace tabulo::platform
