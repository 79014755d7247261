// frmQueryBuilder: splitting statements into parts, assembling them back, bad input.
#include "querybuilder/query_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::querybuilder {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Entries(const platform::ListBox& list) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < list.list_count(); ++i) out.push_back(list.list(i));
  return out;
}

TEST(QueryBuilder, StartsEmpty) {
  frmQueryBuilder qb;
  EXPECT_EQ(qb.SelectPart(), "");
  EXPECT_EQ(qb.FromPart(), "");
  EXPECT_EQ(qb.WherePart(), "");
  EXPECT_EQ(qb.OrderByPart(), "");
  EXPECT_EQ(qb.DialogResult(), 0);
  EXPECT_EQ(qb.TableColumns(), nullptr);
  EXPECT_EQ(qb.sql(), "SELECT  FROM   ");
}

TEST(QueryBuilder, SplitsAllFourPartsOfALowerCaseStatement) {
  frmQueryBuilder qb;
  qb.SetSql("select a, b from t where x = 1 order by a desc");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("a", "b"));
  EXPECT_EQ(qb.lstSelect.list_index(), 0);
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x = 1");
  EXPECT_THAT(Entries(qb.lstOrderBy), ElementsAre("a desc"));
  EXPECT_EQ(qb.lstOrderBy.list_index(), 0);
  EXPECT_EQ(qb.SelectPart(), "a, b");
  EXPECT_EQ(qb.OrderByPart(), "a desc");
  EXPECT_EQ(qb.sql(), "SELECT a, b FROM t WHERE x = 1 ORDER BY a desc");
}

TEST(QueryBuilder, MissingClausesLeaveTheirBlanks) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT * FROM t");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("*"));
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.sql(), "SELECT * FROM t  ");

  qb.SetSql("SELECT a FROM t ORDER BY a");
  EXPECT_EQ(qb.WherePart(), "");
  EXPECT_EQ(qb.sql(), "SELECT a FROM t  ORDER BY a");

  qb.SetSql("SELECT a FROM t WHERE b > 2");
  EXPECT_EQ(qb.OrderByPart(), "");
  EXPECT_EQ(qb.lstOrderBy.list_index(), -1);
  EXPECT_EQ(qb.sql(), "SELECT a FROM t WHERE b > 2 ");
}

TEST(QueryBuilder, AliasesAndFromListsStayWhole) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT o.Id AS OrderId, c.Name Customer FROM Orders o, Customers c WHERE x");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("o.Id AS OrderId", "c.Name Customer"));
  EXPECT_EQ(qb.FromPart(), "Orders o, Customers c");
  EXPECT_EQ(qb.WherePart(), "x");

  qb.SetSql("SELECT a FROM t1, t2 WHERE x");
  EXPECT_EQ(qb.FromPart(), "t1, t2");
}

TEST(QueryBuilder, GreedyGroupsRunToTheLastKeyword) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT a FROM (SELECT b FROM c)");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("a FROM (SELECT b"));
  EXPECT_EQ(qb.FromPart(), "c)");
  // Text before the first SELECT is ignored.
  qb.SetSql("-- note\tSELECT x FROM y");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("x"));
  EXPECT_EQ(qb.FromPart(), "y");
}

TEST(QueryBuilder, ColumnListsSplitAtEveryComma) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT CONVERT(a, b) FROM t");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("CONVERT(a", "b)"));
  qb.SetSql("SELECT a,,b, ,c FROM t ORDER BY x,, y");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("a", "b", "", "c"));
  EXPECT_THAT(Entries(qb.lstOrderBy), ElementsAre("x", "y"));
  EXPECT_EQ(qb.SelectPart(), "a, b, , c");
}

TEST(QueryBuilder, CrLfBecomesABlankButALoneLineFeedMatchesNothing) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT a, b\r\nFROM t\r\nWHERE x = 1");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("a", "b"));
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x = 1");

  qb.SetSql("SELECT a,\nb FROM u WHERE y");
  EXPECT_THAT(Entries(qb.lstSelect), IsEmpty());
  EXPECT_EQ(qb.WherePart(), "");
  EXPECT_EQ(qb.FromPart(), "t");  // kept from the last successful split
}

TEST(QueryBuilder, AStatementOfAnotherFormClearsTheListsSilently) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT a FROM t WHERE x ORDER BY a");
  qb.SetSql("UPDATE t SET a = 1");
  EXPECT_THAT(Entries(qb.lstSelect), IsEmpty());
  EXPECT_THAT(Entries(qb.lstOrderBy), IsEmpty());
  EXPECT_EQ(qb.WherePart(), "");
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.sql(), "SELECT  FROM t  ");

  frmQueryBuilder fresh;
  fresh.SetSql("UPDATE t SET a = 1");
  EXPECT_EQ(fresh.FromPart(), "");
}

TEST(QueryBuilder, LinesTabsAndBlankPartsAreHandled) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT\ta\tFROM\tt\tWHERE\tx\t=\t1");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("a"));
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x\t=\t1");
  // A column list of blanks only is no SELECT part.
  frmQueryBuilder blanks;
  blanks.SetSql("SELECT    FROM t");
  EXPECT_THAT(Entries(blanks.lstSelect), IsEmpty());
  EXPECT_EQ(blanks.FromPart(), "");
  for (const char* text : {"", "   ", "SELECT", "SELECT FROM", "FROM t", "'", "(((", "))"}) {
    frmQueryBuilder q;
    q.SetSql(text);
    EXPECT_EQ(q.FromPart(), "") << text;
    EXPECT_EQ(q.SelectPart(), "") << text;
  }
}

TEST(QueryBuilder, UnbalancedParenthesesQuotesAndUnicodePassThrough) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT (a, 'x''y' FROM Bestellungen WHERE Straße = 'Zoë' ORDER BY ((b");
  EXPECT_THAT(Entries(qb.lstSelect), ElementsAre("(a", "'x''y'"));
  EXPECT_EQ(qb.FromPart(), "Bestellungen");
  EXPECT_EQ(qb.WherePart(), "Straße = 'Zoë'");
  EXPECT_EQ(qb.OrderByPart(), "((b");
  // A subject that is not UTF-8 is refused by the expression: the split ends silently.
  qb.SetSql("SELECT a FROM \xff");
  EXPECT_EQ(qb.SelectPart(), "");
  EXPECT_EQ(qb.FromPart(), "Bestellungen");
}

TEST(QueryBuilder, MegabyteStatementsFinish) {
  const std::string columns = [] {
    std::string s = "c0";
    while (s.size() < (1u << 20)) s += ", c" + std::to_string(s.size());
    return s;
  }();
  frmQueryBuilder qb;
  qb.SetSql("SELECT " + columns + " FROM t WHERE x = 1 ORDER BY a");
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x = 1");
  EXPECT_GT(qb.lstSelect.list_count(), 10000);
  EXPECT_EQ(qb.SelectPart(), columns);

  // A megabyte with no statement keywords at all.
  frmQueryBuilder junk;
  junk.SetSql(std::string(1 << 20, 'S'));
  EXPECT_EQ(junk.FromPart(), "");
  junk.SetSql("SELECT a" + std::string(1 << 20, ' ') + "FROM t");
  EXPECT_THAT(Entries(junk.lstSelect), ElementsAre("a"));
  EXPECT_EQ(junk.FromPart(), "t");
}

// Many FROM keywords make the first pattern backtrack beyond the expression's match limit;
// the limit is a failure like any other and ends the split, even though the last pattern
// alone would have matched.
TEST(QueryBuilder, AMatchLimitEndsTheSplitSilently) {
  std::string text;
  while (text.size() < (1u << 20)) text += "SELECT a FROM ";
  frmQueryBuilder qb;
  qb.SetSql("SELECT x FROM t");
  EXPECT_NO_THROW(qb.SetSql(text));
  EXPECT_EQ(qb.SelectPart(), "");
  EXPECT_EQ(qb.FromPart(), "t");
}

TEST(QueryBuilder, TableColumnsFillTheListAndSelectTheFirst) {
  frmQueryBuilder qb(platform::Locale::DeDE());
  auto cols = std::make_shared<const std::vector<platform::Variant>>(
      std::vector<platform::Variant>{platform::Variant("Id"), platform::Variant(2.5)});
  qb.SetTableColumns(cols);
  EXPECT_EQ(qb.TableColumns(), cols);
  EXPECT_THAT(Entries(qb.lstTableColumns), ElementsAre("Id", "2,5"));
  EXPECT_EQ(qb.lstTableColumns.list_index(), 0);

  qb.SetTableColumns(std::make_shared<const std::vector<platform::Variant>>());
  EXPECT_THAT(Entries(qb.lstTableColumns), IsEmpty());
  EXPECT_EQ(qb.lstTableColumns.list_index(), -1);

  auto with_null = std::make_shared<const std::vector<platform::Variant>>(
      std::vector<platform::Variant>{platform::Variant("a"), platform::Variant::Null()});
  try {
    qb.SetTableColumns(with_null);
    FAIL() << "a Null column name has no text";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrInvalidUseOfNull);
  }
  EXPECT_THAT(Entries(qb.lstTableColumns), ElementsAre("a"));
}

// The dialog lets the operator edit the widgets; the assembled statement follows them.
TEST(QueryBuilder, AssemblesFromTheWidgetsAsEdited) {
  frmQueryBuilder qb;
  int clicks = 0;
  qb.lstSelect.on_click = [&] { ++clicks; };
  qb.SetSql("SELECT a FROM t WHERE w ORDER BY o");
  EXPECT_EQ(clicks, 1);  // the first entry was selected
  EXPECT_EQ(qb.txtWhere.text(), "w");
  qb.lstSelect.AddItem("b");
  qb.txtWhere.set_text("  w2  ");
  qb.lstOrderBy.Clear();
  EXPECT_EQ(qb.sql(), "SELECT a, b FROM t WHERE w2 ");
  qb.lstSelect.RemoveItem(0);
  qb.txtWhere.set_text("   ");
  EXPECT_EQ(qb.sql(), "SELECT b FROM t  ");
}

}  // namespace
}  // namespace tabulo::querybuilder
