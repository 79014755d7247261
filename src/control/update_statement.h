// The UPDATE statement for one edited row, from the row alone. The result has no key columns
// to rely on: the row is named by the values all its visible columns held when it was read
// (floating-point values within 0.001, timestamps within 108 ms), and every changed cell
// becomes an assignment. Column and table names are quoted where they are not plain names
// (identifier.h); a DataTable that is no table name writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/values/variant.h"
#include "sql/sql_literal.h"

namespace tabulo::control {

// One visible column of the row, in grid order.
struct RowCell {
  std::string name;                   // the field's name
  int32_t type = 0;                   // its ADO type
  platform::Variant loaded;           // the value as the row was read
  std::optional<std::string> change;  // the text it changes to, when it was changed
};

struct UpdateStatement {
  std::string statement;  // empty when nothing changed
  std::string condition;  // the statement's WHERE part without the keyword
};

// Raises 380 when a cell changed and `data_table` is no table name.
UpdateStatement BuildUpdateStatement(const std::vector<RowCell>& row, const std::string& data_table,
                                     const sql::SqlLiteralContext& ctx);

}  // namespace tabulo::control
