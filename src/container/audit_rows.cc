#include "container/audit_rows.h"

namespace tabulo::container {

void WriteAuditRecords(const std::vector<host::AuditRecord>& records, RowFormat format,
                       std::ostream& out) {
  RowWriter writer(out, format,
                   {"id", "recorded_at", "operator", "cluster", "event_type", "source", "column",
                    "row", "old_value", "new_value", "signature1", "signature2", "signature3",
                    "signed_by1", "signed_by2", "signed_reason", "signed_at", "state"});
  for (const host::AuditRecord& r : records) {
    const host::OperatorEvent& e = r.event;
    using platform::Variant;
    // The database numbers records far below 2^31 (one per changed cell).
    writer.Write({Variant(static_cast<double>(r.id)), Variant(r.recorded_at),
                  Variant(r.operator_name), Variant(e.cluster), Variant(e.event_type),
                  Variant(e.source), Variant(e.column_name), Variant(r.row), Variant(e.old_value),
                  Variant(e.new_value), Variant(e.signature1), Variant(e.signature2),
                  Variant(e.signature3), Variant(r.signed_by1), Variant(r.signed_by2),
                  Variant(r.signed_reason), Variant(r.signed_at),
                  Variant(std::string(host::AuditStateName(r.state)))});
  }
}

}  // namespace tabulo::container
