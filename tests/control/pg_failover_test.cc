// Failover on a PostgreSQL primary with a synchronous standby: the standby promoted, the control
// shows it with every acknowledged write; a write at the stop is refused, never acknowledged.
#include "common/error_of.h"
#include "common/pg_fixture.h"
#include "host/cluster/cluster_health.h"
#include "host/servers/pg/pg_data_server.h"
#include "host/servers/pg/pg_probe.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using test_support::ErrorOf;
using test_support::PgFixture;

class PgFailoverTest : public HostedControlTest {};

TEST_F(PgFailoverTest, TheControlFollowsThePromotedStandby) {
  PgFixture::Instance primary = PgFixture::Start();
  TABULO_REQUIRE_PG(primary);
  PgFixture::Psql(primary,
                  "CREATE TABLE t(id int PRIMARY KEY, v varchar(9));"
                  "INSERT INTO t VALUES (1, 'one'), (2, 'two');");
  PgFixture::Instance standby = PgFixture::Start(primary.port);
  ASSERT_EQ(standby.skip, "");
  PgFixture::Psql(primary,
                  "ALTER SYSTEM SET synchronous_standby_names = '*';"
                  "ALTER SYSTEM SET synchronous_commit = remote_apply; SELECT pg_reload_conf();");

  // Each server names its own machine behind the connection "plant"; B is configured active.
  host::HostConfig config;
  config.clusters.push_back({"Plant", host::kClusterTypeDizuvAdar, "", "B", {}});
  for (auto [name, port] : {std::pair<const char*, int>{"A", primary.port}, {"B", standby.port}}) {
    host::ServerConfig server;
    server.name = name;
    server.postgresql["plant"] = {"127.0.0.1", port, "postgres", "postgres", "secret"};
    config.clusters[0].servers.push_back(server);
  }
  InstallHostWith(config, [](const host::HostConfig& c, const host::ServerConfig& s) {
    host::pg::PgServerOptions options;
    options.machine_name = s.name;
    for (const auto& [name, k] : host::PgConnectionsOf(c, s))
      options.connections[name] = {k.host, k.port, k.database, k.user, k.password};
    return host::pg::NewPgDataServer(options);
  });
  auto check = [&] { host::CheckClusterServers(*registry_, host::pg::ProbePgServer); };

  check();  // the primary becomes active
  TabuloCtl& ctl = Configured("plant", "SELECT v FROM t ORDER BY id");
  ctl.SetServerType(1);
  ctl.SetClusterName("Plant");
  EnterRunMode();
  EXPECT_EQ(Shown(ctl), "one, two, Connected@A");

  auto manager = registry_->NewManager();
  manager->GetClusterList().SelectCluster("Plant");
  std::shared_ptr<host::DataServer> held = manager->ActiveDataServer();
  auto write = [&](const std::string& v) {
    return static_cast<uint32_t>(ErrorOf(
        [&] { held->Query("plant", "", "UPDATE t SET v = '" + v + "' WHERE id = 1", "", ""); }));
  };
  EXPECT_EQ(write("uno"), 0u);  // acknowledged: applied on the standby too
  // The standby is browsed through a held cursor: it takes no temporary table.
  auto on_standby = registry_->config().clusters[0].servers[1].postgresql.at("plant");
  host::pg::PgServerOptions direct;
  direct.connections["s"] = {"127.0.0.1", on_standby.port, "postgres", "postgres", "secret"};
  auto rs = host::pg::NewPgDataServer(direct)->Query(
      "s", "", "SELECT v, i FROM t, generate_series(1, 100) i ORDER BY id, i", "", "");
  ASSERT_EQ(rs->RecordCount(), 200);
  for (auto [move, v, i] : {std::tuple(0, "uno", 1), {150, "two", 51}, {-149, "uno", 2}}) {
    rs->Move(move);
    EXPECT_EQ(rs->Item(0).Value().AsString() + std::to_string(rs->Item(1).Value().AsLong()),
              v + std::to_string(i));
  }
  PgFixture::Stop(primary);
  EXPECT_EQ(write("eins"), host::kErrSourceUnusable);  // in flight at the stop: refused
  check();
  EXPECT_EQ(registry_->ActiveServerName("Plant"), "A");  // no primary to follow yet
  PgFixture::Promote(standby);
  check();
  EXPECT_EQ(registry_->ActiveServerName("Plant"), "B");
  EXPECT_EQ(Shown(ctl), "uno, two, Connected@B");
  held = manager->ActiveDataServer();
  EXPECT_EQ(write("un"), 0u);
  PgFixture::Stop(standby);
}

}  // namespace
}  // namespace tabulo::control::testing
