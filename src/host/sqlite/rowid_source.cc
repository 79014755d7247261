// The rowid path: a RowidList of the result, records read by rowid with one prepared statement.
#include "host/data_server.h"
#include "host/sqlite/rowid_list.h"
#include "host/sqlite/snapshot_sources.h"
#include "platform/values/com_error.h"

namespace tabulo::host::sqlite {
namespace {

class RowidSource : public RowSource {
 public:
  RowidSource(std::shared_ptr<TempStore> store, std::unique_ptr<TempFile> copy, Db db,
              std::vector<ColumnSpec> columns, std::filesystem::path db_path)
      : store_(std::move(store)),
        copy_(std::move(copy)),
        db_(std::move(db)),
        columns_(std::move(columns)),
        db_path_(std::move(db_path)) {}

  void Collect(const RowidPlan& plan) {
    Stmt collect = Prepare(db_.get(), plan.collect_sql, db_path_);
    while (Step(db_.get(), collect.get(), db_path_)) {
      ids_.Append(sqlite3_column_int64(collect.get(), 0));
    }
    ids_.ShrinkToFit();
    read_ = Prepare(db_.get(), plan.read_sql, db_path_);
    std::vector<RawValue> first;
    if (ids_.size() > 0) first = ReadRaw(0);
    TypeByFirstRow(columns_, first);
    infos_ = Infos(columns_);
  }

  const std::vector<ColumnInfo>& Columns() const override { return infos_; }
  int64_t Count() const override { return ids_.size(); }
  std::vector<platform::Variant> ReadRow(int64_t position) override {
    return ToVariants(columns_, ReadRaw(position));
  }

 private:
  std::vector<RawValue> ReadRaw(int64_t position) {
    sqlite3_stmt* stmt = read_.get();
    sqlite3_reset(stmt);
    sqlite3_bind_int64(stmt, 1, ids_.At(position));
    if (!Step(db_.get(), stmt, db_path_)) {
      // Cannot happen on a stable view; said plainly rather than returning a wrong row.
      throw platform::ComError(kErrSourceUnusable,
                               "Record " + std::to_string(position + 1) +
                                   " is missing from the snapshot of " + db_path_.string(),
                               kErrorSource);
    }
    std::vector<RawValue> row;
    const int n = sqlite3_column_count(stmt);
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row.push_back(sqlite::ReadRaw(stmt, i));
    sqlite3_reset(stmt);
    return row;
  }

  // Destroyed in reverse order: statements, then the connection, then the copy file.
  std::shared_ptr<TempStore> store_;
  std::unique_ptr<TempFile> copy_;
  Db db_;
  Stmt read_;
  std::vector<ColumnSpec> columns_;
  std::vector<ColumnInfo> infos_;
  std::filesystem::path db_path_;
  RowidList ids_;
};

}  // namespace

std::unique_ptr<RowSource> CollectRowids(Db db, std::unique_ptr<TempFile> copy,
                                         std::shared_ptr<TempStore> store, const RowidPlan& plan,
                                         std::vector<ColumnSpec> columns,
                                         const std::filesystem::path& db_path) {
  auto source = std::make_unique<RowidSource>(std::move(store), std::move(copy), std::move(db),
                                              std::move(columns), db_path);
  source->Collect(plan);
  return source;
}

}  // namespace tabulo::host::sqlite
