// The two kinds of snapshot source behind OpenSnapshotSource. Internal to host/sqlite.
#pragma once

#include <filesystem>
#include <memory>

#include "host/row_source.h"
#include "host/sqlite/connection.h"
#include "host/sqlite/rowid_plan.h"
#include "host/sqlite/snapshot_columns.h"
#include "host/sqlite/temp_store.h"

namespace tabulo::host::sqlite {

// Reads every row of `stmt` (stepped from its start) into memory, moving to a store file of
// `store` once the rows exceed `memory_bound` bytes. `*spilled` tells which happened.
std::unique_ptr<RowSource> MaterializeRows(sqlite3* db, sqlite3_stmt* stmt,
                                           std::vector<ColumnSpec> columns,
                                           const std::filesystem::path& db_path,
                                           std::shared_ptr<TempStore> store, size_t memory_bound,
                                           bool* spilled);

// Collects the rowids of `plan` on `db` and serves records by rowid. Takes ownership of the
// connection (which must stay on a stable view: in a read transaction, or on a private copy)
// and of the copy file, which is removed after the connection closes.
std::unique_ptr<RowSource> CollectRowids(Db db, std::unique_ptr<TempFile> copy,
                                         std::shared_ptr<TempStore> store, const RowidPlan& plan,
                                         std::vector<ColumnSpec> columns,
                                         const std::filesystem::path& db_path);

}  // namespace tabulo::host::sqlite
