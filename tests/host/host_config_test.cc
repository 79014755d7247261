#include "host/host_config.h"

#include <gtest/gtest.h>

#include "platform/com_error.h"

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

}  // namespace
}  // namespace tabulo::host
