// BuildUpdateStatement: the statement and the row's condition from the row alone.
#include "control/update_statement.h"

#include <gtest/gtest.h>

#include "host/field_types.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"

namespace tabulo::control {
namespace {

using platform::Variant;

TEST(UpdateStatement, AssignsTheChangedCellsAndNamesTheRowByEveryValue) {
  const sql::SqlLiteralContext ctx(platform::Locale::EnUS());
  std::vector<RowCell> row = {{"Id", host::adInteger, Variant(int32_t{3}), {}},
                              {"Price", host::adDouble, Variant(1.5), {}},
                              {"Note", host::adVarWChar, Variant::Null(), " it's "},
                              {"Unit Cost", host::adInteger, Variant(int32_t{4}), "5"}};
  const UpdateStatement update = BuildUpdateStatement(row, "Orders", ctx);
  const std::string condition =
      "Id = 3 AND Price >=  1.499 AND Price <=  1.501 AND Note IS NULL AND \"Unit Cost\" = 4";
  EXPECT_EQ(update.condition, condition);
  EXPECT_EQ(
      update.statement,
      std::string("UPDATE Orders SET Note = 'it''s' , \"Unit Cost\" = 5 WHERE ").append(condition));

  // Nothing changed: nothing to write, whatever the table's name.
  for (RowCell& cell : row) cell.change.reset();
  const UpdateStatement none = BuildUpdateStatement(row, "no table;", ctx);
  EXPECT_TRUE(none.statement.empty());
  EXPECT_TRUE(none.condition.empty());
  row[0].change.emplace(1, '4');
  try {
    BuildUpdateStatement(row, "no table;", ctx);
    ADD_FAILURE() << "a DataTable that is no table name was written to";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.code(), platform::kErrInvalidPropertyValue);
  }
}

}  // namespace
}  // namespace tabulo::control
