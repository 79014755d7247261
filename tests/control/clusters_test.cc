// The connection status panel, the DizuvAdar clusters of the host, and two controls sharing
// the process's data server (a change of the active server: failover_test).
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

host::ServerConfig Server(std::string name, std::map<std::string, std::string> sources = {}) {
  return host::ServerConfig{std::move(name), true, std::move(sources)};
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

TEST_F(ClustersTest, ClusterNamesEndWithAnEmptyEntry) {
  host::HostConfig config;
  config.clusters = {Cluster("North", kData, "C1", {Server("n1")}),
                     Cluster("North Log", kLogging, "C1"),
                     Cluster("South", kData, "C2", {Server("s1")})};
  InstallHost(config);
  TabuloCtl& outside = NewControl(/*in_host=*/false);
  bool data = true;
  Variant untouched("keep");
  EXPECT_EQ(outside.GetClusterNames(data, untouched), 0);
  EXPECT_EQ(untouched.AsString(), "keep");
  EXPECT_EQ(outside.GetAssociatedLoggingClusterName(), "");

  TabuloCtl& ctl = NewControl();
  // Data clusters, then logging clusters: the count and every entry of the array.
  for (auto [kind, count, listed] :
       {std::tuple(true, 2, "North|South|"), {false, 1, "North Log|"}}) {
    Variant names;
    EXPECT_EQ(ctl.GetClusterNames(kind, names), count);
    std::string joined;
    for (int32_t i = 0; i <= names.AsArray().UBound(1); ++i)
      joined += (i ? "|" : "") + names.AsArray().At(i).AsString();
    EXPECT_EQ(joined, listed);
  }
}

TEST_F(ClustersTest, ClusterNameFillsInTheFirstAndFindsItsLoggingCluster) {
  host::HostConfig config;
  config.clusters = {Cluster("North", kData, "C1", {Server("n1")}),
                     Cluster("South", kData, "C2", {Server("s1")}),
                     Cluster("North Log", kLogging, "C1"), Cluster("South Log", kLogging, "C2"),
                     Cluster("South Log 2", kLogging, "C2")};
  InstallHost(config);
  TabuloCtl& ctl = NewControl();
  EXPECT_EQ(ctl.ClusterName(), "North");
  EXPECT_EQ(ctl.GetAssociatedLoggingClusterName(), "North Log");
  ctl.SetClusterName("South");
  EXPECT_EQ(ctl.GetAssociatedLoggingClusterName(), "South Log 2");  // the last one wins
  ctl.SetClusterName("south");
  EXPECT_EQ(ctl.GetAssociatedLoggingClusterName(), "");
}

TEST_F(ClustersTest, UnknownClusterFindsOnlyALoggingClusterOfThePlaceholderCoordinator) {
  host::HostConfig config;
  config.clusters = {Cluster("North", kData, "C1", {Server("n1")}),
                     Cluster("North Log", kLogging, "C1"), Cluster("Orphans", kLogging, "- - - -"),
                     Cluster("Blank", kLogging, "")};
  InstallHost(config);
  TabuloCtl& ctl = NewControl();
  ctl.SetClusterName("Nowhere");
  EXPECT_EQ(ctl.GetAssociatedLoggingClusterName(), "Orphans");
  ctl.SetClusterName("North");
  EXPECT_EQ(ctl.GetAssociatedLoggingClusterName(), "North Log");
  // Without any DizuvAdar cluster the name stays empty, and again only the placeholder matches.
  host::HostConfig logging_only;
  logging_only.clusters = {Cluster("Blank", kLogging, ""), Cluster("Orphans", kLogging, "- - - -")};
  InstallHost(logging_only);
  TabuloCtl& other = NewControl();
  EXPECT_EQ(other.ClusterName(), "");
  EXPECT_EQ(other.GetAssociatedLoggingClusterName(), "Orphans");
}

TEST_F(ClustersTest, EndingOneOfTwoControlsDisconnectsTheOtherUntilItsNextRefresh) {
  InstallDefaultHost();
  std::filesystem::path path = OrdersDb(20);
  TabuloCtl& first = Configured(path, "SELECT Id FROM Orders ORDER BY Id");
  TabuloCtl& second = Configured(path, "SELECT Customer FROM Orders ORDER BY Id");
  EnterRunMode();
  ASSERT_NE(g_DataServer, nullptr);
  first.Terminate();
  EXPECT_EQ(g_DataServer, nullptr);
  // The other control still shows its window and its record set stays usable.
  second.ScrollBar.SetValue(5);
  EXPECT_EQ(second.Grid.TextMatrix(1, 1), "C6");

  second.Refresh();
  EXPECT_NE(g_DataServer, nullptr);
  EXPECT_EQ(second.sBar.Panels(2).text(), "Connected@TESTBOX");
  EXPECT_EQ(second.NumberRows(), 20);
}

}  // namespace
}  // namespace tabulo::control::testing
