// What `tabulo audit` reports of the host's audit store: its records (of a time span or a
// user only), or whether its chain of hashes is whole and still reaches an anchor file.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "container/row_format.h"
#include "host/audit/audit_log_filter.h"

namespace tabulo::container {

using host::AuditFilter;
using host::ParseAuditTime;

struct AuditRequest {
  std::string host_config;          // "" the embedded default
  AuditFilter filter;               // listing only
  std::optional<RowFormat> format;  // rows for other programs; none: readable lines
  bool verify = false;              // check the chain instead of listing
  std::string anchor_path;          // with verify: the head kept in this file, moved along
};

// Settles the records a killed process left pending (a failure to do so goes to `warn`, and
// the report goes on), then writes the listing or the verdict to `out`. Returns false when
// the chain is broken or no longer reaches the anchor. Text shows control characters
// escaped: records hold what operators typed. Raises platform::ComError when no audit store
// is configured or it cannot be read.
bool ReportAudit(const AuditRequest& request, std::ostream& out,
                 const std::function<void(const std::string&)>& warn);

}  // namespace tabulo::container
