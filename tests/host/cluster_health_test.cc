// CheckClusterServers with a probe that reports given roles: which server becomes active, which
// are reachable, and which names the managers are told.
#include <gtest/gtest.h>

#include "host/cluster_health.h"

namespace tabulo::host {
namespace {

using R = ServerRole;

TEST(ClusterHealthTest, ThePrimaryBecomesActive) {
  struct Row {
    const char* active;
    std::vector<R> roles;  // of servers a, b, c
    const char* now_active;
    std::vector<bool> reachable;
    std::vector<std::string> events;
  } rows[] = {
      {"a", {R::kPrimary, R::kStandby, R::kStandby}, "a", {true, true, true}, {}},
      {"a", {R::kUnreachable, R::kStandby, R::kPrimary}, "c", {false, true, true}, {"c"}},
      {"b", {R::kPrimary, R::kStandby, R::kUnreachable}, "a", {true, true, false}, {"a"}},
      {"a", {R::kUnreachable, R::kStandby, R::kStandby}, "a", {false, true, true}, {"a"}},
      {"a", {R::kStandby, R::kPrimary, R::kPrimary}, "b", {true, true, true}, {"b"}},
      {"a", {R::kNotChecked, R::kPrimary, R::kStandby}, "a", {true, true, true}, {}},
      {"a", {R::kPrimary, R::kNotChecked, R::kUnreachable}, "a", {true, true, false}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.active) + " -> " + row.now_active);
    HostConfig config;
    config.clusters.push_back({"P", kClusterTypeDizuvAdar, "", row.active, {}});
    for (const char* name : {"a", "b", "c"}) {
      ServerConfig server;
      server.name = name;
      config.clusters[0].servers.push_back(server);
    }
    auto registry = ClusterRegistry::Create(config, nullptr);
    auto manager = registry->NewManager();
    manager->GetClusterList().SelectCluster("P");
    std::vector<std::string> events;
    manager->OnActiveServerChange = [&](const std::string& name) { events.push_back(name); };
    CheckClusterServers(*registry, [&](const HostConfig&, const ServerConfig& s) {
      return row.roles[static_cast<size_t>(s.name[0] - 'a')];
    });
    EXPECT_EQ(registry->ActiveServerName("P"), row.now_active);
    std::vector<bool> reachable;
    for (const ServerItem& s : manager->GetClusterList().Servers())
      reachable.push_back(s.Reachable);
    EXPECT_EQ(reachable, row.reachable);
    EXPECT_EQ(events, row.events);
  }
}

}  // namespace
}  // namespace tabulo::host
