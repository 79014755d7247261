#include "container/audit_report.h"

#include <algorithm>
#include <vector>

#include "container/audit_rows.h"
#include "container/host_setup.h"
#include "host/audit/audit_chain.h"
#include "host/audit/audit_log.h"
#include "host/cluster/host_config.h"
#include "platform/text/visible_text.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

// The verdict on the whole trail, and with an anchor file whether the trail still reaches
// the head it holds; the anchor is created or moved to the trail's head when it does.
bool Verify(const host::AuditLogOptions& store, const host::AuditTrail& trail,
            const std::string& anchor_path, std::ostream& out) {
  const std::string key = store.key_file.empty() ? "" : host::ReadAuditKey(store.key_file);
  host::AuditVerdict verdict = host::VerifyAuditTrail(trail, key);
  std::optional<host::AuditAnchor> anchor;
  if (verdict.intact && !anchor_path.empty()) {
    anchor = host::ReadAuditAnchor(anchor_path);
    if (anchor) {
      const host::AuditVerdict held = host::CheckAuditAnchor(trail, *anchor, anchor_path);
      if (!held.intact) verdict = held;
    }
  }
  out << platform::VisibleText(verdict.summary) << "\n";
  // Pending is no tampering: the row could not be read, or a change is under way.
  const auto pending = std::count_if(
      trail.records.begin(), trail.records.end(),
      [](const host::AuditRecord& r) { return r.state == host::AuditState::kPending; });
  if (pending > 0)
    out << pending << (pending == 1 ? " record is" : " records are")
        << " pending: whether the change was written is not known yet (its data "
           "source could not be read, or the change is under way); run the command "
           "again once the data source is reachable.\n";
  if (!verdict.intact || anchor_path.empty()) return verdict.intact;
  const host::AuditAnchor now = host::AnchorOf(trail);
  const std::string at = "record #" + std::to_string(now.id);
  if (anchor && anchor->id == now.id && anchor->hash == now.hash &&
      anchor->keyed_from == now.keyed_from) {
    out << platform::VisibleText("Anchor " + anchor_path + " stays at " + at) << ".\n";
    return true;
  }
  host::WriteAuditAnchor(anchor_path, now);
  out << platform::VisibleText(anchor ? "Anchor " + anchor_path + " moved from record #" +
                                            std::to_string(anchor->id) + " to " + at
                                      : "Anchor " + anchor_path + " created at " + at +
                                            " (first anchor)")
      << ".\n";
  return true;
}

}  // namespace

bool ReportAudit(const AuditRequest& request, std::ostream& out,
                 const std::function<void(const std::string&)>& warn) {
  host::HostConfig config = request.host_config.empty()
                                ? host::DefaultHostConfig(host::LocalMachineName())
                                : host::LoadHostConfig(request.host_config);
  const host::AuditLogOptions store = host::AuditStoreOf(config);
  if (!store.pg && store.path.empty())
    throw platform::ComError(host::kErrAuditRead,
                             "no audit database is configured and HOME is not set");
  // Records a killed process left pending are settled first, by reading their rows.
  try {
    ResolvePendingAuditIntents(config);
  } catch (const platform::ComError& e) {
    warn("pending records cannot be settled: " + e.description());
  }
  const host::AuditTrail trail = host::ReadAuditTrail(store);
  if (request.verify) return Verify(store, trail, request.anchor_path, out);
  std::vector<host::AuditRecord> records = trail.records;
  std::erase_if(records, [&](const host::AuditRecord& r) { return !request.filter.Matches(r); });
  if (request.format) {
    WriteAuditRecords(records, *request.format, out);
    return true;
  }
  if (records.empty()) out << "No audit records.\n";
  for (const host::AuditRecord& r : records) out << host::FormatAuditRecord(r) << "\n";
  return true;
}

}  // namespace tabulo::container
