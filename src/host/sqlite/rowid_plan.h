// Whether a query can be served by the rowid path, and the two statements that serve it.
//
// The rowid path collects the rowids of the result in one pass and later reads each record by
// rowid. It applies only where that is exactly the query's result, so it is taken only for
//   SELECT <columns> FROM <table> [[AS] alias] [WHERE ...] [ORDER BY ...]
// where, at the statement's top level (subqueries inside WHERE may be anything):
//   - there is no WITH, DISTINCT, join (JOIN or a comma), GROUP BY, HAVING, compound operator,
//     LIMIT/OFFSET, WINDOW, INDEXED BY or schema-qualified table;
//   - every result column is a plain column of that table (SQLite's column metadata names it
//     as origin; no expression), and with an ORDER BY no column is renamed and no ORDER BY
//     term is a column number (both would order the rowid pass differently);
//   - <table> is an ordinary rowid table of the main database (not a view, a virtual table or
//     a WITHOUT ROWID table) with a name for its rowid not taken by a column;
//   - the compiled program runs no aggregate or window step (EXPLAIN shows no Agg* opcode).
// Without ORDER BY the records come in rowid order (the table's order).
// Anything else takes the general path (a materialized copy). When in doubt: general.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace tabulo::host::sqlite {

struct RowidPlan {
  std::string collect_sql;  // one column: the rowid of each record, in result order
  std::string read_sql;     // the query's columns for the record whose rowid is bound to ?1
};

// `sql` is the single statement `stmt` was prepared from on `db`.
std::optional<RowidPlan> PlanRowidPath(sqlite3* db, sqlite3_stmt* stmt, std::string_view sql);

}  // namespace tabulo::host::sqlite
