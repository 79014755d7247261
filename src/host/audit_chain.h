// The audit trail's tamper evidence: each record carries a SHA-256 hash over the previous
// record's hash and its own fields, so that a record changed, removed or put in afterwards
// breaks the chain from there on. Without a secret this shows tampering by anyone who does
// not recompute every later hash; it does not stop a writer who does.
#pragma once

#include <cstdint>
#include <string>

#include "host/audit_log.h"

namespace tabulo::host {

// Lower-case hex SHA-256 of `previous` and the record's id and fields (its hash aside), each
// given as an 8-byte big-endian length and its bytes, so that no two field lists encode alike.
std::string ChainHash(const std::string& previous, const AuditRecord& record);

struct AuditVerdict {
  bool intact = false;
  std::string summary;    // one line: the count verified, or the first fault found
  int64_t verified = 0;   // records whose hash was checked
  int64_t unchained = 0;  // older records written before the trail was chained
};

// Walks the chain of `trail` from its first hashed record. Records before it that carry no
// hash (written before hashes existed) are counted as unchained, not checked. Faults, first
// found first: a hashed record followed by one without a hash, a gap in the numbering (records
// removed in the middle, or before the first record of a table made anew), a record whose hash
// does not follow from its fields and its predecessor, records missing after the last one, a
// head that does not name the last record, a trigger removed.
AuditVerdict VerifyAuditTrail(const AuditTrail& trail);

}  // namespace tabulo::host
