// Detection of the rowid path.
#include "host/sqlite/rowid_plan.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "host/sqlite/connection.h"
#include "host/sqlite/sql_tokens.h"
#include "platform/text/text.h"

namespace tabulo::host::sqlite {
namespace {

bool IsAnyOf(const SqlToken& t, std::initializer_list<std::string_view> words) {
  for (auto w : words) {
    if (t.Is(w)) return true;
  }
  return false;
}

bool PreparesOk(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
  Stmt stmt(raw);
  return rc == SQLITE_OK && raw;
}

bool RunsAggregate(sqlite3* db, std::string_view sql) {
  std::string explain = "EXPLAIN " + std::string(sql);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, explain.c_str(), -1, &raw, nullptr) != SQLITE_OK) return true;
  Stmt stmt(raw);
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    const char* op = reinterpret_cast<const char*>(sqlite3_column_text(raw, 1));
    if (op && std::string_view(op).starts_with("Agg")) return true;
  }
  return rc != SQLITE_DONE;
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

}  // namespace

std::optional<RowidPlan> PlanRowidPath(sqlite3* db, sqlite3_stmt* stmt, std::string_view sql) {
  auto tokens = TokenizeSql(sql);
  while (!tokens.empty() && tokens.back().text == ";" && tokens.back().depth == 0) {
    tokens.pop_back();
  }
  if (tokens.size() < 4 || !tokens[0].Is("SELECT")) return std::nullopt;
  if (IsAnyOf(tokens[1], {"DISTINCT", "ALL"})) return std::nullopt;

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
      ((tokens[i].kind == SqlToken::Word && !IsAnyOf(tokens[i], kClauseWords)) ||
       tokens[i].kind == SqlToken::QuotedName || tokens[i].kind == SqlToken::String)) {
    ++i;  // alias
  }
  const size_t from_end = i;
  if (i < tokens.size() && !tokens[i].Is("WHERE") && !tokens[i].Is("ORDER")) return std::nullopt;

  bool order_by = false;
  for (size_t k = from_end; k < tokens.size(); ++k) {
    const SqlToken& t = tokens[k];
    if (t.depth != 0) continue;
    if (t.text == "," && !order_by) return std::nullopt;
    if (t.text == ";") return std::nullopt;
    if (IsAnyOf(t, {"GROUP", "HAVING", "LIMIT", "OFFSET", "UNION", "INTERSECT", "EXCEPT", "JOIN",
                    "WINDOW", "INDEXED", "DISTINCT", "VALUES", "RETURNING"})) {
      return std::nullopt;
    }
    if (t.Is("ORDER")) order_by = true;
    if (order_by && t.kind == SqlToken::Number) return std::nullopt;
  }
  for (size_t k = 1; k < from; ++k) {
    if (tokens[k].depth == 0 && IsAnyOf(tokens[k], {"DISTINCT", "OVER"})) return std::nullopt;
  }

  const std::string table = table_token.Name();
  const int columns = sqlite3_column_count(stmt);
  for (int c = 0; c < columns; ++c) {
    const char* db_name = sqlite3_column_database_name(stmt, c);
    const char* table_name = sqlite3_column_table_name(stmt, c);
    const char* origin = sqlite3_column_origin_name(stmt, c);
    const char* name = sqlite3_column_name(stmt, c);
    if (!db_name || !table_name || !origin || !name) return std::nullopt;
    if (std::string_view(db_name) != "main" ||
        !platform::EqualsIgnoreAsciiCase(table_name, table)) {
      return std::nullopt;
    }
    if (order_by && !platform::EqualsIgnoreAsciiCase(name, origin)) return std::nullopt;
  }

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

  const size_t from_offset = tokens[from].offset;
  const size_t list_begin = tokens[1].offset;
  const size_t table_end = from_end < tokens.size() ? tokens[from_end].offset : sql.size();
  const size_t statement_end = tokens.back().offset + tokens.back().text.size();

  RowidPlan plan;
  plan.collect_sql =
      "SELECT " + rowid + " " + std::string(sql.substr(from_offset, statement_end - from_offset));
  // Unordered, SQLite may scan a covering index for the rowids alone and list them in that
  // index's order; the query itself would list the table's order.
  if (!order_by) plan.collect_sql += " ORDER BY " + rowid;
  plan.read_sql = "SELECT " + std::string(sql.substr(list_begin, from_offset - list_begin)) +
                  std::string(sql.substr(from_offset, table_end - from_offset)) + " WHERE " +
                  rowid + " = ?1";
  // A WITHOUT ROWID table, or anything this reading missed, fails to prepare here.
  if (!PreparesOk(db, plan.collect_sql) || !PreparesOk(db, plan.read_sql)) return std::nullopt;
  return plan;
}

}  // namespace tabulo::host::sqlite
