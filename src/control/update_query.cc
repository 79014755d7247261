// The UPDATE statement for one edited row of the grid: the row as the record set holds it,
// with the changed cells' texts, handed to BuildUpdateStatement. Hidden columns take no part.
#include "control/tabulo_ctl.h"
#include "control/update_statement.h"
#include "sql/sql_literal.h"

namespace tabulo::control {

std::string TabuloCtl::GetSqlUpdateQuery(int32_t row, std::string* where) {
  if (row < 1) return {};
  m_rs->MoveFirst();
  if (row > 1) m_rs->Move(row - 1);
  // The cells of the grid row being committed (the current one), in grid order.
  const int32_t grid_row = Grid.Row();
  const ColumnMap map = GridColumnMap();
  std::vector<RowCell> cells;
  for (int32_t col = 1; col <= map.GridColumns(); ++col) {
    const int32_t i = map.FieldOfGridColumn(col);
    host::Field& field = m_rs->Item(i);
    RowCell cell{m_GridColumns.at(static_cast<size_t>(i)).Name, field.Type(), field.Value(), {}};
    if (CellChanged(grid_row, col)) cell.change = Grid.TextMatrix(grid_row, col);
    cells.push_back(std::move(cell));
  }
  const UpdateStatement update = BuildUpdateStatement(
      cells, m_DataTable, sql::SqlLiteralContext(site_.UserLocale(), m_DBDateFormatString));
  if (where) *where = update.condition;
  OutputDebug("GetSqlUpdateQuery: Result=" + update.statement);
  return update.statement;
}

}  // namespace tabulo::control
