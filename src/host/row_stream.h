// Rows of a query handed on once, in order, as they are read: for a reader that takes every
// row a single time (an export) and needs neither a snapshot to move about in nor a count
// before the first row. A value is seen in its own storage where it has one (a 64-bit integer,
// a double, the bytes of a text or a blob) so that nothing is lost or converted on the way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/variant.h"

namespace tabulo::host {

class RecordSet;

// One value of a streamed row; what it points at lives until the next row.
struct StreamValue {
  enum Kind : uint8_t {
    Null,     // a database null (or an Empty value)
    Integer,  // i: a whole number, exact over the whole 64-bit range
    Real,     // d: a floating-point number
    Text,     // bytes: UTF-8 text (may be empty, which is no null)
    Bytes,    // bytes: binary data
    Other,    // other: a value of another kind (Boolean, Currency, Date ...)
    Decimal,  // bytes: a decimal number as the server wrote it ("-" digits ["." digits]),
              // exact whatever its digits; written as it stands
  };
  Kind kind = Null;
  int64_t i = 0;
  double d = 0.0;
  std::string_view bytes;
  const platform::Variant* other = nullptr;
};

struct StreamColumn {
  std::string name;
  int32_t type = 0;  // the field's ADO type (field_types.h)
};

class RowStreamSink {
 public:
  virtual ~RowStreamSink() = default;
  // Once, before the first row (also for an empty result).
  virtual void Begin(const std::vector<StreamColumn>& columns) = 0;
  // One row: a value per column.
  virtual void Row(const StreamValue* values) = 0;
};

// `value` as a stream value; `other` must outlive the result's use (it may point into it).
StreamValue ToStreamValue(const platform::Variant& value);

// Streams the records of `rs` from its current record to its end; returns how many.
int64_t StreamRecordSet(RecordSet& rs, RowStreamSink& sink);

}  // namespace tabulo::host
