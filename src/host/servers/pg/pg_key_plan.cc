// Detection of the key path.
#include "host/servers/pg/pg_key_plan.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <initializer_list>
#include <set>
#include <string_view>
#include <vector>

#include "host/servers/pg/pg_connection.h"
#include "host/sql_tokens.h"
#include "platform/text/plain_text.h"

namespace tabulo::host::pg {
namespace {

using Tokens = std::vector<SqlToken>;

bool IsName(const SqlToken& t) {
  return t.kind == SqlToken::Word || t.kind == SqlToken::QuotedName;
}

std::string_view TextOf(std::string_view sql, const Tokens& tokens, size_t begin, size_t end) {
  const size_t from = tokens[begin].offset;
  const size_t to = tokens[end - 1].offset + tokens[end - 1].text.size();
  return sql.substr(from, to - from);
}

// The name of the single-column integer primary key of the ordinary table $1 (its name as the
// statement writes it): one row, or none.
constexpr std::string_view kIntegerPrimaryKey =
    "SELECT a.attname FROM pg_catalog.pg_class c"
    " JOIN pg_catalog.pg_index i ON i.indrelid = c.oid AND i.indisprimary"
    " AND i.indnkeyatts = 1"
    " JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid"
    " AND a.attnum = i.indkey[0]"
    " WHERE c.oid = pg_catalog.to_regclass($1) AND c.relkind = 'r'"
    " AND a.atttypid IN ('int2'::regtype, 'int4'::regtype, 'int8'::regtype)"
    " AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_inherits h"
    " WHERE h.inhparent = c.oid)";

// True when the server's plan of a statement (`explained`: its EXPLAIN (FORMAT JSON)) only
// scans and sorts one table's rows: every node of the main plan (subplans of conditions
// aside) is a scan, a sort, a gather or a filter.
bool PlansAsScan(const PGresult* explained) {
  if (PQntuples(explained) != 1) return false;
  const auto plan = nlohmann::json::parse(PQgetvalue(explained, 0, 0), nullptr, false);
  if (plan.is_discarded() || !plan.is_array() || plan.empty()) return false;
  static const std::set<std::string> kAllowed = {
      "Seq Scan",          "Index Scan",    "Index Only Scan", "Bitmap Heap Scan",
      "Bitmap Index Scan", "BitmapAnd",     "BitmapOr",        "Sort",
      "Incremental Sort",  "Gather",        "Gather Merge",    "Result",
      "Tid Scan",          "Tid Range Scan"};
  std::vector<const nlohmann::json*> pending = {&plan[0]["Plan"]};
  while (!pending.empty()) {
    const nlohmann::json& node = *pending.back();
    pending.pop_back();
    if (!node.is_object()) return false;
    const std::string relation = node.value("Parent Relationship", "");
    if (relation == "SubPlan" || relation == "InitPlan") continue;
    if (!kAllowed.count(node.value("Node Type", ""))) return false;
    if (node.contains("Plans"))
      for (const auto& child : node["Plans"]) pending.push_back(&child);
  }
  return true;
}

// `token` names the column `name` (an unquoted word folds to lower case).
bool NamesColumn(const SqlToken& token, const std::string& name) {
  if (token.kind == SqlToken::QuotedName) return token.text == QuoteName(name);
  if (token.kind != SqlToken::Word || token.text.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(token.text[i])) != name[i]) return false;
  return true;
}

// True when the ORDER BY terms tokens[begin, end) are the key alone, ascending: qualified by
// the table or its alias, or bare where the select list is `*` (elsewhere an output column
// could take the name).
bool OrdersByKey(const Tokens& tokens, size_t begin, size_t end, const std::string& key,
                 const std::string& qualifier, bool star) {
  if (end > begin && tokens[end - 1].Is("ASC")) --end;
  if (end == begin + 1) return star && NamesColumn(tokens[begin], key);
  if (end != begin + 3 || tokens[begin + 1].text != ".") return false;
  const SqlToken& q = tokens[begin];
  const bool qualified = q.kind == SqlToken::QuotedName
                             ? q.text == qualifier
                             : platform::AsciiLower(q.text) == platform::AsciiLower(qualifier);
  return qualified && NamesColumn(tokens[begin + 2], key);
}

}  // namespace

std::optional<KeyPlan> PlanKeyPath(PGconn* conn, const std::string& sql) {
  if (sql.find('\\') != std::string::npos) return std::nullopt;
  const Tokens tokens = TokenizeSql(sql);
  if (tokens.size() < 4 || !tokens[0].Is("SELECT")) return std::nullopt;
  if (tokens[1].IsAnyOf({"DISTINCT", "ALL"})) return std::nullopt;
  for (const SqlToken& t : tokens)
    if (t.kind == SqlToken::Word && t.text.front() == '$') return std::nullopt;

  size_t from = 0;
  for (size_t i = 1; i < tokens.size() && !from; ++i)
    if (tokens[i].depth == 0 && tokens[i].Is("FROM")) from = i;
  if (from < 2 || from + 1 >= tokens.size()) return std::nullopt;

  // FROM [schema.]<table> [[AS] alias]
  size_t i = from + 1;
  if (!IsName(tokens[i])) return std::nullopt;
  if (i + 2 < tokens.size() && tokens[i + 1].text == "." && IsName(tokens[i + 2])) i += 2;
  const size_t table_end = ++i;
  static const std::initializer_list<std::string_view> kClauseWords = {
      "WHERE",     "ORDER",  "GROUP", "HAVING",  "LIMIT",  "OFFSET", "FETCH",       "UNION",
      "INTERSECT", "EXCEPT", "JOIN",  "NATURAL", "LEFT",   "RIGHT",  "FULL",        "INNER",
      "CROSS",     "OUTER",  "ON",    "USING",   "WINDOW", "FOR",    "TABLESAMPLE", "ONLY"};
  std::string alias;
  const bool as = i < tokens.size() && tokens[i].Is("AS");
  if (as) ++i;
  if (i < tokens.size() && IsName(tokens[i]) &&
      (tokens[i].kind == SqlToken::QuotedName || !tokens[i].IsAnyOf(kClauseWords))) {
    alias = std::string(tokens[i].text);
    ++i;
  } else if (as) {
    return std::nullopt;
  }
  const size_t from_end = i;
  const std::optional<size_t> tail =
      SelectTailOrder(tokens, from_end,
                      {"GROUP", "HAVING", "LIMIT", "OFFSET", "FETCH", "UNION", "INTERSECT",
                       "EXCEPT", "JOIN", "WINDOW", "FOR"});
  if (!tail) return std::nullopt;
  const size_t order = *tail;  // the ORDER token, tokens.size() when none
  for (size_t k = 1; k < from; ++k)
    if (tokens[k].depth == 0 && tokens[k].Is("OVER")) return std::nullopt;

  const std::string table(TextOf(sql, tokens, from + 1, table_end));
  const std::string explain = "EXPLAIN (FORMAT JSON, COSTS OFF) " + sql;
  // Without JIT: EXPLAIN prepares the plan's expressions, and the first compilation in a
  // session loads the compiler (about 0.1 s), all for a plan that is never run.
  const std::vector<Result> found = Pipelined(
      conn, {{kIntegerPrimaryKey, table.c_str()}, {"SET jit = off"}, {explain}, {"RESET jit"}});
  if (!AllSucceeded(found, 4) || PQntuples(found[0].get()) != 1 || !PlansAsScan(found[2].get()))
    return std::nullopt;
  const std::string key_column = PQgetvalue(found[0].get(), 0, 0);
  const std::string key_name = QuoteName(key_column);

  const std::string key = (alias.empty() ? table : alias) + "." + key_name;
  const std::string list(TextOf(sql, tokens, 1, from));
  const std::string source(TextOf(sql, tokens, from + 1, from_end));
  const std::string where(order > from_end ? TextOf(sql, tokens, from_end, order) : "");
  const std::string order_by =
      order == tokens.size()
          ? key
          : std::string(TextOf(sql, tokens, order + 2, tokens.size())) + ", " + key;
  // The list stays, so that the order's references to output columns keep their meaning; the
  // server computes only the columns the order needs (the others are never read).
  const std::string ordered = "SELECT " + list + ", " + key + " AS tabulo_key_ FROM " + source +
                              " " + where + "\nORDER BY " + order_by;
  const std::string keys = "SELECT tabulo_key_ FROM (" + ordered + "\n) AS s";
  KeyPlan plan;
  plan.count_sql = "SELECT count(*) FROM (" + sql + "\n) AS s";
  plan.first_sql = ordered + "\nLIMIT " + std::to_string(kKeyWindow);
  plan.keys_sql = "COPY (" + keys + ") TO STDOUT (FORMAT binary)";
  plan.read_sql = "SELECT " + list + ", " + key + " FROM " + source + " WHERE " + key +
                  " = ANY ($1::pg_catalog.int8[])";

  const bool star = from == 2 && tokens[1].text == "*";
  const std::string qualifier = alias.empty() ? std::string(tokens[table_end - 1].text) : alias;
  const bool key_order = order == tokens.size() ||
                         OrdersByKey(tokens, order + 2, tokens.size(), key_column, qualifier, star);
  // Anything this reading missed fails to prepare here.
  if (!key_order || (order > from_end && !tokens[from_end].Is("WHERE"))) {
    if (!AllSucceeded(Pipelined(conn, {{keys, nullptr, ""}, {plan.read_sql, nullptr, ""}}), 2))
      return std::nullopt;
    return plan;
  }
  const std::string condition =
      order > from_end ? "(" + std::string(TextOf(sql, tokens, from_end + 1, order)) + ") AND "
                       : "";
  KeyPlan split = plan;
  split.bounds_sql =
      "SELECT min(" + key + ")::pg_catalog.int8, max(" + key + ")::pg_catalog.int8 FROM " + source;
  split.split_count_sql =
      "SELECT count(*), count(*) FILTER (WHERE s.tabulo_key_ < $1::pg_catalog.int8) FROM (SELECT " +
      list + ", " + key + " AS tabulo_key_ FROM " + source + " " + where + "\n) AS s";
  const std::string seek = "SELECT " + key + " FROM " + source + " WHERE " + condition + key;
  split.seek_up_sql = seek + " >= $1::pg_catalog.int8 ORDER BY " + key +
                      " OFFSET $2::pg_catalog.int8 LIMIT $3::pg_catalog.int8";
  split.seek_down_sql = seek + " < $1::pg_catalog.int8 ORDER BY " + key +
                        " DESC OFFSET $2::pg_catalog.int8 LIMIT $3::pg_catalog.int8";
  // (The seek statements are prepared where they run: without them windows wait for the pass.)
  const std::vector<Result> prepared = Pipelined(
      conn,
      {{keys, nullptr, ""}, {plan.read_sql, nullptr, ""}, {split.split_count_sql, nullptr, ""}});
  if (prepared.size() != 3) return std::nullopt;
  for (size_t i = 0; i < 2; ++i)
    if (PQresultStatus(prepared[i].get()) != PGRES_COMMAND_OK) return std::nullopt;
  return PQresultStatus(prepared[2].get()) == PGRES_COMMAND_OK ? split : plan;
}

}  // namespace tabulo::host::pg
