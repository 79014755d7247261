// The audit records as rows for other programs (`tabulo audit --format csv|json`).
#pragma once

#include <ostream>
#include <vector>

#include "container/row_format.h"
#include "host/audit/audit_log.h"

namespace tabulo::container {

// Columns: id, recorded_at, operator, cluster, event_type, source, column, row, old_value,
// new_value, signature1, signature2, signature3, signed_by1, signed_by2, signed_reason,
// signed_at, state ("written", "pending" or "not written": last, so that readers of the
// older columns keep working); the id a number, everything else text.
void WriteAuditRecords(const std::vector<host::AuditRecord>& records, RowFormat format,
                       std::ostream& out);

}  // namespace tabulo::container
