// Reading numbers from text in a locale (rules in number_text.h), and turning what was read
// into a double or an exact currency value.
#include <charconv>
#include <cstdlib>
#include <limits>

#include "platform/values/number_text.h"

namespace tabulo::platform::number_text {
namespace {

constexpr int64_t kExponentCap = 1'000'000'000;  // beyond any double; keeps sums in range

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

Status ParseRadix(std::string_view s, Parsed& out) {
  // s starts after "&": a letter H or O, then digits.
  if (s.empty()) return Status::NotANumber;
  const int base = (s[0] == 'H' || s[0] == 'h') ? 16 : (s[0] == 'O' || s[0] == 'o') ? 8 : 0;
  if (base == 0 || s.size() < 2) return Status::NotANumber;
  uint64_t value = 0;
  bool overflow = false;
  for (char c : s.substr(1)) {
    const int d = DigitValue(c);
    if (d >= base) return Status::NotANumber;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) {
      overflow = true;
      value = 0xFFFFFFFFull;  // keep reading: trailing garbage is still "not a number"
    }
  }
  if (overflow) return Status::Overflow;
  out = Parsed{};
  out.is_radix = true;
  out.radix_value = value <= 0xFFFF ? static_cast<int16_t>(static_cast<uint16_t>(value))
                                    : static_cast<int32_t>(static_cast<uint32_t>(value));
  return Status::Ok;
}

}  // namespace

Status Parse(std::string_view text, const Locale& loc, Parsed& out) {
  std::string_view s = StripBlanks(text);
  if (s.empty()) return Status::NotANumber;
  if (s[0] == '&') return ParseRadix(s.substr(1), out);

  Parsed p;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    p.negative = s[0] == '-';
    ++i;
  }
  bool any_digit = false, in_fraction = false, grouped = false;
  int64_t group_len = 0;  // digits since the last grouping separator (or the start)
  const std::string_view dec = loc.decimal_separator();
  while (i < s.size()) {
    const char c = s[i];
    if (IsDigit(c)) {
      any_digit = true;
      if (in_fraction) {
        --p.exponent;
      } else {
        ++group_len;
      }
      if (c != '0' || !p.digits.empty()) p.digits.push_back(c);
      ++i;
      continue;
    }
    if (!dec.empty() && s.substr(i).starts_with(dec)) {
      if (in_fraction) return Status::NotANumber;
      if (grouped && group_len != 3) return Status::NotANumber;
      in_fraction = true;
      i += dec.size();
      continue;
    }
    if (!in_fraction) {
      if (size_t g = loc.GroupSeparatorAt(s, i); g > 0) {
        const bool group_ok = grouped ? group_len == 3 : (group_len >= 1 && group_len <= 3);
        if (!group_ok) return Status::NotANumber;
        grouped = true;
        group_len = 0;
        i += g;
        continue;
      }
    }
    break;
  }
  if (!any_digit) return Status::NotANumber;
  if (grouped && !in_fraction && group_len != 3) return Status::NotANumber;
  if (i < s.size()) {
    if (s[i] != 'E' && s[i] != 'e') return Status::NotANumber;
    ++i;
    bool exp_negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      exp_negative = s[i] == '-';
      ++i;
    }
    if (i == s.size()) return Status::NotANumber;
    int64_t e = 0;
    for (; i < s.size(); ++i) {
      if (!IsDigit(s[i])) return Status::NotANumber;
      e = std::min<int64_t>(e * 10 + (s[i] - '0'), kExponentCap);
    }
    p.exponent += exp_negative ? -e : e;
  }
  // Drop trailing zeros into the exponent so that "1000...0" stays short.
  while (!p.digits.empty() && p.digits.back() == '0') {
    p.digits.pop_back();
    ++p.exponent;
  }
  out = std::move(p);
  return Status::Ok;
}

Status ToDouble(const Parsed& p, double& out) {
  if (p.is_radix) {
    out = static_cast<double>(p.radix_value);
    return Status::Ok;
  }
  const double sign = p.negative ? -1.0 : 1.0;
  if (p.digits.empty()) {
    out = 0.0;
    return Status::Ok;
  }
  // Decimal exponent of the leading digit: the value lies in [10^lead, 10^(lead+1)).
  const int64_t lead = static_cast<int64_t>(p.digits.size()) - 1 + p.exponent;
  if (lead > 308) return Status::Overflow;
  if (lead < -400) {
    out = sign * 0.0;
    return Status::Ok;
  }
  const std::string text = p.digits + "e" + std::to_string(p.exponent);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (lead > 0) return Status::Overflow;
    // Subnormal or below: strtod gives the nearest (no decimal point, so no locale applies).
    value = std::strtod(text.c_str(), nullptr);
  } else if (ec != std::errc() || end != text.data() + text.size()) {
    return Status::NotANumber;
  }
  out = sign * value;
  return Status::Ok;
}

Status ToCurrency(const Parsed& p, int64_t& scaled) {
  if (p.is_radix) {
    scaled = p.radix_value * 10000;
    return Status::Ok;
  }
  // digits * 10^(exponent + 4), rounded half to even, computed exactly.
  const int64_t shift = p.exponent + 4;
  const int64_t n = static_cast<int64_t>(p.digits.size());
  const int64_t int_len = n + shift;  // digits that land before the point
  if (p.digits.empty() || int_len < 0) {
    scaled = 0;  // below half a unit of the last place (the first digit is non-zero)
    return Status::Ok;
  }
  if (int_len > 19) return Status::Overflow;
  unsigned __int128 v = 0;
  for (int64_t k = 0; k < int_len; ++k) v = v * 10 + (k < n ? p.digits[k] - '0' : 0);
  if (int_len < n) {
    const int first = p.digits[int_len] - '0';
    const bool more = p.digits.find_first_not_of('0', int_len + 1) != std::string::npos;
    if (first > 5 || (first == 5 && (more || v % 2 == 1))) ++v;
  }
  const unsigned __int128 limit =
      static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + (p.negative ? 1 : 0);
  if (v > limit) return Status::Overflow;
  scaled = p.negative ? static_cast<int64_t>(-static_cast<__int128>(v)) : static_cast<int64_t>(v);
  return Status::Ok;
}

}  // namespace tabulo::platform::number_text
