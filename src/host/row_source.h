// RowSource: what a cursor record set reads its records from — a fixed number of rows, each
// read by position. Implementations are the in-memory table (memory_row_source.h) and the
// SQLite snapshot stores (host/sqlite).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/field_types.h"
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
};

}  // namespace tabulo::host
