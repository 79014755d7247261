// libpq connections of the PostgreSQL data server and the mapping of PostgreSQL failures to the
// data server's error numbers (data_server.h). Internal to host/servers/pg.
#pragma once

#include <libpq-fe.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::host::pg {

inline constexpr const char* kErrorSource = "DataServer";

struct ConnCloser {
  void operator()(PGconn* conn) const;  // PQfinish, and counted
};
struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;
using Result = std::unique_ptr<PGresult, ResultClearer>;

// Where and as whom to connect.
struct Endpoint {
  std::string host;  // a name, an address or a socket folder
  int port = 5432;
  std::string database;
  std::string user;
  std::string password;
  std::string label;                   // how messages name the server ("host:port")
  int connect_timeout = 10;            // seconds
  std::string application = "tabulo";  // how the server lists the connection
};

// Opens a connection. The session's start pins what the statements' text and the values'
// text rely on, over whatever the role or database sets (the startup's settings outrank
// both): client_encoding UTF8 and standard_conforming_strings on (a literal means what it
// says: a backslash is an ordinary character, and no multibyte character can hide a quote),
// DateStyle ISO, IntervalStyle iso_8601, extra_float_digits 3 (floats read back exactly),
// bytea_output hex and lc_monetary C (the forms ValueOf parses). A server whose session does
// not hold the first two is refused. Raises 0x80040E4D when the server refuses the login,
// 0x80004005 when the server or database cannot be reached or used.
Conn Connect(const Endpoint& endpoint);

// Connections of the process open now, and opened since its start (Connect's, whether the
// login succeeded or not).
int64_t OpenConnections();
int64_t OpenedConnections();

// The process's idle connections, by login and application name (Endpoint::application): a
// command's, a closed record set's, a key pass's and its seeking connection's, each taken by
// the next of its kind instead of a new login (a backend started and a password exchange,
// while a load's count wants the server's cores). At most IdleLimit() are kept a login and
// name; more are closed as they come back.
// An idle connection of `endpoint`, or none.
Conn TakeIdle(const Endpoint& endpoint);
// Keeps `conn` idle when it is healthy, outside a transaction and with the settings of its
// start; closes it otherwise.
void KeepIdle(const Endpoint& endpoint, Conn conn);
// Ends the transaction `conn` may be in (a cancelled statement's too) and discards what the
// session made (prepared statements, settings, temporary tables, locks), then keeps it idle.
void ResetAndKeepIdle(const Endpoint& endpoint, Conn conn);
int64_t IdleConnections();
void SetIdleLimit(size_t per_login);

// A connection of `endpoint` with `sql` run on it: an idle one when there is one (replaced
// by a new one when it died while idle: nothing ran), else a new one. Raises the statement's
// error.
Conn TakeAndRun(const Endpoint& endpoint, const std::string& sql);

// The name and value of a pinned setting the session no longer holds (a statement may have
// changed it), or the empty text when all hold. Uses what the server reports; no round trip.
std::string UnpinnedSetting(PGconn* conn);

// Makes every later transaction of the session read-only (a record set's connection), and
// makes it so again when a statement has turned the default off.
void KeepReadOnly(PGconn* conn, const std::string& label);

// While one lives on this thread, a refusal for writing in a read-only transaction (SQLSTATE
// 25006) is the statement's fault (0x80040E14: a query that writes) rather than a server that
// takes no writes (0x80004005).
class QueryScope {
 public:
  QueryScope();
  ~QueryScope();
  QueryScope(const QueryScope&) = delete;
  QueryScope& operator=(const QueryScope&) = delete;

 private:
  bool outer_;
};

// The error of a failed result (or of a connection that failed without one): connection and
// resource failures 0x80004005, refused logins 0x80040E4D, everything else 0x80040E14 with the
// server's own message.
platform::ComError ErrorOf(PGconn* conn, const PGresult* result, const std::string& label);

// Runs `sql` (no parameters, one statement or several); raises ErrorOf unless it succeeded.
Result Exec(PGconn* conn, const std::string& sql, const std::string& label);

// A statement sent in a pipeline: a query (with `param` bound to $1 when not null), or, when
// `prepare_as` is not null, the statement prepared under that name ("" the unnamed one).
struct Sent {
  std::string_view sql;
  const char* param = nullptr;
  const char* prepare_as = nullptr;
};

// The results of `sent`, sent at once and so in one round trip; fewer when the connection
// failed. A statement after a failed one yields PGRES_PIPELINE_ABORTED.
std::vector<Result> Pipelined(PGconn* conn, std::initializer_list<Sent> sent);
// The results of a synced pipeline up to its sync point (fewer when the connection broke).
std::vector<Result> PipelineResults(PGconn* conn);

// True when `results` are `count` successes.
bool AllSucceeded(const std::vector<Result>& results, size_t count);

// `name` as a quoted identifier.
std::string QuoteName(std::string_view name);

}  // namespace tabulo::host::pg
