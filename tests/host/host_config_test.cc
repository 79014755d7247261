#include "host/host_config.h"

#include <gtest/gtest.h>

#include "host/password_hash.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

std::string ErrorOf(const std::string& text) {
  try {
    ParseHostConfig(text, "plant.json");
  } catch (const platform::ComError& e) {
    return e.description();
  }
  return "(no error)";
}

TEST(HostConfig, DefaultHasLocalClusterAndItsLoggingCluster) {
  HostConfig c = DefaultHostConfig("PLANT-PC");
  ASSERT_EQ(c.clusters.size(), 2u);
  EXPECT_EQ(c.clusters[0].name, "Local");
  EXPECT_EQ(c.clusters[0].type, kClusterTypeDizuvAdar);
  EXPECT_EQ(c.clusters[0].coordinator, "Local");
  ASSERT_EQ(c.clusters[0].servers.size(), 1u);
  EXPECT_EQ(c.clusters[0].servers[0].name, "PLANT-PC");
  EXPECT_EQ(c.clusters[1].name, "Local Logging");
  EXPECT_EQ(c.clusters[1].type, kClusterTypeLogging);
  EXPECT_EQ(c.clusters[1].coordinator, "Local");
}

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

TEST(HostConfig, ErrorsNameFileLineAndKey) {
  EXPECT_EQ(ErrorOf("{\n \"format\": 1,\n \"clusterz\": []\n}"),
            "plant.json, line 3, key \"clusterz\": unknown key");
  EXPECT_EQ(ErrorOf("{\n\"format\": 1,\n\"clusters\": [\n {\"name\": \"A\",\n  \"servers\": [\n"
                    "   {\"name\": \"s\", \"reachable\": \"yes\"}]}]}"),
            "plant.json, line 6, key \"reachable\": expected true or false");
  EXPECT_EQ(
      ErrorOf("{\"format\": 2}"),
      "plant.json, line 1, key \"format\": unsupported version (this program reads format 1)");
  EXPECT_EQ(ErrorOf("{\"format\": 1, \"clusters\": [{\"name\": \"A\", \"type\": \"Opc\"}]}"),
            "plant.json, line 1, key \"type\": expected \"DizuvAdar\" or \"Logging\", not \"Opc\"");
  EXPECT_NE(ErrorOf("{\"format\": 1, \"clusters\": [{\"name\": \"A\", \"active_server\": \"x\"}]}")
                .find("no server named \"x\""),
            std::string::npos);
  EXPECT_NE(ErrorOf("{\"format\": 1, \"clusters\": [{\"name\": \"A\"}, {\"name\": \"A\"}]}")
                .find("listed twice"),
            std::string::npos);
}

TEST(HostConfig, MalformedJsonNamesTheLine) {
  std::string e = ErrorOf("{\n  \"format\": 1,\n  \"clusters\": [\n}\n");
  EXPECT_EQ(e.rfind("plant.json, line 4: not valid JSON", 0), 0u) << e;
  EXPECT_EQ(ErrorOf("").rfind("plant.json, line 1: not valid JSON", 0), 0u);
}

TEST(HostConfig, UnreadableFileIsNamed) {
  try {
    LoadHostConfig("/nonexistent/host.json");
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.description(), "/nonexistent/host.json: cannot read the host configuration");
  }
}

constexpr const char* kHash =
    "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY=";

std::string WithSecurity(const std::string& security) {
  return "{\n\"format\": 1,\n\"security\": " + security + "\n}";
}

TEST(HostConfig, DefaultHasTheDemoUserAndTwoReasonCategories) {
  HostConfig c = DefaultHostConfig("PLANT-PC");
  ASSERT_EQ(c.security.users.size(), 1u);
  EXPECT_EQ(c.security.users[0].name, "demo");
  EXPECT_EQ(c.security.users[0].level, 10);
  EXPECT_EQ(ParsePasswordHash(c.security.users[0].password_hash).iterations, 600000);
  EXPECT_EQ(c.security.reason_categories, (std::vector<std::string>{"Correction", "Maintenance"}));
  EXPECT_EQ(c.security.audit_database, "");
}

TEST(HostConfig, ParsesTheSecuritySection) {
  HostConfig c = ParseHostConfig(WithSecurity(std::string(R"({
    "users": [{"name": "alice", "level": 50, "password_hash": ")") +
                                              kHash + R"("},
              {"name": "Alice", "level": 0, "password_hash": ")" +
                                              kHash + R"("}],
    "reason_categories": ["Correction", "Calibration"],
    "audit_database": "logs/audit.db"})"),
                                 "plant.json");
  ASSERT_EQ(c.security.users.size(), 2u);
  EXPECT_EQ(c.security.users[0].name, "alice");
  EXPECT_EQ(c.security.users[0].level, 50);
  EXPECT_EQ(c.security.users[0].password_hash, kHash);
  EXPECT_EQ(c.security.users[1].level, 0);
  EXPECT_EQ(c.security.reason_categories, (std::vector<std::string>{"Correction", "Calibration"}));
  c.base_dir = "/etc/tabulo";
  AuditDatabaseLocation at = ResolveAuditDatabase(c);
  EXPECT_EQ(at.path, "/etc/tabulo/logs/audit.db");
  EXPECT_FALSE(at.is_default);
  c.security.audit_database = "/var/audit.db";
  EXPECT_EQ(ResolveAuditDatabase(c).path, "/var/audit.db");
}

TEST(HostConfig, FileWithoutSecurityHasNoUsersAndTheDefaultAuditDatabase) {
  HostConfig c = ParseHostConfig("{\"format\": 1}", "plant.json");
  EXPECT_TRUE(c.security.users.empty());
  EXPECT_TRUE(c.security.reason_categories.empty());
  EXPECT_TRUE(ResolveAuditDatabase(c).is_default);
}

TEST(HostConfig, SecurityErrorsNameFileLineAndKey) {
  EXPECT_EQ(ErrorOf(WithSecurity("{\n\"user\": []}")),
            "plant.json, line 4, key \"user\": unknown key");
  EXPECT_EQ(ErrorOf(WithSecurity("[]")),
            "plant.json, line 3, key \"security\": expected an object");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": 1,\n"
                                 "\"password_hash\": \"x\", \"pin\": 1}]}")),
            "plant.json, line 4, key \"pin\": unknown key");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"users\": [{\"name\": \"a\",\n\"password_hash\": \"x\"}]}")),
            "plant.json, line 4, key \"level\": missing");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"users\": [{\"name\": \"a\",\n\"level\": -1, "
                                 "\"password_hash\": \"x\"}]}")),
            "plant.json, line 4, key \"level\": expected a command level (a whole number, 0 or "
            "more)");
  EXPECT_NE(ErrorOf(WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": \"high\"}]}"))
                .find("key \"level\": expected a command level"),
            std::string::npos);
  EXPECT_EQ(ErrorOf(WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": 1,\n"
                                 "\"password_hash\": \"demo\"}]}")),
            "plant.json, line 4, key \"password_hash\": Malformed password hash: expected "
            "\"pbkdf2-sha256$<iterations>$<salt>$<hash>\"");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"users\": [{\"name\": \"a\", \"level\": 1}]}")),
            "plant.json, line 3, key \"password_hash\": missing");
  std::string user =
      std::string("{\"name\": \"a\", \"level\": 1, \"password_hash\": \"") + kHash + "\"}";
  EXPECT_NE(ErrorOf(WithSecurity("{\"users\": [" + user + ",\n" + user + "]}"))
                .find("line 4, key \"name\": user \"a\" is listed twice"),
            std::string::npos);
  EXPECT_EQ(ErrorOf(WithSecurity("{\"reason_categories\": [\"A\", 2]}")),
            "plant.json, line 3, key \"reason_categories\": expected a list of non-empty texts");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"reason_categories\": \"A\"}")),
            "plant.json, line 3, key \"reason_categories\": expected a list");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"audit_database\": \"\"}")),
            "plant.json, line 3, key \"audit_database\": empty path");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"audit_database\": 5}")),
            "plant.json, line 3, key \"audit_database\": expected a text");
}

TEST(HostConfig, SecurityKeysInAnyOrderNameTheirLines) {
  EXPECT_EQ(ErrorOf(WithSecurity("{\"audit_database\": \"a.db\",\n\"reason_categories\": [],\n"
                                 "\"users\": [{\"name\": \"a\",\n\"lvl\": 1}]}")),
            "plant.json, line 6, key \"lvl\": unknown key");
  EXPECT_EQ(ErrorOf(WithSecurity("{\"audit_database\": \"a.db\",\n\"reason_categories\": [1],\n"
                                 "\"users\": []}")),
            "plant.json, line 4, key \"reason_categories\": expected a list of non-empty texts");
}

TEST(HostConfig, SecurityBeforeClustersStillNamesItsLine) {
  EXPECT_EQ(ErrorOf("{\n\"format\": 1,\n\"security\": {\n\"bad\": 1},\n\"clusters\": [{\"name\": "
                    "\"A\"}]\n}"),
            "plant.json, line 4, key \"bad\": unknown key");
}

TEST(HostConfig, DefaultAuditDatabaseFollowsXdgThenHome) {
  EXPECT_EQ(DefaultAuditDatabasePath("/state", "/home/op"), "/state/tabulo/audit.db");
  EXPECT_EQ(DefaultAuditDatabasePath(nullptr, "/home/op"), "/home/op/.local/state/tabulo/audit.db");
  // A relative or empty XDG value is ignored, as the XDG rules say.
  EXPECT_EQ(DefaultAuditDatabasePath("state", "/home/op"), "/home/op/.local/state/tabulo/audit.db");
  EXPECT_EQ(DefaultAuditDatabasePath("", "/home/op"), "/home/op/.local/state/tabulo/audit.db");
  EXPECT_EQ(DefaultAuditDatabasePath(nullptr, nullptr), "");
  EXPECT_EQ(DefaultAuditDatabasePath(nullptr, "relative"), "");
}

}  // namespace
}  // namespace tabulo::host
