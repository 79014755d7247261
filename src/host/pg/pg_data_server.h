// The PostgreSQL data server: DataServer over PostgreSQL servers through libpq (ServerType 1).
//
// Source: "<server>;DATABASE=<database>" as the control composes it. <server> is the name of a
// configured connection (its host, port, default database and default login), else
// "host[:port]" (port 5432 by default). An empty <database> is the connection's default, else
// the login's own. User and Password are the login; when both are empty the connection's
// default login is used.
//
// Queries. The statement is prepared first, so statement errors surface before anything runs
// (0x80040E14 with the server's message; several statements in one call are refused too). A
// query is copied, in one statement and so under one snapshot, into a temporary table of the
// record set's own session, numbered by a position key (the row's place in the result) with
// a unique index on it. That copy is the record set's consistent view: RecordCount is the
// number of rows copied, a Move to any position reads one window of rows by key (an index
// lookup, never the rows before it), and the client holds one window at a time. No snapshot
// stays open while the operator browses, so vacuum is never held back and the view never
// needs renewing; Close (or the end of the session) drops the copy. On a standby (read-only)
// the copy is a cursor WITH HOLD instead (pg_row_source.h). Each open record set holds one
// server connection. A connection lost while browsing raises 0x80004005 on the next window
// read.
// Result column names take the spelling the statement gives them where PostgreSQL folded an
// unquoted name to lower case ("SELECT Id" yields the field "Id").
//
// Writes: a statement without result columns. UPDATE and DELETE run in a transaction committed
// only when exactly one row changed, else rolled back and refused with 0x80040E38; INSERT and
// MERGE run in a transaction; any other command runs on its own. ODBC date and time escapes
// become typed literals: {d '...'} DATE '...', {t '...'} TIME '...', {ts '...'} TIMESTAMP '...'.
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

// The statement with its ODBC date and time escapes made typed literals (strings, quoted
// names and comments untouched). A malformed escape raises 0x80040E14.
std::string TranslateEscapesForPg(std::string_view sql);

}  // namespace tabulo::host::pg
