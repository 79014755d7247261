// The classic conversions between variant types (CInt ... CStr, ChangeType, IsNumeric,
// IsDate), built on the number and date readers and writers of this folder.
#include "platform/values/conversions.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/date_calc.h"
#include "platform/values/number_text.h"

namespace tabulo::platform {
namespace {

using number_text::Status;

[[noreturn]] void Raise(Status s, const char* fn) {
  if (s == Status::Overflow) throw ComError::Overflow(fn);
  throw ComError::TypeMismatch(fn);
}

number_text::Parsed ParseOrRaise(const std::string& text, const Locale& loc, const char* fn) {
  number_text::Parsed p;
  const Status s = number_text::Parse(text, loc, p);
  if (s != Status::Ok) Raise(s, fn);
  return p;
}

double TextToDouble(const std::string& text, const Locale& loc, const char* fn) {
  double d = 0.0;
  const Status s = number_text::ToDouble(ParseOrRaise(text, loc, fn), d);
  if (s != Status::Ok) Raise(s, fn);
  return d;
}

// The value of any numeric-like variant as a double; the classic errors for the rest.
double NumberOf(const Variant& v, const Locale& loc, const char* fn) {
  switch (v.type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::Null:
      throw ComError::InvalidUseOfNull(fn);
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return v.AsLong();
    case VarType::Single:
    case VarType::Double:
    case VarType::Date:
      return v.AsDouble();
    case VarType::Currency:
      return static_cast<double>(v.AsCurrencyScaled()) / 10000.0;
    case VarType::String:
      return TextToDouble(v.AsString(), loc, fn);
    default:
      throw ComError::TypeMismatch(fn);
  }
}

// Rounds half to even and checks [lo, hi]; exact for currency and whole numbers.
int64_t ToIntegral(const Variant& v, const Locale& loc, int64_t lo, int64_t hi, const char* fn) {
  int64_t r = 0;
  if (v.type() == VarType::Currency) {
    const int64_t s = v.AsCurrencyScaled();
    r = s / 10000;
    const int64_t rem = s % 10000;  // same sign as s
    const int64_t mag = rem < 0 ? -rem : rem;
    if (mag > 5000 || (mag == 5000 && r % 2 != 0)) r += rem < 0 ? -1 : 1;
  } else if (v.type() == VarType::String) {
    const number_text::Parsed p = ParseOrRaise(v.AsString(), loc, fn);
    if (p.is_radix) {
      r = p.radix_value;
    } else {
      double d = 0.0;
      const Status s = number_text::ToDouble(p, d);
      if (s != Status::Ok) Raise(s, fn);
      const double rd = RoundHalfEven(d);
      if (!(rd >= static_cast<double>(lo) && rd <= static_cast<double>(hi))) {
        throw ComError::Overflow(fn);
      }
      r = static_cast<int64_t>(rd);
    }
  } else {
    const double rd = RoundHalfEven(NumberOf(v, loc, fn));
    // NaN fails both comparisons and lands here too.
    if (!(rd >= static_cast<double>(lo) && rd <= static_cast<double>(hi))) {
      throw ComError::Overflow(fn);
    }
    r = static_cast<int64_t>(rd);
  }
  if (r < lo || r > hi) throw ComError::Overflow(fn);
  return r;
}

// x * 10,000 rounded half to even, exactly: the product is split into its rounded value p
// and the rounding error err (fma), so a decimal half is judged on the true product.
int64_t ScaleToCurrency(double x, const char* fn) {
  if (!std::isfinite(x)) throw ComError::Overflow(fn);
  const double p = x * 10000.0;
  const double err = std::fma(x, 10000.0, -p);
  constexpr double kTwo63 = 9223372036854775808.0;
  if (!(p >= -kTwo63 && p < kTwo63)) throw ComError::Overflow(fn);
  __int128 r = 0;
  if (std::fabs(p) < 4503599627370496.0) {
    // Below 2^52 the halves are doubles, so err can only decide a tie that p lands on.
    const double rp = RoundHalfEven(p);
    r = static_cast<__int128>(rp);
    if (p - rp == 0.5 && err > 0) ++r;
    if (p - rp == -0.5 && err < 0) --r;
  } else {
    // p is whole; err (at most half of p's spacing) may carry a fraction of its own.
    const double whole = std::floor(err);
    const double frac = err - whole;
    r = static_cast<__int128>(p) + static_cast<__int128>(whole);
    if (frac > 0.5 || (frac == 0.5 && r % 2 != 0)) ++r;
  }
  if (r < INT64_MIN || r > INT64_MAX) throw ComError::Overflow(fn);
  return static_cast<int64_t>(r);
}

double CheckedDate(double d, const char* fn) {
  if (!date_calc::InRange(d)) throw ComError::Overflow(fn);
  return d;
}

}  // namespace

double RoundHalfEven(double x) {
  // At 2^52 and beyond every double is a whole number; NaN and infinities pass through.
  if (!(std::fabs(x) < 4503599627370496.0)) return x;
  double r = std::floor(x);
  const double diff = x - r;  // exact except just below zero, where rounding stays monotonic
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  return r == 0.0 ? 0.0 : r;  // no negative zero
}

int16_t CInt(const Variant& v, const Locale& loc) {
  return static_cast<int16_t>(ToIntegral(v, loc, INT16_MIN, INT16_MAX, "CInt"));
}

int32_t CLng(const Variant& v, const Locale& loc) {
  return static_cast<int32_t>(ToIntegral(v, loc, INT32_MIN, INT32_MAX, "CLng"));
}

uint8_t CByte(const Variant& v, const Locale& loc) {
  return static_cast<uint8_t>(ToIntegral(v, loc, 0, 255, "CByte"));
}

double CDbl(const Variant& v, const Locale& loc) {
  return NumberOf(v, loc, "CDbl");
}

float CSng(const Variant& v, const Locale& loc) {
  const double d = NumberOf(v, loc, "CSng");
  // Values up to half a unit above FLT_MAX still round to it; beyond, float has no value.
  if (!(std::fabs(d) < 0x1.ffffffp+127)) throw ComError::Overflow("CSng");
  if (std::fabs(d) > FLT_MAX) return d < 0 ? -FLT_MAX : FLT_MAX;
  return static_cast<float>(d);
}

int64_t CCurScaled(const Variant& v, const Locale& loc) {
  switch (v.type()) {
    case VarType::Currency:
      return v.AsCurrencyScaled();
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return static_cast<int64_t>(v.AsLong()) * 10000;
    case VarType::String: {
      int64_t scaled = 0;
      const Status s = number_text::ToCurrency(ParseOrRaise(v.AsString(), loc, "CCur"), scaled);
      if (s != Status::Ok) Raise(s, "CCur");
      return scaled;
    }
    default:
      return ScaleToCurrency(NumberOf(v, loc, "CCur"), "CCur");
  }
}

bool CBool(const Variant& v, const Locale& loc) {
  switch (v.type()) {
    case VarType::Boolean:
      return v.AsBoolean();
    case VarType::Currency:
      return v.AsCurrencyScaled() != 0;
    case VarType::String: {
      const std::string t = Trim(v.AsString());
      if (EqualsIgnoreCase(t, "True")) return true;
      if (EqualsIgnoreCase(t, "False")) return false;
      return NumberOf(v, loc, "CBool") != 0.0;
    }
    default:
      return NumberOf(v, loc, "CBool") != 0.0;
  }
}

double CDate(const Variant& v, const Locale& loc) {
  switch (v.type()) {
    case VarType::String: {
      double serial = 0.0;
      if (!date_calc::ParseDate(v.AsString(), loc, serial)) throw ComError::TypeMismatch("CDate");
      return serial;
    }
    default:
      return CheckedDate(NumberOf(v, loc, "CDate"), "CDate");
  }
}

std::string CStr(const Variant& v, const Locale& loc) {
  switch (v.type()) {
    case VarType::Empty:
      return std::string();
    case VarType::Null:
      throw ComError::InvalidUseOfNull("CStr");
    case VarType::Boolean:
      return v.AsBoolean() ? "True" : "False";
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return std::to_string(v.AsLong());
    case VarType::Single:
      return number_text::FormatDouble(static_cast<float>(v.AsDouble()), 7, loc);
    case VarType::Double:
      return number_text::FormatDouble(v.AsDouble(), 15, loc);
    case VarType::Currency:
      return number_text::FormatCurrency(v.AsCurrencyScaled(), loc);
    case VarType::Date:
      return date_calc::GeneralDate(v.AsDouble(), loc);
    case VarType::String:
      return v.AsString();
    default:
      throw ComError::TypeMismatch("CStr");
  }
}

Variant ChangeType(const Variant& v, VarType to, const Locale& loc) {
  if (to == VarType::Variant || to == v.type()) return v;
  switch (to) {
    case VarType::Empty:
      return Variant();
    case VarType::Integer:
      return Variant(CInt(v, loc));
    case VarType::Long:
      return Variant(CLng(v, loc));
    case VarType::Byte:
      return Variant::Byte(CByte(v, loc));
    case VarType::Single:
      return Variant(CSng(v, loc));
    case VarType::Double:
      return Variant(CDbl(v, loc));
    case VarType::Currency:
      return Variant::CurrencyScaled(CCurScaled(v, loc));
    case VarType::Boolean:
      return Variant(CBool(v, loc));
    case VarType::Date:
      return Variant::Date(CDate(v, loc));
    case VarType::String:
      return Variant(CStr(v, loc));
    case VarType::Null:
      if (v.IsNull()) return v;
      throw ComError::TypeMismatch("ChangeType");
    default:
      if (v.IsNull()) throw ComError::InvalidUseOfNull("ChangeType");
      throw ComError::TypeMismatch("ChangeType");
  }
}

bool IsNumeric(const Variant& v, const Locale& loc) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Boolean:
      return true;
    case VarType::String: {
      number_text::Parsed p;
      double d = 0.0;
      return number_text::Parse(v.AsString(), loc, p) == Status::Ok &&
             number_text::ToDouble(p, d) == Status::Ok;
    }
    default:
      return v.IsNumberType();
  }
}

bool IsDate(const Variant& v, const Locale& loc) {
  if (v.type() == VarType::Date) return date_calc::InRange(v.AsDouble());
  if (v.type() != VarType::String) return false;
  double serial = 0.0;
  return date_calc::ParseDate(v.AsString(), loc, serial);
}

}  // namespace tabulo::platform
