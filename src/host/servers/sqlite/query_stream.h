// A query's rows read in one pass and handed on as they are read (row_stream.h): no snapshot,
// no count pass. Internal to host/servers/sqlite.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "host/row_stream.h"

namespace tabulo::host::sqlite {

// Raises 0x80040E14 unless the prepared `stmt` (with `tail` the text after it) is a single
// statement that only reads; returns whether it has result columns (a query).
bool CheckQuery(sqlite3_stmt* stmt, std::string_view tail);

// Runs the query `sql` on the database file `path` inside one read transaction (the
// statement's own) and hands each row to `sink`; returns the number of rows. Values are typed
// as the snapshot record sets type them (column_types.h), except that whole numbers stay
// exact 64-bit integers. Raises as the data server documents; 0x80040E14 for a statement
// without result columns, which is not run.
int64_t StreamQuery(const std::filesystem::path& path, std::string_view sql,
                    std::chrono::milliseconds busy_timeout, RowStreamSink& sink);

}  // namespace tabulo::host::sqlite
