// `tabulo export`: the result of a statement written as CSV or JSON lines, streamed record by
// record in one pass over the statement as the data server reads it (memory stays bounded
// whatever the row count; no snapshot is kept), to a stream or to a file that is replaced only
// once the whole result is written. An SQLite statement is read in one read transaction, as
// any reader does: in rollback-journal mode a writer's COMMIT waits for the export (up to its
// busy timeout); in WAL mode writers proceed beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "container/row_format.h"

namespace tabulo::container {

struct ExportRequest {
  std::string host_config;  // empty: the embedded default
  std::string db, sql;
  // 0: `db` is a data source name or an SQLite file; 1: `db` names a PostgreSQL server (a
  // configured connection or host[:port]) and `database` its database ("" = its default).
  int16_t server_type = 0;
  std::string database;
  RowFormat format = RowFormat::Csv;
  std::string out;  // empty: the stream handed to Export
  // Where the query's load progress goes (empty: nowhere).
  std::function<void(int64_t rows)> load_progress;
};

// Told of the records written so far (the total is known only at the end of the one pass).
using ExportProgress = std::function<void(int64_t done)>;
// Records between two calls of the progress callback.
inline constexpr int64_t kExportProgressEvery = 10000;

// A statement that only reads: SELECT (any case) after blanks, then a blank.
bool IsSelect(std::string_view sql);

// Returns the number of records written. Raises platform::ComError for a bad configuration,
// an unusable database (naming the missing file), an invalid statement, a statement that
// yields no result, or a file that cannot be written (the old file then stays as it was).
int64_t Export(const ExportRequest& request, std::ostream& out,
               const ExportProgress& progress = nullptr);

}  // namespace tabulo::container
