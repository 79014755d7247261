// The DizuvAdar clusters of the host: failover inside one cluster of two servers, each with its
// own copy of the data, which the controls follow; the one-time no-cluster message; the names.
#include <fstream>

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

class FailoverTest : public HostedControlTest {
 protected:
  // The host configuration file: the cluster "Plant" of ALPHA and BETA, each with its own
  // file behind the data source name "Plant" (relative to the file's folder).
  void SetUp() override {
    TestDb(folder_ / "alpha.db")
        .Exec("CREATE TABLE T(v VARCHAR(20)); INSERT INTO T VALUES('alpha 1'),('alpha 2')");
    TestDb(folder_ / "beta.db")
        .Exec(
            "CREATE TABLE T(v VARCHAR(20)); "
            "INSERT INTO T VALUES('beta 1'),('beta 2'),('beta 3')");
    std::filesystem::path file = folder_ / "host.json";
    std::ofstream(file) << R"({
      "format": 1,
      "clusters": [
        { "name": "Plant", "type": "DizuvAdar", "coordinator": "North",
          "servers": [
            { "name": "ALPHA", "data_sources": { "Plant": "alpha.db" } },
            { "name": "BETA", "data_sources": { "Plant": "beta.db" } } ] },
        { "name": "Plant Logging", "type": "Logging", "coordinator": "North" } ] })";
    InstallHost(host::LoadHostConfig(file.string()));
  }

  TabuloCtl& PlantControl(bool auto_refresh = false) {
    return Configured("Plant", "SELECT v FROM T ORDER BY v", auto_refresh);
  }

  const std::string alpha_ = "alpha 1, alpha 2, Connected@ALPHA";
  const std::string beta_ = "beta 1, beta 2, beta 3, Connected@BETA";
};

TEST_F(FailoverTest, EachChangeReconnectsAndRequeriesOnce) {
  TabuloCtl& ctl = PlantControl();
  EnterRunMode();
  TestDb(folder_ / "beta.db").Exec("INSERT INTO T VALUES('beta 4')");
  registry_->SetActiveServer("Plant", "BETA");
  EXPECT_EQ(ctl.NumberRows(), 4);
  // Back to ALPHA: its rows as they are now, not a kept copy.
  TestDb(folder_ / "alpha.db").Exec("DELETE FROM T WHERE v = 'alpha 2'");
  registry_->SetActiveServer("Plant", "ALPHA");
  EXPECT_EQ(Shown(ctl), "alpha 1, Connected@ALPHA");
  // Naming the server that is already active is no change.
  TestDb(folder_ / "alpha.db").Exec("INSERT INTO T VALUES('alpha 3')");
  registry_->SetActiveServer("Plant", "ALPHA");
  EXPECT_EQ(ctl.NumberRows(), 1);
}

TEST_F(FailoverTest, NoReachableActiveServerLeavesAClearStatusAndRecoversLater) {
  TabuloCtl& ctl = PlantControl(/*auto_refresh=*/true);
  EnterRunMode();
  EXPECT_EQ(ctl.ClusterName(), "Plant");
  ASSERT_EQ(Shown(ctl), alpha_);
  auto disconnected = [&] {
    return shared().data_server == nullptr && ctl.sBar.Panels(2).text() == "Not Connected";
  };
  registry_->SetServerReachable("Plant", "ALPHA", false);
  EXPECT_TRUE(disconnected());
  // The unreachable BETA made active: still nothing to connect to.
  registry_->SetServerReachable("Plant", "BETA", false);
  registry_->SetActiveServer("Plant", "BETA");
  EXPECT_TRUE(disconnected());
  // Ticks keep trying, silently.
  Run(3000);
  EXPECT_TRUE(disconnected());
  EXPECT_TRUE(ctl.Timer1.running());

  registry_->SetServerReachable("Plant", "BETA", true);
  EXPECT_EQ(Shown(ctl), beta_);  // the panel names the data server's machine
  EXPECT_EQ(ctl.sBar.Panels(1).text(), "Browsing: Plant");
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(FailoverTest, AnEndedControlNoLongerFollowsTheCluster) {
  TabuloCtl& first = PlantControl();
  TabuloCtl& second = PlantControl(/*auto_refresh=*/true);
  EnterRunMode();
  ASSERT_EQ(Shown(second), alpha_);

  first.Terminate();
  EXPECT_EQ(shared().data_server, nullptr);
  registry_->SetActiveServer("Plant", "BETA");
  // Nobody listening reconnected the process, and the ended control stayed as it was; the
  // other control's record set is still read (reconnecting on a refresh: session_controls).
  EXPECT_EQ(shared().data_server, nullptr);
  EXPECT_EQ(first.CurrentRecordSet(), nullptr);
  EXPECT_EQ(Shown(first), alpha_);
  EXPECT_EQ(second.GetCellText(1, 0), "alpha 2");

  // The other control reconnects on its next tick, and from then on it follows the cluster.
  Run(1000);
  EXPECT_EQ(Shown(second), beta_);
  registry_->SetActiveServer("Plant", "ALPHA");
  EXPECT_EQ(Shown(second), alpha_);
}

class NoClusterTest : public HostedControlTest {
 protected:
  void SetUp() override {
    host::HostConfig config;
    config.clusters = {Cluster("Logs", kLogging, "North")};
    InstallHost(config);
  }
};

TEST_F(NoClusterTest, MessageIsShownOncePerControlNotOnEveryTick) {
  std::filesystem::path path = OrdersDb(3);
  TabuloCtl& first = Configured(path, "SELECT Id FROM Orders", true);
  TabuloCtl& second = Configured(path, "SELECT Id FROM Orders", true);
  EnterRunMode();
  const std::string box =
      "No DizuvAdar Clusters Defined|16|Proper operation requires that DizuvAdar Cluster(s) and "
      "Server(s)\r\nare defined in the Panel Studio Servers configuration";
  ASSERT_EQ(MessageCount(), 2u);
  for (const platform::MsgBoxRecord& m : container_.message_boxes())
    EXPECT_EQ(m.title + "|" + std::to_string(m.style) + "|" + m.text, box);
  // Neither ticks, a refresh nor a change of mode shows it again.
  Run(10000);
  first.Refresh();
  container_.SetAmbientUserMode(false);
  container_.SetAmbientUserMode(true);
  Run(2000);
  EXPECT_EQ(MessageCount(), 2u);
  EXPECT_TRUE(first.Timer1.running());
  EXPECT_EQ(first.sBar.Panels(2).text() + "|" + second.sBar.Panels(2).text(),
            "Not Connected|Not Connected");
  EXPECT_EQ(first.CurrentRecordSet(), nullptr);
  EXPECT_EQ(first.ClusterName(), "");

  // A control created later has not shown it yet.
  Configured(path, "SELECT Id FROM Orders");
  EnterRunMode();
  EXPECT_EQ(MessageCount(), 3u);
}

class ClustersTest : public HostedControlTest {};

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
