// The row source of the general path of PostgreSQL record sets (the key path is
// pg_key_source.h): a numbered copy of the result in a temporary table of the source's own
// session (pg_data_server.h), or on a standby (which takes no tables) a
// scrollable cursor WITH HOLD, whose rows the server stores when it is declared; a window is
// then read by moving the cursor, which the server does without sending the rows before it.
// Internal to host/servers/pg.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/row_source.h"
#include "host/servers/pg/pg_connection.h"

namespace tabulo::host::pg {

// Copies the rows of the query `sql` (one statement, no trailing semicolon) and serves them;
// takes the connection. `columns` are the record set's columns, one per result column.
std::unique_ptr<RowSource> CopyResult(Conn conn, const std::string& sql,
                                      std::vector<ColumnInfo> columns, std::string label);

}  // namespace tabulo::host::pg
