// Which audit records a reader asks for: a time span and a user.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/audit/audit_log.h"

namespace tabulo::host {

// A UTC time bound as a reader writes it: "yyyy-mm-dd", optionally followed by 'T' or a blank
// and "hh:mm", ":ss", ".fff", and a final 'Z'. Returns it in the records' own form and
// precision ("2026-12-07T21:46"), or nothing when it is not such a time.
std::optional<std::string> ParseAuditTime(std::string_view text);

struct AuditFilter {
  std::string since;  // ParseAuditTime form; records at or after it ("" no bound)
  std::string until;  // records up to it at its precision: "2026-12-07" takes the whole day
  std::string user;   // the operator or a signer ("" anyone)

  bool Matches(const AuditRecord& record) const;
};

}  // namespace tabulo::host
