// Field types and values of SQLite results.
//
// Declared column type (case-insensitive; the words before any "(") -> ADO type, DefinedSize:
//   INTEGER, INT, MEDIUMINT, INT4               3 adInteger           4
//   BIGINT, INT8, UNSIGNED BIG INT              20 adBigInt           8
//   SMALLINT, INT2                              2 adSmallInt          2
//   TINYINT                                     17 adUnsignedTinyInt  1
//   REAL, FLOAT, DOUBLE, DOUBLE PRECISION       5 adDouble            8
//   NUMERIC, DECIMAL                            131 adNumeric         19
//   CURRENCY, MONEY, SMALLMONEY                 6 adCurrency          8
//   CHAR(n), CHARACTER(n)                       129 adChar            n, else 1
//   NCHAR(n), NATIVE CHARACTER(n)               130 adWChar           n, else 1
//   VARCHAR(n), CHARACTER VARYING, VARYING CHARACTER, TEXT, CLOB
//                                               200 adVarChar         n, else 536870910
//   NVARCHAR(n), NTEXT, NCLOB                   202 adVarWChar        n, else 536870910
//   DATE                                        133 adDBDate          10
//   TIME                                        134 adDBTime          8
//   DATETIME, TIMESTAMP                         135 adDBTimeStamp     19
//   BOOLEAN, BOOL, BIT                          11 adBoolean          2
//   BINARY(n)                                   128 adBinary          n, else 1
//   VARBINARY(n)                                204 adVarBinary       n, else 2147483647
//   BLOB, IMAGE                                 205 adLongVarBinary   2147483647
//   any other declared type, by SQLite's affinity rules: containing INT -> as INTEGER;
//   CHAR, CLOB or TEXT -> as VARCHAR; BLOB -> as BLOB; REAL, FLOA or DOUB -> as DOUBLE;
//   else as NUMERIC.
//   No declared type (an expression, or a column declared without type): from the storage
//   class of the value in the record set's first record: integer as INTEGER, real as DOUBLE,
//   blob as BLOB, text or null (and an empty result) as VARCHAR without length.
//
// Values (Null for a database null in every column):
//   integer types, NUMERIC: an integer value -> Long when it fits 32 bits, else Double;
//     a real value -> Double.
//   DOUBLE: any number -> Double. CURRENCY: any number -> Currency (rounded to 1/10000).
//   BOOLEAN: a number -> Boolean (non-zero is True).
//   DATE, DATETIME, TIMESTAMP: a text "yyyy-mm-dd[ hh:mm[:ss[.fff]]]" -> Date; TIME: a text
//     "hh:mm[:ss[.fff]]" -> Date (day 0 plus the time).
//   Text types: text -> String.
//   Whatever does not fit its column's type keeps its own storage class: text -> String
//     (also a text in an INTEGER column, or a date text that does not parse), integer -> Long
//     or Double as above, real -> Double.
//   A blob, in any column -> a one-dimensional zero-based array of Byte.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/field_types.h"
#include "platform/values/variant.h"

namespace tabulo::host::sqlite {

enum class ValueKind { Integer, Real, Numeric, Currency, Text, Date, Time, Boolean, Binary };

struct ColumnType {
  int32_t ado_type = adVarChar;
  int32_t defined_size = 536870910;
  ValueKind kind = ValueKind::Text;
};

// The type of a column with a declared type; nullopt for no declared type (empty or null).
std::optional<ColumnType> ColumnTypeFromDecl(const char* declared);
// The type of a column without declared type whose first value has this storage class
// (SQLITE_INTEGER, ...; SQLITE_NULL for no value).
ColumnType ColumnTypeFromStorage(int storage_class);

// One value as SQLite stores it, detached from its statement.
struct RawValue {
  int storage = SQLITE_NULL;
  int64_t i = 0;
  double d = 0.0;
  std::string bytes;  // text (UTF-8) or blob

  size_t ByteSize() const { return sizeof(RawValue) + bytes.size(); }
};

RawValue ReadRaw(sqlite3_stmt* stmt, int column);
// Binds the value at a one-based parameter index; returns SQLite's result code.
int BindRaw(sqlite3_stmt* stmt, int index, const RawValue& value);

platform::Variant ToVariant(const RawValue& value, ValueKind kind);

}  // namespace tabulo::host::sqlite
