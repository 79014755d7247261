// frmQueryBuilder: splitting statements into parts, assembling them back, bad input.
#include "querybuilder/query_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com_error.h"

namespace tabulo::querybuilder {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Entries(const ListModel& list) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < list.ListCount(); ++i) out.push_back(list.List(i));
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
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("a", "b"));
  EXPECT_EQ(qb.SelectList().ListIndex(), 0);
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x = 1");
  EXPECT_THAT(Entries(qb.OrderByList()), ElementsAre("a desc"));
  EXPECT_EQ(qb.OrderByList().ListIndex(), 0);
  EXPECT_EQ(qb.SelectPart(), "a, b");
  EXPECT_EQ(qb.OrderByPart(), "a desc");
  EXPECT_EQ(qb.sql(), "SELECT a, b FROM t WHERE x = 1 ORDER BY a desc");
}

TEST(QueryBuilder, MissingClausesLeaveTheirBlanks) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT * FROM t");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("*"));
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.sql(), "SELECT * FROM t  ");

  qb.SetSql("SELECT a FROM t ORDER BY a");
  EXPECT_EQ(qb.WherePart(), "");
  EXPECT_EQ(qb.sql(), "SELECT a FROM t  ORDER BY a");

  qb.SetSql("SELECT a FROM t WHERE b > 2");
  EXPECT_EQ(qb.OrderByPart(), "");
  EXPECT_EQ(qb.OrderByList().ListIndex(), -1);
  EXPECT_EQ(qb.sql(), "SELECT a FROM t WHERE b > 2 ");
}

TEST(QueryBuilder, AliasesAndFromListsStayWhole) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT o.Id AS OrderId, c.Name Customer FROM Orders o, Customers c WHERE x");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("o.Id AS OrderId", "c.Name Customer"));
  EXPECT_EQ(qb.FromPart(), "Orders o, Customers c");
  EXPECT_EQ(qb.WherePart(), "x");

  qb.SetSql("SELECT a FROM t1, t2 WHERE x");
  EXPECT_EQ(qb.FromPart(), "t1, t2");
}

TEST(QueryBuilder, GreedyGroupsRunToTheLastKeyword) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT a FROM (SELECT b FROM c)");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("a FROM (SELECT b"));
  EXPECT_EQ(qb.FromPart(), "c)");
  // Text before the first SELECT is ignored.
  qb.SetSql("-- note\tSELECT x FROM y");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("x"));
  EXPECT_EQ(qb.FromPart(), "y");
}

TEST(QueryBuilder, ColumnListsSplitAtEveryComma) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT CONVERT(a, b) FROM t");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("CONVERT(a", "b)"));
  qb.SetSql("SELECT a,,b, ,c FROM t ORDER BY x,, y");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("a", "b", "", "c"));
  EXPECT_THAT(Entries(qb.OrderByList()), ElementsAre("x", "y"));
  EXPECT_EQ(qb.SelectPart(), "a, b, , c");
}

TEST(QueryBuilder, CrLfBecomesABlankButALoneLineFeedMatchesNothing) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT a, b\r\nFROM t\r\nWHERE x = 1");
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("a", "b"));
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x = 1");

  qb.SetSql("SELECT a,\nb FROM u WHERE y");
  EXPECT_THAT(Entries(qb.SelectList()), IsEmpty());
  EXPECT_EQ(qb.WherePart(), "");
  EXPECT_EQ(qb.FromPart(), "t");  // kept from the last successful split
}

TEST(QueryBuilder, AStatementOfAnotherFormClearsTheListsSilently) {
  frmQueryBuilder qb;
  qb.SetSql("SELECT a FROM t WHERE x ORDER BY a");
  qb.SetSql("UPDATE t SET a = 1");
  EXPECT_THAT(Entries(qb.SelectList()), IsEmpty());
  EXPECT_THAT(Entries(qb.OrderByList()), IsEmpty());
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
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("a"));
  EXPECT_EQ(qb.FromPart(), "t");
  EXPECT_EQ(qb.WherePart(), "x\t=\t1");
  // A column list of blanks only is no SELECT part.
  frmQueryBuilder blanks;
  blanks.SetSql("SELECT    FROM t");
  EXPECT_THAT(Entries(blanks.SelectList()), IsEmpty());
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
  EXPECT_THAT(Entries(qb.SelectList()), ElementsAre("(a", "'x''y'"));
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
  EXPECT_GT(qb.SelectList().ListCount(), 10000);
  EXPECT_EQ(qb.SelectPart(), columns);

  // A megabyte with no statement keywords at all.
  frmQueryBuilder junk;
  junk.SetSql(std::string(1 << 20, 'S'));
  EXPECT_EQ(junk.FromPart(), "");
  junk.SetSql("SELECT a" + std::string(1 << 20, ' ') + "FROM t");
  EXPECT_THAT(Entries(junk.SelectList()), ElementsAre("a"));
  EXPECT_EQ(junk.FromPart(), "t");
}

TEST(QueryBuilder, TableColumnsFillTheListAndSelectTheFirst) {
  frmQueryBuilder qb(platform::Locale::DeDE());
  auto cols = std::make_shared<const std::vector<platform::Variant>>(
      std::vector<platform::Variant>{platform::Variant("Id"), platform::Variant(2.5)});
  qb.SetTableColumns(cols);
  EXPECT_EQ(qb.TableColumns(), cols);
  EXPECT_THAT(Entries(qb.TableColumnList()), ElementsAre("Id", "2,5"));
  EXPECT_EQ(qb.TableColumnList().ListIndex(), 0);

  qb.SetTableColumns(std::make_shared<const std::vector<platform::Variant>>());
  EXPECT_THAT(Entries(qb.TableColumnList()), IsEmpty());
  EXPECT_EQ(qb.TableColumnList().ListIndex(), -1);

  auto with_null = std::make_shared<const std::vector<platform::Variant>>(
      std::vector<platform::Variant>{platform::Variant("a"), platform::Variant::Null()});
  try {
    qb.SetTableColumns(with_null);
    FAIL() << "a Null column name has no text";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrInvalidUseOfNull);
  }
  EXPECT_THAT(Entries(qb.TableColumnList()), ElementsAre("a"));
}

// The dialog backs the parts with its widgets; the builder must use them, not copies.
TEST(QueryBuilder, UsesTheModelsItIsGiven) {
  PlainList select, order_by, table_columns;
  PlainText where;
  frmQueryBuilder qb(select, order_by, where, table_columns, platform::Locale::EnUS());
  qb.SetSql("SELECT a FROM t WHERE w ORDER BY o");
  EXPECT_THAT(Entries(select), ElementsAre("a"));
  EXPECT_EQ(where.Text(), "w");
  // Edits in the widgets show in the assembled statement.
  select.AddItem("b");
  where.SetText("  w2  ");
  order_by.Clear();
  EXPECT_EQ(qb.sql(), "SELECT a, b FROM t WHERE w2 ");
}

TEST(PlainList, RefusesIndexesOutsideTheList) {
  PlainList list;
  list.AddItem("x");
  EXPECT_EQ(list.List(0), "x");
  EXPECT_THROW(list.List(1), platform::ComError);
  EXPECT_THROW(list.List(-1), platform::ComError);
  EXPECT_THROW(list.SetListIndex(1), platform::ComError);
  list.SetListIndex(-1);
  EXPECT_EQ(list.ListIndex(), -1);
  list.SetListIndex(0);
  list.Clear();
  EXPECT_EQ(list.ListIndex(), -1);
}

}  // namespace
}  // namespace tabulo::querybuilder
