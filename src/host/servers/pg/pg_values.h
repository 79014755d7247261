// PostgreSQL column types and values as the record set reports them. Internal to host/servers/pg.
//
// Column type (by type oid) -> ADO type, DefinedSize, value:
//   boolean                        11 adBoolean        2           Boolean
//   smallint                       2 adSmallInt        2           Integer
//   integer                        3 adInteger         4           Long
//   bigint                         20 adBigInt         8           Long, Double beyond 32 bits
//   real                           4 adSingle          4           Single
//   double precision               5 adDouble          8           Double
//   numeric(p,s)                   131 adNumeric       p (19)      Long when whole and 32-bit,
//                                                                  else Double
//   money                          6 adCurrency        8           Currency
//   date                           133 adDBDate        10          Date
//   time [with time zone]          134 adDBTime        8           Date (day 0 + time of day)
//   timestamp [with time zone]     135 adDBTimeStamp   19          Date; with time zone, the
//                                                                  session's local time
//   character(n)                   129 adChar          n           String
//   character varying(n), text,    200 adVarChar       n, else     String
//   any other type                                     536870910
//   bytea                          205 adLongVarBinary 2147483647  array of Byte
// A database null is Null in every column. Infinite dates and texts that do not parse keep
// their text (String).
#pragma once

#include <libpq-fe.h>

#include <string_view>

#include "host/row_source.h"

namespace tabulo::host::pg {

// The record set column of result column `column` of `result` (a described statement).
ColumnInfo ColumnOf(const PGresult* result, int column);

// One value in text format of a column of `column_type` (ColumnInfo::type).
platform::Variant ValueOf(int32_t column_type, const PGresult* result, int row, int column);

}  // namespace tabulo::host::pg
