// ScanRecord: one record as a scan of a result hands it over (RowSource::Scan, RecordSet::Scan)
// — each cell's kind, a string's characters without a copy, and the value itself made only
// when asked for. A search through millions of records looks at most cells only this far.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/values/variant.h"

namespace tabulo::host {

class ScanRecord {
 public:
  // What Value() would give, known without making it:
  //   Null: Null or Empty.  String: a String with Text()'s characters.
  //   Number: a value of a number type (Variant::IsNumberType).
  //   DateOrString: a Date read from Text()'s characters, or where they do not read as one,
  //     a String with them.
  //   Other: anything else, or not known beforehand; ask Value.
  enum class Cell { Null, String, Number, DateOrString, Other };

  // `field` is 0..FieldCount()-1 of the record set the scan belongs to.
  virtual Cell Kind(int32_t field) const = 0;
  // REQUIRES: Kind(field) is String or DateOrString. Valid while the record is being visited.
  virtual std::string_view Text(int32_t field) const = 0;
  // The value as the record set's field reads it.
  virtual platform::Variant Value(int32_t field) const = 0;

 protected:
  ~ScanRecord() = default;
};

// Hears each record of a scan with its position; false ends the scan.
using ScanVisitor = std::function<bool(int64_t position, const ScanRecord& record)>;

// The kind of a value already made.
ScanRecord::Cell CellOf(const platform::Variant& value);

// A record whose values are already made.
class VariantRecord final : public ScanRecord {
 public:
  explicit VariantRecord(const std::vector<platform::Variant>& values) : values_(&values) {}
  Cell Kind(int32_t field) const override { return CellOf(At(field)); }
  std::string_view Text(int32_t field) const override { return At(field).AsString(); }
  platform::Variant Value(int32_t field) const override { return At(field); }

 private:
  const platform::Variant& At(int32_t field) const {
    return (*values_)[static_cast<size_t>(field)];
  }
  const std::vector<platform::Variant>* values_;
};

}  // namespace tabulo::host
