// Scanning a row source, record by record (row_source.h, scan_record.h).
#include "host/row_source.h"

#include <algorithm>

namespace tabulo::host {

ScanRecord::Cell CellOf(const platform::Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return ScanRecord::Cell::Null;
  if (value.IsString()) return ScanRecord::Cell::String;
  if (value.IsNumberType()) return ScanRecord::Cell::Number;
  return ScanRecord::Cell::Other;
}

int64_t ScanLength(int64_t records, int64_t first, int64_t count, bool forward) {
  if (first < 0 || first >= records || count <= 0) return 0;
  return std::min(count, forward ? records - first : first + 1);
}

int64_t RowSource::Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit) {
  const int64_t length = ScanLength(Count(), first, count, forward);
  for (int64_t k = 0; k < length; ++k) {
    const int64_t position = forward ? first + k : first - k;
    std::vector<platform::Variant> row = ReadRow(position);
    row.resize(Columns().size());
    if (!visit(position, VariantRecord(row))) return k + 1;
  }
  return length;
}

}  // namespace tabulo::host
