// SQL literals: quote characters, value literals by type, timestamp literals with
// milliseconds.
#include "sql/sql_literal.h"

#include <cmath>
#include <cstdio>

#include "host/field_types.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::sql {
namespace {

using host::FieldClass;

std::string NumberLiteral(std::string_view text, const platform::Locale& loc) {
  const platform::Variant v{text};
  if (!platform::IsNumeric(v, loc)) return std::string(text);
  const double x = platform::CDbl(v, loc);
  std::string literal = x < 0 ? "" : " ";
  literal += platform::ShortestRoundTrip(x);
  return literal;
}

// `escape_pattern` is the ODBC form's pattern; `escape_open` its opening "{d '" etc.
std::string DateLiteral(std::string_view text, const SqlLiteralContext& ctx,
                        std::string_view escape_open, std::string_view escape_pattern) {
  const double date = platform::CDate(platform::Variant{text}, *ctx.locale);
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on "'" + std::string here.
  std::string literal;
  if (ctx.db_date_format.empty()) {
    literal.append(escape_open);
    literal += platform::FormatDate(date, escape_pattern, *ctx.locale);
    literal += "'}";
  } else {
    literal += '\'';
    literal += platform::FormatDate(date, ctx.db_date_format, *ctx.locale);
    literal += '\'';
  }
  return literal;
}

}  // namespace

std::string NormalizeDBDateFormatString(std::string_view text) {
  return platform::Trim(text);
}

std::string GetSqlQuote(int32_t type) {
  return host::IsQuotedType(type) ? "'" : "";
}

std::string GetSqlLiteral(std::string_view text, int32_t type, const SqlLiteralContext& ctx) {
  try {
    switch (host::ClassOfType(type)) {
      case FieldClass::kApproximate:
      case FieldClass::kExactNumber:
        return NumberLiteral(text, *ctx.locale);
      case FieldClass::kDate:
        return DateLiteral(text, ctx, "{d '", "yyyy-mm-dd");
      case FieldClass::kTime:
        return DateLiteral(text, ctx, "{t '", "hh:nn:ss");
      case FieldClass::kTimestamp:
        return DateLiteral(text, ctx, "{ts '", "yyyy-mm-dd hh:nn:ss");
      case FieldClass::kQuoted:
        return platform::ReplaceAll(text, "'", "''");
      default:
        return std::string(text);
    }
  } catch (const platform::ComError&) {
    // Not a date, a number beyond the double range, a date the formatter cannot write.
    return std::string(text);
  }
}

std::string GetSqlTimestampLiteral(double date) {
  // SplitDate truncates the milliseconds after absorbing the serial's representation error,
  // so 14:05:07 + 108 ms reads .108 and never .107, and the milliseconds never reach 1000.
  platform::DateParts p;
  try {
    p = platform::SplitDate(date);
  } catch (const platform::ComError&) {
    return {};
  }
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "{ts '%04d-%02d-%02d %02d:%02d:%02d.%03d'}", p.year, p.month,
                p.day, p.hour, p.minute, p.second, p.millisecond);
  return buffer;
}

}  // namespace tabulo::sql
