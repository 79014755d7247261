// The two kinds of snapshot source behind OpenSnapshotSource. Internal to host/servers/sqlite.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "host/row_source.h"
#include "host/servers/sqlite/connection.h"
#include "host/servers/sqlite/rowid_collector.h"
#include "host/servers/sqlite/rowid_plan.h"
#include "host/servers/sqlite/snapshot_columns.h"
#include "host/servers/sqlite/temp_store.h"

namespace tabulo::host::sqlite {

// Reads every row of `stmt` (stepped from its start) into memory, moving to a store file of
// `store` once the rows exceed `memory_bound` bytes. `*spilled` tells which happened. With
// `behind` (the connection of `stmt`, inside a read transaction that may stay open while
// writers commit: WAL), a result beyond the bound is counted and the rest copied behind: the
// source takes over the connection and the statement (both then empty) and reads the rows not
// yet copied directly (materialized_source.cc).
std::unique_ptr<RowSource> MaterializeRows(Db* behind, Stmt& stmt, std::vector<ColumnSpec> columns,
                                           const std::filesystem::path& db_path,
                                           std::shared_ptr<TempStore> store, size_t memory_bound,
                                           bool* spilled, const ProgressReport& progress);

// Whether `sql` computes the same rows in the same order every time it runs over the same data
// on `db`: none of the functions whose value depends on the moment or the connection (random(),
// changes(), 'now' ...) in the statement or in a view it names. Raises as the data server
// documents.
bool SameRowsEveryRun(sqlite3* db, std::string_view sql, const std::filesystem::path& path);

// How records are read on the rowid path.
enum class RowidReads {
  // Inside the read transaction the rowids were collected in, kept open for the source's life.
  InSnapshot,
  // Each read in a short read transaction of its own: membership fixed, values current.
  KeySet,
};

// Collects the rowids of `plan` on `db` and serves records by rowid. Takes ownership of the
// connection, which must be inside a read transaction: it stays open for InSnapshot reads and
// ends after the pass (and the first record, which types the columns) for KeySet reads. `progress`
// (may be empty) hears of a long pass.
std::unique_ptr<RowSource> CollectRowids(Db db, RowidReads reads, const RowidPlan& plan,
                                         std::vector<ColumnSpec> columns,
                                         const std::filesystem::path& db_path,
                                         ProgressReport progress);

}  // namespace tabulo::host::sqlite
