// The record-set errors shared by every implementation.
#include "host/record_set.h"

#include <vector>

#include "host/row_source.h"

namespace tabulo::host {

namespace {
constexpr const char* kSource = "ADODB.Recordset";
}

platform::ComError NoCurrentRecordError() {
  return platform::ComError(kErrNoCurrentRecord,
                            "Either BOF or EOF is True, or the current record has been deleted. "
                            "Requested operation requires a current record.",
                            kSource);
}

platform::ComError ClosedError() {
  return platform::ComError(kErrClosed, "Operation is not allowed when the object is closed.",
                            kSource);
}

int64_t RecordSet::Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit) {
  const int64_t length = ScanLength(RecordCount(), first, count, forward);
  if (length == 0) return 0;
  std::vector<platform::Variant> row(static_cast<size_t>(FieldCount()));
  MoveFirst();
  if (first > 0) Move(first);
  for (int64_t k = 0; k < length; ++k) {
    if (k > 0) forward ? MoveNext() : MovePrevious();
    for (size_t f = 0; f < row.size(); ++f) row[f] = Item(static_cast<int32_t>(f)).Value();
    if (!visit(forward ? first + k : first - k, VariantRecord(row))) return k + 1;
  }
  return length;
}

}  // namespace tabulo::host
