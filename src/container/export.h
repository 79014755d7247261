// `tabulo export`: the result of a statement written as CSV or JSON lines, streamed record by
// record through the host's record set (whose snapshot keeps memory bounded whatever the row
// count), to a stream or to a file that is replaced only once the whole result is written.
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
  RowFormat format = RowFormat::Csv;
  std::string out;  // empty: the stream handed to Export
};

// Told of the records written so far and the result's total.
using ExportProgress = std::function<void(int64_t done, int64_t total)>;
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
