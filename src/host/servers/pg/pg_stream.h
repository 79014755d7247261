// A query's rows handed on as the server sends them (DataServer::Stream on PostgreSQL): one
// pass in single-row mode, no copy, no count first, values exact (pg_values.h for the types).
// Internal to host/servers/pg.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "host/row_source.h"
#include "host/row_stream.h"

namespace tabulo::host::pg {

// Runs the statement prepared as `statement` on `conn` in a read-only transaction and hands
// each row to `sink`; returns how many. Whole numbers (smallint, integer, bigint, and numeric
// values without a fraction that fit in 64 bits) are Integer, other numeric values Decimal with
// every digit the server wrote ("NaN" and infinities Text), texts Text, bytea Bytes; the other
// types as the record set reads them. Raises ErrorOf for a statement that fails; a connection
// whose sink raised is left inside the statement (the caller closes it).
int64_t StreamPrepared(PGconn* conn, const char* statement, const std::vector<ColumnInfo>& columns,
                       const std::string& label, RowStreamSink& sink);

// `text` is a decimal number as PostgreSQL writes numeric: "-"? digits ("." digits)?.
bool IsDecimalText(std::string_view text);

}  // namespace tabulo::host::pg
