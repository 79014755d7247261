// tabulo audit: lists the operator events of the host's audit store (the SQLite database or
// the PostgreSQL table), oldest first, as readable lines or as rows for other programs,
// optionally of a time span or a user only; or checks that the trail's chain of hashes is
// whole, and with --anchor that it still reaches the head kept in a file. Text output shows
// control characters escaped: records hold what operators typed.
#include <algorithm>
#include <iostream>

#include "commands.h"
#include "container/audit_rows.h"
#include "container/host_setup.h"
#include "host/audit_chain.h"
#include "host/audit_log.h"
#include "host/audit_log_filter.h"
#include "host/host_config.h"
#include "platform/text/visible_text.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {

int AuditCommand(const Args& args) {
  if (HelpAsked("audit", args)) return 0;
  std::string config_path;
  host::AuditFilter filter;
  std::optional<container::RowFormat> format;
  bool verify = false;
  std::string anchor_path;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--verify") {
      verify = true;
      continue;
    }
    if (i + 1 >= args.size() || (a != "--host" && a != "--since" && a != "--until" &&
                                 a != "--user" && a != "--format" && a != "--anchor"))
      return UsageError("audit", "unexpected argument '" + a + "'");
    const std::string& v = args[++i];
    if (a == "--host") {
      config_path = v;
    } else if (a == "--anchor") {
      if (v.empty()) return UsageError("audit", "--anchor takes a file name");
      anchor_path = v;
    } else if (a == "--user") {
      filter.user = v;
    } else if (a == "--format") {
      format = container::ParseRowFormat(v);
      if (!format) return UsageError("audit", "--format takes csv or json, given '" + v + "'");
    } else {
      std::optional<std::string> time = host::ParseAuditTime(v);
      if (!time)
        return UsageError("audit",
                          a + " takes a UTC time yyyy-mm-dd[Thh:mm[:ss[.fff]]], given '" + v + "'");
      (a == "--since" ? filter.since : filter.until) = *time;
    }
  }
  if (verify && (format || !filter.user.empty() || !filter.since.empty() || !filter.until.empty()))
    return UsageError("audit", "--verify checks the whole trail: it takes no filter or format");
  if (!anchor_path.empty() && !verify) return UsageError("audit", "--anchor goes with --verify");
  try {
    host::HostConfig config = config_path.empty()
                                  ? host::DefaultHostConfig(host::LocalMachineName())
                                  : host::LoadHostConfig(config_path);
    const host::AuditLogOptions store = host::AuditStoreOf(config);
    if (!store.pg && store.path.empty()) {
      std::cerr << "tabulo audit: no audit database is configured and HOME is not set\n";
      return kExitFailure;
    }
    // Records a killed process left pending are settled first, by reading their rows.
    try {
      container::ResolvePendingAuditIntents(config);
    } catch (const platform::ComError& e) {
      std::cerr << "tabulo audit: pending records cannot be settled: " << e.description() << "\n";
    }
    const host::AuditTrail trail = host::ReadAuditTrail(store);
    if (verify) {
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
      std::cout << platform::VisibleText(verdict.summary) << "\n";
      // Pending is no tampering: the row could not be read, or a change is under way.
      const auto pending = std::count_if(
          trail.records.begin(), trail.records.end(),
          [](const host::AuditRecord& r) { return r.state == host::AuditState::kPending; });
      if (pending > 0)
        std::cout << pending << (pending == 1 ? " record is" : " records are")
                  << " pending: whether the change was written is not known yet (its data "
                     "source could not be read, or the change is under way); run the command "
                     "again once the data source is reachable.\n";
      if (!verdict.intact || anchor_path.empty()) return verdict.intact ? 0 : kExitFailure;
      const host::AuditAnchor now = host::AnchorOf(trail);
      const std::string at = "record #" + std::to_string(now.id);
      if (anchor && anchor->id == now.id && anchor->hash == now.hash &&
          anchor->keyed_from == now.keyed_from) {
        std::cout << platform::VisibleText("Anchor " + anchor_path + " stays at " + at) << ".\n";
        return 0;
      }
      host::WriteAuditAnchor(anchor_path, now);
      std::cout << platform::VisibleText(anchor ? "Anchor " + anchor_path + " moved from record #" +
                                                      std::to_string(anchor->id) + " to " + at
                                                : "Anchor " + anchor_path + " created at " + at +
                                                      " (first anchor)")
                << ".\n";
      return 0;
    }
    std::vector<host::AuditRecord> records = trail.records;
    std::erase_if(records, [&](const host::AuditRecord& r) { return !filter.Matches(r); });
    if (format) {
      container::WriteAuditRecords(records, *format, std::cout);
      return 0;
    }
    if (records.empty()) std::cout << "No audit records.\n";
    for (const host::AuditRecord& r : records) std::cout << host::FormatAuditRecord(r) << "\n";
    return 0;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo audit: " << platform::VisibleText(e.description()) << "\n";
    return kExitFailure;
  }
}

}  // namespace tabulo::app
