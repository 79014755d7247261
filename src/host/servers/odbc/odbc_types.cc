#include "host/servers/odbc/odbc_types.h"

#include <sqlext.h>

#include <algorithm>

namespace tabulo::host::odbc {

using sqlite::ColumnType;
using sqlite::ValueKind;

sqlite::ColumnType ColumnTypeOfSql(SQLSMALLINT sql_type, SQLULEN size, bool is_unsigned) {
  const auto sized = [size](int32_t unknown) {
    return size == 0 ? unknown : static_cast<int32_t>(std::min<SQLULEN>(size, 2147483647));
  };
  constexpr int32_t kText = 536870910, kBinary = 2147483647;
  switch (sql_type) {
    case SQL_BIT:
      return {adBoolean, 2, ValueKind::Boolean};
    case SQL_TINYINT:
      return {is_unsigned ? adUnsignedTinyInt : adTinyInt, 1, ValueKind::Integer};
    case SQL_SMALLINT:
      return {is_unsigned ? adUnsignedSmallInt : adSmallInt, 2, ValueKind::Integer};
    case SQL_INTEGER:
      return {is_unsigned ? adUnsignedInt : adInteger, 4, ValueKind::Integer};
    case SQL_BIGINT:
      return {is_unsigned ? adUnsignedBigInt : adBigInt, 8, ValueKind::Integer};
    case SQL_REAL:
      return {adSingle, 4, ValueKind::Real};
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return {adDouble, 8, ValueKind::Real};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return {adNumeric, sized(19), ValueKind::Numeric};
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return {adDBDate, 10, ValueKind::Date};
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return {adDBTime, 8, ValueKind::Time};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return {adDBTimeStamp, 19, ValueKind::Date};
    case SQL_CHAR:
      return {adChar, sized(kText), ValueKind::Text};
    case SQL_WCHAR:
      return {adWChar, sized(kText), ValueKind::Text};
    case SQL_VARCHAR:
      return {adVarChar, sized(kText), ValueKind::Text};
    case SQL_WVARCHAR:
      return {adVarWChar, sized(kText), ValueKind::Text};
    case SQL_LONGVARCHAR:
      return {adLongVarChar, sized(kText), ValueKind::Text};
    case SQL_WLONGVARCHAR:
      return {adLongVarWChar, sized(kText), ValueKind::Text};
    case SQL_GUID:
      return {adGUID, 16, ValueKind::Text};
    case SQL_BINARY:
      return {adBinary, sized(kBinary), ValueKind::Binary};
    case SQL_VARBINARY:
      return {adVarBinary, sized(kBinary), ValueKind::Binary};
    case SQL_LONGVARBINARY:
      return {adLongVarBinary, kBinary, ValueKind::Binary};
    default:
      return {adVarChar, sized(kText), ValueKind::Text};
  }
}

}  // namespace tabulo::host::odbc
