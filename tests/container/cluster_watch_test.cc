// The host's periodic server check: it runs only when a server has its own PostgreSQL
// connection, and each tick lets the cluster follow the probed primary.
#include <gtest/gtest.h>

#include "container/host_setup.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {
namespace {

TEST(ClusterWatchTest, TicksFollowThePrimaryOnlyWhereServersHaveConnections) {
  for (bool with_connection : {true, false}) {
    SCOPED_TRACE(with_connection);
    HostInstallation host;
    host.config.clusters.push_back({"P", host::kClusterTypeDizuvAdar, "", "a", {}});
    for (const char* name : {"a", "b"}) {
      host::ServerConfig server;
      server.name = name;
      if (with_connection) server.postgresql["plant"] = {"h", 1, "", "", ""};
      host.config.clusters[0].servers.push_back(server);
    }
    host.registry = host::ClusterRegistry::Create(host.config, nullptr);
    platform::VirtualClock clock;
    platform::EventLoop loop(clock);
    std::string primary = "a";
    int probes = 0;
    WatchClusterServers(
        loop, host,
        [&](const host::HostConfig&, const host::ServerConfig& s) {
          ++probes;
          return s.name == primary ? host::ServerRole::kPrimary : host::ServerRole::kStandby;
        },
        1000);
    primary = "b";
    loop.RunFor(999);
    EXPECT_EQ(host.registry->ActiveServerName("P"), "a");
    loop.RunFor(1);
    EXPECT_EQ(host.registry->ActiveServerName("P"), with_connection ? "b" : "a");
    EXPECT_EQ(probes, with_connection ? 2 : 0);
  }
}

}  // namespace
}  // namespace tabulo::container
