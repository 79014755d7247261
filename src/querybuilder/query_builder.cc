// frmQueryBuilder: splitting (ParseSql) and assembly (BuildSql) of the statement.
#include "querybuilder/query_builder.h"

#include <exception>

#include "platform/text/regexp.h"
#include "platform/text/text.h"
#include "platform/values/conversions.h"

namespace tabulo::querybuilder {
namespace {

// Group numbers (from 1) of each part in a statement pattern; 0 where the pattern has none.
struct StatementPattern {
  const char* pattern;
  int select, from, where, order_by;
};

// Tried in this order: the richest form first, since a shorter pattern would also match a
// statement with more clauses and swallow them into its last group.
constexpr StatementPattern kPatterns[] = {
    {R"(SELECT\s(.+)\sFROM\s(.+)\sWHERE\s(.+)\sORDER BY\s(.+))", 1, 2, 3, 4},
    {R"(SELECT\s(.+)\sFROM\s(.+)\sORDER BY\s(.+))", 1, 2, 0, 3},
    {R"(SELECT\s(.+)\sFROM\s(.+)\sWHERE\s(.+))", 1, 2, 3, 0},
    {R"(SELECT\s(.+)\sFROM\s(.+))", 1, 2, 0, 0},
};

std::string Group(const platform::SubMatches& groups, int number) {
  if (number == 0 || number > groups.Count()) return {};
  const std::optional<std::string>& g = groups.Item(number - 1);
  return g ? platform::Trim(*g) : std::string();
}

// Adds each comma-separated entry of `text`, trimmed, and selects the first.
void FillList(platform::ListBox& list, const std::string& text) {
  platform::RegExp re;
  re.SetPattern("([^,]+)(,)?");
  re.SetGlobal(true);
  re.SetIgnoreCase(true);
  const platform::MatchCollection matches = re.Execute(text);
  for (int32_t i = 0; i < matches.Count(); ++i)
    list.AddItem(Group(matches.Item(i).SubMatches(), 1));
  if (list.list_count() > 0) list.set_list_index(0);
}

std::string JoinList(const platform::ListBox& list) {
  const int32_t n = list.list_count();
  if (n == 0) return {};
  std::string joined;
  for (int32_t i = 0; i < n; ++i) joined += list.list(i) + ", ";
  joined.resize(joined.size() - 2);
  return platform::Trim(joined);
}

}  // namespace

frmQueryBuilder::frmQueryBuilder(const platform::Locale& loc) : locale_(&loc) {}

std::string frmQueryBuilder::sql() {
  BuildSql();
  return m_sSql;
}

void frmQueryBuilder::SetSql(std::string_view text) {
  m_sSql = platform::ReplaceAll(text, "\r\n", " ");
  ParseSql();
}

std::string frmQueryBuilder::SelectPart() const {
  return JoinList(lstSelect);
}

std::string frmQueryBuilder::WherePart() const {
  return platform::Trim(txtWhere.text());
}

std::string frmQueryBuilder::OrderByPart() const {
  return JoinList(lstOrderBy);
}

void frmQueryBuilder::SetTableColumns(Collection columns) {
  m_colTableColumns = std::move(columns);
  lstTableColumns.Clear();
  if (!m_colTableColumns) return;
  for (const platform::Variant& column : *m_colTableColumns)
    lstTableColumns.AddItem(platform::CStr(column, *locale_));
  if (lstTableColumns.list_count() > 0) lstTableColumns.set_list_index(0);
}

void frmQueryBuilder::ParseSql() {
  // Every failure ends the split where it happened, without a message: the steps done stay
  // done (callers use a fresh builder per statement and read an empty FromPart as "none").
  try {
    lstSelect.Clear();
    lstOrderBy.Clear();
    txtWhere.set_text("");

    platform::RegExp re;
    re.SetGlobal(true);
    re.SetIgnoreCase(true);
    std::string select, from, where, order_by;
    for (const StatementPattern& p : kPatterns) {
      if (!select.empty()) break;
      re.SetPattern(p.pattern);
      const platform::MatchCollection matches = re.Execute(m_sSql);
      if (matches.Count() == 0) continue;
      const platform::SubMatches& groups = matches.Item(0).SubMatches();
      select = Group(groups, p.select);
      from = Group(groups, p.from);
      where = Group(groups, p.where);
      order_by = Group(groups, p.order_by);
    }
    if (select.empty()) return;  // not a statement of this form

    FillList(lstSelect, select);
    FillList(lstOrderBy, order_by);
    m_sFromPart = from;
    txtWhere.set_text(where);
  } catch (const std::exception&) {
  }
}

void frmQueryBuilder::BuildSql() {
  const std::string where = WherePart();
  const std::string order_by = OrderByPart();
  m_sSql = "SELECT " + SelectPart() + " " + "FROM " + m_sFromPart + " " +
           (where.empty() ? "" : "WHERE " + where) + " " +
           (order_by.empty() ? "" : "ORDER BY " + order_by);
}

}  // namespace tabulo::querybuilder
