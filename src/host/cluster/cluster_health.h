// Health checks of a cluster's servers: which server is reachable and which one accepts
// writes (the primary). The host runs a check at start and whenever it suspects a change (a
// timer, a failed statement); the check makes the primary active, so that when the primary
// fails and a standby is promoted the cluster follows, and every manager of the cluster raises
// OnActiveServerChange — the controls reconnect and query again.
#pragma once

#include <functional>

#include "host/cluster/cluster_manager.h"

namespace tabulo::host {

enum class ServerRole {
  kNotChecked,   // the probe knows no way to check this server: left as it is
  kUnreachable,  // cannot be connected to
  kStandby,      // reachable, read-only (in recovery)
  kPrimary,      // reachable, accepts writes
};

using ServerProbe = std::function<ServerRole(const HostConfig&, const ServerConfig&)>;

// Probes every server of every data cluster and updates `registry`: reachability of each
// checked server, and the active server — kept while it is the primary, else the first
// primary of the cluster (when there is none the active server stays, marked as probed).
// A change of active server notifies once (the old server's reachability changes after the
// switch, when it is no longer active).
void CheckClusterServers(ClusterRegistry& registry, const ServerProbe& probe);

}  // namespace tabulo::host
