// RowSource: what a cursor record set reads its records from — a fixed number of rows, each
// read by position. Implementations are the in-memory table (memory_row_source.h) and the
// SQLite snapshot stores (host/servers/sqlite).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/field_types.h"
#include "host/scan_record.h"
#include "platform/values/variant.h"

namespace tabulo::host {

// What every field of a record reads as in a key-set view (values read when the record is
// read) once the record has been deleted since its key was collected.
inline constexpr const char* kDeletedRecordText = "#Deleted";

struct ColumnInfo {
  std::string name;
  int32_t type = adVarChar;  // field_types.h
  int32_t defined_size = 0;
};

class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<ColumnInfo>& Columns() const = 0;
  // Constant for the source's life.
  virtual int64_t Count() const = 0;
  // REQUIRES: 0 <= position < Count(). One value per column. May raise ComError when the
  // store behind the source fails.
  virtual std::vector<platform::Variant> ReadRow(int64_t position) = 0;

  // Hands the records from `first` on to `visit` in order — forward first, first + 1, ...;
  // backwards first, first - 1, ... — at most `count` and never past either end, until `visit`
  // returns false. Returns how many records were handed over. REQUIRES: 0 <= first < Count().
  // The values are those ReadRow gives; this one reads each record with ReadRow, a source
  // that can hand its cells over without making values overrides it.
  virtual int64_t Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit);
};

// How many records a scan from `first` takes, at most `count`, never past either end.
int64_t ScanLength(int64_t records, int64_t first, int64_t count, bool forward);

}  // namespace tabulo::host
