// The PostgreSQL data server: DataServer over PostgreSQL servers through libpq (ServerType 1).
//
// Source: "<server>;DATABASE=<database>" as the control composes it. <server> is the name of a
// configured connection (its host, port, default database and default login), else
// "host[:port]" (port 5432 by default). An empty <database> is the connection's default, else
// the login's own. User and Password are the login; when both are empty the connection's
// default login is used.
//
// Queries. The statement is prepared first, so statement errors surface before anything runs
// (0x80040E14 with the server's message; several statements in one call are refused too).
// A query runs read-only, as given: its session's transactions are read-only, so a statement
// that writes (SELECT ... INTO, a function that changes rows, nextval) is refused with
// 0x80040E14 and the server's message and leaves nothing; only the session's own temporary
// copy of the result is written. Sessions pin the settings literals and value texts rely on
// (pg_connection.h), whatever the role or database sets.
// Each open record set holds one server connection; a connection lost while browsing raises
// 0x80004005 on the next window read. A query takes one of two paths:
//   - Key path (pg_key_plan.h: one ordinary table with a single-column integer primary key,
//     no join, grouping, DISTINCT, LIMIT, compound or window at the top level). In one
//     REPEATABLE READ READ ONLY transaction the record set's connection exports its snapshot,
//     counts the rows (SELECT count(*) FROM (statement): RecordCount is exact) and reads the
//     first window (the statement's order, ties broken by the key; without ORDER BY the key
//     order). A background thread with a second connection ("tabulo key pass") imports that
//     snapshot, whereupon the first transaction ends, and streams the keys in result order
//     with one binary COPY into a KeyList (about 1.1 bytes a key); then it commits, and its
//     connection is kept idle for the next load. A snapshot is thus held only for the load and the
//     pass (seconds), never while the operator browses: vacuum is not held back and the view never
//     needs renewing. Later records are read by key in blocks of 64 (`key = ANY($1)`, one index
//     lookup per record), the last 64 blocks read kept; a Move beyond the keys collected so far
//     waits for them, except in key order (no ORDER BY, or ORDER BY the key ascending): there the
//     count also counts the records below the middle of the key range, a third connection
//     ("tabulo key seek") imports the snapshot too, and a block nearer to that split than to
//     the pass has its keys located from it by an index scan of the key in the snapshot
//     (OFFSET from the split), so the records there are those the pass will put there; the
//     seeking connection ends its transaction when the pass ends. Close cancels a pass still
//     running and keeps the record set's connection idle (as the pass's and the seek's,
//     their transactions ended and each session discarded), so a load after the first logs
//     in no more. A pass that fails (lost connection, cancel) raises 0x80004005 on the Move that
//     needs a key it did not deliver (a block located from the split needs none). A key-set view:
//     which records and in which order is fixed by the snapshot; their values are those committed
//     when their block is read (the first block: as of the snapshot) and stay so while the block is
//     kept; a record deleted since reads "#Deleted" in every field (kDeletedRecordText); records
//     inserted since do not appear. When the second connection cannot import the snapshot, the
//     result is copied instead.
//   - General path (anything else, and every query on a standby, which exports no snapshot
//     to another session): the result is copied, in one statement and so under one snapshot,
//     into a temporary table of the record set's own session, numbered by a position key
//     with a unique index on it: RecordCount is the number of rows copied, a Move to any
//     position reads one window by key, and no snapshot stays open while browsing. Close (or
//     the end of the session) drops the copy. On a standby (read-only) the copy is a cursor
//     WITH HOLD instead (pg_row_source.h).
// The client holds one window of rows at a time (and on the key path the key list).
// Stream (an export) runs a query in one read-only transaction and hands its rows on as the
// server sends them (single-row mode), values exact (pg_stream.h); nothing is copied.
// Result column names take the spelling the statement gives them where PostgreSQL folded an
// unquoted name to lower case ("SELECT Id" yields the field "Id").
//
// Writes: a statement without result columns. UPDATE and DELETE run in a transaction committed
// only when exactly one row changed, else rolled back and refused with 0x80040E38 (BEGIN and
// the statement's prepare, describe and run go in one pipeline: two round trips in all); INSERT
// and MERGE run in a transaction; any other command runs on its own. Commands take an idle
// connection of the login from the process's pool, shared by every data server of the
// process (every operator's session of a display), and give it back after: at most
// SetIdleConnectionLimit (4) are kept idle a login and application name (commands and
// closed record sets; key passes; seeks), the rest are closed, so the pool never
// holds more than the busiest moment needed. A connection that died while idle is replaced
// before anything runs, one whose pinned settings a command changed is not kept; so a write
// costs no new login. ODBC date and time escapes become typed literals:
// {d '...'} DATE '...', {t '...'} TIME '...', {ts '...'} TIMESTAMP '...'.
// A write to the server and database of a PostgreSQL audit store's open transaction, as the
// same login (pg_audit_store.h), runs inside that transaction and commits it: the change and
// its operator events are written by one COMMIT, or neither is.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "host/data_server.h"

namespace tabulo::host::pg {

struct PgConnection {
  std::string host;  // name, address, or socket folder
  int port = 5432;
  std::string database;  // default database
  std::string user;      // default login
  std::string password;
};

struct PgServerOptions {
  std::string machine_name = "localhost";
  // Configured connections by name: what ListCatalogs lists.
  std::map<std::string, PgConnection> connections;
};

std::shared_ptr<DataServer> NewPgDataServer(PgServerOptions options);

// The process's PostgreSQL connections: open now (record sets' and key passes', the pool's,
// the audit store's), idle in the commands' pool, opened since the start.
struct ConnectionCounts {
  int64_t open = 0, idle = 0, opened = 0;
};
ConnectionCounts CountConnections();
// Idle connections the pool keeps a login (at least 1); more are closed as they come back.
void SetIdleConnectionLimit(size_t per_login);

// The statement with its ODBC date and time escapes made typed literals (strings, quoted
// names and comments untouched). A malformed escape raises 0x80040E14.
std::string TranslateEscapesForPg(std::string_view sql);

}  // namespace tabulo::host::pg
