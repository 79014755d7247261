// The data-server tests' shared fixture: a small Orders database whose values follow from the
// Id so that tests can compute what any record holds, a server over its file, all records.
#pragma once

#include <string>

#include "host/servers/sqlite/sqlite_data_server.h"
#include "host/servers/sqlite/sqlite_row_source.h"
#include "test_folder.h"

namespace tabulo::host::testing {

// Orders(Id 1..rows, Customer "C<Id mod 97>", Qty Id mod 500, Price Id * 0.5,
//        Placed 2020-01-01 plus Id mod 28 days, Note null for every 7th Id else "n<Id>").
inline void CreateOrders(TestDb& db, int rows, bool wal = false) {
  if (wal) db.Exec("PRAGMA journal_mode=WAL");
  db.Exec(
      "CREATE TABLE Orders(Id INTEGER PRIMARY KEY, Customer VARCHAR(40), Qty INTEGER, "
      "Price DOUBLE, Placed TIMESTAMP, Note VARCHAR(200))");
  db.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
          std::to_string(rows) +
          ") INSERT INTO Orders SELECT i, 'C' || (i % 97), i % 500, i * 0.5, "
          "date('2020-01-01', '+' || (i % 28) || ' days') || ' 10:30:00', "
          "CASE WHEN i % 7 = 0 THEN NULL ELSE 'n' || i END FROM n");
}

// Every record of a record set from the first, each as its fields' values.
inline std::vector<std::vector<platform::Variant>> AllRows(RecordSet& rs) {
  std::vector<std::vector<platform::Variant>> rows;
  if (rs.RecordCount() > 0) rs.MoveFirst();
  for (; !rs.Eof(); rs.MoveNext()) {
    rows.emplace_back();
    for (int32_t f = 0; f < rs.FieldCount(); ++f) rows.back().push_back(rs.Item(f).Value());
  }
  return rows;
}

// A Byte array, as binary fields read.
inline platform::Variant Bytes(std::initializer_list<uint8_t> bytes) {
  platform::SafeArray array(platform::VarType::Byte, {{0, static_cast<int32_t>(bytes.size())}});
  int32_t i = 0;
  for (uint8_t b : bytes) array.Set(i++, platform::Variant::Byte(b));
  return platform::Variant(std::move(array));
}

// plant.db in a fresh folder, the test's own connection to it and a data server that also
// knows it as the data source "Plant".
class ServerTest : public ::testing::Test {
 protected:
  std::shared_ptr<DataServer> Server(sqlite::SqliteServerOptions options = {}) {
    options.temp_folder = folder_ / "snap";
    options.busy_timeout = std::chrono::milliseconds(50);
    options.resolve_dsn = [this](std::string_view dsn) -> std::optional<std::string> {
      if (dsn == "Plant") return db_path_.string();
      return std::nullopt;
    };
    return sqlite::NewSqliteDataServer(std::move(options));
  }
  std::shared_ptr<RecordSet> Query(const std::string& sql) {
    return server_->Query(db_path_.string(), "", sql, "", "");
  }

  TestFolder folder_;
  std::filesystem::path db_path_ = folder_ / "plant.db";
  std::unique_ptr<TestDb> db_ = std::make_unique<TestDb>(db_path_);
  std::shared_ptr<DataServer> server_ = Server();
};

// data.db in a fresh folder, the test's own connection to it, and snapshot sources of it.
class SnapshotTest : public ::testing::Test {
 protected:
  sqlite::SnapshotSource Open(const std::string& sql, sqlite::SnapshotOptions options = {}) {
    options.busy_timeout = std::chrono::milliseconds(0);
    return sqlite::OpenSnapshotSource(db_path_, sql, store_, options);
  }
  TestFolder folder_;
  std::filesystem::path db_path_ = folder_ / "data.db";
  std::shared_ptr<sqlite::TempStore> store_ = sqlite::TempStore::Open(folder_ / "snap");
  TestDb db_{db_path_};
};

}  // namespace tabulo::host::testing
