// frmQueryBuilder: splitting statements into parts, assembling them back, bad input, and the
// dialog's buttons on its lists and filter.
#include "querybuilder/query_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/error_of.h"
#include "platform/runtime/headless_container.h"
#include "querybuilder/query_builder_dialog.h"

namespace tabulo::querybuilder {
namespace {

std::string Entries(const platform::ListBox& list) {
  std::string out;
  for (int32_t i = 0; i < list.list_count(); ++i) out.append(i ? "|" : "").append(list.list(i));
  return out;
}

// Select entries / FROM / WHERE / order-by entries, and the selected entry of both lists.
std::string Parts(const frmQueryBuilder& qb) {
  return Entries(qb.lstSelect) + " / " + qb.FromPart() + " / " + qb.WherePart() + " / " +
         Entries(qb.lstOrderBy) + " @" + std::to_string(qb.lstSelect.list_index()) + "," +
         std::to_string(qb.lstOrderBy.list_index());
}

struct Split {
  const char* sql;
  const char* parts;
  const char* assembled;  // nullptr: not checked
};

// Each statement in turn on one dialog: a failed split keeps the FROM part of the last one.
TEST(QueryBuilder, SplitsStatementsAndAssemblesThemBack) {
  frmQueryBuilder qb;
  EXPECT_EQ(Parts(qb), " /  /  /  @-1,-1");
  EXPECT_EQ((std::vector<std::string>{qb.SelectPart(), qb.OrderByPart(), qb.sql()}),
            (std::vector<std::string>{"", "", "SELECT  FROM   "}));
  EXPECT_EQ(qb.DialogResult(), 0);
  const Split cases[] = {
      {"select a, b from t where x = 1 order by a desc", "a|b / t / x = 1 / a desc @0,0",
       "SELECT a, b FROM t WHERE x = 1 ORDER BY a desc"},
      {"SELECT * FROM t", "* / t /  /  @0,-1", "SELECT * FROM t  "},
      {"SELECT a FROM t ORDER BY a", "a / t /  / a @0,0", "SELECT a FROM t  ORDER BY a"},
      {"SELECT a FROM t WHERE b > 2", "a / t / b > 2 /  @0,-1", "SELECT a FROM t WHERE b > 2 "},
      // Greedy groups run to the last keyword; text before the first SELECT is ignored.
      {"SELECT a FROM (SELECT b FROM c)", "a FROM (SELECT b / c) /  /  @0,-1", nullptr},
      {"-- note\tSELECT x FROM y", "x / y /  /  @0,-1", nullptr},
      // Column lists split at every comma; empty entries are dropped, blank ones kept.
      {"SELECT CONVERT(a, b) FROM t", "CONVERT(a|b) / t /  /  @0,-1", nullptr},
      {"SELECT a,,b, ,c FROM t ORDER BY x,, y", "a|b||c / t /  / x|y @0,0", nullptr},
      // CR LF is a blank; a lone line feed matches nothing.
      {"SELECT a, b\r\nFROM t\r\nWHERE x = 1", "a|b / t / x = 1 /  @0,-1", nullptr},
      {"SELECT a,\nb FROM u WHERE y", " / t /  /  @-1,-1", nullptr},
      // A statement of another form clears the lists silently.
      {"SELECT a FROM t WHERE x ORDER BY a", "a / t / x / a @0,0", nullptr},
      {"UPDATE t SET a = 1", " / t /  /  @-1,-1", "SELECT  FROM t  "},
      {"SELECT\ta\tFROM\tt\tWHERE\tx\t=\t1", "a / t / x\t=\t1 /  @0,-1", nullptr},
      // Unbalanced parentheses, quotes and Unicode pass through.
      {"SELECT (a, 'x''y' FROM Bestellungen WHERE Straße = 'Zoë' ORDER BY ((b",
       "(a|'x''y' / Bestellungen / Straße = 'Zoë' / ((b @0,0", nullptr},
      // A subject that is not UTF-8 is refused by the expression: the split ends silently.
      {"SELECT a FROM \xff", " / Bestellungen /  /  @-1,-1", nullptr}};
  for (const Split& c : cases) {
    qb.SetSql(c.sql);
    EXPECT_EQ(Parts(qb), c.parts) << c.sql;
    if (c.assembled) {
      EXPECT_EQ(qb.sql(), c.assembled) << c.sql;
    }
  }
  qb.SetSql("select a, b from t where x = 1 order by a desc");
  EXPECT_EQ(qb.SelectPart() + "/" + qb.OrderByPart(), "a, b/a desc");
  qb.SetSql("SELECT a,,b, ,c FROM t");
  EXPECT_EQ(qb.SelectPart(), "a, b, , c");
}

TEST(QueryBuilder, TextsWithoutAStatementLeaveAFreshDialogEmpty) {
  for (const char* text : {"", "   ", "SELECT", "SELECT FROM", "FROM t", "'", "(((", "))",
                           "UPDATE t SET a = 1", "SELECT    FROM t"}) {
    frmQueryBuilder q;
    q.SetSql(text);
    EXPECT_EQ(Parts(q) + q.SelectPart(), " /  /  /  @-1,-1") << text;
  }
}

TEST(QueryBuilder, MegabyteStatementsAndMatchLimitsFinish) {
  std::string columns = "c0";
  while (columns.size() < (1u << 20)) columns += ", c" + std::to_string(columns.size());
  frmQueryBuilder qb;
  qb.SetSql("SELECT " + columns + " FROM t WHERE x = 1 ORDER BY a");
  EXPECT_EQ(qb.FromPart() + "/" + qb.WherePart(), "t/x = 1");
  EXPECT_EQ(qb.SelectPart(), columns);
  frmQueryBuilder junk;  // a megabyte with no statement keywords at all
  junk.SetSql(std::string(1 << 20, 'S'));
  EXPECT_EQ(junk.FromPart(), "");
  junk.SetSql("SELECT a" + std::string(1 << 20, ' ') + "FROM t");
  EXPECT_EQ(Parts(junk), "a / t /  /  @0,-1");
  // Many FROM keywords make the first pattern backtrack beyond the expression's match limit;
  // the limit is a failure like any other and ends the split, though the last pattern alone
  // would have matched.
  std::string text;
  while (text.size() < (1u << 20)) text += "SELECT a FROM ";
  EXPECT_EQ(test_support::ErrorOf([&] { junk.SetSql(text); }), 0);
  EXPECT_EQ(junk.SelectPart() + "/" + junk.FromPart(), "/t");
}

TEST(QueryBuilder, TableColumnsFillTheListAndSelectTheFirst) {
  frmQueryBuilder qb(platform::Locale::DeDE());
  using Columns = const std::vector<platform::Variant>;
  auto cols = std::make_shared<Columns>(Columns{platform::Variant("Id"), platform::Variant(2.5)});
  qb.SetTableColumns(cols);
  EXPECT_EQ(Entries(qb.lstTableColumns) + "@" + std::to_string(qb.lstTableColumns.list_index()),
            "Id|2,5@0");
  qb.SetTableColumns(std::make_shared<Columns>());
  EXPECT_EQ(Entries(qb.lstTableColumns) + "@" + std::to_string(qb.lstTableColumns.list_index()),
            "@-1");
  auto with_null =
      std::make_shared<Columns>(Columns{platform::Variant("a"), platform::Variant::Null()});
  EXPECT_EQ(test_support::ErrorOf([&] { qb.SetTableColumns(with_null); }),
            platform::kErrInvalidUseOfNull);
  EXPECT_EQ(Entries(qb.lstTableColumns), "a");
}

// The dialog lets the operator edit the widgets; the assembled statement follows them.
TEST(QueryBuilder, AssemblesFromTheWidgetsAsEdited) {
  frmQueryBuilder qb;
  int clicks = 0;
  qb.lstSelect.on_click = [&] { ++clicks; };
  qb.SetSql("SELECT a FROM t WHERE w ORDER BY o");
  EXPECT_EQ(clicks, 1);  // the first entry was selected
  qb.lstSelect.AddItem("b");
  qb.txtWhere.set_text("  w2  ");
  qb.lstOrderBy.Clear();
  EXPECT_EQ(qb.sql(), "SELECT a, b FROM t WHERE w2 ");
  qb.lstSelect.RemoveItem(0);
  qb.txtWhere.set_text("   ");
  EXPECT_EQ(qb.sql(), "SELECT b FROM t  ");
}

struct DialogCase {
  const char* name;
  std::function<void(QueryBuilderDialog&, frmQueryBuilder&)> steps;
  std::string select, order_by, where;
  int32_t result;
};

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
    builder.SetTableColumns(
        std::make_shared<std::vector<platform::Variant>>(std::vector<platform::Variant>{
            platform::Variant("a"), platform::Variant("b"), platform::Variant("c")}));
    site.SetModalRunner([&](platform::Form& form) {
      auto& dialog = dynamic_cast<QueryBuilderDialog&>(form);
      EXPECT_EQ(dialog.cboOperators.text(), "=");  // its caption and lists: design_query_builder
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
  EXPECT_EQ(Entries(builder.lstSelect), "");
}

}  // namespace
}  // namespace tabulo::querybuilder
