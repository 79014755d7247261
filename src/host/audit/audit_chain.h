// The audit trail's tamper evidence: each record carries a hash over the previous record's
// hash and its own fields, so that a record changed, removed or put in afterwards breaks the
// chain from there on.
//  - Plain chain (SHA-256): shows changes by anyone who does not recompute every later hash.
//  - Keyed chain (HMAC-SHA-256 with the key of the host configuration's "audit_key_file"):
//    no record and no head can be recomputed without the key; the head carries a seal over
//    the last record, so that records cut off the end are found too (unless an older head is
//    put back whole).
//  - Anchor (a head kept in a file elsewhere, `audit --verify --anchor FILE`): records
//    removed below the anchored head, or the trail rewritten up to it, are found.
// The store keeps a marker object (a view, which no UPDATE reaches) naming the first chained
// record and the first keyed one, so that blanked hashes cannot pass for records from before
// chaining, and a keyed store verified without its key says that it cannot be verified.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/audit/audit_log.h"

namespace tabulo::host {

// Lower-case hex SHA-256 of `previous` and the record's id and fields (its hash aside), each
// given as an 8-byte big-endian length and its bytes, so that no two field lists encode alike;
// with a `key`, the HMAC-SHA-256 of the same bytes under it.
std::string ChainHash(const std::string& previous, const AuditRecord& record,
                      const std::string& key = "");

// A keyed head's seal: the HMAC under `key` of the last record's id and hash.
std::string HeadSeal(int64_t last_id, const std::string& last_hash, const std::string& key);

// The shortest audit key, in bytes.
inline constexpr size_t kMinAuditKeyBytes = 32;

// The audit key: the bytes of the file `path`, as they are. Raises platform::ComError
// kErrAuditRead naming the file and what to do when it is missing, not a regular file,
// readable or writable by group or others, or shorter than kMinAuditKeyBytes.
std::string ReadAuditKey(const std::string& path);

struct AuditVerdict {
  bool intact = false;
  std::string summary;    // one line: the count verified, or the first fault found
  int64_t verified = 0;   // records whose hash was checked
  int64_t unchained = 0;  // older records written before the trail was chained
};

// Walks the chain of `trail` from its first hashed record, records from the marker's
// keyed_from on with `key`. Records before the chain that carry no hash (written before
// hashes existed) are counted as unchained, not checked. Faults, first found first: a keyed
// store without the key (not verifiable), an id below 1 or out of order, a record of the
// chain without a hash, a gap in the numbering (records removed in the middle, or before the
// first record of a table made anew), a record whose hash does not follow from its fields and
// its predecessor, records missing after the last one, a head removed or not naming the last
// record, a keyed head whose seal does not follow, the marker removed, a trigger removed.
AuditVerdict VerifyAuditTrail(const AuditTrail& trail, const std::string& key = "");

// A head kept outside the store. The file holds four lines:
//   tabulo audit anchor / id N / hash HEX / keyed_from N
struct AuditAnchor {
  int64_t id = 0;  // 0: the trail had no record
  std::string hash;
  int64_t keyed_from = 0;
};
// The anchor in `path`; nullopt when there is no such file. Raises kErrAuditRead for a file
// that cannot be read or is not an anchor.
std::optional<AuditAnchor> ReadAuditAnchor(const std::string& path);
// Replaces `path` atomically. Raises kErrAuditWrite.
void WriteAuditAnchor(const std::string& path, const AuditAnchor& anchor);
// The head of `trail` as an anchor.
AuditAnchor AnchorOf(const AuditTrail& trail);
// Whether `trail` (verified intact) still holds the anchored head: the record it names with
// its hash, and the same keying. The summary names the file and what is missing or changed.
AuditVerdict CheckAuditAnchor(const AuditTrail& trail, const AuditAnchor& anchor,
                              const std::string& path);

}  // namespace tabulo::host
