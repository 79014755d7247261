// The row source of the key path (pg_key_plan.h, pg_data_server.h). Internal to host/servers/pg.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/row_source.h"
#include "host/servers/pg/pg_connection.h"
#include "host/servers/pg/pg_key_plan.h"

namespace tabulo::host::pg {

// Loads the query planned as `plan` on `conn` (which PlanKeyPath prepared) and serves it: the
// count and the first window under one exported snapshot, the keys collected by a pass on a
// second connection to `endpoint` that imports that snapshot, later windows read by key.
// Returns null, with `conn` left idle and usable, when the second connection cannot import
// the snapshot (the caller then copies). Raises ComError when the load itself fails.
std::unique_ptr<RowSource> OpenKeyPath(Conn& conn, const Endpoint& endpoint, const KeyPlan& plan,
                                       std::vector<ColumnInfo> columns);

}  // namespace tabulo::host::pg
