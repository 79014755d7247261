// The control editing a PostgreSQL table as a role whose settings make a backslash escape a
// quote: what the operator types is stored as typed, in the edited row only.
#include "common/pg_fixture.h"
#include "host/servers/pg/pg_data_server.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using test_support::PgFixture;

class PgLiteralTest : public HostedControlTest {};

TEST_F(PgLiteralTest, ATypedValueWithBackslashesAndQuotesIsStoredAsTyped) {
  const PgFixture::Instance& pg = PgFixture::Server();
  TABULO_REQUIRE_PG(pg);
  PgFixture::Psql(pg,
                  "CREATE ROLE ctl_clerk LOGIN PASSWORD 'pw';"
                  "ALTER ROLE ctl_clerk SET standard_conforming_strings = off;"
                  "CREATE DATABASE ctllit OWNER ctl_clerk;");
  PgFixture::Psql(pg,
                  "SET ROLE ctl_clerk;"
                  "CREATE TABLE Items(Id int PRIMARY KEY, Name varchar(200), Qty int);"
                  "INSERT INTO Items SELECT i, 'n' || i, i FROM generate_series(29, 33) i;",
                  "ctllit");
  host::HostConfig config;
  config.clusters.push_back({"Plant", host::kClusterTypeDizuvAdar, "", "A", {}});
  host::ServerConfig server;
  server.name = "A";
  server.postgresql["plant"] = {"127.0.0.1", pg.port, "ctllit", "ctl_clerk", "pw"};
  config.clusters[0].servers.push_back(server);
  InstallHostWith(config, [](const host::HostConfig& c, const host::ServerConfig& s) {
    host::pg::PgServerOptions options;
    for (const auto& [name, k] : host::PgConnectionsOf(c, s))
      options.connections[name] = {k.host, k.port, k.database, k.user, k.password};
    return host::pg::NewPgDataServer(options);
  });
  TabuloCtl& ctl = Configured("plant", "SELECT Id, Name, Qty FROM Items ORDER BY Id");
  ctl.SetServerType(1);
  ctl.SetClusterName("Plant");
  ctl.SetDataTable("Items");
  ctl.SetAllowUpdates(true);
  ctl.SetConfirmUpdates(false);
  EnterRunMode();
  ASSERT_EQ(RowText(ctl, 2).at(1), "30");

  const std::string typed = "\\'||current_user||chr(32)||version(), qty = 999 WHERE id = 31 --";
  ctl.Grid.UserClick(2, 2);
  ASSERT_TRUE(ctl.txtEdit.visible());
  ctl.txtEdit.set_sel_start(0);
  ctl.txtEdit.set_sel_length(static_cast<int32_t>(ctl.txtEdit.text().size()));
  ctl.txtEdit.TypeText(typed);
  ctl.txtEdit.PressKey(platform::kKeyReturn);

  host::pg::PgServerOptions direct;
  direct.connections["d"] = {"127.0.0.1", pg.port, "ctllit", "postgres", "secret"};
  auto rs = host::pg::NewPgDataServer(direct)->Query(
      "d", "", "SELECT string_agg(Id || ':' || Name || ':' || Qty, ';' ORDER BY Id) FROM Items", "",
      "");
  EXPECT_EQ(rs->Item(0).Value().AsString(),
            "29:n29:29;30:" + typed + ":30;31:n31:31;32:n32:32;33:n33:33");
  EXPECT_EQ(RowText(ctl, 2).at(2), typed);
}

}  // namespace
}  // namespace tabulo::control::testing
