// Failover inside one DizuvAdar cluster of two servers, each with its own copy of the data: the
// controls follow the active server. Also the one-time no-cluster message.
#include <fstream>

#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

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
    return g_DataServer == nullptr && ctl.sBar.Panels(2).text() == "Not Connected";
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
  EXPECT_EQ(ctl.sBar.Panels(1).text(), "Browsing: @Plant");
  EXPECT_TRUE(container_.message_boxes().empty());
}

TEST_F(FailoverTest, AnEndedControlNoLongerFollowsTheCluster) {
  TabuloCtl& first = PlantControl();
  TabuloCtl& second = PlantControl(/*auto_refresh=*/true);
  EnterRunMode();
  ASSERT_EQ(Shown(second), alpha_);

  first.Terminate();
  EXPECT_EQ(g_DataServer, nullptr);
  registry_->SetActiveServer("Plant", "BETA");
  // Nobody listening reconnected the process, and the ended control stayed as it was; the
  // other control's record set is still read (reconnecting on a refresh: session_controls).
  EXPECT_EQ(g_DataServer, nullptr);
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
    host::ClusterConfig logging;
    logging.name = "Logs";
    logging.type = host::kClusterTypeLogging;
    logging.coordinator = "North";
    config.clusters = {logging};
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

}  // namespace
}  // namespace tabulo::control::testing
