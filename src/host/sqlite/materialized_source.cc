// The general path: the rows themselves, in memory up to a bound and in a record file of the
// store beyond (record_file.h). Both keep SQLite's own values (no conversion) in result order.
#include "host/data_server.h"
#include "host/sqlite/record_file.h"
#include "host/sqlite/snapshot_sources.h"

namespace tabulo::host::sqlite {
namespace {

using Row = std::vector<RawValue>;

class MaterializedSource : public RowSource {
 public:
  MaterializedSource(std::shared_ptr<TempStore> store, std::vector<ColumnSpec> columns,
                     size_t memory_bound)
      : store_(std::move(store)), columns_(std::move(columns)), memory_bound_(memory_bound) {}

  void Fill(sqlite3* db, sqlite3_stmt* stmt, const std::filesystem::path& db_path,
            const ProgressReport& progress) {
    const int n = sqlite3_column_count(stmt);
    size_t bytes = 0;
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point next_report{};
    while (Step(db, stmt, db_path)) {
      if (progress.sink && count_ > 0 && count_ % 4096 == 0) {
        ReportProgressIfDue(progress.sink, count_, started, progress.after, &next_report);
      }
      if (file_) {
        // Straight from the query into the file: no copy of the values on the way.
        file_->AppendFrom(stmt, n);
        ++count_;
        continue;
      }
      Row row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row.push_back(ReadRaw(stmt, i));
      if (count_ == 0) TypeByFirstRow(columns_, row);
      ++count_;
      for (const auto& v : row) bytes += v.ByteSize();
      rows_.push_back(std::move(row));
      if (bytes > memory_bound_) Spill(n);
    }
    if (file_) file_->Finish();
    infos_ = Infos(columns_);
  }

  bool spilled() const { return file_ != nullptr; }

  const std::vector<ColumnInfo>& Columns() const override { return infos_; }
  int64_t Count() const override { return count_; }

  std::vector<platform::Variant> ReadRow(int64_t position) override {
    if (!file_) return ToVariants(columns_, rows_[static_cast<size_t>(position)]);
    return ToVariants(columns_, file_->Read(position));
  }

  int64_t Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit) override {
    const int64_t length = ScanLength(count_, first, count, forward);
    for (int64_t k = 0; k < length; ++k) {
      const int64_t position = forward ? first + k : first - k;
      const bool go =
          file_ ? visit(position, RawRecord(columns_, file_->Read(position)))
                : visit(position, RawRecord(columns_, rows_[static_cast<size_t>(position)]));
      if (!go) return k + 1;
    }
    return length;
  }

 private:
  void Spill(int n) {
    file_ = std::make_unique<RecordFile>(std::make_unique<TempFile>(store_->NewPath(".rows")),
                                         static_cast<size_t>(n));
    for (const auto& row : rows_) file_->Append(row);
    rows_.clear();
    rows_.shrink_to_fit();
  }

  std::shared_ptr<TempStore> store_;
  std::unique_ptr<RecordFile> file_;
  std::vector<ColumnSpec> columns_;
  std::vector<ColumnInfo> infos_;
  size_t memory_bound_;
  std::vector<Row> rows_;
  int64_t count_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> MaterializeRows(sqlite3* db, sqlite3_stmt* stmt,
                                           std::vector<ColumnSpec> columns,
                                           const std::filesystem::path& db_path,
                                           std::shared_ptr<TempStore> store, size_t memory_bound,
                                           bool* spilled, const ProgressReport& progress) {
  auto source =
      std::make_unique<MaterializedSource>(std::move(store), std::move(columns), memory_bound);
  source->Fill(db, stmt, db_path, progress);
  if (spilled) *spilled = source->spilled();
  return source;
}

}  // namespace tabulo::host::sqlite
