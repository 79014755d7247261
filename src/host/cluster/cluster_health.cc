#include "host/cluster/cluster_health.h"

#include <map>

namespace tabulo::host {

void CheckClusterServers(ClusterRegistry& registry, const ServerProbe& probe) {
  // The configuration is copied: switching servers changes the registry's own.
  const HostConfig config = registry.config();
  for (const ClusterConfig& cluster : config.clusters) {
    if (cluster.type != kClusterTypeDizuvAdar) continue;
    std::map<std::string, ServerRole> roles;
    std::string primary;
    for (const ServerConfig& server : cluster.servers) {
      const ServerRole role = probe(config, server);
      if (role == ServerRole::kNotChecked) continue;
      roles[server.name] = role;
      if (role == ServerRole::kPrimary && primary.empty()) primary = server.name;
    }
    const std::string active = registry.ActiveServerName(cluster.name);
    auto mark = [&](const std::string& name) {
      registry.SetServerReachable(cluster.name, name, roles[name] != ServerRole::kUnreachable);
    };
    for (const auto& [name, role] : roles)
      if (name != active) mark(name);
    const bool switching = !primary.empty() && primary != active && roles.count(active) &&
                           roles[active] != ServerRole::kPrimary;
    if (switching) registry.SetActiveServer(cluster.name, primary);
    if (roles.count(active)) mark(active);
  }
}

}  // namespace tabulo::host
