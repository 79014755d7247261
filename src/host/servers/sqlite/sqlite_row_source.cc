// Taking a snapshot: one read transaction decides the journal mode and the path.
#include "host/servers/sqlite/sqlite_row_source.h"

#include <cstring>

#include "host/data_server.h"
#include "host/servers/sqlite/file_stamp.h"
#include "host/servers/sqlite/snapshot_sources.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;

bool InWalMode(sqlite3* db, const fs::path& path) {
  Stmt pragma = Prepare(db, "PRAGMA main.journal_mode", path);
  if (!Step(db, pragma.get(), path)) return false;
  const char* mode = reinterpret_cast<const char*>(sqlite3_column_text(pragma.get(), 0));
  return mode && std::strcmp(mode, "wal") == 0;
}

SnapshotSource TakeSnapshot(Db db, bool immutable, const fs::path& db_path, std::string_view sql,
                            std::shared_ptr<TempStore> store, const SnapshotOptions& options) {
  Exec(db.get(), "BEGIN", db_path);
  {
    // The first read starts the transaction (and fails here for a file that is no database).
    Stmt probe = Prepare(db.get(), "SELECT count(*) FROM main.sqlite_master", db_path);
    Step(db.get(), probe.get(), db_path);
  }
  Stmt stmt = Prepare(db.get(), sql, db_path);
  std::vector<ColumnSpec> columns = DescribeColumns(stmt.get());

  std::optional<RowidPlan> plan;
  if (!options.general_path_only) plan = PlanRowidPath(db.get(), stmt.get(), sql);
  if (!plan) {
    // Under WAL a large result is copied behind while the source is read (writers proceed
    // beside the open read transaction); under a rollback journal the copy is done before the
    // source is handed out, so that no writer waits longer than this statement. An immutable
    // read is checked whole against the file's stamp before it is handed out.
    const bool behind = !immutable && InWalMode(db.get(), db_path);
    bool spilled = false;
    auto source =
        MaterializeRows(behind ? &db : nullptr, stmt, std::move(columns), db_path, std::move(store),
                        options.memory_bound, &spilled, options.progress);
    if (db) {
      stmt.reset();
      Exec(db.get(), "COMMIT", db_path);
    }
    return {std::move(source), spilled ? SnapshotPath::StoreFile : SnapshotPath::Memory};
  }
  stmt.reset();
  // WAL: the open read transaction is the snapshot, and writers proceed beside it. Rollback
  // journal: a reader holding a transaction would make every writer's COMMIT fail, so only
  // the pass holds it and each record is read in a read transaction of its own.
  const bool wal = InWalMode(db.get(), db_path);
  return {CollectRowids(std::move(db), wal ? RowidReads::InSnapshot : RowidReads::KeySet, *plan,
                        std::move(columns), db_path, options.progress),
          wal ? SnapshotPath::Rowid : SnapshotPath::RowidKeySet};
}

}  // namespace

SnapshotSource OpenSnapshotSource(const fs::path& db_path, std::string_view sql,
                                  std::shared_ptr<TempStore> store,
                                  const SnapshotOptions& options) {
  bool immutable = false;
  const FileStamp before = StampOf(db_path);
  Db db = OpenForReading(db_path, options.busy_timeout, &immutable);
  if (!immutable)
    return TakeSnapshot(std::move(db), false, db_path, sql, std::move(store), options);
  // Nothing guards an immutable read against a writer (with the right to write) that starts
  // meanwhile: the snapshot, read whole before this returns, is kept only when the file did not
  // change while it was read.
  try {
    SnapshotSource snapshot =
        TakeSnapshot(std::move(db), true, db_path, sql, std::move(store), options);
    if (StampOf(db_path) == before) return snapshot;
  } catch (const platform::ComError&) {
    if (StampOf(db_path) == before) throw;
  }
  throw platform::ComError(kErrSourceLocked,
                           "The database " + db_path.string() +
                               " was changed by another program while it was read; read it again.",
                           kErrorSource);
}

}  // namespace tabulo::host::sqlite
