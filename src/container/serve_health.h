// Whether the display's data server answers, for GET /healthz and the figures: the servers
// of the host configuration's data clusters probed (a PostgreSQL server by connecting with a
// 2-second limit and asking whether it is in recovery), the active server followed to the
// primary as the controls follow it (cluster_health.h), a change of active server counted as
// a failover. A probe's answer is kept `cache_ms` on the display's clock, and one probe runs
// at a time, so that however often health is asked the servers are reached now and then
// only. A server the probe has no way to check (a SQLite file) counts as answering.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "host/cluster/cluster_health.h"
#include "host/cluster/host_config.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {

struct HealthState {
  bool database_ok = true;
  std::string cluster, active;  // the first data cluster and its active server
  uint64_t failovers = 0;       // changes of active server seen since the start
};

class ServeHealth {
 public:
  // `probe` null: PostgreSQL servers are probed through their own connection, or else the
  // first connection the host configuration gives them.
  ServeHealth(const host::HostConfig& config, platform::Clock& clock, host::ServerProbe probe = {},
              int64_t cache_ms = 2000);
  HealthState Check();

 private:
  std::mutex mu_;
  platform::Clock& clock_;
  host::ServerProbe probe_;
  int64_t cache_ms_;
  std::shared_ptr<host::ClusterRegistry> registry_;
  HealthState state_;
  bool checked_ = false;
  int64_t checked_at_ = 0;
};

}  // namespace tabulo::container
