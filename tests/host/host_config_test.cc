// The host configuration and errors that name file, line and key; the cluster lists built from
// it, server selection, active-server-change notifications, and the health check's choice.
#include "host/cluster/host_config.h"

#include <gtest/gtest.h>

#include "host/audit/password_hash.h"
#include "host/cluster/cluster_health.h"
#include "host/cluster/cluster_manager.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using Names = std::vector<std::string>;
using testing::Raised;

constexpr const char* kHash =
    "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY=";

// The description of the refusal, which is always 0x80004005.
std::string ErrorOf(const std::string& text) {
  const platform::ComError e = testing::Raised([&] { ParseHostConfig(text, "plant.json"); });
  EXPECT_EQ(e.code(), 0x80004005u) << text;
  return e.description();
}

std::string WithSecurity(const std::string& security) {
  return "{\n\"format\": 1,\n\"security\": " + security + "\n}";
}

// The embedded default is checked through the cluster and security managers.
TEST(HostConfig, ParsesClustersServersAndDataSources) {
  HostConfig c = ParseHostConfig(R"({
    "format": 1,
    "data_sources": {"Plant": "plant.db"},
    "clusters": [
      {"name": "Line 1", "type": "DizuvAdar", "coordinator": "North", "active_server": "beta",
       "servers": [{"name": "alpha"}, {"name": "beta", "reachable": false,
                                        "data_sources": {"Plant": "/srv/beta.db"}}]},
      {"name": "North Logging", "type": "Logging", "coordinator": "North"}
    ]})",
                                 "plant.json");
  ASSERT_EQ(c.clusters.size(), 2u);
  const ClusterConfig& line = c.clusters[0];
  EXPECT_EQ(line.active_server, "beta");
  ASSERT_EQ(line.servers.size(), 2u);
  EXPECT_TRUE(line.servers[0].reachable);
  EXPECT_FALSE(line.servers[1].reachable);
  c.base_dir = "/etc/tabulo";
  EXPECT_EQ(ResolveDataSource(c, line.servers[0], "Plant"), "/etc/tabulo/plant.db");
  EXPECT_EQ(ResolveDataSource(c, line.servers[1], "Plant"), "/srv/beta.db");
  // A name nobody maps is a path, taken as written.
  EXPECT_EQ(ResolveDataSource(c, line.servers[0], "data/other.db"), "data/other.db");
}

TEST(HostConfig, ParsesTheSecuritySectionOrItsAbsence) {
  const std::string hash = kHash;
  HostConfig c = ParseHostConfig(
      WithSecurity(R"({"users": [{"name": "alice", "level": 50, "password_hash": ")" + hash +
                   R"("}, {"name": "Alice", "level": 0, "password_hash": ")" + hash + R"("}],
    "reason_categories": ["Correction", "Calibration"], "audit_database": "logs/audit.db"})"),
      "plant.json");
  ASSERT_EQ(c.security.users.size(), 2u);
  EXPECT_EQ(c.security.users[0].name + "/" + std::to_string(c.security.users[0].level) + "/" +
                c.security.users[0].password_hash + "/" + std::to_string(c.security.users[1].level),
            "alice/50/" + hash + "/0");
  EXPECT_EQ(c.security.reason_categories, (std::vector<std::string>{"Correction", "Calibration"}));
  c.base_dir = "/etc/tabulo";
  AuditDatabaseLocation at = ResolveAuditDatabase(c);
  EXPECT_EQ(at.path, "/etc/tabulo/logs/audit.db");
  EXPECT_FALSE(at.is_default);
  c.security.audit_database = "/var/audit.db";
  EXPECT_EQ(ResolveAuditDatabase(c).path, "/var/audit.db");
  HostConfig bare = ParseHostConfig("{\"format\": 1}", "plant.json");
  EXPECT_TRUE(bare.security.users.empty());
  EXPECT_TRUE(bare.security.reason_categories.empty());
  EXPECT_TRUE(ResolveAuditDatabase(bare).is_default);
}

// The resource store's file, taken from the configuration's folder; none without the key.
TEST(HostConfig, ResourcesNameTheStoresFileOrNone) {
  HostConfig c = ParseHostConfig("{\"format\": 1,\n\"resources\": \"texts/de.txt\"}", "plant.json");
  c.base_dir = "/etc/tabulo";
  EXPECT_EQ(ResolveResourceFile(c), "/etc/tabulo/texts/de.txt");
  c.resources = "/opt/texts.txt";
  EXPECT_EQ(ResolveResourceFile(c), "/opt/texts.txt");
  EXPECT_EQ(ResolveResourceFile(ParseHostConfig("{\"format\": 1}", "plant.json")), "");
  EXPECT_EQ(ErrorOf("{\"format\": 1,\n\"resources\": 5}"),
            "plant.json, line 2, key \"resources\": expected a text");
}

TEST(HostConfig, ErrorsNameFileLineAndKey) {
  const std::string user =
      std::string("{\"name\": \"a\", \"level\": 1, \"password_hash\": \"") + kHash + "\"}";
  struct Case {
    std::string text, error;
    bool whole;  // else a part of the description
  };
  const Case cases[] = {
      {"{\n \"format\": 1,\n \"clusterz\": []\n}",
       "plant.json, line 3, key \"clusterz\": unknown key", true},
      {"{\n\"format\": 1,\n\"clusters\": [\n {\"name\": \"A\",\n  \"servers\": [\n"
       "   {\"name\": \"s\", \"reachable\": \"yes\"}]}]}",
       "plant.json, line 6, key \"reachable\": expected true or false", true},
      {"{\"format\": 2}",
       "plant.json, line 1, key \"format\": unsupported version (this program reads format 1)",
       true},
      {"{\"format\": 1, \"clusters\": [{\"name\": \"A\", \"type\": \"Opc\"}]}",
       "plant.json, line 1, key \"type\": expected \"DizuvAdar\" or \"Logging\", not \"Opc\"",
       true},
      {"{\"format\": 1, \"clusters\": [{\"name\": \"A\", \"active_server\": \"x\"}]}",
       "no server named \"x\"", false},
      {"{\"format\": 1, \"clusters\": [{\"name\": \"A\"}, {\"name\": \"A\"}]}", "listed twice",
       false},
      // PostgreSQL connections.
      {R"({"format": 1, "postgresql": {"a": {"port": 6000}}})", "key \"host\": missing", false},
      {R"({"format": 1, "postgresql": {"a": {"host": "h", "port": 70000}}})",
       "key \"port\": expected a port", false},
      {R"({"format": 1, "postgresql": {"a": {"host": "h", "db": "x"}}})", "key \"db\": unknown key",
       false},
      {R"({"format": 1, "postgresql": {"a": "h"}})", "key \"a\": expected a connection object",
       false},
      // Numbers beyond a double's range are a bad file, not a crash (found by fuzzing).
      {"[2E501", "not valid JSON", false},
      {"{\"clusters\": 1e999}", "plant.json", false},
      // The security section, its keys in any order, before or after the clusters.
      {WithSecurity("[]"), "plant.json, line 3, key \"security\": expected an object", true},
      {WithSecurity("{\"users\": [{\"name\": \"a\",\n\"password_hash\": \"x\"}]}"),
       "plant.json, line 4, key \"level\": missing", true},
      {WithSecurity("{\"users\": [{\"name\": \"a\",\n\"level\": -1, \"password_hash\": \"x\"}]}"),
       "plant.json, line 4, key \"level\": expected a command level (a whole number, 0 or more)",
       true},
      {WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": \"high\"}]}"),
       "key \"level\": expected a command level", false},
      {WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": 1,\n\"password_hash\": \"demo\"}]}"),
       "plant.json, line 4, key \"password_hash\": Malformed password hash: expected "
       "\"pbkdf2-sha256$<iterations>$<salt>$<hash>\"",
       true},
      {WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": 1}]}"),
       "plant.json, line 3, key \"password_hash\": missing", true},
      {WithSecurity("{\"users\": [" + user + ",\n" + user + "]}"),
       "line 4, key \"name\": user \"a\" is listed twice", false},
      {WithSecurity("{\"reason_categories\": [\"A\", 2]}"),
       "plant.json, line 3, key \"reason_categories\": expected a list of non-empty texts", true},
      {WithSecurity("{\"reason_categories\": \"A\"}"),
       "plant.json, line 3, key \"reason_categories\": expected a list", true},
      {WithSecurity("{\"audit_database\": \"\"}"),
       "plant.json, line 3, key \"audit_database\": empty path", true},
      {WithSecurity("{\"audit_database\": 5}"),
       "plant.json, line 3, key \"audit_database\": expected a text", true},
      {WithSecurity("{\"audit_database\": \"a.db\",\n\"reason_categories\": [],\n"
                    "\"users\": [{\"name\": \"a\",\n\"lvl\": 1}]}"),
       "plant.json, line 6, key \"lvl\": unknown key", true},
      {"{\n\"format\": 1,\n\"security\": {\n\"bad\": 1},\n\"clusters\": [{\"name\": \"A\"}]\n}",
       "plant.json, line 4, key \"bad\": unknown key", true}};
  for (const Case& c : cases) {
    const std::string error = ErrorOf(c.text);
    if (c.whole)
      EXPECT_EQ(error, c.error) << c.text;
    else
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // Malformed JSON names the line; an unreadable file is named.
  EXPECT_EQ(ErrorOf("{\n  \"format\": 1,\n  \"clusters\": [\n}\n")
                .rfind("plant.json, line 4: not valid JSON", 0),
            0u);
  EXPECT_EQ(ErrorOf("").rfind("plant.json, line 1: not valid JSON", 0), 0u);
  EXPECT_EQ(testing::Raised([] { LoadHostConfig("/nonexistent/host.json"); }).description(),
            "/nonexistent/host.json: cannot read the host configuration");
  EXPECT_EQ(testing::Raised([] { LoadHostConfig("/dev/zero"); }).description(),
            "/dev/zero: cannot read the host configuration (not a regular file)");
}

TEST(HostConfig, PostgreSqlConnectionsParseAndServersOverrideThem) {
  HostConfig config = ParseHostConfig(
      R"({"format": 1, "postgresql": {"a": {"host": "g"}, "b": {"host": "h", "port": 6000,
          "database": "d", "user": "u", "password": "p"}},
          "clusters": [{"name": "C", "servers": [{"name": "S", "postgresql": {"a": {"host": "s"}}}]}]})",
      "h.json");
  const PgConnectionMap merged = PgConnectionsOf(config, config.clusters[0].servers[0]);
  const PgConnectionConfig& b = merged.at("b");
  EXPECT_EQ(merged.at("a").host + "|" + b.host + b.database + b.user + b.password + "|" +
                std::to_string(b.port) + "|" + std::to_string(merged.at("a").port),
            "s|hdup|6000|5432");
}

TEST(HostConfig, DefaultAuditDatabaseFollowsXdgThenHome) {
  const std::string home_state = "/home/op/.local/state/tabulo/audit.db";
  EXPECT_EQ(DefaultAuditDatabasePath("/state", "/home/op"), "/state/tabulo/audit.db");
  EXPECT_EQ(DefaultAuditDatabasePath(nullptr, "/home/op"), home_state);
  // A relative or empty XDG value is ignored, as the XDG rules say.
  EXPECT_EQ(DefaultAuditDatabasePath("state", "/home/op"), home_state);
  EXPECT_EQ(DefaultAuditDatabasePath("", "/home/op"), home_state);
  EXPECT_EQ(DefaultAuditDatabasePath(nullptr, nullptr), "");
  EXPECT_EQ(DefaultAuditDatabasePath(nullptr, "relative"), "");
}

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
    for (const char* name : {"a", "b", "c"}) config.clusters[0].servers.emplace_back().name = name;
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
