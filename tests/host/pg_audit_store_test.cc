// The PostgreSQL audit store against a throw-away server: an edit and its records commit
// together when they share the server and database (a failure at the commit leaves neither),
// apart otherwise; concurrent writers chain; the configuration names its connection.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/error_of.h"
#include "common/pg_fixture.h"
#include "host/audit_chain.h"
#include "host/pg/pg_data_server.h"
#include "host/security_manager.h"
#include "platform/runtime/headless_container.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using test_support::ErrorOf;
using test_support::PgFixture;

class PgAuditStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pg_ = &PgFixture::Server();
    TABULO_REQUIRE_PG(*pg_);
    static bool loaded = false;
    if (!loaded) {
      PgFixture::Psql(*pg_, "CREATE DATABASE stock; CREATE DATABASE trail;");
      const std::string refuse =
          "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
          "$$BEGIN RAISE EXCEPTION 'audit refused'; END$$;";
      PgFixture::Psql(*pg_, refuse, "trail");
      PgFixture::Psql(*pg_,
                      refuse +
                          "CREATE TABLE Stock(Id int PRIMARY KEY, Qty int CHECK (Qty >= 0));"
                          "INSERT INTO Stock SELECT i, 5 FROM generate_series(1, 20) i;",
                      "stock");
      loaded = true;
    }
    pg::PgServerOptions options;
    options.connections["stock-db"] = {"127.0.0.1", pg_->port, "stock", "postgres", "secret"};
    data_ = pg::NewPgDataServer(options);
  }

  // A store in `database`, in a table of its own, made before the test changes it.
  AuditLogOptions Store(const std::string& database, const std::string& table) {
    AuditLogOptions options;
    options.pg = AuditPgStore{
        "trail-db", {"127.0.0.1", pg_->port, database, "postgres", "secret"}, "", table};
    AuditTransaction(options).Commit();
    return options;
  }

  const PgFixture::Instance* pg_ = nullptr;
  std::shared_ptr<DataServer> data_;
  platform::HeadlessContainer container_;
};

TEST_F(PgAuditStoreTest, AnEditAndItsRecordsCommitTogetherOnOneServerAndDatabase) {
  struct Row {
    const char *name, *database;  // the store's; "stock" is the edited data's
    bool refuse_at_commit;        // a deferred trigger refuses the records at the commit
    int new_qty, qty_after;       // a new_qty of -1 breaks the data's CHECK: the UPDATE fails
    size_t records;
    bool write_fails, commit_fails;
  } rows[] = {
      {"joined_written", "stock", false, 7, 7, 1, false, false},
      {"joined_refused_at_commit", "stock", true, 7, 5, 0, true, false},
      {"joined_update_fails", "stock", false, -1, 5, 0, true, false},
      // Apart, the data commits first: a store refusing its commit leaves the change unrecorded.
      {"apart_written", "trail", false, 7, 7, 1, false, false},
      {"apart_refused_at_commit", "trail", true, 7, 7, 0, false, true},
  };
  int id = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ++id;
    const std::string table = std::string("events_") + row.name;
    SecurityManagerOptions options;
    options.audit = Store(row.database, table);
    if (row.refuse_at_commit)
      PgFixture::Psql(*pg_,
                      "CREATE CONSTRAINT TRIGGER refuse AFTER INSERT ON " + table +
                          " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION refuse()",
                      row.database);
    SecurityManager manager(container_, options);
    // The control's order: records secured, the change written, the records committed.
    manager.BeginOperatorEvents();
    manager.WriteOperatorEvent(OperatorEvent{"Logging", "dbUpdate", "Qty", "stock-db", "", "", "5",
                                             std::to_string(row.new_qty), ""},
                               "Id = " + std::to_string(id));
    const int32_t write_error = ErrorOf([&] {
      data_->Query("stock-db;DATABASE=stock", "",
                   "UPDATE Stock SET Qty = " + std::to_string(row.new_qty) +
                       " WHERE Id = " + std::to_string(id),
                   "", "");
    });
    int32_t commit_error = 0;
    if (write_error)
      manager.RollbackOperatorEvents();
    else
      commit_error = ErrorOf([&] { manager.CommitOperatorEvents(); });
    EXPECT_EQ(write_error != 0, row.write_fails);
    EXPECT_EQ(commit_error != 0, row.commit_fails);
    EXPECT_EQ(data_
                  ->Query("stock-db", "", "SELECT Qty FROM Stock WHERE Id = " + std::to_string(id),
                          "", "")
                  ->Item(0)
                  .Value()
                  .AsLong(),
              row.qty_after);
    const AuditTrail trail = ReadAuditTrail(options.audit);
    EXPECT_EQ(trail.records.size(), row.records);
    EXPECT_TRUE(VerifyAuditTrail(trail).intact) << VerifyAuditTrail(trail).summary;
  }
}

TEST_F(PgAuditStoreTest, WritersInTwoThreadsChainOneAfterTheOther) {
  const AuditLogOptions store = Store("trail", "events_concurrent");
  std::atomic<int> refused{0};
  auto write = [&](const std::string& who) {
    for (int i = 0; i < 10; ++i) {
      AuditRecord r;
      r.recorded_at = "2026-12-08T10:00:00.000Z";
      r.event = OperatorEvent{"Logging", "dbUpdate", "Qty", "s", who, "", "1", "2", ""};
      refused += ErrorOf([&] { AppendAuditRecord(store, r); }) != 0;
    }
  };
  std::thread other(write, "ann");
  write("ben");
  other.join();
  EXPECT_EQ(refused, 0);
  const AuditVerdict verdict = VerifyAuditTrail(ReadAuditTrail(store));
  EXPECT_EQ(verdict.summary, "Audit trail intact: 20 records chained (#1 to #20).");
  // A record cannot be changed, and a trigger put out of use is named.
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              data_->Query("stock-db;DATABASE=trail", "",
                           "UPDATE events_concurrent SET new_value = '9' WHERE id = 1", "", "");
            })),
            kErrInvalidStatement);
  PgFixture::Psql(*pg_, "ALTER TABLE events_concurrent DISABLE TRIGGER operator_events_no_delete",
                  "trail");
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(store)).summary,
            "Audit trail broken: the trigger operator_events_no_delete that keeps records from "
            "being changed has been removed.");
  AuditLogOptions missing = store;
  missing.pg->table = "nowhere";
  EXPECT_EQ(testing::Raised([&] { ReadAuditTrail(missing); }).description(),
            "No audit table \"nowhere\" in the PostgreSQL audit store \"trail-db\"");
}

TEST(PgAuditConfig, NamesAConfiguredConnectionAndATable) {
  const std::string connections =
      R"({"format": 1, "postgresql": {"plant-db": {"host": "db1", "database": "plant"}},
"security": {)";
  struct Row {
    std::string security, error;  // error: "" when the configuration is taken
    std::string database = {}, schema = {}, table = {};
  } rows[] = {
      {R"("audit": {"postgresql": "plant-db"})", "", "plant", "", "operator_events"},
      {R"("audit": {"postgresql": "plant-db", "database": "trail", "table": "log.events"})", "",
       "trail", "log", "events"},
      {R"("audit": {"postgresql": "other"})",
       "line 3, key \"postgresql\": no PostgreSQL connection named \"other\""},
      {R"("audit": {"postgresql": 5})", "line 3, key \"postgresql\": expected a text"},
      {R"("audit": "plant-db")", "line 3, key \"audit\": expected an object"},
      {R"("audit": {"postgresql": "plant-db", "table": "a;drop"})",
       "line 3, key \"table\": expected a table name"},
      {R"("audit_database": "a.db", "audit": {"postgresql": "plant-db"})",
       "line 3, key \"audit\": give either"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.security);
    const std::string text = connections + "\n" + row.security + "}}";
    if (!row.error.empty()) {
      const std::string error =
          testing::Raised([&] { ParseHostConfig(text, "p.json"); }).description();
      EXPECT_EQ(error.rfind("p.json, " + row.error, 0), 0u) << error;
      continue;
    }
    const AuditLogOptions store = AuditStoreOf(ParseHostConfig(text, "plant.json"));
    ASSERT_TRUE(store.pg.has_value());
    EXPECT_EQ(store.pg->connection.host + "/" + store.pg->connection.database + "/" +
                  store.pg->schema + "/" + store.pg->table,
              "db1/" + row.database + "/" + row.schema + "/" + row.table);
  }
  EXPECT_FALSE(AuditStoreOf(ParseHostConfig("{\"format\": 1}", "plant.json")).pg.has_value());
}

}  // namespace
}  // namespace tabulo::host
