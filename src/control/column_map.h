// ColumnMap: which field each grid column shows, and back. Grid column 0 holds the record
// numbers; data columns 1, 2, ... show the visible fields in field order; a hidden field has
// no grid column. Scripts number columns from 0 over the accessible fields: the visible ones,
// or every field when hidden columns are open to them.
#pragma once

#include <cstdint>
#include <vector>

#include "control/grid_column.h"

namespace tabulo::control {

class ColumnMap {
 public:
  // The first `field_count` descriptors (at most all of them) are the fields.
  ColumnMap(const std::vector<GridColumn>& columns, int32_t field_count);

  // The field (from 0) grid column `col` shows; -1 for column 0 and past the last.
  int32_t FieldOfGridColumn(int32_t col) const;
  // The grid column (from 1) showing `field`; 0 when the field is hidden or there is none.
  int32_t GridColumnOfField(int32_t field) const;
  // The number of grid data columns (the visible fields).
  int32_t GridColumns() const { return static_cast<int32_t>(shown_.size()); }
  // The field of a script's column number `column` (from 0); -1 when there is none.
  int32_t FieldOfScriptColumn(int32_t column, bool hidden_accessible) const;

 private:
  std::vector<int32_t> shown_;    // field of grid column k + 1
  std::vector<int32_t> grid_of_;  // grid column of each field, 0 when hidden
};

}  // namespace tabulo::control
