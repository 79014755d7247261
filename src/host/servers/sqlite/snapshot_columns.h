// Column descriptions of a prepared query, shared by the snapshot sources. Internal.
#pragma once

#include <sqlite3.h>

#include <string_view>
#include <vector>

#include "host/row_source.h"
#include "host/scan_record.h"
#include "host/servers/sqlite/column_types.h"

namespace tabulo::host::sqlite {

struct ColumnSpec {
  ColumnInfo info;
  ValueKind kind = ValueKind::Text;
  bool typed_by_value = false;  // no declared type: typed by the first record's value
};

std::vector<ColumnSpec> DescribeColumns(sqlite3_stmt* stmt);
// Types the columns without declared type from the first record (empty: no record).
void TypeByFirstRow(std::vector<ColumnSpec>& columns, const std::vector<RawValue>& first_row);
std::vector<ColumnInfo> Infos(const std::vector<ColumnSpec>& columns);
std::vector<platform::Variant> ToVariants(const std::vector<ColumnSpec>& columns,
                                          const std::vector<RawValue>& row);

// What a value of `storage` class in a column of `kind` reads as (ToVariant), known without
// making it: a text in a date or time column reads as a date or stays a string.
ScanRecord::Cell CellKind(int storage, ValueKind kind);

// A record of a scan over values already read from SQLite.
class RawRecord final : public ScanRecord {
 public:
  RawRecord(const std::vector<ColumnSpec>& columns, const std::vector<RawValue>& row)
      : columns_(columns), row_(row) {}
  Cell Kind(int32_t field) const override;
  std::string_view Text(int32_t field) const override;
  platform::Variant Value(int32_t field) const override;

 private:
  const std::vector<ColumnSpec>& columns_;
  const std::vector<RawValue>& row_;
};

// A record of a scan read in place from the current row of a stepped statement, whose fields
// start at its column `first`.
class StatementRecord final : public ScanRecord {
 public:
  StatementRecord(const std::vector<ColumnSpec>& columns, sqlite3_stmt* stmt, int first = 0)
      : columns_(columns), stmt_(stmt), first_(first) {}
  Cell Kind(int32_t field) const override;
  std::string_view Text(int32_t field) const override;
  platform::Variant Value(int32_t field) const override;

 private:
  const std::vector<ColumnSpec>& columns_;
  sqlite3_stmt* stmt_;
  int first_;
};

}  // namespace tabulo::host::sqlite
