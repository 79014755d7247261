// The members host scripts use to read what the control shows: the current cell, grid
// columns by grid number, result columns by script number, and showing a column again.
#include <stdexcept>

#include "control/tabulo_ctl.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;

int32_t TabuloCtl::ActiveRow() const {
  return Grid.Row() + m_lFirstRow - 1;
}

int32_t TabuloCtl::ActiveColumn() const {
  return Grid.Col() - 1;
}

bool TabuloCtl::ColIsVisibile(int32_t nCol) const {
  return Grid.ColIsVisible(nCol);
}

std::string TabuloCtl::ColHeader(int32_t nCol) {
  // The header cell becomes the grid's current cell and stays so.
  Grid.SetRow(0);
  Grid.SetCol(nCol);
  return Grid.Text();
}

int32_t TabuloCtl::ColWidth(int32_t nCol) const {
  return Grid.ColWidth(nCol);
}

std::string TabuloCtl::GetCellName(int32_t nCol) const {
  const int32_t field =
      GridColumnMap().FieldOfScriptColumn(nCol, AllowAccessToHiddenColumnsInScript);
  return field < 0 ? std::string() : m_GridColumns.at(static_cast<size_t>(field)).Caption;
}

std::string TabuloCtl::GetCellText(int32_t Row, int32_t Column) {
  try {
    if (!m_rs) return {};
    int32_t field = GridColumnMap().FieldOfScriptColumn(Column, AllowAccessToHiddenColumnsInScript);
    // No accessible column of that number: reading fails below.
    if (field < 0) field = m_rs->FieldCount();
    // The value comes from the record set, not the grid, and the record set stays there.
    m_rs->MoveFirst();
    if (Row != 0) m_rs->Move(Row);
    return platform::CStr(m_rs->Item(field).Value(), site_.UserLocale());
  } catch (const ComError&) {
    return {};
  } catch (const std::out_of_range&) {
    return {};
  }
}

bool TabuloCtl::SetCellText(int32_t Row, int32_t Column, const std::string& Value) {
  try {
    // An operator's open edit is theirs: a script neither takes nor clears it.
    if (m_bEditing || !m_rs || Row < 0 || Column < 0) return false;
    // The cell as GetCellText addresses it: accessible column number Column, record Row.
    const ColumnMap map = GridColumnMap();
    const int32_t field = map.FieldOfScriptColumn(Column, AllowAccessToHiddenColumnsInScript);
    // A hidden column has no cell in the grid, and only cells of the window can be written.
    const int32_t grid_col = map.GridColumnOfField(field);
    if (grid_col == 0) return false;
    const int64_t grid_row = static_cast<int64_t>(Row) - m_lFirstRow + 1;
    if (grid_row < 1 || grid_row >= Grid.Rows() || grid_col >= Grid.Cols()) return false;
    const int32_t r = static_cast<int32_t>(grid_row);
    if (Grid.TextMatrix(r, 0) != std::to_string(static_cast<int64_t>(Row) + 1)) return false;
    if (Value == Grid.TextMatrix(r, grid_col)) return true;
    if (!AcceptableValue(Value, m_rs->Item(field).Type())) return false;
    if (m_bAutoRefresh) Timer1.set_enabled(false);
    PutAcceptedText(r, grid_col, Value);
    const bool written = CommitRow(r);
    if (m_bAutoRefresh) Timer1.set_enabled(true);
    return written;
  } catch (const ComError&) {
    return false;
  } catch (const std::out_of_range&) {
    return false;
  }
}

void TabuloCtl::HideColumn(int16_t colNumber) {
  if (m_nColCount != 0) {
    if (colNumber < 0 || static_cast<size_t>(colNumber) >= m_GridColumns.size())
      throw ComError::SubscriptOutOfRange("TabuloCtl");
    // Despite its name the member shows the column: it sets Visible, as scripts rely on.
    m_GridColumns[static_cast<size_t>(colNumber)].Visible = true;
  }
  Refresh(false);
}

}  // namespace tabulo::control
