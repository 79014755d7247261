// Detection of the rowid path.
#include "host/servers/sqlite/rowid_plan.h"

#include <algorithm>
#include <vector>

#include "host/servers/sqlite/connection.h"
#include "host/servers/sqlite/rowid_collector.h"
#include "host/sql_tokens.h"
#include "platform/text/text.h"

namespace tabulo::host::sqlite {
namespace {

using Tokens = std::vector<SqlToken>;

bool PreparesOk(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
  Stmt stmt(raw);
  return rc == SQLITE_OK && raw;
}

// The text column `column` of every row of `sql`; nullopt when it does not run.
std::optional<std::vector<std::string>> TextRows(sqlite3* db, const std::string& sql, int column) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return std::nullopt;
  Stmt stmt(raw);
  std::vector<std::string> rows;
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
    rows.emplace_back(text ? text : "");
  }
  if (rc != SQLITE_DONE) return std::nullopt;
  return rows;
}

bool RunsAggregate(sqlite3* db, std::string_view sql) {
  auto ops = TextRows(db, "EXPLAIN " + std::string(sql), 1);
  return !ops || std::any_of(ops->begin(), ops->end(), [](const std::string& op) {
    return op.starts_with("Agg") || op == "Count";
  });
}

// The table's kind and its column names; false when it is not an ordinary rowid table.
bool OrdinaryTableColumns(sqlite3* db, const std::string& table, std::vector<std::string>& cols) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT type, sql FROM main.sqlite_master WHERE name = ?1 COLLATE NOCASE",
                         -1, &raw, nullptr) != SQLITE_OK) {
    return false;
  }
  Stmt master(raw);
  sqlite3_bind_text(raw, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(raw) != SQLITE_ROW) return false;
  std::string type = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
  const char* create = reinterpret_cast<const char*>(sqlite3_column_text(raw, 1));
  if (type != "table" || !create) return false;
  auto tokens = TokenizeSql(create);
  if (tokens.size() >= 2 && tokens[1].Is("VIRTUAL")) return false;

  if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info(?1)", -1, &raw, nullptr) !=
      SQLITE_OK) {
    return false;
  }
  Stmt info(raw);
  sqlite3_bind_text(raw, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(raw) == SQLITE_ROW) {
    cols.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)));
  }
  return true;
}

// A run of tokens [begin, end) of the statement.
struct Span {
  size_t begin, end;
};

// [begin, end) split at the commas of the top level.
std::vector<Span> SplitAtCommas(const Tokens& tokens, size_t begin, size_t end) {
  std::vector<Span> parts;
  size_t start = begin;
  for (size_t k = begin; k < end; ++k) {
    if (tokens[k].depth == 0 && tokens[k].text == ",") {
      parts.push_back({start, k});
      start = k + 1;
    }
  }
  parts.push_back({start, end});
  return parts;
}

std::string_view TextOf(std::string_view sql, const Tokens& tokens, Span s) {
  const size_t from = tokens[s.begin].offset;
  const size_t to = tokens[s.end - 1].offset + tokens[s.end - 1].text.size();
  return sql.substr(from, to - from);
}

// One item of the select list: its expression, and its alias when it has one for certain.
// `maybe_alias` marks a trailing name without AS that may or may not be an alias.
struct SelectItem {
  Span expression;
  std::optional<std::string> alias;
  std::optional<std::string> maybe_alias;
  bool star = false;
};

SelectItem ReadItem(const Tokens& tokens, Span s) {
  SelectItem item{s, std::nullopt, std::nullopt, false};
  const SqlToken& last = tokens[s.end - 1];
  item.star = last.text == "*" && (s.end - s.begin == 1 || tokens[s.end - 2].text == ".");
  const bool name = last.kind == SqlToken::Word || last.kind == SqlToken::QuotedName ||
                    last.kind == SqlToken::String;
  if (s.end - s.begin < 2 || !name) return item;
  const SqlToken& before = tokens[s.end - 2];
  if (before.Is("AS")) {
    item.alias = last.Name();
    if (last.kind == SqlToken::String)
      item.alias = std::string(last.text.substr(1, last.text.size() - 2));
    item.expression = {s.begin, s.end - 2};
  } else if (before.text != "." && !before.Is("COLLATE")) {
    item.maybe_alias = last.Name();
    item.expression = {s.begin, s.end - 1};
  }
  return item;
}

// The ORDER BY terms [begin, end) with every reference to a result column replaced by its
// expression; nullopt when a reference cannot be resolved for certain.
std::optional<std::string> ResolveOrderBy(std::string_view sql, const Tokens& tokens, size_t begin,
                                          size_t end, const std::vector<SelectItem>& items,
                                          sqlite3_stmt* stmt) {
  const bool has_star =
      std::any_of(items.begin(), items.end(), [](const SelectItem& i) { return i.star; });
  std::string out;
  for (Span term : SplitAtCommas(tokens, begin, end)) {
    if (term.begin == term.end) return std::nullopt;
    if (!out.empty()) out += ", ";
    const SqlToken& head = tokens[term.begin];
    const bool single = term.begin + 1 == term.end ||
                        (tokens[term.begin + 1].kind == SqlToken::Word &&
                         tokens[term.begin + 1].IsAnyOf({"ASC", "DESC", "COLLATE", "NULLS"}));
    std::optional<size_t> column;
    if (single && head.kind == SqlToken::Number) {
      // A column number: the statement's own columns are needed to map it.
      const long n = std::strtol(std::string(head.text).c_str(), nullptr, 10);
      if (has_star || n < 1 || static_cast<size_t>(n) > items.size()) return std::nullopt;
      column = static_cast<size_t>(n - 1);
    } else if (single && (head.kind == SqlToken::Word || head.kind == SqlToken::QuotedName)) {
      const std::string name = head.Name();
      for (size_t i = 0; i < items.size() && !column; ++i) {
        if (items[i].alias && platform::EqualsIgnoreAsciiCase(*items[i].alias, name)) column = i;
        if (items[i].maybe_alias && platform::EqualsIgnoreAsciiCase(*items[i].maybe_alias, name)) {
          // Without AS, only SQLite's own name for the column tells an alias for certain.
          const char* given = has_star ? nullptr : sqlite3_column_name(stmt, static_cast<int>(i));
          if (!given || !platform::EqualsIgnoreAsciiCase(given, name)) return std::nullopt;
          column = i;
        }
      }
    }
    if (!column) {
      out += TextOf(sql, tokens, term);
      continue;
    }
    if (items[*column].star) return std::nullopt;
    out += '(';
    out += TextOf(sql, tokens, items[*column].expression);
    out += ')';
    if (term.begin + 1 < term.end) {
      out += ' ';
      out += TextOf(sql, tokens, {term.begin + 1, term.end});
    }
  }
  return out;
}

}  // namespace

std::optional<RowidPlan> PlanRowidPath(sqlite3* db, sqlite3_stmt* stmt, std::string_view sql) {
  auto tokens = TokenizeSql(sql);
  while (!tokens.empty() && tokens.back().text == ";" && tokens.back().depth == 0) {
    tokens.pop_back();
  }
  if (tokens.size() < 4 || !tokens[0].Is("SELECT")) return std::nullopt;

  size_t from = 0;
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (tokens[i].depth == 0 && tokens[i].Is("FROM")) {
      from = i;
      break;
    }
  }
  if (from < 2 || from + 1 >= tokens.size()) return std::nullopt;

  // FROM <table> [[AS] alias]
  size_t i = from + 1;
  const SqlToken& table_token = tokens[i];
  if (table_token.kind != SqlToken::Word && table_token.kind != SqlToken::QuotedName) {
    return std::nullopt;
  }
  ++i;
  if (i < tokens.size() && tokens[i].text == ".") return std::nullopt;
  static const std::initializer_list<std::string_view> kClauseWords = {
      "WHERE",  "ORDER", "GROUP",   "HAVING", "LIMIT",   "OFFSET", "UNION",    "INTERSECT",
      "EXCEPT", "JOIN",  "NATURAL", "LEFT",   "RIGHT",   "FULL",   "INNER",    "CROSS",
      "OUTER",  "ON",    "USING",   "WINDOW", "INDEXED", "NOT",    "RETURNING"};
  if (i < tokens.size() && tokens[i].Is("AS")) ++i;
  if (i < tokens.size() &&
      ((tokens[i].kind == SqlToken::Word && !tokens[i].IsAnyOf(kClauseWords)) ||
       tokens[i].kind == SqlToken::QuotedName || tokens[i].kind == SqlToken::String)) {
    ++i;  // alias
  }
  const size_t from_end = i;
  const std::optional<size_t> tail =
      SelectTailOrder(tokens, from_end,
                      {"GROUP", "HAVING", "LIMIT", "OFFSET", "UNION", "INTERSECT", "EXCEPT", "JOIN",
                       "WINDOW", "INDEXED", "DISTINCT", "VALUES", "RETURNING"});
  if (!tail) return std::nullopt;
  const size_t order = *tail;  // the ORDER token, tokens.size() when none
  for (size_t k = 1; k < from; ++k) {
    if (tokens[k].depth == 0 && tokens[k].IsAnyOf({"DISTINCT", "ALL", "OVER"})) return std::nullopt;
  }

  const std::string table = table_token.Name();
  std::vector<std::string> table_columns;
  if (!OrdinaryTableColumns(db, table, table_columns)) return std::nullopt;
  std::string rowid;
  for (std::string_view candidate : {"rowid", "_rowid_", "oid"}) {
    bool taken = std::any_of(table_columns.begin(), table_columns.end(), [&](const std::string& c) {
      return platform::EqualsIgnoreAsciiCase(c, candidate);
    });
    if (!taken) {
      rowid = candidate;
      break;
    }
  }
  if (rowid.empty()) return std::nullopt;
  if (RunsAggregate(db, sql)) return std::nullopt;

  std::vector<SelectItem> items;
  for (Span s : SplitAtCommas(tokens, 1, from)) {
    if (s.begin == s.end) return std::nullopt;
    items.push_back(ReadItem(tokens, s));
  }
  std::string order_by = rowid;
  if (order != tokens.size()) {
    auto resolved = ResolveOrderBy(sql, tokens, order + 2, tokens.size(), items, stmt);
    if (!resolved) return std::nullopt;
    order_by = *resolved;
  }

  const std::string source(TextOf(sql, tokens, {from + 1, from_end}));
  const std::string where(order > from_end ? TextOf(sql, tokens, {from_end, order}) : "");
  const std::string list(TextOf(sql, tokens, {1, from}));
  // Unordered, SQLite may scan a covering index for the rowids alone and list them in that
  // index's order; the query itself lists the table's order. So the pass is ordered always.
  const std::string ordered = "SELECT " + rowid + " AS tabulo_rowid_ FROM " + source + " " + where +
                              " ORDER BY " + order_by;
  const std::string direct =
      "SELECT " + std::string(kCollectorFunction) + "(" + rowid + ") FROM " + source + " " + where;

  RegisterRowidCollector(db, nullptr);
  RowidPlan plan;
  plan.read_sql = "SELECT " + list + " FROM " + source + " WHERE " + rowid + " = ?1";
  // A WITHOUT ROWID table, or anything this reading missed, fails to prepare here.
  if (!PreparesOk(db, ordered) || !PreparesOk(db, plan.read_sql)) return std::nullopt;
  // count(*) over a whole table compiles to a Count opcode; over one rowid it cannot.
  if (RunsAggregate(db, plan.read_sql)) return std::nullopt;
  // The aggregate straight over the table avoids a subquery's hand-over per row. It is taken
  // for an unordered query when its plan is the ordered pass's plan and that plan needs no
  // sort: then both scan in ascending rowid order. (A plan's text does not show a scan's
  // direction, so a query's own ORDER BY always takes the subquery.)
  auto ordered_plan = TextRows(db, "EXPLAIN QUERY PLAN " + ordered, 3);
  auto direct_plan = TextRows(db, "EXPLAIN QUERY PLAN " + direct, 3);
  const bool sorts =
      !ordered_plan ||
      std::any_of(ordered_plan->begin(), ordered_plan->end(), [](const std::string& line) {
        return line.find("TEMP B-TREE") != std::string::npos;
      });
  if (order == tokens.size() && !sorts && direct_plan && *direct_plan == *ordered_plan) {
    plan.collect_sql = direct;
  } else {
    plan.collect_sql =
        "SELECT " + std::string(kCollectorFunction) + "(tabulo_rowid_) FROM (" + ordered + ")";
  }
  if (!PreparesOk(db, plan.collect_sql)) return std::nullopt;
  const std::string range = "SELECT " + rowid + ", " + list + " FROM " + source + " WHERE " + rowid;
  plan.range_up_sql = range + " >= ?1 ORDER BY " + rowid;
  plan.range_down_sql = range + " <= ?1 ORDER BY " + rowid + " DESC";
  if (!PreparesOk(db, plan.range_up_sql) || !PreparesOk(db, plan.range_down_sql)) {
    plan.range_up_sql.clear();
    plan.range_down_sql.clear();
  }
  return plan;
}

}  // namespace tabulo::host::sqlite
