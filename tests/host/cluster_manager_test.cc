#include "host/cluster_manager.h"

#include <gtest/gtest.h>

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

HostConfig TwoServerConfig() {
  return ParseHostConfig(R"({"format": 1, "clusters": [
      {"name": "Line 1", "coordinator": "North", "servers": [{"name": "alpha"}, {"name": "beta"}]},
      {"name": "Line 2", "coordinator": "South", "servers": []},
      {"name": "North Logging", "type": "Logging", "coordinator": "North"},
      {"name": "South Logging", "type": "Logging", "coordinator": "South"}]})",
                         "test.json");
}

std::vector<std::string> Names(const std::vector<ClusterItem>& items) {
  std::vector<std::string> out;
  for (const ClusterItem& i : items) out.push_back(i.Name + "@" + i.Coordinator);
  return out;
}

TEST(ClusterManager, ListsClustersByTypeInConfigurationOrder) {
  auto registry = ClusterRegistry::Create(TwoServerConfig(), nullptr);
  auto m = registry->NewManager();
  ClusterList& list = m->GetClusterList();
  m->Reload(0);
  list.SetClusterType(kClusterTypeDizuvAdar);
  EXPECT_EQ(Names(list.Clusters()), (std::vector<std::string>{"Line 1@North", "Line 2@South"}));
  list.SetClusterType(kClusterTypeLogging);
  EXPECT_EQ(Names(list.Clusters()),
            (std::vector<std::string>{"North Logging@North", "South Logging@South"}));
  list.SetClusterType(2);
  EXPECT_TRUE(list.Clusters().empty());
}

TEST(ClusterManager, SelectionGivesServersOfTheSelectedClusterOnly) {
  auto registry = ClusterRegistry::Create(TwoServerConfig(), nullptr);
  auto m = registry->NewManager();
  ClusterList& list = m->GetClusterList();
  list.SetClusterType(kClusterTypeDizuvAdar);
  list.SelectCluster("Line 1");
  auto servers = list.Servers();
  ASSERT_EQ(servers.size(), 2u);
  EXPECT_TRUE(servers[0].Active);
  EXPECT_FALSE(servers[1].Active);
  list.SelectCluster("Line 2");
  EXPECT_TRUE(list.Servers().empty());
  // A logging cluster is not a DizuvAdar cluster: selecting it with type 4 selects nothing.
  list.SelectCluster("North Logging");
  EXPECT_TRUE(list.Servers().empty());
  list.SelectCluster("");
  EXPECT_THROW(m->ActiveDataServer(), platform::ComError);
}

TEST(ClusterManager, ActiveServerChangeNotifiesManagersOfThatClusterOnly) {
  auto registry = ClusterRegistry::Create(TwoServerConfig(), nullptr);
  auto a = registry->NewManager();
  auto b = registry->NewManager();
  a->GetClusterList().SelectCluster("Line 1");
  b->GetClusterList().SelectCluster("Line 2");
  std::vector<std::string> seen_a, seen_b;
  a->OnActiveServerChange = [&](const std::string& s) { seen_a.push_back(s); };
  b->OnActiveServerChange = [&](const std::string& s) { seen_b.push_back(s); };
  EXPECT_EQ(registry->ActiveServerName("Line 1"), "alpha");
  registry->SetActiveServer("Line 1", "beta");
  registry->SetActiveServer("Line 1", "beta");  // no change, no event
  EXPECT_EQ(seen_a, (std::vector<std::string>{"beta"}));
  EXPECT_TRUE(seen_b.empty());
  EXPECT_EQ(registry->ActiveServerName("Line 1"), "beta");
  EXPECT_THROW(registry->SetActiveServer("Line 1", "gamma"), platform::ComError);
  EXPECT_THROW(registry->SetActiveServer("Nope", "alpha"), platform::ComError);
}

TEST(ClusterManager, ManagerDestroyedInItsOwnHandlerIsSafe) {
  auto registry = ClusterRegistry::Create(TwoServerConfig(), nullptr);
  auto a = registry->NewManager();
  auto b = registry->NewManager();
  a->GetClusterList().SelectCluster("Line 1");
  b->GetClusterList().SelectCluster("Line 1");
  int b_events = 0;
  a->OnActiveServerChange = [&](const std::string&) { b.reset(); };
  b->OnActiveServerChange = [&](const std::string&) { ++b_events; };
  registry->SetActiveServer("Line 1", "beta");
  EXPECT_EQ(b_events, 0);
}

TEST(ClusterManager, ReachabilityOfTheActiveServerNotifiesButOfAnotherDoesNot) {
  auto registry = ClusterRegistry::Create(TwoServerConfig(), nullptr);
  auto m = registry->NewManager();
  m->GetClusterList().SelectCluster("Line 1");
  std::vector<std::string> seen;
  m->OnActiveServerChange = [&](const std::string& s) { seen.push_back(s); };
  registry->SetServerReachable("Line 1", "beta", false);  // not the active one
  EXPECT_TRUE(seen.empty());
  registry->SetServerReachable("Line 1", "alpha", false);
  registry->SetServerReachable("Line 1", "alpha", false);  // no change, no event
  EXPECT_EQ(seen, (std::vector<std::string>{"alpha"}));
  EXPECT_THROW(m->ActiveDataServer(), platform::ComError);
  registry->SetServerReachable("Line 1", "alpha", true);
  EXPECT_EQ(seen, (std::vector<std::string>{"alpha", "alpha"}));
  EXPECT_THROW(registry->SetServerReachable("Line 1", "gamma", true), platform::ComError);
}

TEST(ClusterManager, UnreachableActiveServerGivesAnErrorNamingIt) {
  auto registry = ClusterRegistry::Create(TwoServerConfig(), nullptr);
  auto m = registry->NewManager();
  m->GetClusterList().SelectCluster("Line 1");
  registry->SetServerReachable("Line 1", "alpha", false);
  try {
    m->ActiveDataServer();
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.code(), 0x80004005u);
    EXPECT_NE(e.description().find("alpha"), std::string::npos);
  }
}

}  // namespace
}  // namespace tabulo::host

namespace tabulo::host {
namespace {

TEST(ClusterManager, EmbeddedDefaultHasTheLocalClusterAndItsLoggingCluster) {
  auto registry = ClusterRegistry::Create(DefaultHostConfig("PLANT-PC"), nullptr);
  auto m = registry->NewManager();
  ClusterList& list = m->GetClusterList();
  m->Reload(0);
  list.SetClusterType(kClusterTypeDizuvAdar);
  EXPECT_EQ(Names(list.Clusters()), (std::vector<std::string>{"Local@Local"}));
  list.SelectCluster("Local");
  ASSERT_EQ(list.Servers().size(), 1u);
  EXPECT_EQ(list.Servers()[0].Name, "PLANT-PC");
  EXPECT_TRUE(list.Servers()[0].Active);
  list.SetClusterType(kClusterTypeLogging);
  EXPECT_EQ(Names(list.Clusters()), (std::vector<std::string>{"Local Logging@Local"}));
}

}  // namespace
}  // namespace tabulo::host
