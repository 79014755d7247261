// Column types of ODBC results as the record set reports them. Internal to host/servers/odbc.
//
// SQL type (SQLDescribeCol) -> ADO type, DefinedSize (n: the column size), value:
//   SQL_BIT                          11 adBoolean          2            Boolean
//   SQL_TINYINT                      16 adTinyInt (17 unsigned)  1      Long
//   SQL_SMALLINT                     2 adSmallInt (18 unsigned)  2      Long
//   SQL_INTEGER                      3 adInteger (19 unsigned)   4      Long
//   SQL_BIGINT                       20 adBigInt (21 unsigned)   8      Long, Double beyond 32 bits
//   SQL_REAL                         4 adSingle            4            Double
//   SQL_FLOAT, SQL_DOUBLE            5 adDouble            8            Double
//   SQL_DECIMAL, SQL_NUMERIC         131 adNumeric         n (19)       Long when whole and
//                                                                       32-bit, else Double
//   SQL_TYPE_DATE                    133 adDBDate          10           Date
//   SQL_TYPE_TIME                    134 adDBTime          8            Date (day 0 + time)
//   SQL_TYPE_TIMESTAMP               135 adDBTimeStamp     19           Date
//   SQL_CHAR / SQL_WCHAR             129 adChar / 130 adWChar            n        String
//   SQL_VARCHAR / SQL_WVARCHAR       200 adVarChar / 202 adVarWChar      n        String
//   SQL_LONGVARCHAR / SQL_WLONGVARCHAR 201 adLongVarChar / 203 adLongVarWChar n   String
//   SQL_GUID                         72 adGUID             16           String
//   SQL_BINARY, SQL_VARBINARY        128 adBinary, 204 adVarBinary       n        array of Byte
//   SQL_LONGVARBINARY                205 adLongVarBinary   2147483647   array of Byte
//   any other type                   200 adVarChar         n            String
// A size the driver does not know (0) is 536870910 for texts, 2147483647 for binaries.
// A database null is Null in every column; a date or time text that does not parse keeps its
// text (String), as on the embedded server.
#pragma once

#include <sql.h>

#include "host/servers/sqlite/column_types.h"

namespace tabulo::host::odbc {

sqlite::ColumnType ColumnTypeOfSql(SQLSMALLINT sql_type, SQLULEN size, bool is_unsigned);

}  // namespace tabulo::host::odbc
