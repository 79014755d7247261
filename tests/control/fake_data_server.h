// Test doubles of the host's data server: results of any size computed on demand, a machine
// name that cannot be read, errors the embedded server never raises, and the Nth query, write,
// move or field read of a real data server failing with the data server's own error.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/cursor_record_set.h"
#include "host/data_server.h"
#include "host/row_source.h"
#include "platform/text/text.h"
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

// The calls a countdown can fail: a SELECT, any other statement, a record-set move (MoveFirst,
// Move, MoveNext, MovePrevious), a field's value.
enum class Fault { kQuery, kWrite, kMove, kRead };

// Fails the `fail_at`th call of one kind (0: none), as a store that breaks underneath would:
// raising the provider's "data source not usable" instead of doing the call.
struct FaultCountdown {
  Fault kind = Fault::kQuery;
  int fail_at = 0;
  int calls = 0;
  bool fired = false;

  void Arm(Fault k, int n) { *this = FaultCountdown{k, n, 0, false}; }
  void Tick(Fault k) {
    if (k != kind || fail_at == 0 || fired || ++calls < fail_at) return;
    fired = true;
    throw platform::ComError(host::kErrSourceUnusable, "Simulated failure of the data source");
  }
};

class FaultyField : public host::Field {
 public:
  FaultyField(host::Field& inner, std::shared_ptr<FaultCountdown> faults)
      : inner_(inner), faults_(std::move(faults)) {}
  std::string Name() const override { return inner_.Name(); }
  int32_t Type() const override { return inner_.Type(); }
  int32_t DefinedSize() const override { return inner_.DefinedSize(); }
  platform::Variant Value() const override {
    faults_->Tick(Fault::kRead);
    return inner_.Value();
  }
  void SetValue(platform::Variant value) override { inner_.SetValue(std::move(value)); }

 private:
  host::Field& inner_;
  std::shared_ptr<FaultCountdown> faults_;
};

// An open record set whose moves and field reads go through the countdown.
class FaultyRecordSet : public host::RecordSet {
 public:
  FaultyRecordSet(std::shared_ptr<host::RecordSet> inner, std::shared_ptr<FaultCountdown> faults)
      : inner_(std::move(inner)), faults_(std::move(faults)) {
    for (int32_t i = 0; i < inner_->FieldCount(); ++i)
      fields_.emplace_back(inner_->Item(i), faults_);
  }
  int32_t State() const override { return inner_->State(); }
  bool Eof() const override { return inner_->Eof(); }
  bool Bof() const override { return inner_->Bof(); }
  int64_t RecordCount() const override { return inner_->RecordCount(); }
  void MoveFirst() override { Moving().MoveFirst(); }
  void Move(int64_t n) override { Moving().Move(n); }
  void MoveNext() override { Moving().MoveNext(); }
  void MovePrevious() override { Moving().MovePrevious(); }
  void Close() override { inner_->Close(); }
  int32_t FieldCount() const override { return inner_->FieldCount(); }
  host::Field& Item(int32_t index) override {
    inner_->Item(index);  // raises for an index out of range
    return fields_[static_cast<size_t>(index)];
  }

 private:
  host::RecordSet& Moving() {
    faults_->Tick(Fault::kMove);
    return *inner_;
  }
  std::shared_ptr<host::RecordSet> inner_;
  std::shared_ptr<FaultCountdown> faults_;
  std::vector<FaultyField> fields_;
};

class FakeDataServer : public host::DataServer {
 public:
  int16_t ServerType() const override { return wrapped ? wrapped->ServerType() : type_; }
  void SetServerType(int16_t type) override {
    type_ = type;
    if (wrapped) wrapped->SetServerType(type);
  }
  std::shared_ptr<host::RecordSet> Query(std::string_view source, std::string_view empty,
                                         std::string_view statement, std::string_view user,
                                         std::string_view password) override {
    ++queries;
    if (query_error) throw *query_error;
    bool select = platform::UCase(platform::Trim(statement)).rfind("SELECT", 0) == 0;
    faults->Tick(select ? Fault::kQuery : Fault::kWrite);
    std::shared_ptr<host::RecordSet> rs =
        wrapped ? wrapped->Query(source, empty, statement, user, password)
                : host::NewCursorRecordSet(std::make_unique<CountingRowSource>(rows));
    if (rs->State() != 1) return rs;
    return std::make_shared<FaultyRecordSet>(std::move(rs), faults);
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
    return wrapped ? wrapped->MachineName() : "FAKEBOX";
  }

  // The real server behind this one; without it, `rows` counting rows.
  std::shared_ptr<host::DataServer> wrapped;
  int64_t rows = 0;
  int queries = 0;
  std::optional<platform::ComError> query_error;
  bool machine_name_fails = false;
  std::shared_ptr<FaultCountdown> faults = std::make_shared<FaultCountdown>();

 private:
  int16_t type_ = 0;
};

}  // namespace tabulo::control::testing
