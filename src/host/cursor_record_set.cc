// CursorRecordSet: ADO navigation over a RowSource. The current row is read on first use and
// cached until the position changes, so a fill of ~30 visible rows reads each row once.
// Written values live in a map beside the source: they are few (one per edited cell).
#include "host/cursor_record_set.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace tabulo::host {
namespace {

using platform::ComError;
using platform::Variant;

class CursorRecordSet;

using Edits = std::map<std::pair<int64_t, int32_t>, Variant>;

// A record of a scan with the record set's own copy of written values over it.
class EditedRecord final : public ScanRecord {
 public:
  EditedRecord(const ScanRecord& read, const Edits& edits, int64_t position)
      : read_(read), edits_(edits), position_(position) {}
  Cell Kind(int32_t field) const override {
    const Variant* edit = Edit(field);
    return edit ? CellOf(*edit) : read_.Kind(field);
  }
  std::string_view Text(int32_t field) const override {
    const Variant* edit = Edit(field);
    return edit ? std::string_view(edit->AsString()) : read_.Text(field);
  }
  Variant Value(int32_t field) const override {
    const Variant* edit = Edit(field);
    return edit ? *edit : read_.Value(field);
  }

 private:
  const Variant* Edit(int32_t field) const {
    auto at = edits_.find({position_, field});
    return at == edits_.end() ? nullptr : &at->second;
  }
  const ScanRecord& read_;
  const Edits& edits_;
  int64_t position_;
};

class CursorField : public Field {
 public:
  CursorField(CursorRecordSet* owner, int32_t index) : owner_(owner), index_(index) {}
  std::string Name() const override;
  int32_t Type() const override;
  int32_t DefinedSize() const override;
  Variant Value() const override;
  void SetValue(Variant value) override;

 private:
  CursorRecordSet* owner_;
  int32_t index_;
};

class CursorRecordSet : public RecordSet {
 public:
  explicit CursorRecordSet(std::unique_ptr<RowSource> source)
      : source_(std::move(source)), count_(source_->Count()), columns_(source_->Columns()) {
    for (int32_t i = 0; i < static_cast<int32_t>(columns_.size()); ++i) {
      fields_.emplace_back(this, i);
    }
    position_ = count_ > 0 ? 0 : -1;
  }

  int32_t State() const override { return source_ ? 1 : 0; }

  bool Eof() const override {
    RequireOpen();
    return count_ == 0 || position_ >= count_;
  }
  bool Bof() const override {
    RequireOpen();
    return count_ == 0 || position_ < 0;
  }
  int64_t RecordCount() const override {
    RequireOpen();
    return count_;
  }

  void MoveFirst() override {
    RequireOpen();
    if (count_ == 0) throw NoCurrentRecordError();
    SetPosition(0);
  }

  void Move(int64_t n) override {
    RequireOpen();
    if (count_ == 0) throw NoCurrentRecordError();
    if ((position_ < 0 && n <= 0) || (position_ >= count_ && n >= 0)) {
      throw NoCurrentRecordError();
    }
    // Clamp before adding so that a huge n cannot overflow.
    int64_t target;
    if (n >= count_ + 1) {
      target = count_;
    } else if (n <= -(count_ + 1)) {
      target = -1;
    } else {
      target = position_ + n;
    }
    if (target > count_) target = count_;
    if (target < -1) target = -1;
    SetPosition(target);
  }

  void MoveNext() override {
    RequireOpen();
    if (Eof()) throw NoCurrentRecordError();
    SetPosition(position_ + 1);
  }

  void MovePrevious() override {
    RequireOpen();
    if (Bof()) throw NoCurrentRecordError();
    SetPosition(position_ - 1);
  }

  void Close() override {
    RequireOpen();
    source_.reset();
    cached_.reset();
    edits_.clear();
  }

  int32_t FieldCount() const override {
    RequireOpen();
    return static_cast<int32_t>(fields_.size());
  }

  Field& Item(int32_t index) override {
    RequireOpen();
    if (index < 0 || index >= static_cast<int32_t>(fields_.size())) {
      throw ComError::SubscriptOutOfRange("ADODB.Fields");
    }
    return fields_[static_cast<size_t>(index)];
  }

  const ColumnInfo& Column(int32_t index) const {
    RequireOpen();
    return columns_[static_cast<size_t>(index)];
  }

  Variant ValueAt(int32_t index) {
    RequireCurrent();
    auto edit = edits_.find({position_, index});
    if (edit != edits_.end()) return edit->second;
    if (!cached_) {
      std::vector<Variant> row = source_->ReadRow(position_);
      row.resize(columns_.size());
      cached_ = std::move(row);
    }
    return (*cached_)[static_cast<size_t>(index)];
  }

  // Straight from the source, the position left as it is; written values laid over the records
  // that have them.
  int64_t Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit) override {
    RequireOpen();
    if (edits_.empty()) return source_->Scan(first, count, forward, visit);
    return source_->Scan(first, count, forward, [&](int64_t position, const ScanRecord& read) {
      auto next = edits_.lower_bound({position, 0});
      if (next == edits_.end() || next->first.first != position) return visit(position, read);
      return visit(position, EditedRecord(read, edits_, position));
    });
  }

  void SetValueAt(int32_t index, Variant value) {
    RequireCurrent();
    edits_[{position_, index}] = std::move(value);
  }

 private:
  void RequireOpen() const {
    if (!source_) throw ClosedError();
  }
  void RequireCurrent() const {
    RequireOpen();
    if (position_ < 0 || position_ >= count_) throw NoCurrentRecordError();
  }
  void SetPosition(int64_t p) {
    if (p != position_) cached_.reset();
    position_ = p;
  }

  std::unique_ptr<RowSource> source_;
  int64_t count_;
  std::vector<ColumnInfo> columns_;
  std::vector<CursorField> fields_;
  int64_t position_ = -1;  // -1 BOF, count_ EOF
  std::optional<std::vector<Variant>> cached_;
  Edits edits_;
};

std::string CursorField::Name() const {
  return owner_->Column(index_).name;
}
int32_t CursorField::Type() const {
  return owner_->Column(index_).type;
}
int32_t CursorField::DefinedSize() const {
  return owner_->Column(index_).defined_size;
}
Variant CursorField::Value() const {
  return owner_->ValueAt(index_);
}
void CursorField::SetValue(Variant value) {
  owner_->SetValueAt(index_, std::move(value));
}

class ClosedRecordSet : public RecordSet {
 public:
  int32_t State() const override { return 0; }
  bool Eof() const override { throw ClosedError(); }
  bool Bof() const override { throw ClosedError(); }
  int64_t RecordCount() const override { throw ClosedError(); }
  void MoveFirst() override { throw ClosedError(); }
  void Move(int64_t) override { throw ClosedError(); }
  void MoveNext() override { throw ClosedError(); }
  void MovePrevious() override { throw ClosedError(); }
  void Close() override { throw ClosedError(); }
  int32_t FieldCount() const override { throw ClosedError(); }
  Field& Item(int32_t) override { throw ClosedError(); }
};

}  // namespace

std::shared_ptr<RecordSet> NewCursorRecordSet(std::unique_ptr<RowSource> source) {
  if (!source) return NewClosedRecordSet();
  return std::make_shared<CursorRecordSet>(std::move(source));
}

std::shared_ptr<RecordSet> NewClosedRecordSet() {
  return std::make_shared<ClosedRecordSet>();
}

}  // namespace tabulo::host
