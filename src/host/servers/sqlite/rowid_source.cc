// The rowid path: a KeyList of the result, records read by rowid with one prepared statement.
#include <algorithm>
#include <deque>
#include <unordered_map>

#include "host/data_server.h"
#include "host/servers/sqlite/rowid_collector.h"
#include "host/servers/sqlite/snapshot_sources.h"
#include "host/servers/sqlite/sqlite_row_source.h"
#include "platform/values/com_error.h"

namespace tabulo::host::sqlite {
namespace {

class RowidSource : public RowSource {
 public:
  RowidSource(Db db, RowidReads reads, std::vector<ColumnSpec> columns,
              std::filesystem::path db_path)
      : db_(std::move(db)),
        reads_(reads),
        columns_(std::move(columns)),
        db_path_(std::move(db_path)) {}

  void Collect(const RowidPlan& plan, ProgressReport progress) {
    collector_.progress = std::move(progress);
    RegisterRowidCollector(db_.get(), &collector_);
    {
      Stmt collect = Prepare(db_.get(), plan.collect_sql, db_path_);
      Step(db_.get(), collect.get(), db_path_);
    }
    RegisterRowidCollector(db_.get(), nullptr);
    collector_.ids.ShrinkToFit();
    read_ = Prepare(db_.get(), plan.read_sql, db_path_);
    if (!plan.range_up_sql.empty()) {
      range_up_ = Prepare(db_.get(), plan.range_up_sql, db_path_);
      range_down_ = Prepare(db_.get(), plan.range_down_sql, db_path_);
    }
    std::vector<RawValue> first;
    if (collector_.ids.size() > 0) ReadRaw(0, &first);
    TypeByFirstRow(columns_, first);
    infos_ = Infos(columns_);
    if (reads_ == RowidReads::KeySet) Exec(db_.get(), "COMMIT", db_path_);
  }

  const std::vector<ColumnInfo>& Columns() const override { return infos_; }
  int64_t Count() const override { return collector_.ids.size(); }
  std::vector<platform::Variant> ReadRow(int64_t position) override {
    if (reads_ == RowidReads::KeySet) {
      const std::vector<RawValue>& row = KeySetRow(position);
      // A record deleted since the pass: empty, and said so in every field.
      if (row.empty()) return Deleted();
      return ToVariants(columns_, row);
    }
    std::vector<RawValue> row;
    if (!ReadRaw(position, &row)) throw Missing(position);
    return ToVariants(columns_, row);
  }

  // Each record looked at in place. In a key-set view a batch of records is read in one short
  // read transaction, and a record whose block the window has read is searched with the
  // values it shows.
  int64_t Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit) override {
    const int64_t length = ScanLength(Count(), first, count, forward);
    if (reads_ == RowidReads::InSnapshot) return ScanReads(first, length, forward, visit);
    int64_t handed = 0;
    while (handed < length) {
      const int64_t batch = std::min(length - handed, kScanBatch);
      Exec(db_.get(), "BEGIN", db_path_);
      int64_t read = 0;
      try {
        read = ScanReads(forward ? first + handed : first - handed, batch, forward, visit);
      } catch (...) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
      Exec(db_.get(), "COMMIT", db_path_);
      handed += read;
      if (read < batch) break;
    }
    return handed;
  }

 private:
  // Records whose rowids follow closely on each other in the scan's direction (a table's
  // order, or runs of it) are read by stepping one statement through the table; a record
  // farther away starts it anew from its rowid; without such a statement each record is read
  // by its rowid. REQUIRES: inside a read transaction; `length` within the records.
  int64_t ScanReads(int64_t first, int64_t length, bool forward, const ScanVisitor& visit) {
    const bool key_set = reads_ == RowidReads::KeySet;
    sqlite3_stmt* read = read_.get();
    sqlite3_stmt* range = forward ? range_up_.get() : range_down_.get();
    struct Reset {
      sqlite3_stmt* read;
      sqlite3_stmt* range;
      ~Reset() {
        sqlite3_reset(read);
        if (range) sqlite3_reset(range);
      }
    } reset{read, range};
    bool on_row = false;
    int64_t at = 0;  // the rowid of the range statement's row
    const auto step_range = [&] {
      on_row = Step(db_.get(), range, db_path_);
      if (on_row) at = sqlite3_column_int64(range, 0);
    };
    for (int64_t k = 0; k < length; ++k) {
      const int64_t position = forward ? first + k : first - k;
      if (key_set && !cache_.empty()) {
        auto cached = cache_.find(position / kBlockRows);
        if (cached != cache_.end()) {
          const auto& row = cached->second[static_cast<size_t>(position % kBlockRows)];
          const bool go = row.empty() ? visit(position, VariantRecord(Deleted()))
                                      : visit(position, RawRecord(columns_, row));
          if (!go) return k + 1;
          continue;
        }
      }
      const int64_t id = collector_.ids.At(position);
      if (range) {
        const uint64_t ahead = forward ? static_cast<uint64_t>(id) - static_cast<uint64_t>(at)
                                       : static_cast<uint64_t>(at) - static_cast<uint64_t>(id);
        if (on_row && ahead > 0 && ahead <= kStepsAhead) {
          while (on_row && at != id && (forward ? at < id : at > id)) step_range();
        } else if (!on_row || at != id) {
          sqlite3_reset(range);
          sqlite3_bind_int64(range, 1, id);
          step_range();
        }
        if (on_row && at == id) {
          if (!visit(position, StatementRecord(columns_, range, 1))) return k + 1;
          continue;
        }
      }
      sqlite3_reset(read);
      sqlite3_bind_int64(read, 1, id);
      bool go;
      if (Step(db_.get(), read, db_path_)) {
        go = visit(position, StatementRecord(columns_, read));
      } else if (key_set) {
        go = visit(position, VariantRecord(Deleted()));  // deleted since the pass
      } else {
        throw Missing(position);
      }
      if (!go) return k + 1;
    }
    return length;
  }

  // What every field of a record deleted since the pass reads as.
  const std::vector<platform::Variant>& Deleted() {
    if (deleted_.empty()) deleted_.assign(columns_.size(), platform::Variant(kDeletedRecordText));
    return deleted_;
  }

  platform::ComError Missing(int64_t position) const {
    // Cannot happen on a stable view; said plainly rather than returning a wrong row.
    return platform::ComError(kErrSourceUnusable,
                              "Record " + std::to_string(position + 1) +
                                  " is missing from the snapshot of " + db_path_.string(),
                              kErrorSource);
  }

  // Key-set reads: the block of kBlockRows records around `position` is read in one short
  // read transaction and kept while it is among the last kCachedBlocks blocks read, so that
  // the values a window shows stay what the operator saw (the commit path compares them)
  // until the window moves far away.
  static constexpr int64_t kBlockRows = 32;
  // How far (in rowids) a scan steps its range statement on before it starts it anew.
  static constexpr uint64_t kStepsAhead = 16;
  // Records a scan of a key-set view reads in one read transaction (about a millisecond).
  static constexpr int64_t kScanBatch = 4096;
  static constexpr size_t kCachedBlocks = 64;

  const std::vector<RawValue>& KeySetRow(int64_t position) {
    const int64_t block = position / kBlockRows;
    auto cached = cache_.find(block);
    if (cached == cache_.end()) {
      std::vector<std::vector<RawValue>> rows;
      const int64_t end = std::min(Count(), (block + 1) * kBlockRows);
      Exec(db_.get(), "BEGIN", db_path_);
      try {
        for (int64_t p = block * kBlockRows; p < end; ++p) {
          std::vector<RawValue> row;
          if (!ReadRaw(p, &row)) row.clear();
          rows.push_back(std::move(row));
        }
      } catch (...) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
      Exec(db_.get(), "COMMIT", db_path_);
      if (order_.size() >= kCachedBlocks) {
        cache_.erase(order_.front());
        order_.pop_front();
      }
      order_.push_back(block);
      cached = cache_.emplace(block, std::move(rows)).first;
    }
    return cached->second[static_cast<size_t>(position - block * kBlockRows)];
  }

  // False when no record has the rowid (any more).
  bool ReadRaw(int64_t position, std::vector<RawValue>* row) {
    sqlite3_stmt* stmt = read_.get();
    sqlite3_reset(stmt);
    sqlite3_bind_int64(stmt, 1, collector_.ids.At(position));
    // In autocommit (key-set reads) the step is a read transaction of its own, ended by the
    // reset below.
    const bool found = Step(db_.get(), stmt, db_path_);
    if (found) {
      const int n = sqlite3_column_count(stmt);
      row->reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row->push_back(sqlite::ReadRaw(stmt, i));
    }
    sqlite3_reset(stmt);
    return found;
  }

  // Destroyed in reverse order: statements, then the connection.
  Db db_;
  Stmt read_, range_up_, range_down_;
  RowidReads reads_;
  std::vector<ColumnSpec> columns_;
  std::vector<ColumnInfo> infos_;
  std::filesystem::path db_path_;
  RowidCollector collector_;
  std::unordered_map<int64_t, std::vector<std::vector<RawValue>>> cache_;
  std::deque<int64_t> order_;  // cached blocks, oldest first
  std::vector<platform::Variant> deleted_;
};

}  // namespace

std::unique_ptr<RowSource> CollectRowids(Db db, RowidReads reads, const RowidPlan& plan,
                                         std::vector<ColumnSpec> columns,
                                         const std::filesystem::path& db_path,
                                         ProgressReport progress) {
  auto source = std::make_unique<RowidSource>(std::move(db), reads, std::move(columns), db_path);
  source->Collect(plan, std::move(progress));
  return source;
}

}  // namespace tabulo::host::sqlite
