// Column descriptions of a prepared query, shared by the snapshot sources. Internal.
#pragma once

#include <sqlite3.h>

#include <vector>

#include "host/row_source.h"
#include "host/sqlite/column_types.h"

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

}  // namespace tabulo::host::sqlite
