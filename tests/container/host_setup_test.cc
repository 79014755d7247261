// The host's setup: the periodic server check (it runs only when a server has its own
// PostgreSQL connection, and each tick lets the cluster follow the probed primary), and the
// note a failed load adds about the data source (a missing file is named, a data source of
// the ODBC driver manager, no file, is not).
#include "container/host_setup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/host_config.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {
namespace {

TEST(ClusterWatchTest, TicksFollowThePrimaryOnlyWhereServersHaveConnections) {
  for (bool with_connection : {true, false}) {
    SCOPED_TRACE(with_connection);
    HostInstallation host;
    host.config.clusters.push_back({"P", host::kClusterTypeDizuvAdar, "", "a", {}});
    for (const char* name : {"a", "b"}) {
      host::ServerConfig server;
      server.name = name;
      if (with_connection) server.postgresql["plant"] = {"h", 1, "", "", ""};
      host.config.clusters[0].servers.push_back(server);
    }
    host.registry = host::ClusterRegistry::Create(host.config, nullptr);
    platform::VirtualClock clock;
    platform::EventLoop loop(clock);
    std::string primary = "a";
    int probes = 0;
    WatchClusterServers(
        loop, host,
        [&](const host::HostConfig&, const host::ServerConfig& s) {
          ++probes;
          return s.name == primary ? host::ServerRole::kPrimary : host::ServerRole::kStandby;
        },
        1000);
    primary = "b";
    loop.RunFor(999);
    EXPECT_EQ(host.registry->ActiveServerName("P"), "a");
    loop.RunFor(1);
    EXPECT_EQ(host.registry->ActiveServerName("P"), with_connection ? "b" : "a");
    EXPECT_EQ(probes, with_connection ? 2 : 0);
  }
}

TEST(MissingDatabaseNote, NamesOnlyMissingFiles) {
  const char* base = std::getenv("TABULO_TEST_TMP");
  const std::filesystem::path folder = std::filesystem::path(base && *base ? base : "/tmp") /
                                       ("odbc-note-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "odbc.ini") << "[plant-odbc]\nDriver=SQLite3\n";
  std::ofstream(folder / "odbcinst.ini") << "";
  std::ofstream(folder / "present.db") << "";
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", (folder / "odbc.ini").c_str(), 1);
  const host::HostConfig config = host::DefaultHostConfig("PLANT-01");
  const std::string missing = (folder / "missing.db").string();
  const struct {
    std::string db, note;
  } rows[] = {
      {"plant-odbc", ""},
      {(folder / "present.db").string(), ""},
      {missing, "no database file at " + missing},
      {"plant-other", "no database file at plant-other"},
  };
  for (const auto& row : rows) EXPECT_EQ(MissingDatabaseNote(config, row.db), row.note) << row.db;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tabulo::container
