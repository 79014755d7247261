// Column descriptions of a prepared query.
#include "host/servers/sqlite/snapshot_columns.h"

namespace tabulo::host::sqlite {

std::vector<ColumnSpec> DescribeColumns(sqlite3_stmt* stmt) {
  std::vector<ColumnSpec> columns;
  const int n = sqlite3_column_count(stmt);
  for (int i = 0; i < n; ++i) {
    ColumnSpec column;
    const char* name = sqlite3_column_name(stmt, i);
    column.info.name = name ? name : "";
    auto type = ColumnTypeFromDecl(sqlite3_column_decltype(stmt, i));
    column.typed_by_value = !type;
    ColumnType t = type.value_or(ColumnTypeFromStorage(SQLITE_NULL));
    column.info.type = t.ado_type;
    column.info.defined_size = t.defined_size;
    column.kind = t.kind;
    columns.push_back(std::move(column));
  }
  return columns;
}

void TypeByFirstRow(std::vector<ColumnSpec>& columns, const std::vector<RawValue>& first_row) {
  for (size_t i = 0; i < columns.size() && i < first_row.size(); ++i) {
    if (!columns[i].typed_by_value) continue;
    ColumnType t = ColumnTypeFromStorage(first_row[i].storage);
    columns[i].info.type = t.ado_type;
    columns[i].info.defined_size = t.defined_size;
    columns[i].kind = t.kind;
  }
}

std::vector<ColumnInfo> Infos(const std::vector<ColumnSpec>& columns) {
  std::vector<ColumnInfo> infos;
  for (const auto& c : columns) infos.push_back(c.info);
  return infos;
}

std::vector<platform::Variant> ToVariants(const std::vector<ColumnSpec>& columns,
                                          const std::vector<RawValue>& row) {
  std::vector<platform::Variant> values;
  values.reserve(row.size());
  for (size_t i = 0; i < row.size() && i < columns.size(); ++i) {
    values.push_back(ToVariant(row[i], columns[i].kind));
  }
  return values;
}

ScanRecord::Cell CellKind(int storage, ValueKind kind) {
  switch (storage) {
    case SQLITE_NULL:
      return ScanRecord::Cell::Null;
    case SQLITE_TEXT:
      return kind == ValueKind::Date || kind == ValueKind::Time ? ScanRecord::Cell::DateOrString
                                                                : ScanRecord::Cell::String;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return kind == ValueKind::Boolean ? ScanRecord::Cell::Other : ScanRecord::Cell::Number;
    default:
      return ScanRecord::Cell::Other;
  }
}

ScanRecord::Cell RawRecord::Kind(int32_t field) const {
  const auto f = static_cast<size_t>(field);
  return f < row_.size() ? CellKind(row_[f].storage, columns_[f].kind) : Cell::Null;
}

std::string_view RawRecord::Text(int32_t field) const {
  return row_[static_cast<size_t>(field)].bytes;
}

platform::Variant RawRecord::Value(int32_t field) const {
  const auto f = static_cast<size_t>(field);
  return f < row_.size() ? ToVariant(row_[f], columns_[f].kind) : platform::Variant();
}

ScanRecord::Cell StatementRecord::Kind(int32_t field) const {
  return CellKind(sqlite3_column_type(stmt_, first_ + field),
                  columns_[static_cast<size_t>(field)].kind);
}

std::string_view StatementRecord::Text(int32_t field) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, first_ + field));
  const int bytes = sqlite3_column_bytes(stmt_, first_ + field);
  return text && bytes > 0 ? std::string_view(text, static_cast<size_t>(bytes))
                           : std::string_view();
}

platform::Variant StatementRecord::Value(int32_t field) const {
  return ToVariant(ReadRaw(stmt_, first_ + field), columns_[static_cast<size_t>(field)].kind);
}

}  // namespace tabulo::host::sqlite
