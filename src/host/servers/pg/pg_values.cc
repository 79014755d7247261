#include "host/servers/pg/pg_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "host/servers/sqlite/iso_date.h"

namespace tabulo::host::pg {
namespace {

using platform::Variant;

// Type oids (pg_type.dat); stable across server versions.
enum : Oid {
  kBool = 16,
  kBytea = 17,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kFloat4 = 700,
  kFloat8 = 701,
  kMoney = 790,
  kBpchar = 1042,
  kVarchar = 1043,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kTimeTz = 1266,
  kNumeric = 1700,
};

constexpr int32_t kLongText = 536870910;
constexpr int32_t kLongBinary = 2147483647;

Variant Number(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
    return Variant::Long(static_cast<int32_t>(v));
  return Variant::Double(static_cast<double>(v));
}

Variant Bytes(const char* text) {
  size_t size = 0;
  unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
  platform::SafeArray array(platform::VarType::Byte, {{0, static_cast<int32_t>(raw ? size : 0)}});
  for (size_t i = 0; raw && i < size; ++i)
    array.Set(static_cast<int32_t>(i), Variant::Byte(raw[i]));
  PQfreemem(raw);
  return Variant(std::move(array));
}

// "2024-01-02 10:00:00.5+01" -> "2024-01-02 10:00:00.5": the offset of a value with time zone
// is the session's own, so the rest is the local time.
std::string_view WithoutOffset(std::string_view text, size_t from) {
  const size_t sign = text.find_first_of("+-", from);
  return sign == std::string_view::npos ? text : text.substr(0, sign);
}

}  // namespace

ColumnInfo ColumnOf(const PGresult* result, int column) {
  ColumnInfo info;
  info.name = PQfname(result, column);
  const int mod = PQfmod(result, column);
  switch (PQftype(result, column)) {
    case kBool:
      return {info.name, adBoolean, 2};
    case kInt2:
      return {info.name, adSmallInt, 2};
    case kInt4:
      return {info.name, adInteger, 4};
    case kInt8:
      return {info.name, adBigInt, 8};
    case kFloat4:
      return {info.name, adSingle, 4};
    case kFloat8:
      return {info.name, adDouble, 8};
    case kNumeric:
      return {info.name, adNumeric, mod >= 4 ? ((mod - 4) >> 16) & 0xFFFF : 19};
    case kMoney:
      return {info.name, adCurrency, 8};
    case kDate:
      return {info.name, adDBDate, 10};
    case kTime:
    case kTimeTz:
      return {info.name, adDBTime, 8};
    case kTimestamp:
    case kTimestampTz:
      return {info.name, adDBTimeStamp, 19};
    case kBpchar:
      return {info.name, adChar, mod >= 4 ? mod - 4 : 1};
    case kVarchar:
      return {info.name, adVarChar, mod >= 4 ? mod - 4 : kLongText};
    case kBytea:
      return {info.name, adLongVarBinary, kLongBinary};
    default:
      return {info.name, adVarChar, kLongText};
  }
}

Variant ValueOf(int32_t type, const PGresult* result, int row, int column) {
  if (PQgetisnull(result, row, column)) return Variant::Null();
  const char* text = PQgetvalue(result, row, column);
  const std::string_view s(text, static_cast<size_t>(PQgetlength(result, row, column)));
  switch (type) {
    case adBoolean:
      return Variant::Boolean(s == "t");
    case adSmallInt:
    case adInteger:
    case adBigInt: {
      int64_t v = 0;
      if (std::from_chars(s.data(), s.data() + s.size(), v).ec == std::errc()) return Number(v);
      break;
    }
    case adSingle:
      return Variant::Single(std::strtof(text, nullptr));
    case adDouble:
      return Variant::Double(std::strtod(text, nullptr));
    case adNumeric: {
      int64_t v = 0;
      auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
      if (ec == std::errc() && end == s.data() + s.size()) return Number(v);
      if (s != "NaN") return Variant::Double(std::strtod(text, nullptr));
      break;
    }
    case adCurrency: {
      // "-$1,234.56" in the server's monetary locale: keep sign, digits and the point.
      std::string plain;
      for (char c : s)
        if ((c >= '0' && c <= '9') || c == '.' || c == '-') plain += c;
      const double v = std::strtod(plain.c_str(), nullptr);
      if (std::fabs(v) < 9.2e14) return Variant::CurrencyScaled(std::llround(v * 10000.0));
      break;
    }
    case adDBDate:
    case adDBTimeStamp:
      if (auto date = sqlite::ParseIsoDateTime(WithoutOffset(s, 10))) return Variant::Date(*date);
      break;
    case adDBTime:
      if (auto time = sqlite::ParseIsoTime(WithoutOffset(s, 0))) return Variant::Date(*time);
      break;
    case adLongVarBinary:
      return Bytes(text);
    default:
      break;
  }
  return Variant::String(std::string(s));
}

}  // namespace tabulo::host::pg
