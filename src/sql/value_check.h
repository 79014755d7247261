// Whether a text is a valid value for a column of a given ADO type. GetSqlLiteral writes a
// text that is not a number or a date unchanged, and integer and boolean texts always go
// into the statement as they stand; so operator input must pass this check first, or a
// numeric cell could carry "1; DROP TABLE Orders" into the UPDATE statement.
//
// The rules, by type (the text as it will be handed to GetSqlLiteral):
// - quoted types (GetSqlQuote gives "'"): always valid, quotes are doubled.
// - adSingle, adDouble, adCurrency, adDecimal, adNumeric: a number in the user's locale
//   (platform::IsNumeric: the locale's separators, an exponent, &H/&O forms), within the
//   type: float range for adSingle, finite for adDouble/adDecimal/adNumeric,
//   +-922337203685477.5807 for adCurrency. Its literal is rewritten, so any locale form is safe.
// - integer types (adTinyInt, adSmallInt, adInteger, adBigInt, the unsigned ones, adError):
//   the literal is the text itself, so only what SQL reads as the same integer is valid:
//   blanks, an optional sign, decimal digits, within the type's width. No fraction (a
//   fraction in an integer column is refused rather than rounded), no grouping separators
//   (de-DE "1.234" would reach SQL as 1.234), no exponent, no &H.
// - adBoolean: True or False in any letter case, or an integer as above.
// - adVarNumeric: the literal is the text itself: blanks, sign, digits, optionally "." and
//   digits; finite.
// - adDate, adDBDate, adDBTime, adDBTimeStamp: a date or time in the user's locale
//   (platform::IsDate), within the platform's date range.
// - every other type (binary, adEmpty, adVariant, objects, unknown codes): never valid, since
//   the text would go into the statement raw and no safe form is known.
// The empty text is valid only for quoted types.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/text/locale.h"

namespace tabulo::sql {

enum class ValueFault {
  kNone,             // valid
  kEmpty,            // nothing but blanks, for an unquoted type
  kNotANumber,       // not a number in the accepted form
  kFraction,         // a fraction or exponent for an integer type
  kOutOfRange,       // a number beyond the type's range
  kNotABoolean,      // neither True/False nor an integer
  kNotADate,         // not a date or time in the locale, or outside the date range
  kUnsupportedType,  // a type whose text cannot be written safely
};

struct ValueCheck {
  ValueFault fault = ValueFault::kNone;
  bool ok() const { return fault == ValueFault::kNone; }
};

// Never raises.
ValueCheck CheckValueForType(std::string_view text, int32_t type, const platform::Locale& loc);

inline bool IsValidValueForType(std::string_view text, int32_t type, const platform::Locale& loc) {
  return CheckValueForType(text, type, loc).ok();
}

// A short English reason for logs and tests ("not a number", ...).
std::string_view ValueFaultName(ValueFault fault);

}  // namespace tabulo::sql
