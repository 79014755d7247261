// The general path: the rows themselves, in memory up to a bound and in a store file beyond.
// The store keeps SQLite's own values (no declared types, so no conversion) under rowids
// 1..N in result order.
#include "host/data_server.h"
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
        // Straight from the query into the store: no copy of the values on the way.
        InsertFrom(stmt, n);
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
    if (file_) {
      Exec(store_db_.get(), "COMMIT", file_->path());
      insert_.reset();
      read_ = Prepare(store_db_.get(), "SELECT * FROM r WHERE rowid = ?1", file_->path());
    }
    infos_ = Infos(columns_);
  }

  bool spilled() const { return file_ != nullptr; }

  const std::vector<ColumnInfo>& Columns() const override { return infos_; }
  int64_t Count() const override { return count_; }

  std::vector<platform::Variant> ReadRow(int64_t position) override {
    if (!file_) return ToVariants(columns_, rows_[static_cast<size_t>(position)]);
    sqlite3_stmt* stmt = read_.get();
    sqlite3_reset(stmt);
    sqlite3_bind_int64(stmt, 1, position + 1);
    if (!Step(store_db_.get(), stmt, file_->path())) {
      throw platform::ComError(kErrSourceUnusable,
                               "Record " + std::to_string(position + 1) +
                                   " is missing from the snapshot store " + file_->path().string(),
                               kErrorSource);
    }
    Row row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) row.push_back(ReadRaw(stmt, i));
    sqlite3_reset(stmt);
    return ToVariants(columns_, row);
  }

 private:
  void Spill(int n) {
    file_ = std::make_unique<TempFile>(store_->NewPath(".rows"));
    store_db_ = OpenDb(file_->path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                       std::chrono::milliseconds(0));
    // A private scratch file: no journal, no syncing, and one lock held for its life so that
    // each read by rowid does not start a transaction of its own.
    Exec(store_db_.get(),
         "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE",
         file_->path());
    std::string create = "CREATE TABLE r(", insert = "INSERT INTO r VALUES(";
    for (int i = 0; i < n; ++i) {
      create += (i ? ", c" : "c") + std::to_string(i);
      insert += i ? ", ?" : "?";
    }
    Exec(store_db_.get(), create + ")", file_->path());
    Exec(store_db_.get(), "BEGIN", file_->path());
    insert_ = Prepare(store_db_.get(), insert + ")", file_->path());
    for (const auto& row : rows_) Insert(row);
    rows_.clear();
    rows_.shrink_to_fit();
  }

  void Insert(const Row& row) {
    sqlite3_stmt* stmt = insert_.get();
    sqlite3_reset(stmt);
    for (size_t i = 0; i < row.size(); ++i) BindRaw(stmt, static_cast<int>(i + 1), row[i]);
    Step(store_db_.get(), stmt, file_->path());
    sqlite3_clear_bindings(stmt);
  }

  void InsertFrom(sqlite3_stmt* query, int n) {
    sqlite3_stmt* stmt = insert_.get();
    sqlite3_reset(stmt);
    for (int i = 0; i < n; ++i) sqlite3_bind_value(stmt, i + 1, sqlite3_column_value(query, i));
    Step(store_db_.get(), stmt, file_->path());
  }

  std::shared_ptr<TempStore> store_;
  std::unique_ptr<TempFile> file_;
  Db store_db_;
  Stmt insert_;
  Stmt read_;
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
