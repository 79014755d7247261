// Test doubles of the host's data server: results of any size computed on demand (so that a
// ten-million-row result costs nothing), a machine name that cannot be read, and errors the
// embedded server never raises.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/cursor_record_set.h"
#include "host/data_server.h"
#include "host/row_source.h"
#include "platform/values/com_error.h"

namespace tabulo::control::testing {

// One Long column "Id" holding position + 1, for `count` rows.
class CountingRowSource : public host::RowSource {
 public:
  explicit CountingRowSource(int64_t count) : count_(count) {
    columns_.push_back(host::ColumnInfo{"Id", 3, 4});
  }
  const std::vector<host::ColumnInfo>& Columns() const override { return columns_; }
  int64_t Count() const override { return count_; }
  std::vector<platform::Variant> ReadRow(int64_t position) override {
    return {platform::Variant(static_cast<double>(position + 1))};
  }

 private:
  int64_t count_;
  std::vector<host::ColumnInfo> columns_;
};

class FakeDataServer : public host::DataServer {
 public:
  int16_t ServerType() const override { return type_; }
  void SetServerType(int16_t type) override { type_ = type; }
  std::shared_ptr<host::RecordSet> Query(std::string_view, std::string_view, std::string_view,
                                         std::string_view, std::string_view) override {
    ++queries;
    if (query_error) throw *query_error;
    return host::NewCursorRecordSet(std::make_unique<CountingRowSource>(rows));
  }
  std::shared_ptr<host::RecordSet> ListAll(std::string_view s, std::string_view st,
                                           std::string_view u, std::string_view p) override {
    return Query(s, "", st, u, p);
  }
  std::shared_ptr<host::RecordSet> ListSources(std::string_view, std::string_view,
                                               std::string_view) override {
    return host::NewClosedRecordSet();
  }
  std::shared_ptr<host::RecordSet> ListCatalogs() override { return host::NewClosedRecordSet(); }
  std::string MachineName() const override {
    if (machine_name_fails) throw platform::ComError(0x80004005, "The server is gone");
    return "FAKEBOX";
  }

  int64_t rows = 0;
  int queries = 0;
  std::optional<platform::ComError> query_error;
  bool machine_name_fails = false;

 private:
  int16_t type_ = 0;
};

}  // namespace tabulo::control::testing
