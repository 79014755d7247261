// Snapshot record-set sources over SQLite: the query's rows taken at one moment and kept
// stable while the record set is open, whatever other connections write afterwards.
//
// How the snapshot is taken (chosen so that no writer waits longer than one statement, and
// the user's file is never converted or written):
//   - A private read-only connection begins a read transaction and plans the query
//     (rowid_plan.h).
//   - General path (joins, views, groups, DISTINCT, compounds ...): the rows are copied while
//     the read transaction lasts — into memory up to a bound, beyond it into a store file of
//     the temp folder — and the transaction ends. The record set then holds no lock at all.
//     Under WAL a result beyond the bound is counted first and copied on a thread of its own
//     while the record set is already read (rows not yet copied read directly in the same
//     read transaction); the transaction ends when the copy does.
//   - Rowid path, WAL journal: the rowids are collected and the read transaction is kept for
//     the record set's life; records are read by rowid inside it. Writers proceed; the WAL
//     cannot be checkpointed past this snapshot until the record set closes. A true snapshot.
//   - Rowid path, rollback journal: a reader holding a transaction would make every writer's
//     COMMIT fail, so the transaction ends after the pass that collects the rowids (writers
//     wait for that pass at most), and each record is then read by rowid in a short read
//     transaction of its own. A key-set view: which records and in which order is fixed by
//     the pass (the count stays exact); their values are those of the moment they are read.
//     A record changed since shows its new values (even when it no longer matches WHERE); a
//     record deleted since shows kDeletedRecordText in every field; records inserted since
//     do not appear. Nothing is copied: the temp folder needs no room for the database.
// Memory: the rowid path holds ~1.1 bytes per row (KeyList); the general path at most the
// bound in memory. Store files are removed when the source is destroyed.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "host/row_source.h"
#include "host/servers/sqlite/rowid_collector.h"
#include "host/servers/sqlite/temp_store.h"

namespace tabulo::host::sqlite {

struct SnapshotOptions {
  std::chrono::milliseconds busy_timeout{5000};
  // Bytes of copied rows kept in memory before the general path moves to a store file.
  size_t memory_bound = 4 << 20;
  // Forces the general path (for tests that compare both paths).
  bool general_path_only = false;
  // Hears the rows collected so far while a pass lasts longer than about half a second.
  ProgressReport progress;
};

// Which path a source took, for tests and diagnostics.
enum class SnapshotPath { Rowid, RowidKeySet, Memory, StoreFile };

struct SnapshotSource {
  std::unique_ptr<RowSource> source;
  SnapshotPath path;
};

// Runs the query `sql` (one statement with result columns) against the database file `db_path`.
// Raises 0x80004005 / 0x80040E14 as the data server documents.
SnapshotSource OpenSnapshotSource(const std::filesystem::path& db_path, std::string_view sql,
                                  std::shared_ptr<TempStore> store, const SnapshotOptions& options);

}  // namespace tabulo::host::sqlite
