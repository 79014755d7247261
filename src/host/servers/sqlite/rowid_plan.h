// Whether a query can be served by the rowid path, and the statements that serve it.
//
// The rowid path collects the rowids of the result in one pass and later evaluates the select
// list for each record of a window by rowid. It applies only where that is exactly the query's
// result, so it is taken only for
//   SELECT <select list> FROM <table> [[AS] alias] [WHERE ...] [ORDER BY ...]
// where, at the statement's top level (subqueries inside WHERE may be anything):
//   - there is no WITH, DISTINCT, ALL, join (JOIN or a comma), GROUP BY, HAVING, compound
//     operator, LIMIT/OFFSET, WINDOW, OVER, INDEXED BY or schema-qualified table;
//   - the select list may hold any expression, function or alias, but the compiled program
//     runs no aggregate or window step (EXPLAIN of the query and of the read by rowid shows
//     no Agg* or Count opcode);
//   - every ORDER BY term that names a result column (an alias, or a column number) is
//     replaced by that column's expression, so that the rowid pass orders exactly as the
//     query does; a term that cannot be resolved so takes the general path;
//   - <table> is an ordinary rowid table of the main database (not a view, a virtual table or
//     a WITHOUT ROWID table) with a name for its rowid not taken by a column.
// Without ORDER BY the records come in rowid order (the table's order).
// Anything else takes the general path (a copy of the rows). When in doubt: general.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace tabulo::host::sqlite {

struct RowidPlan {
  // One aggregate row; the pass feeds the rowid of each record, in result order, to the
  // collector function (rowid_collector.h).
  std::string collect_sql;
  // The query's select list for the record whose rowid is bound to ?1.
  std::string read_sql;
  // The rowid and then the select list of the table's rows from the rowid bound to ?1 on, in
  // ascending (up) or descending (down) rowid order, for reading records whose rowids lie
  // close together in one pass; empty where such a statement does not prepare.
  std::string range_up_sql, range_down_sql;
};

// `sql` is the single statement `stmt` was prepared from on `db`. Registers the collector
// function on `db` (with no sink) to check the pass.
std::optional<RowidPlan> PlanRowidPath(sqlite3* db, sqlite3_stmt* stmt, std::string_view sql);

}  // namespace tabulo::host::sqlite
