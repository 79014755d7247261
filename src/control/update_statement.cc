#include "control/update_statement.h"

#include "host/field_types.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "sql/identifier.h"

namespace tabulo::control {

using platform::Variant;

namespace {

constexpr double kFloatTolerance = 0.001;
// 108 milliseconds, in days.
constexpr double kTimestampTolerance = 0.00000125;

// The condition naming one column by the value it was read with.
std::string ColumnCondition(const std::string& name, const RowCell& cell,
                            const sql::SqlLiteralContext& ctx) {
  const platform::Locale& loc = *ctx.locale;
  const int32_t type = cell.type;
  const std::string q = sql::GetSqlQuote(type);
  const Variant& v = cell.loaded;
  if (v.IsNull()) return name + " IS NULL";
  if (host::ClassOfType(type) == host::FieldClass::kApproximate) {
    const double d = platform::CDbl(v, loc);
    auto bound = [&](double x) {
      return q + sql::GetSqlLiteral(platform::Trim(platform::CStr(Variant(x), loc)), type, ctx) + q;
    };
    return name + " >= " + bound(d - kFloatTolerance) + " AND " + name +
           " <= " + bound(d + kFloatTolerance);
  }
  if (host::ClassOfType(type) == host::FieldClass::kTimestamp && ctx.db_date_format.empty()) {
    const double d = platform::CDate(v, loc);
    return name + " >= " + q + sql::GetSqlTimestampLiteral(d - kTimestampTolerance) + q + " AND " +
           name + " <= " + q + sql::GetSqlTimestampLiteral(d + kTimestampTolerance) + q;
  }
  return name + " = " + q + sql::GetSqlLiteral(platform::Trim(platform::CStr(v, loc)), type, ctx) +
         q;
}

}  // namespace

UpdateStatement BuildUpdateStatement(const std::vector<RowCell>& row, const std::string& data_table,
                                     const sql::SqlLiteralContext& ctx) {
  std::string assignments, condition;
  for (const RowCell& cell : row) {
    const std::string name = sql::QuoteIdentifier(cell.name);
    if (cell.change) {
      const std::string q = sql::GetSqlQuote(cell.type);
      if (!assignments.empty()) assignments += " , ";
      assignments +=
          name + " = " + q + sql::GetSqlLiteral(platform::Trim(*cell.change), cell.type, ctx) + q;
    }
    if (!condition.empty()) condition += " AND ";
    condition += ColumnCondition(name, cell, ctx);
  }
  if (assignments.empty()) return {};
  const std::optional<std::string> table = sql::TableIdentifier(data_table);
  if (!table) {
    throw platform::ComError(platform::kErrInvalidPropertyValue,
                             "DataTable '" + data_table + "' is not a table name", "TabuloCtl");
  }
  // Trimmed: a last value read as the empty text leaves no blank at the end.
  return {platform::Trim("UPDATE " + *table + " SET " + assignments + " WHERE " + condition),
          condition};
}

}  // namespace tabulo::control
