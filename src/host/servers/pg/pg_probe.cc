#include "host/servers/pg/pg_probe.h"

#include "host/servers/pg/pg_connection.h"

namespace tabulo::host::pg {

ServerRole ProbePgServer(const HostConfig&, const ServerConfig& server) {
  if (server.postgresql.empty()) return ServerRole::kNotChecked;
  const PgConnectionConfig& c = server.postgresql.begin()->second;
  try {
    Conn conn = Connect({c.host, c.port, c.database, c.user, c.password, c.host, 2});
    Result result = Exec(conn.get(), "SELECT pg_catalog.pg_is_in_recovery()", c.host);
    return std::string(PQgetvalue(result.get(), 0, 0)) == "t" ? ServerRole::kStandby
                                                              : ServerRole::kPrimary;
  } catch (const platform::ComError&) {
    return ServerRole::kUnreachable;
  }
}

}  // namespace tabulo::host::pg
