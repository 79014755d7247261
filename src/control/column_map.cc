#include "control/column_map.h"

#include <algorithm>

namespace tabulo::control {

ColumnMap::ColumnMap(const std::vector<GridColumn>& columns, int32_t field_count) {
  const int32_t n = std::clamp(field_count, 0, static_cast<int32_t>(columns.size()));
  grid_of_.assign(static_cast<size_t>(n), 0);
  for (int32_t i = 0; i < n; ++i) {
    if (!columns[static_cast<size_t>(i)].Visible) continue;
    shown_.push_back(i);
    grid_of_[static_cast<size_t>(i)] = GridColumns();
  }
}

int32_t ColumnMap::FieldOfGridColumn(int32_t col) const {
  return col >= 1 && col <= GridColumns() ? shown_[static_cast<size_t>(col) - 1] : -1;
}

int32_t ColumnMap::GridColumnOfField(int32_t field) const {
  return field >= 0 && field < static_cast<int32_t>(grid_of_.size())
             ? grid_of_[static_cast<size_t>(field)]
             : 0;
}

int32_t ColumnMap::FieldOfScriptColumn(int32_t column, bool hidden_accessible) const {
  if (column < 0) return -1;
  if (!hidden_accessible) return FieldOfGridColumn(column + 1);
  return column < static_cast<int32_t>(grid_of_.size()) ? column : -1;
}

}  // namespace tabulo::control
