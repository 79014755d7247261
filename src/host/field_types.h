// The ADO data type codes (DataTypeEnum) a record set's field reports (Field::Type), and the
// one classification of them that everything writing or checking SQL text shares: which
// codes take quotes, which are numbers, dates, integers. Header-only, so that sql/ can use
// the data server's vocabulary without the data server.
#pragma once

#include <cstdint>

namespace tabulo::host {

inline constexpr int32_t adEmpty = 0;
inline constexpr int32_t adSmallInt = 2;
inline constexpr int32_t adInteger = 3;
inline constexpr int32_t adSingle = 4;
inline constexpr int32_t adDouble = 5;
inline constexpr int32_t adCurrency = 6;
inline constexpr int32_t adDate = 7;
inline constexpr int32_t adBSTR = 8;
inline constexpr int32_t adIDispatch = 9;
inline constexpr int32_t adError = 10;
inline constexpr int32_t adBoolean = 11;
inline constexpr int32_t adVariant = 12;
inline constexpr int32_t adIUnknown = 13;
inline constexpr int32_t adDecimal = 14;
inline constexpr int32_t adTinyInt = 16;
inline constexpr int32_t adUnsignedTinyInt = 17;
inline constexpr int32_t adUnsignedSmallInt = 18;
inline constexpr int32_t adUnsignedInt = 19;
inline constexpr int32_t adBigInt = 20;
inline constexpr int32_t adUnsignedBigInt = 21;
inline constexpr int32_t adFileTime = 64;
inline constexpr int32_t adGUID = 72;
inline constexpr int32_t adBinary = 128;
inline constexpr int32_t adChar = 129;
inline constexpr int32_t adWChar = 130;
inline constexpr int32_t adNumeric = 131;
inline constexpr int32_t adUserDefined = 132;
inline constexpr int32_t adDBDate = 133;
inline constexpr int32_t adDBTime = 134;
inline constexpr int32_t adDBTimeStamp = 135;
inline constexpr int32_t adChapter = 136;
inline constexpr int32_t adPropVariant = 138;
inline constexpr int32_t adVarNumeric = 139;
inline constexpr int32_t adVarChar = 200;
inline constexpr int32_t adLongVarChar = 201;
inline constexpr int32_t adVarWChar = 202;
inline constexpr int32_t adLongVarWChar = 203;
inline constexpr int32_t adVarBinary = 204;
inline constexpr int32_t adLongVarBinary = 205;

// How a value of a code is written into, and read back from, SQL text.
enum class FieldClass {
  kQuoted,        // string-like: between single quotes, quotes doubled
  kInteger,       // written as typed: the integer types and adError
  kApproximate,   // adSingle, adDouble: a number, compared within a tolerance
  kExactNumber,   // adCurrency, adDecimal, adNumeric: a number, compared exactly
  kPlainDecimal,  // adVarNumeric: written as typed, digits with an optional point
  kBoolean,       // adBoolean: written as typed
  kDate,          // adDate, adDBDate: the day
  kTime,          // adDBTime: the time of day
  kTimestamp,     // adDBTimeStamp: day and time
  kUnsupported,   // binary, objects, adEmpty, adVariant, unknown codes: no safe text form
};

constexpr FieldClass ClassOfType(int32_t type) {
  switch (type) {
    case adBSTR:
    case adFileTime:
    case adGUID:
    case adChar:
    case adWChar:
    case adUserDefined:
    case adChapter:
    case adPropVariant:
    case adVarChar:
    case adLongVarChar:
    case adVarWChar:
    case adLongVarWChar:
      return FieldClass::kQuoted;
    case adTinyInt:
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
    case adError:
      return FieldClass::kInteger;
    case adSingle:
    case adDouble:
      return FieldClass::kApproximate;
    case adCurrency:
    case adDecimal:
    case adNumeric:
      return FieldClass::kExactNumber;
    case adVarNumeric:
      return FieldClass::kPlainDecimal;
    case adBoolean:
      return FieldClass::kBoolean;
    case adDate:
    case adDBDate:
      return FieldClass::kDate;
    case adDBTime:
      return FieldClass::kTime;
    case adDBTimeStamp:
      return FieldClass::kTimestamp;
    default:
      return FieldClass::kUnsupported;
  }
}

// The twelve string-like codes.
constexpr bool IsQuotedType(int32_t type) {
  return ClassOfType(type) == FieldClass::kQuoted;
}

// Numbers whose text is read in the user's locale and rewritten for SQL.
constexpr bool IsNumberType(int32_t type) {
  const FieldClass c = ClassOfType(type);
  return c == FieldClass::kApproximate || c == FieldClass::kExactNumber;
}

// Dates, times and timestamps: read in the user's locale, written as ODBC escapes.
constexpr bool IsDateType(int32_t type) {
  const FieldClass c = ClassOfType(type);
  return c == FieldClass::kDate || c == FieldClass::kTime || c == FieldClass::kTimestamp;
}

// Binary values (adBinary, adVarBinary, adLongVarBinary): shown by their size, never edited.
constexpr bool IsBinaryType(int32_t type) {
  return type == adBinary || type == adVarBinary || type == adLongVarBinary;
}

}  // namespace tabulo::host
