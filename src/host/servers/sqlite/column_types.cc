// Declared types to ADO codes, and SQLite values to variants.
#include "host/servers/sqlite/column_types.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "host/field_types.h"
#include "host/servers/sqlite/iso_date.h"

namespace tabulo::host::sqlite {
namespace {

using platform::Variant;

constexpr int32_t kLongText = 536870910;
constexpr int32_t kLongBinary = 2147483647;

std::string Upper(std::string_view s) {
  std::string out;
  for (char c : s) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// "VARCHAR ( 40 )" -> base "VARCHAR", length 40.
void SplitDecl(const std::string& decl, std::string& base, std::optional<int32_t>& length) {
  size_t paren = decl.find('(');
  base = decl.substr(0, paren);
  // Collapse runs of blanks so that "DOUBLE   PRECISION" matches.
  std::string collapsed;
  for (char c : base) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!collapsed.empty() && collapsed.back() != ' ') collapsed += ' ';
    } else {
      collapsed += c;
    }
  }
  while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
  base = collapsed;
  if (paren == std::string::npos) return;
  int64_t n = 0;
  bool any = false;
  for (size_t i = paren + 1; i < decl.size(); ++i) {
    char c = decl[i];
    if (std::isspace(static_cast<unsigned char>(c)) && !any) continue;
    if (c < '0' || c > '9') break;
    any = true;
    n = n * 10 + (c - '0');
    if (n > kLongBinary) n = kLongBinary;
  }
  if (any) length = static_cast<int32_t>(n);
}

ColumnType Make(int32_t ado, int32_t size, ValueKind kind) {
  return ColumnType{ado, size, kind};
}

Variant Number(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
    return Variant::Long(static_cast<int32_t>(v));
  }
  return Variant::Double(static_cast<double>(v));
}

Variant Blob(const std::string& bytes) {
  platform::SafeArray array(
      platform::VarType::Byte,
      {{0, static_cast<int32_t>(std::min<size_t>(bytes.size(), kLongBinary))}});
  for (size_t i = 0; i < bytes.size(); ++i) {
    array.Set(static_cast<int32_t>(i), Variant::Byte(static_cast<uint8_t>(bytes[i])));
  }
  return Variant(std::move(array));
}

}  // namespace

std::optional<ColumnType> ColumnTypeFromDecl(const char* declared) {
  if (!declared || !*declared) return std::nullopt;
  std::string base;
  std::optional<int32_t> length;
  SplitDecl(Upper(declared), base, length);
  if (base.empty()) return std::nullopt;
  auto len = [&](int32_t fallback) { return length.value_or(fallback); };

  if (base == "INTEGER" || base == "INT" || base == "MEDIUMINT" || base == "INT4")
    return Make(adInteger, 4, ValueKind::Integer);
  if (base == "BIGINT" || base == "INT8" || base == "UNSIGNED BIG INT")
    return Make(adBigInt, 8, ValueKind::Integer);
  if (base == "SMALLINT" || base == "INT2") return Make(adSmallInt, 2, ValueKind::Integer);
  if (base == "TINYINT") return Make(adUnsignedTinyInt, 1, ValueKind::Integer);
  if (base == "REAL" || base == "FLOAT" || base == "DOUBLE" || base == "DOUBLE PRECISION")
    return Make(adDouble, 8, ValueKind::Real);
  if (base == "NUMERIC" || base == "DECIMAL") return Make(adNumeric, 19, ValueKind::Numeric);
  if (base == "CURRENCY" || base == "MONEY" || base == "SMALLMONEY")
    return Make(adCurrency, 8, ValueKind::Currency);
  if (base == "CHAR" || base == "CHARACTER") return Make(adChar, len(1), ValueKind::Text);
  if (base == "NCHAR" || base == "NATIVE CHARACTER") return Make(adWChar, len(1), ValueKind::Text);
  if (base == "VARCHAR" || base == "CHARACTER VARYING" || base == "VARYING CHARACTER" ||
      base == "TEXT" || base == "CLOB")
    return Make(adVarChar, len(kLongText), ValueKind::Text);
  if (base == "NVARCHAR" || base == "NTEXT" || base == "NCLOB")
    return Make(adVarWChar, len(kLongText), ValueKind::Text);
  if (base == "DATE") return Make(adDBDate, 10, ValueKind::Date);
  if (base == "TIME") return Make(adDBTime, 8, ValueKind::Time);
  if (base == "DATETIME" || base == "TIMESTAMP") return Make(adDBTimeStamp, 19, ValueKind::Date);
  if (base == "BOOLEAN" || base == "BOOL" || base == "BIT")
    return Make(adBoolean, 2, ValueKind::Boolean);
  if (base == "BINARY") return Make(adBinary, len(1), ValueKind::Binary);
  if (base == "VARBINARY") return Make(adVarBinary, len(kLongBinary), ValueKind::Binary);
  if (base == "BLOB" || base == "IMAGE")
    return Make(adLongVarBinary, kLongBinary, ValueKind::Binary);

  // SQLite's affinity rules, in SQLite's order.
  if (base.find("INT") != std::string::npos) return Make(adInteger, 4, ValueKind::Integer);
  if (base.find("CHAR") != std::string::npos || base.find("CLOB") != std::string::npos ||
      base.find("TEXT") != std::string::npos)
    return Make(adVarChar, len(kLongText), ValueKind::Text);
  if (base.find("BLOB") != std::string::npos)
    return Make(adLongVarBinary, kLongBinary, ValueKind::Binary);
  if (base.find("REAL") != std::string::npos || base.find("FLOA") != std::string::npos ||
      base.find("DOUB") != std::string::npos)
    return Make(adDouble, 8, ValueKind::Real);
  return Make(adNumeric, 19, ValueKind::Numeric);
}

ColumnType ColumnTypeFromStorage(int storage_class) {
  switch (storage_class) {
    case SQLITE_INTEGER:
      return Make(adInteger, 4, ValueKind::Integer);
    case SQLITE_FLOAT:
      return Make(adDouble, 8, ValueKind::Real);
    case SQLITE_BLOB:
      return Make(adLongVarBinary, kLongBinary, ValueKind::Binary);
    default:
      return Make(adVarChar, kLongText, ValueKind::Text);
  }
}

RawValue ReadRaw(sqlite3_stmt* stmt, int column) {
  RawValue v;
  v.storage = sqlite3_column_type(stmt, column);
  switch (v.storage) {
    case SQLITE_INTEGER:
      v.i = sqlite3_column_int64(stmt, column);
      break;
    case SQLITE_FLOAT:
      v.d = sqlite3_column_double(stmt, column);
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const void* p = v.storage == SQLITE_TEXT
                          ? static_cast<const void*>(sqlite3_column_text(stmt, column))
                          : sqlite3_column_blob(stmt, column);
      int n = sqlite3_column_bytes(stmt, column);
      if (p && n > 0) v.bytes.assign(static_cast<const char*>(p), static_cast<size_t>(n));
      break;
    }
    default:
      break;
  }
  return v;
}

int BindRaw(sqlite3_stmt* stmt, int index, const RawValue& v) {
  switch (v.storage) {
    case SQLITE_INTEGER:
      return sqlite3_bind_int64(stmt, index, v.i);
    case SQLITE_FLOAT:
      return sqlite3_bind_double(stmt, index, v.d);
    case SQLITE_TEXT:
      return sqlite3_bind_text64(stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_STATIC,
                                 SQLITE_UTF8);
    case SQLITE_BLOB:
      return sqlite3_bind_blob64(stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
    default:
      return sqlite3_bind_null(stmt, index);
  }
}

Variant ToVariant(const RawValue& v, ValueKind kind) {
  switch (v.storage) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_BLOB:
      return Blob(v.bytes);
    case SQLITE_INTEGER:
      if (kind == ValueKind::Real) return Variant::Double(static_cast<double>(v.i));
      if (kind == ValueKind::Boolean) return Variant::Boolean(v.i != 0);
      if (kind == ValueKind::Currency && std::llabs(v.i) < 922337203685477LL)
        return Variant::CurrencyScaled(v.i * 10000);
      return Number(v.i);
    case SQLITE_FLOAT:
      if (kind == ValueKind::Boolean) return Variant::Boolean(v.d != 0.0);
      if (kind == ValueKind::Currency && std::isfinite(v.d) && std::fabs(v.d) < 9.2e14)
        return Variant::CurrencyScaled(std::llround(v.d * 10000.0));
      return Variant::Double(v.d);
    default:  // text
      if (kind == ValueKind::Date) {
        if (auto date = ParseIsoDateTime(v.bytes)) return Variant::Date(*date);
      } else if (kind == ValueKind::Time) {
        if (auto time = ParseIsoTime(v.bytes)) return Variant::Date(*time);
      }
      return Variant::String(v.bytes);
  }
}

}  // namespace tabulo::host::sqlite
