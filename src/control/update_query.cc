// The UPDATE statement for one edited row. The result has no key columns to rely on: the
// row is named by the values all its visible columns held when it was read (floating-point
// values within 0.001, timestamps within 108 ms), and every changed cell becomes an
// assignment. Hidden columns take no part. Column and table names are quoted where they are
// not plain names (identifier.h); a DataTable that is no table name writes nothing.
#include "control/tabulo_ctl.h"
#include "host/field_types.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "sql/identifier.h"
#include "sql/sql_literal.h"

namespace tabulo::control {

using platform::Variant;

namespace {

constexpr double kFloatTolerance = 0.001;
// 108 milliseconds, in days.
constexpr double kTimestampTolerance = 0.00000125;

}  // namespace

std::string TabuloCtl::GetSqlUpdateQuery(int32_t row, std::string* where) {
  if (row < 1) return {};
  const platform::Locale& loc = site_.UserLocale();
  const sql::SqlLiteralContext ctx(loc, m_DBDateFormatString);
  m_rs->MoveFirst();
  if (row > 1) m_rs->Move(row - 1);
  Grid.SetCol(0);
  const std::optional<std::string> table = sql::TableIdentifier(m_DataTable);
  const std::string set_start = "UPDATE " + table.value_or("") + " SET ";
  std::string set_part, where_part;
  const ColumnMap map = GridColumnMap();
  for (int32_t col = 1; col <= map.GridColumns(); ++col) {
    const int32_t i = map.FieldOfGridColumn(col);
    const GridColumn& column = m_GridColumns.at(static_cast<size_t>(i));
    const std::string name = sql::QuoteIdentifier(column.Name);
    Grid.SetCol(col);
    host::Field& field = m_rs->Item(i);
    const int32_t type = field.Type();
    const std::string q = sql::GetSqlQuote(type);
    if (CellChanged(Grid.Row(), col)) {
      if (set_part.empty()) set_part = set_start;
      if (set_part != set_start) set_part += " , ";
      set_part += name + " = " + q + sql::GetSqlLiteral(platform::Trim(Grid.Text()), type, ctx) + q;
    }
    if (where_part.empty()) where_part = " WHERE ";
    if (where_part != " WHERE ") where_part += " AND ";
    const Variant v = field.Value();
    if (v.IsNull()) {
      where_part += name + " IS NULL";
    } else if (host::ClassOfType(type) == host::FieldClass::kApproximate) {
      const double d = platform::CDbl(v, loc);
      auto bound = [&](double x) {
        return q + sql::GetSqlLiteral(platform::Trim(platform::CStr(Variant(x), loc)), type, ctx) +
               q;
      };
      where_part += name + " >= " + bound(d - kFloatTolerance) + " AND " + name +
                    " <= " + bound(d + kFloatTolerance);
    } else if (host::ClassOfType(type) == host::FieldClass::kTimestamp &&
               m_DBDateFormatString.empty()) {
      const double d = platform::CDate(v, loc);
      where_part += name + " >= " + q + sql::GetSqlTimestampLiteral(d - kTimestampTolerance) + q +
                    " AND " + name + " <= " + q +
                    sql::GetSqlTimestampLiteral(d + kTimestampTolerance) + q;
    } else {
      where_part += name + " = " + q +
                    sql::GetSqlLiteral(platform::Trim(platform::CStr(v, loc)), type, ctx) + q;
    }
  }
  if (platform::Trim(set_part).empty()) where_part.clear();
  if (!set_part.empty() && !table) {
    throw platform::ComError(platform::kErrInvalidPropertyValue,
                             "DataTable '" + m_DataTable + "' is not a table name", "TabuloCtl");
  }
  if (where) *where = where_part.empty() ? std::string() : where_part.substr(7);
  const std::string result = platform::Trim(set_part + where_part);
  OutputDebug("GetSqlUpdateQuery: Result=" + result);
  return result;
}

}  // namespace tabulo::control
