// tabulo audit: lists the operator events of the host's audit store (the SQLite database or
// the PostgreSQL table), oldest first, as readable lines or as rows for other programs,
// optionally of a time span or a user only; or checks that the trail's chain of hashes is
// whole, and with --anchor that it still reaches the head kept in a file. Text output shows
// control characters escaped: records hold what operators typed.
#include <iostream>

#include "commands.h"
#include "container/audit_report.h"
#include "platform/text/visible_text.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {

int AuditCommand(const Args& args) {
  if (HelpAsked("audit", args)) return 0;
  container::AuditRequest request;
  container::AuditFilter& filter = request.filter;
  std::optional<container::RowFormat>& format = request.format;
  bool& verify = request.verify;
  std::string& anchor_path = request.anchor_path;
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
      request.host_config = v;
    } else if (a == "--anchor") {
      if (v.empty()) return UsageError("audit", "--anchor takes a file name");
      anchor_path = v;
    } else if (a == "--user") {
      filter.user = v;
    } else if (a == "--format") {
      format = container::ParseRowFormat(v);
      if (!format) return UsageError("audit", "--format takes csv or json, given '" + v + "'");
    } else {
      std::optional<std::string> time = container::ParseAuditTime(v);
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
    const bool whole = container::ReportAudit(request, std::cout, [](const std::string& warning) {
      std::cerr << "tabulo audit: " << warning << "\n";
    });
    return whole ? 0 : kExitFailure;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo audit: " << platform::VisibleText(e.description()) << "\n";
    return kExitFailure;
  }
}

}  // namespace tabulo::app
