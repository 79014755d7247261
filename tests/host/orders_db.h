// A small Orders database for the data-server tests; values follow from the Id so that tests
// can compute what any record holds.
#pragma once

#include <string>

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

}  // namespace tabulo::host::testing
