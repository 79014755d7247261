// The connection status panel and the DizuvAdar clusters of the host (a change of the active
// server, and the end of one of two controls sharing the data server: failover_test).
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using platform::Variant;

host::ClusterConfig Cluster(std::string name, int type, std::string coordinator,
                            std::vector<host::ServerConfig> servers = {}) {
  host::ClusterConfig c;
  c.name = std::move(name);
  c.type = type;
  c.coordinator = std::move(coordinator);
  c.servers = std::move(servers);
  return c;
}

host::ServerConfig Server(std::string name) {
  return host::ServerConfig{std::move(name), true, {}};
}

constexpr int kData = host::kClusterTypeDizuvAdar;
constexpr int kLogging = host::kClusterTypeLogging;

class ClustersTest : public HostedControlTest {};

TEST_F(ClustersTest, UnreadableMachineNameShowsUnknown) {
  InstallFakeHost(3)->machine_name_fails = true;
  TabuloCtl& ctl = Browse("any", "SELECT Id FROM T");
  EXPECT_EQ(ctl.NumberRows(), 3);
  EXPECT_EQ(ctl.sBar.Panels(2).text(), "Connected@UNKNOWN");
}

TEST_F(ClustersTest, ClusterNamesAndTheLoggingClusterOfEachName) {
  host::HostConfig config;
  config.clusters = {Cluster("North", kData, "C1", {Server("n1")}),
                     Cluster("North Log", kLogging, "C1"),
                     Cluster("South", kData, "C2", {Server("s1")}),
                     Cluster("South Log", kLogging, "C2"),
                     Cluster("South Log 2", kLogging, "C2"),
                     Cluster("Orphans", kLogging, "- - - -"),
                     Cluster("Blank", kLogging, "")};
  InstallHost(config);
  TabuloCtl& outside = NewControl(/*in_host=*/false);
  bool data = true;
  Variant untouched("keep");
  EXPECT_EQ(outside.GetClusterNames(data, untouched), 0);
  EXPECT_EQ(untouched.AsString(), "keep");
  EXPECT_EQ(outside.GetAssociatedLoggingClusterName(), "");

  TabuloCtl& ctl = NewControl();
  // Data clusters, then logging clusters: the count and every entry, the last one empty.
  for (auto [kind, count, listed] :
       {std::tuple(true, 2, "North|South|"),
        {false, 5, "North Log|South Log|South Log 2|Orphans|Blank|"}}) {
    Variant names;
    EXPECT_EQ(ctl.GetClusterNames(kind, names), count);
    std::string joined;
    for (int32_t i = 0; i <= names.AsArray().UBound(1); ++i)
      joined += (i ? "|" : "") + names.AsArray().At(i).AsString();
    EXPECT_EQ(joined, listed);
  }
  // The first data cluster fills in; of several logging clusters of the coordinator the last
  // wins; a name that is no cluster (names are case-sensitive) finds only the placeholder's.
  EXPECT_EQ(ctl.ClusterName(), "North");
  const std::pair<const char*, const char*> kLogs[] = {{"North", "North Log"},
                                                       {"South", "South Log 2"},
                                                       {"south", "Orphans"},
                                                       {"Nowhere", "Orphans"}};
  for (const auto& [name, log] : kLogs) {
    ctl.SetClusterName(name);
    EXPECT_EQ(ctl.GetAssociatedLoggingClusterName(), log) << name;
  }
  // Without any DizuvAdar cluster the name stays empty, and again only the placeholder matches.
  host::HostConfig logging_only;
  logging_only.clusters = {Cluster("Blank", kLogging, ""), Cluster("Orphans", kLogging, "- - - -")};
  InstallHost(logging_only);
  TabuloCtl& other = NewControl();
  EXPECT_EQ(other.ClusterName(), "");
  EXPECT_EQ(other.GetAssociatedLoggingClusterName(), "Orphans");
}

}  // namespace
}  // namespace tabulo::control::testing
