// The display's health probe (serve_health.h).
#include "container/serve_health.h"

#include "host/cluster/cluster_manager.h"
#include "host/servers/pg/pg_probe.h"

namespace tabulo::container {
namespace {

host::ServerRole ProbeServer(const host::HostConfig& config, const host::ServerConfig& server) {
  if (!server.postgresql.empty()) return host::pg::ProbePgServer(config, server);
  const host::PgConnectionMap connections = host::PgConnectionsOf(config, server);
  if (connections.empty()) return host::ServerRole::kNotChecked;
  host::ServerConfig own = server;
  own.postgresql = {*connections.begin()};
  return host::pg::ProbePgServer(config, own);
}

}  // namespace

ServeHealth::ServeHealth(const host::HostConfig& config, platform::Clock& clock,
                         host::ServerProbe probe, int64_t cache_ms)
    : clock_(clock),
      probe_(probe ? std::move(probe) : host::ServerProbe(ProbeServer)),
      cache_ms_(cache_ms),
      registry_(host::ClusterRegistry::Create(config, nullptr)) {
  for (const host::ClusterConfig& cluster : config.clusters) {
    if (cluster.type != host::kClusterTypeDizuvAdar || cluster.servers.empty()) continue;
    state_.cluster = cluster.name;
    break;
  }
}

HealthState ServeHealth::Check() {
  std::lock_guard lock(mu_);
  const int64_t now = clock_.NowMillis();
  if (checked_ && now - checked_at_ < cache_ms_) return state_;
  host::CheckClusterServers(*registry_, probe_);
  checked_ = true;
  checked_at_ = clock_.NowMillis();
  if (state_.cluster.empty()) return state_;
  const std::string active = registry_->ActiveServerName(state_.cluster);
  if (!state_.active.empty() && active != state_.active) ++state_.failovers;
  state_.active = active;
  state_.database_ok = true;
  for (const host::ClusterConfig& cluster : registry_->config().clusters)
    for (const host::ServerConfig& server : cluster.servers)
      if (cluster.name == state_.cluster && server.name == active)
        state_.database_ok = server.reachable;
  return state_;
}

}  // namespace tabulo::container
