// libpq connections of the PostgreSQL data server and the mapping of PostgreSQL failures to the
// data server's error numbers (data_server.h). Internal to host/pg.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/values/com_error.h"

namespace tabulo::host::pg {

inline constexpr const char* kErrorSource = "DataServer";

struct ConnCloser {
  void operator()(PGconn* conn) const { PQfinish(conn); }
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

// Opens a connection (client encoding UTF-8, ISO dates). Raises 0x80040E4D when the server
// refuses the login, 0x80004005 when the server or database cannot be reached or used.
Conn Connect(const Endpoint& endpoint);

// The error of a failed result (or of a connection that failed without one): connection and
// resource failures 0x80004005, refused logins 0x80040E4D, everything else 0x80040E14 with the
// server's own message.
platform::ComError ErrorOf(PGconn* conn, const PGresult* result, const std::string& label);

// Runs `sql` (no parameters, one statement or several); raises ErrorOf unless it succeeded.
Result Exec(PGconn* conn, const std::string& sql, const std::string& label);

// `name` as a quoted identifier.
std::string QuoteName(std::string_view name);

}  // namespace tabulo::host::pg
