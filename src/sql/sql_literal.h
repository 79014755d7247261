// SQL literals for the UPDATE statements the control writes: the text of a value, given the
// ADO type code of its column, as the statement carries it. Numbers are written
// locale-independently with a leading blank when not negative, dates and times as ODBC
// escapes (or in the designer's DBDateFormatString between single quotes), strings with
// their single quotes doubled. None of these raise: a value that cannot be converted is
// written as its text (GetSqlLiteral) or as the empty text (GetSqlTimestampLiteral).
//
// GetSqlLiteral passes a text that is not a number or a date through unchanged, so it must
// not see raw operator input for an unquoted type: value_check.h says which texts are safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/locale.h"

namespace tabulo::sql {

// What a literal depends on besides the value: the user's locale, in which the value text
// was written, and DBDateFormatString (empty: the ODBC escape forms).
struct SqlLiteralContext {
  explicit SqlLiteralContext(const platform::Locale& loc, std::string date_format = {})
      : locale(&loc), db_date_format(std::move(date_format)) {}

  const platform::Locale* locale;
  std::string db_date_format;  // already trimmed, see NormalizeDBDateFormatString
};

// The stored form of DBDateFormatString: the given text without blanks at either end, so a
// text of blanks counts as empty.
std::string NormalizeDBDateFormatString(std::string_view text);

// "'" for the twelve string-like types, the empty text for every other code.
std::string GetSqlQuote(int32_t type);

// The literal without the quotes of GetSqlQuote; the caller writes quote, literal, quote.
std::string GetSqlLiteral(std::string_view text, int32_t type, const SqlLiteralContext& ctx);

// {ts 'yyyy-mm-dd hh:nn:ss.mmm'} for a date serial (days since 1899-12-30), milliseconds
// truncated; the empty text outside the platform's date range.
std::string GetSqlTimestampLiteral(double date);

}  // namespace tabulo::sql
