// The record-set errors shared by every implementation.
#include "host/record_set.h"

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

}  // namespace tabulo::host
