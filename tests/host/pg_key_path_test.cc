// The PostgreSQL key path against a throw-away server: which statements take it, that it reads
// the statement's rows in its order (ties by key), and its pass (waited for, failed, cancelled)
// and key-set reads (a row deleted since shows #Deleted, a changed row its new values).
#include <gtest/gtest.h>

#include <thread>

#include "common/error_of.h"
#include "common/pg_fixture.h"
#include "host/cursor_record_set.h"
#include "host/pg/pg_connection.h"
#include "host/pg/pg_data_server.h"
#include "host/pg/pg_key_plan.h"
#include "orders_db.h"

namespace tabulo::host::pg {
namespace {

using host::testing::AllRows;
using platform::Variant;
using test_support::ErrorOf;
using test_support::PgFixture;
using Rows = std::vector<std::vector<Variant>>;

class PgKeyPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const PgFixture::Instance& pg = PgFixture::Server();
    TABULO_REQUIRE_PG(pg);
    static bool loaded = false;
    if (!loaded) {
      PgFixture::Psql(pg, "CREATE DATABASE keys");
      // Keys negative and positive (the pass reads them as 2- and 4-byte integers); Qty repeats.
      PgFixture::Psql(
          pg,
          "CREATE TABLE Items(Id int PRIMARY KEY, Qty int, Name text);"
          "INSERT INTO Items SELECT i * 3 - 4000, (i * 7) % 50, 'n' || (i % 97)"
          " FROM generate_series(1, 3000) i;"
          "CREATE TABLE Scratch(Id bigint PRIMARY KEY, Name text);"
          "INSERT INTO Scratch SELECT i, 'n' || i FROM generate_series(1, 1000) i;"
          "CREATE TABLE Tiny(Id smallint PRIMARY KEY, Label text);"
          "INSERT INTO Tiny SELECT i, 'l' || (i % 5) FROM generate_series(-150, 150) i;"
          "CREATE TABLE NoKey(x int); CREATE TABLE Pair(a int, b int, PRIMARY KEY (a, b));"
          "CREATE TABLE Named(k text PRIMARY KEY); CREATE TABLE Parent(Id int PRIMARY KEY);"
          "CREATE TABLE Child() INHERITS (Parent);"
          "CREATE VIEW ItemView AS SELECT * FROM Items;"
          // Blocks the key pass (not the load) while the test holds advisory lock 7.
          "CREATE FUNCTION gate() RETURNS boolean LANGUAGE plpgsql AS $$ BEGIN"
          " IF current_setting('application_name') = 'tabulo key pass' THEN"
          " PERFORM pg_advisory_xact_lock_shared(7); END IF; RETURN true; END $$;"
          // Fails the key pass (not the load) past Id 2000.
          "CREATE FUNCTION fails_in_pass(id int) RETURNS boolean LANGUAGE plpgsql AS $$ BEGIN"
          " IF current_setting('application_name') = 'tabulo key pass' AND id > 2000 THEN"
          " RAISE EXCEPTION 'pass stopped'; END IF; RETURN true; END $$;",
          "keys");
      loaded = true;
    }
    endpoint_ = {"127.0.0.1", pg.port, "keys", "postgres", "secret", "test"};
    PgServerOptions options;
    options.connections["keys-db"] = {"127.0.0.1", pg.port, "keys", "postgres", "secret"};
    server_ = NewPgDataServer(options);
  }

  std::shared_ptr<RecordSet> Query(const std::string& sql) {
    return server_->Query("keys-db", "", sql, "", "");
  }
  // The rows of `sql` read through the copy (a subquery never takes the key path).
  Rows Reference(const std::string& sql) {
    return AllRows(*Query("SELECT * FROM (" + sql + ") AS r"));
  }
  void Run(PGconn* conn, const std::string& sql) { Exec(conn, sql, "test"); }

  Endpoint endpoint_;
  std::shared_ptr<DataServer> server_;
};

TEST_F(PgKeyPathTest, PlanDecisionsAndRowsInTheStatementsOrder) {
  struct Row {
    std::string sql;
    bool key_path;
    std::string reference;  // the same rows, ties ordered by the key explicitly
  } rows[] = {
      {"SELECT * FROM Items", true, "SELECT * FROM Items ORDER BY Id"},
      {"SELECT Id, Name FROM Items WHERE Qty < 20;", true,
       "SELECT Id, Name FROM Items WHERE Qty < 20 ORDER BY Id"},
      {"SELECT Name, Qty FROM public.Items i WHERE i.Qty BETWEEN 5 AND 9 ORDER BY Qty", true,
       "SELECT Name, Qty FROM Items WHERE Qty BETWEEN 5 AND 9 ORDER BY Qty, Id"},
      {"SELECT Id, Qty FROM Items ORDER BY Qty DESC, Name", true,
       "SELECT Id, Qty FROM Items ORDER BY Qty DESC, Name, Id"},
      {"SELECT -Qty AS Qty, upper(Name) FROM Items AS \"X\" ORDER BY Qty", true,
       "SELECT -Qty AS Qty, upper(Name) FROM Items ORDER BY 1, Id"},
      {"SELECT Name, Qty FROM Items ORDER BY 2 DESC", true,
       "SELECT Name, Qty FROM Items ORDER BY Qty DESC, Id"},
      {"SELECT Id FROM Items WHERE Qty < (SELECT min(Qty) + 10 FROM Items)", true,
       "SELECT Id FROM Items WHERE Qty < 10 ORDER BY Id"},
      // The server makes this a join: general, though it would fit.
      {"SELECT Id FROM Items WHERE Id IN (SELECT Id + 3 FROM Items WHERE Qty < 10)", false, ""},
      {"SELECT Label, Id FROM Tiny ORDER BY Label DESC", true,
       "SELECT Label, Id FROM Tiny ORDER BY Label DESC, Id"},
      {"SELECT i.Name FROM Items i JOIN Items j ON j.Id = i.Id + 3", false, ""},
      {"SELECT i.Name FROM Items i, Tiny t WHERE t.Id = i.Id", false, ""},
      {"SELECT Qty, count(*) FROM Items GROUP BY Qty", false, ""},
      {"SELECT count(*) FROM Items", false, ""},
      {"SELECT generate_series(1, 2), Id FROM Items", false, ""},
      {"SELECT Id, row_number() OVER () FROM Items", false, ""},
      {"SELECT DISTINCT Qty FROM Items", false, ""},
      {"SELECT * FROM Items LIMIT 5", false, ""},
      {"SELECT * FROM Items FOR UPDATE", false, ""},
      {"WITH w AS (SELECT 1) SELECT * FROM Items", false, ""},
      {"SELECT * FROM Items UNION SELECT * FROM Items", false, ""},
      {"SELECT $$ FROM Items $$ AS t, Id FROM Items", false, ""},
      {"SELECT * FROM NoKey", false, ""},
      {"SELECT * FROM Pair", false, ""},
      {"SELECT * FROM Named", false, ""},
      {"SELECT * FROM Parent", false, ""},  // has an inheritance child
      {"SELECT * FROM ItemView", false, ""},
      {"SELECT * FROM (SELECT * FROM Items) s", false, ""},
  };
  Conn conn = Connect(endpoint_);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    std::string sql = row.sql;
    if (sql.back() == ';') sql.pop_back();
    EXPECT_EQ(PlanKeyPath(conn.get(), sql).has_value(), row.key_path);
    if (!row.key_path) continue;
    const Rows expected = Reference(row.reference);
    ASSERT_GT(expected.size(), static_cast<size_t>(kKeyWindow));
    EXPECT_TRUE(AllRows(*Query(row.sql)) == expected);
  }
}

// The first window is read before any key; a Move far ahead waits for the pass, which waits
// for the lock; closing cancels a pass that waits.
TEST_F(PgKeyPathTest, MovesWaitForThePassAndCloseCancelsIt) {
  const std::string sql = "SELECT Id, Name FROM Items WHERE gate() ORDER BY Name";
  const Rows expected = Reference(sql + ", Id");
  Conn lock = Connect(endpoint_);
  Run(lock.get(), "SELECT pg_advisory_lock(7)");
  auto rs = Query(sql);
  ASSERT_EQ(rs->RecordCount(), static_cast<int64_t>(expected.size()));
  rs->Move(kKeyWindow - 1);
  EXPECT_TRUE(rs->Item(0).Value() == expected[kKeyWindow - 1][0]);
  Variant far;
  std::thread reader([&] {
    rs->MoveFirst();
    rs->Move(rs->RecordCount() - 1);
    far = rs->Item(1).Value();
  });
  Run(lock.get(), "SELECT pg_advisory_unlock(7)");
  reader.join();
  EXPECT_TRUE(far == expected.back()[1]);

  Run(lock.get(), "SELECT pg_advisory_lock(7)");
  auto waiting = Query(sql);
  waiting->Close();
  EXPECT_EQ(waiting->State(), 0);
  Run(lock.get(), "SELECT pg_advisory_unlock(7)");
}

TEST_F(PgKeyPathTest, AFailedPassFailsTheMovesThatNeedItsKeys) {
  auto rs = Query("SELECT Id FROM Items WHERE fails_in_pass(Id)");
  EXPECT_EQ(rs->Item(0).Value().AsLong(), -3997);
  EXPECT_EQ(static_cast<uint32_t>(ErrorOf([&] {
              rs->Move(rs->RecordCount() - 1);
              rs->Item(0).Value();
            })),
            0x80004005u);
}

TEST_F(PgKeyPathTest, WindowsReadByKeyShowDeletedAndChangedRows) {
  auto rs = Query("SELECT Name, Id FROM Scratch WHERE Id > 0 ORDER BY Id");
  Conn conn = Connect(endpoint_);
  Run(conn.get(),
      "DELETE FROM Scratch WHERE Id = 501; UPDATE Scratch SET Name = 'new' WHERE Id = 502");
  rs->Move(500);
  EXPECT_EQ(rs->Item(0).Value().AsString(), "#Deleted");
  EXPECT_EQ(rs->Item(1).Value().AsString(), "#Deleted");
  rs->MoveNext();
  EXPECT_EQ(rs->Item(0).Value().AsString(), "new");
  // Values stay as read while their block is kept.
  Run(conn.get(), "UPDATE Scratch SET Name = 'newer' WHERE Id = 502");
  rs->Move(-400);
  rs->Move(400);
  EXPECT_EQ(rs->Item(0).Value().AsString(), "new");
  EXPECT_EQ(rs->RecordCount(), 1000);
}

}  // namespace
}  // namespace tabulo::host::pg
