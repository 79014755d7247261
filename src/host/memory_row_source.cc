// MemoryRowSource: rows held as variants.
#include "host/memory_row_source.h"

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

class MemoryRowSource : public RowSource {
 public:
  MemoryRowSource(std::vector<ColumnInfo> columns, std::vector<std::vector<platform::Variant>> rows)
      : columns_(std::move(columns)), rows_(std::move(rows)) {}
  const std::vector<ColumnInfo>& Columns() const override { return columns_; }
  int64_t Count() const override { return static_cast<int64_t>(rows_.size()); }
  std::vector<platform::Variant> ReadRow(int64_t position) override {
    return rows_.at(static_cast<size_t>(position));
  }

 private:
  std::vector<ColumnInfo> columns_;
  std::vector<std::vector<platform::Variant>> rows_;
};

}  // namespace

std::unique_ptr<RowSource> NewMemoryRowSource(std::vector<ColumnInfo> columns,
                                              std::vector<std::vector<platform::Variant>> rows) {
  for (const auto& row : rows) {
    if (row.size() != columns.size()) {
      throw platform::ComError(platform::kErrInvalidProcedureCall,
                               "A row has " + std::to_string(row.size()) + " values for " +
                                   std::to_string(columns.size()) + " columns",
                               "RecordSet");
    }
  }
  return std::make_unique<MemoryRowSource>(std::move(columns), std::move(rows));
}

}  // namespace tabulo::host
