// The cluster health probe of servers with a PostgreSQL connection (cluster_health.h): connects
// with the server's first own connection (its host, port, database and login) and asks
// pg_is_in_recovery(), waiting at most 2 seconds for the connection. Servers without an own
// connection are not checked.
#pragma once

#include "host/cluster/cluster_health.h"

namespace tabulo::host::pg {

ServerRole ProbePgServer(const HostConfig& config, const ServerConfig& server);

}  // namespace tabulo::host::pg
