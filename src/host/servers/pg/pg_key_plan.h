// Whether a PostgreSQL query can be served by the key path, and the statements that serve it.
// Internal to host/servers/pg.
//
// The key path reads the exact count and the first window under one snapshot, then collects
// the primary keys of the result in a background pass and reads every later window by key. It
// applies only where that is exactly the query's result, so it is taken only for
//   SELECT <select list> FROM [schema.]<table> [[AS] alias] [WHERE ...] [ORDER BY ...]
// where, at the statement's top level (subqueries inside WHERE or the list may be anything):
//   - there is no WITH, DISTINCT, join (JOIN or a comma), GROUP BY, HAVING, compound operator,
//     LIMIT/OFFSET/FETCH, WINDOW or FOR UPDATE/SHARE, no dollar-quoted string and no backslash;
//   - the server's plan of the statement is a scan of the table, sorted or not: no aggregate,
//     window function, set-returning function or anything else that changes the rows;
//   - <table> is an ordinary table (no view, partition parent, foreign table, no inheritance
//     children) whose primary key is one column of type smallint, integer or bigint.
// The statements keep the select list as written and append the key as the last column, so
// ORDER BY terms that name an output column (by alias or by number) mean what they mean in
// the query. Records come in the query's order, ties broken by the key; without ORDER BY in
// key order. Anything else takes the general path (a copy). When in doubt: general.
//
// A result in key order (no ORDER BY, or ORDER BY the key itself, ascending) can be entered
// anywhere before its keys are collected: the count also counts the records below a split
// key, and a window is located from that known position by an index scan of the key under
// the load's snapshot (the seek statements), so a jump to the middle needs no key pass.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tabulo::host::pg {

// Rows a window reads (also the first window's size).
inline constexpr int64_t kKeyWindow = 64;

// The name of the key pass's connection as the server lists it (pg_stat_activity).
inline constexpr const char* kKeyPassApplication = "tabulo key pass";

struct KeyPlan {
  // The exact number of records: SELECT count(*) FROM (<statement>).
  std::string count_sql;
  // The first kKeyWindow records: the select list, then the key.
  std::string first_sql;
  // The keys of every record in result order, as one binary COPY.
  std::string keys_sql;
  // The select list, then the key, of the records whose key is in the bigint array $1 (in
  // no particular order).
  std::string read_sql;

  // In key order only (else all empty):
  // The table's least and greatest key (two bigint values, null when the table is empty).
  std::string bounds_sql;
  // The count, and the number of records whose key is below the bigint $1.
  std::string split_count_sql;
  // The keys of $3 records from the $2-th (0-based) record on whose key is at least the
  // bigint $1, ascending; and of those whose key is below $1 counted down from the greatest.
  std::string seek_up_sql;
  std::string seek_down_sql;
};

// `sql` is a single statement with result columns (no trailing semicolon) that prepares on
// `conn`; the plan's statements are checked by preparing them there (unnamed).
std::optional<KeyPlan> PlanKeyPath(PGconn* conn, const std::string& sql);

}  // namespace tabulo::host::pg
