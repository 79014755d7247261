// The validity check of value texts for unquoted column types.
#include "sql/value_check.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "host/field_types.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::sql {
namespace {

using namespace host;  // the type codes and their classes

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The range of an integer type (FieldClass::kInteger) as a magnitude bound for each sign.
struct IntegerRange {
  uint64_t max_negative;  // largest magnitude allowed with a minus sign
  uint64_t max_positive;
};

IntegerRange RangeOfInteger(int32_t type) {
  switch (type) {
    case adTinyInt:
      return {128, 127};
    case adSmallInt:
      return {32768, 32767};
    case adBigInt:
      return {9223372036854775808ULL, 9223372036854775807ULL};
    case adUnsignedTinyInt:
      return {0, 255};
    case adUnsignedSmallInt:
      return {0, 65535};
    case adUnsignedInt:
      return {0, 4294967295ULL};
    case adUnsignedBigInt:
      return {0, std::numeric_limits<uint64_t>::max()};
    default:  // adInteger, adError
      return {2147483648ULL, 2147483647ULL};
  }
}

// [sign] digits, the whole (blank-stripped) text; the magnitude saturates at UINT64_MAX and
// `overflow` tells that it did.
bool ReadPlainInteger(std::string_view s, bool& negative, uint64_t& magnitude, bool& overflow) {
  negative = false;
  magnitude = 0;
  overflow = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return false;
    const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
    if (!overflow) magnitude = magnitude * 10 + digit;
  }
  return true;
}

ValueFault CheckInteger(std::string_view s, const IntegerRange& range,
                        const platform::Locale& loc) {
  bool negative = false;
  bool overflow = false;
  uint64_t magnitude = 0;
  if (!ReadPlainInteger(s, negative, magnitude, overflow)) {
    // A number in another form: a fraction or exponent is named as such, grouping
    // separators and &H forms are simply not accepted.
    if (!platform::IsNumeric(platform::Variant{s}, loc)) return ValueFault::kNotANumber;
    const bool has_fraction_or_exponent =
        s.find(loc.decimal_separator()) != std::string_view::npos ||
        s.find_first_of("eE") != std::string_view::npos;
    return has_fraction_or_exponent ? ValueFault::kFraction : ValueFault::kNotANumber;
  }
  if (overflow) return ValueFault::kOutOfRange;
  const uint64_t bound = negative ? range.max_negative : range.max_positive;
  if (magnitude > bound) return ValueFault::kOutOfRange;
  return ValueFault::kNone;
}

// CDbl tells an overflow (6) from a text that is no number (13).
ValueFault ReadLocaleNumber(std::string_view s, const platform::Locale& loc, double& x) {
  try {
    x = platform::CDbl(platform::Variant{s}, loc);
    return std::isfinite(x) ? ValueFault::kNone : ValueFault::kOutOfRange;
  } catch (const platform::ComError& e) {
    return e.number() == platform::kErrOverflow ? ValueFault::kOutOfRange : ValueFault::kNotANumber;
  }
}

ValueFault CheckFloating(std::string_view s, int32_t type, const platform::Locale& loc) {
  double x = 0;
  const ValueFault fault = ReadLocaleNumber(s, loc, x);
  if (fault != ValueFault::kNone) return fault;
  if (type == adSingle && std::fabs(x) > static_cast<double>(FLT_MAX))
    return ValueFault::kOutOfRange;
  if (type == adCurrency) {
    try {
      platform::CCurScaled(platform::Variant{s}, loc);
    } catch (const platform::ComError&) {
      return ValueFault::kOutOfRange;
    }
  }
  return ValueFault::kNone;
}

ValueFault CheckPlainDecimal(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const size_t int_start = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i == int_start) return ValueFault::kNotANumber;
  if (i < s.size() && s[i] == '.') {
    const size_t frac_start = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    if (i == frac_start) return ValueFault::kNotANumber;
  }
  return i == s.size() ? ValueFault::kNone : ValueFault::kNotANumber;
}

ValueFault CheckBoolean(std::string_view s, const platform::Locale& loc) {
  if (platform::EqualsIgnoreCase(s, "True") || platform::EqualsIgnoreCase(s, "False"))
    return ValueFault::kNone;
  return CheckInteger(s, RangeOfInteger(adBigInt), loc) == ValueFault::kNone
             ? ValueFault::kNone
             : ValueFault::kNotABoolean;
}

ValueFault CheckDate(std::string_view s, const platform::Locale& loc) {
  const platform::Variant v{s};
  if (!platform::IsDate(v, loc)) return ValueFault::kNotADate;
  try {
    platform::CDate(v, loc);
  } catch (const platform::ComError&) {
    return ValueFault::kNotADate;
  }
  return ValueFault::kNone;
}

ValueFault Check(std::string_view text, int32_t type, const platform::Locale& loc) {
  const FieldClass c = ClassOfType(type);
  if (c == FieldClass::kQuoted) return ValueFault::kNone;
  const std::string_view s = StripBlanks(text);
  if (s.empty()) return ValueFault::kEmpty;
  switch (c) {
    case FieldClass::kInteger:
      return CheckInteger(s, RangeOfInteger(type), loc);
    case FieldClass::kApproximate:
    case FieldClass::kExactNumber:
      return CheckFloating(s, type, loc);
    case FieldClass::kPlainDecimal:
      return CheckPlainDecimal(s);
    case FieldClass::kBoolean:
      return CheckBoolean(s, loc);
    case FieldClass::kDate:
    case FieldClass::kTime:
    case FieldClass::kTimestamp:
      return CheckDate(s, loc);
    default:
      return ValueFault::kUnsupportedType;
  }
}

}  // namespace

ValueCheck CheckValueForType(std::string_view text, int32_t type, const platform::Locale& loc) {
  try {
    return ValueCheck{Check(text, type, loc)};
  } catch (const std::exception&) {
    // The platform's conversions raise ComError for what they refuse; anything else (out of
    // memory) still must not reach the operator's edit as an accepted value.
    return ValueCheck{ValueFault::kNotANumber};
  }
}

std::string_view ValueFaultName(ValueFault fault) {
  switch (fault) {
    case ValueFault::kNone:
      return "valid";
    case ValueFault::kEmpty:
      return "empty";
    case ValueFault::kNotANumber:
      return "not a number";
    case ValueFault::kFraction:
      return "not a whole number";
    case ValueFault::kOutOfRange:
      return "out of range";
    case ValueFault::kNotABoolean:
      return "not a boolean";
    case ValueFault::kNotADate:
      return "not a date";
    case ValueFault::kUnsupportedType:
      return "unsupported type";
  }
  return "unknown";
}

}  // namespace tabulo::sql
