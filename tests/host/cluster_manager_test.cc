// Cluster lists by type, server selection, the active-server-change notifications, and which
// server a health check makes active.
#include "host/cluster_manager.h"

#include <gtest/gtest.h>

#include "host/cluster_health.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using Names = std::vector<std::string>;
using testing::Raised;

class ClusterManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<ClusterRegistry> registry_ =
      ClusterRegistry::Create(ParseHostConfig(R"({"format": 1, "clusters": [
      {"name": "Line 1", "coordinator": "North", "servers": [{"name": "alpha"}, {"name": "beta"}]},
      {"name": "Line 2", "coordinator": "South", "servers": []},
      {"name": "North Logging", "type": "Logging", "coordinator": "North"},
      {"name": "South Logging", "type": "Logging", "coordinator": "South"}]})",
                                              "test.json"),
                              nullptr);
  std::unique_ptr<ClusterManager> a_ = registry_->NewManager();
  std::unique_ptr<ClusterManager> b_ = registry_->NewManager();
  Names seen_a_, seen_b_;

  void Listen(const std::string& cluster_a, const std::string& cluster_b) {
    a_->GetClusterList().SelectCluster(cluster_a);
    b_->GetClusterList().SelectCluster(cluster_b);
    a_->OnActiveServerChange = [&](const std::string& s) { seen_a_.push_back(s); };
    b_->OnActiveServerChange = [&](const std::string& s) { seen_b_.push_back(s); };
  }
};

// Name@Coordinator of each cluster of the list's type, or Name+ / Name- for each server of the
// selected cluster, active or not.
Names Listed(ClusterList& list, bool servers = false) {
  Names out;
  if (servers) {
    for (const auto& s : list.Servers()) out.push_back(s.Name + (s.Active ? "+" : "-"));
  } else {
    for (const auto& c : list.Clusters()) out.push_back(c.Name + "@" + c.Coordinator);
  }
  return out;
}

TEST_F(ClusterManagerTest, ListsClustersByTypeAndServersOfTheSelectedClusterOnly) {
  ClusterList& list = a_->GetClusterList();
  a_->Reload(0);
  list.SetClusterType(kClusterTypeDizuvAdar);
  EXPECT_EQ(Listed(list), (Names{"Line 1@North", "Line 2@South"}));
  list.SelectCluster("Line 1");
  EXPECT_EQ(Listed(list, true), (Names{"alpha+", "beta-"}));
  list.SelectCluster("Line 2");
  EXPECT_EQ(Listed(list, true), Names{});
  // A logging cluster is not a DizuvAdar cluster: selecting it with type 4 selects nothing.
  list.SelectCluster("North Logging");
  EXPECT_EQ(Listed(list, true), Names{});
  list.SelectCluster("");
  Raised([&] { a_->ActiveDataServer(); });
  list.SetClusterType(kClusterTypeLogging);
  EXPECT_EQ(Listed(list), (Names{"North Logging@North", "South Logging@South"}));
  list.SetClusterType(2);
  EXPECT_EQ(Listed(list), Names{});
}

TEST_F(ClusterManagerTest, ActiveServerChangeNotifiesManagersOfThatClusterOnce) {
  Listen("Line 1", "Line 2");
  EXPECT_EQ(registry_->ActiveServerName("Line 1"), "alpha");
  registry_->SetActiveServer("Line 1", "beta");
  EXPECT_EQ(seen_a_, Names{"beta"});
  EXPECT_EQ(seen_b_, Names{});
  EXPECT_EQ(registry_->ActiveServerName("Line 1"), "beta");
  Raised([&] { registry_->SetActiveServer("Line 1", "gamma"); });
  Raised([&] { registry_->SetActiveServer("Nope", "alpha"); });
}

TEST_F(ClusterManagerTest, ManagerDestroyedInItsOwnHandlerIsSafe) {
  Listen("Line 1", "Line 1");
  a_->OnActiveServerChange = [&](const std::string&) { b_.reset(); };
  registry_->SetActiveServer("Line 1", "beta");
  EXPECT_EQ(seen_b_, Names{});
}

TEST_F(ClusterManagerTest, ReachabilityOfTheActiveServerNotifiesAndAnUnreachableOneIsNamed) {
  Listen("Line 1", "Line 2");
  registry_->SetServerReachable("Line 1", "beta", false);  // not the active one
  EXPECT_EQ(seen_a_, Names{});
  registry_->SetServerReachable("Line 1", "alpha", false);
  registry_->SetServerReachable("Line 1", "alpha", false);  // no change, no event
  EXPECT_EQ(seen_a_, Names{"alpha"});
  const platform::ComError e = Raised([&] { a_->ActiveDataServer(); });
  EXPECT_EQ(e.code(), 0x80004005u);
  EXPECT_NE(e.description().find("alpha"), std::string::npos);
  registry_->SetServerReachable("Line 1", "alpha", true);
  EXPECT_EQ(seen_a_, (Names{"alpha", "alpha"}));
  Raised([&] { registry_->SetServerReachable("Line 1", "gamma", true); });
}

TEST(ClusterManager, EmbeddedDefaultHasTheLocalClusterAndItsLoggingCluster) {
  auto registry = ClusterRegistry::Create(DefaultHostConfig("PLANT-PC"), nullptr);
  auto m = registry->NewManager();
  ClusterList& list = m->GetClusterList();
  m->Reload(0);
  list.SetClusterType(kClusterTypeDizuvAdar);
  EXPECT_EQ(Listed(list), Names{"Local@Local"});
  list.SelectCluster("Local");
  EXPECT_EQ(Listed(list, true), Names{"PLANT-PC+"});
  list.SetClusterType(kClusterTypeLogging);
  EXPECT_EQ(Listed(list), Names{"Local Logging@Local"});
}

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
