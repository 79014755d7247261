// Snapshot record-set sources over SQLite: the query's rows taken at one moment and kept
// stable while the record set is open, whatever other connections write afterwards.
//
// How the snapshot is taken (chosen so that no writer waits longer than one statement, and
// the user's file is never converted or written):
//   - A private read-only connection begins a read transaction and plans the query
//     (rowid_plan.h).
//   - General path (joins, views, groups, expressions ...): the rows are copied while the read
//     transaction lasts — into memory up to a bound, beyond it into a store file of the temp
//     folder — and the transaction ends. The record set then holds no lock at all.
//   - Rowid path, WAL journal: the rowids are collected and the read transaction is kept for
//     the record set's life; records are read by rowid inside it. Writers proceed; the WAL
//     cannot be checkpointed past this snapshot until the record set closes.
//   - Rowid path, rollback journal: a reader holding a transaction would make every writer's
//     COMMIT fail, so the database file is copied into the temp folder (SQLite's backup, under
//     the shared lock of the one read transaction), the lock is released, and rowids are
//     collected and records read on the private copy.
// Measured (bench/record_set_bench, 10M-row Orders, 8M-row result, loaded 2-core machine, CPU
// time): count pass 0.85 s; first window WAL 1.2 s, rollback journal 3.2 s (the 740 MB copy;
// 13.8 s wall on this disk); the general path for the same query 16.6 s. Jump to any record
// and read 30 rows: median 45-51 us. So the rollback-journal rowid path copies the file rather
// than the result; for large tables WAL is the journal mode to recommend.
// Memory: the rowid path holds ~1.1 bytes per row (RowidList); the general path at most the
// bound in memory. Store files are removed when the source is destroyed.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string_view>

#include "host/row_source.h"
#include "host/sqlite/temp_store.h"

namespace tabulo::host::sqlite {

struct SnapshotOptions {
  std::chrono::milliseconds busy_timeout{5000};
  // Bytes of copied rows kept in memory before the general path moves to a store file.
  size_t memory_bound = 4 << 20;
  // Forces the general path (for tests that compare both paths).
  bool general_path_only = false;
};

// Which path a source took, for tests and diagnostics.
enum class SnapshotPath { Rowid, RowidOnCopy, Memory, StoreFile };

struct SnapshotSource {
  std::unique_ptr<RowSource> source;
  SnapshotPath path;
};

// Runs the query `sql` (one statement with result columns) against the database file `db_path`.
// Raises 0x80004005 / 0x80040E14 as the data server documents.
SnapshotSource OpenSnapshotSource(const std::filesystem::path& db_path, std::string_view sql,
                                  std::shared_ptr<TempStore> store, const SnapshotOptions& options);

}  // namespace tabulo::host::sqlite
