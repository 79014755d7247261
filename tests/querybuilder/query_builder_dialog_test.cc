// The query builder dialog's buttons on its lists and filter, table-driven: each row starts
// from the same statement and table columns, presses buttons and reads the parts back.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/headless_container.h"
#include "querybuilder/query_builder_dialog.h"

namespace tabulo::querybuilder {
namespace {

using platform::Variant;

struct DialogCase {
  const char* name;
  std::function<void(QueryBuilderDialog&, frmQueryBuilder&)> steps;
  std::string select, order_by, where;
  int32_t result;
};

std::vector<std::string> Entries(const platform::ListBox& list) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < list.list_count(); ++i) out.push_back(list.list(i));
  return out;
}

TEST(QueryBuilderDialog, ButtonsEditTheListsAndTheFilter) {
  const DialogCase cases[] = {
      {"add replaces *, even twice advances",
       [](QueryBuilderDialog& d, frmQueryBuilder& b) {
         d.cmdSelectButtons[1]->UserClick();  // "<<": only *
         d.cmdSelectButtons[0]->UserClick();  // a (selected first); selection moves to b
         b.lstTableColumns.SelectItem(0);
         d.cmdSelectButtons[0]->UserClick();  // a again: nothing added, still advances
         EXPECT_EQ(b.lstTableColumns.list_index(), 1);
         b.lstTableColumns.SelectItem(2);
         d.cmdSelectButtons[0]->UserClick();  // c, the last: the selection stays
         EXPECT_EQ(b.lstTableColumns.list_index(), 2);
         d.cmdOk->UserClick();
       },
       "a, c", "b", "x = 1", 1},
      {"add all twice, remove, move",
       [](QueryBuilderDialog& d, frmQueryBuilder& b) {
         d.cmdOrderByButtons[1]->UserClick();
         d.cmdOrderByButtons[1]->UserClick();  // b, a, c: each once
         b.lstOrderBy.SelectItem(0);
         d.cmdOrderByButtons[4]->UserClick();  // the first up: unchanged
         d.cmdOrderByButtons[5]->UserClick();  // b down
         EXPECT_EQ(b.lstOrderBy.list_index(), 1);
         b.lstOrderBy.SelectItem(2);
         d.cmdOrderByButtons[5]->UserClick();  // the last down: unchanged
         d.cmdOrderByButtons[2]->UserClick();  // remove the last: the new last selected
         EXPECT_EQ(b.lstOrderBy.list_index(), 1);
         d.cmdSelectButtons[2]->UserClick();  // remove a: the list empties
         d.cmdCancel->UserClick();
       },
       "", "a, b", "x = 1", 2},
      {"operators and columns into the filter",
       [](QueryBuilderDialog& d, frmQueryBuilder& b) {
         b.txtWhere.set_sel_start(5);
         for (int32_t op : {16, 6, 10, 12, 13}) {  // AND + % ( )
           d.cboOperators.SelectItem(op);
           d.cmdInsert->UserClick();
         }
         b.lstTableColumns.SelectItem(1);
         d.cmdWhereButtons->UserClick();
         d.cmdOrderByButtons[3]->UserClick();  // clears
         d.cmdOk->UserClick();
       },
       "a", "", "x = 1AND+%()b", 1},
  };
  for (const DialogCase& c : cases) {
    SCOPED_TRACE(c.name);
    platform::HeadlessContainer site;
    frmQueryBuilder builder;
    builder.SetSql("SELECT a FROM t WHERE x = 1 ORDER BY b");
    builder.SetTableColumns(std::make_shared<std::vector<Variant>>(
        std::vector<Variant>{Variant("a"), Variant("b"), Variant("c")}));
    site.SetModalRunner([&](platform::Form& form) {
      auto& dialog = dynamic_cast<QueryBuilderDialog&>(form);
      EXPECT_EQ(dialog.caption(), "Query Builder");
      EXPECT_EQ(dialog.cboOperators.list_count(), 23);
      EXPECT_EQ(dialog.cboOperators.text(), "=");
      EXPECT_EQ(dialog.cmdOrderByButtons[5]->top(), 3720);  // the last of the array
      c.steps(dialog, builder);
    });
    builder.Show(site);
    EXPECT_EQ(builder.SelectPart(), c.select);
    EXPECT_EQ(builder.OrderByPart(), c.order_by);
    EXPECT_EQ(builder.WherePart(), c.where);
    EXPECT_EQ(builder.DialogResult(), c.result);
  }
  // Closed without OK or Cancel, the result is 0.
  platform::HeadlessContainer site;
  frmQueryBuilder builder;
  builder.Show(site);
  EXPECT_EQ(builder.DialogResult(), 0);
  EXPECT_EQ(Entries(builder.lstSelect), std::vector<std::string>{});
}

}  // namespace
}  // namespace tabulo::querybuilder
