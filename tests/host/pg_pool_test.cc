// The commands' pool of idle PostgreSQL connections, shared by the data servers of a process:
// two commands at once, from two data servers, take two connections; given back, only as many
// as the limit stay idle and the rest are closed.
#include <gtest/gtest.h>

#include <thread>

#include "common/pg_fixture.h"
#include "host/servers/pg/pg_connection.h"
#include "host/servers/pg/pg_data_server.h"

namespace tabulo::host::pg {
namespace {

using test_support::PgFixture;

TEST(PgPoolTest, CommandsAtOnceKeepOnlyTheLimitIdle) {
  const PgFixture::Instance& pg = PgFixture::Server();
  TABULO_REQUIRE_PG(pg);
  // A database of its own: a login no other test's connection is kept idle for.
  PgFixture::Psql(pg, "CREATE DATABASE pool_test");
  PgServerOptions options;
  options.connections["p"] = {"127.0.0.1", pg.port, "pool_test", "postgres", "secret"};
  // The test's own connection holds a lock both commands wait for, so both are in flight.
  Conn holder = Connect({"127.0.0.1", pg.port, "pool_test", "postgres", "secret", "t", 10, "t"});
  Exec(holder.get(), "SELECT pg_advisory_lock(4711)", "t");
  SetIdleConnectionLimit(1);
  const ConnectionCounts before = CountConnections();
  const std::string waits =
      "DO $$ BEGIN PERFORM pg_advisory_lock(4711); PERFORM pg_advisory_unlock(4711); END $$";
  std::vector<std::thread> commands;
  for (int i = 0; i < 2; ++i)
    commands.emplace_back([&] { NewPgDataServer(options)->Query("p", "", waits, "", ""); });
  std::string waiting;
  for (int round = 0; round < 400 && waiting != "2"; ++round) {
    waiting = PgFixture::Query(pg,
                               "SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND "
                               "NOT granted;");
  }
  EXPECT_EQ(waiting, "2");
  EXPECT_EQ(CountConnections().open - before.open, 2);
  Exec(holder.get(), "SELECT pg_advisory_unlock(4711)", "t");
  for (std::thread& t : commands) t.join();
  const ConnectionCounts after = CountConnections();
  EXPECT_EQ(after.idle - before.idle, 1);
  EXPECT_EQ(after.open - before.open, 1);  // one closed as it came back
  EXPECT_EQ(after.opened - before.opened, 2);
  // The next command of any data server takes the idle one: no new login.
  NewPgDataServer(options)->Query("p", "", "DO $$ BEGIN END $$", "", "");
  EXPECT_EQ(CountConnections().opened - before.opened, 2);
  SetIdleConnectionLimit(4);
}

}  // namespace
}  // namespace tabulo::host::pg
