#include "host/audit_chain.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

struct DigestFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

void AddField(EVP_MD_CTX* ctx, const std::string& field) {
  unsigned char length[8];
  uint64_t n = field.size();
  for (int i = 7; i >= 0; --i, n >>= 8) length[i] = static_cast<unsigned char>(n & 0xFF);
  EVP_DigestUpdate(ctx, length, sizeof length);
  EVP_DigestUpdate(ctx, field.data(), field.size());
}

std::string Span(int64_t first, int64_t last) {
  return first == last
             ? "record #" + std::to_string(first) + " is"
             : "records #" + std::to_string(first) + " to #" + std::to_string(last) + " are";
}

std::string Count(int64_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

AuditVerdict Broken(const std::string& why) {
  return AuditVerdict{false, "Audit trail broken: " + why + ".", 0, 0};
}

}  // namespace

std::string ChainHash(const std::string& previous, const AuditRecord& r) {
  std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
    throw platform::ComError(kErrAuditWrite, "Cannot compute the audit record's hash",
                             "SecurityManager");
  const OperatorEvent& e = r.event;
  for (const std::string* field :
       {&previous, &r.recorded_at, &e.cluster, &e.event_type, &e.column_name, &e.source,
        &e.signature1, &e.signature2, &e.old_value, &e.new_value, &e.signature3, &r.signed_by1,
        &r.signed_by2, &r.signed_reason, &r.signed_at, &r.operator_name, &r.row}) {
    AddField(ctx.get(), *field);
    if (field == &previous) AddField(ctx.get(), std::to_string(r.id));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(ctx.get(), digest, &size);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

AuditVerdict VerifyAuditTrail(const AuditTrail& trail) {
  AuditVerdict verdict;
  std::string previous;
  int64_t previous_id = 0;
  for (const AuditRecord& r : trail.records) {
    if (r.hash.empty()) {
      if (verdict.verified > 0)
        return Broken("record #" + std::to_string(r.id) +
                      " carries no hash: it was put in outside the audit trail");
      ++verdict.unchained;
      previous_id = r.id;
      continue;
    }
    if (r.id != previous_id + 1) return Broken(Span(previous_id + 1, r.id - 1) + " missing");
    if (ChainHash(previous, r) != r.hash)
      return Broken("record #" + std::to_string(r.id) +
                    (verdict.verified == 0
                         ? " has been changed since it was written"
                         : " does not follow from its fields and record #" +
                               std::to_string(previous_id) + ": one of them has been changed"));
    previous = r.hash;
    previous_id = r.id;
    ++verdict.verified;
  }
  const int64_t last = std::max(trail.head_id, trail.last_assigned);
  if (last > previous_id) return Broken(Span(previous_id + 1, last) + " missing");
  if (trail.has_head && trail.head_hash != previous)
    return Broken("record #" + std::to_string(previous_id) +
                  " is not the last record the trail recorded");
  if (!trail.missing_triggers.empty())
    return Broken("the trigger " + trail.missing_triggers.front() +
                  " that keeps records from being changed has been removed");
  verdict.intact = true;
  verdict.summary = "Audit trail intact: " + Count(verdict.verified, "record") + " chained";
  if (verdict.verified > 0)
    verdict.summary += " (#" + std::to_string(previous_id - verdict.verified + 1) + " to #" +
                       std::to_string(previous_id) + ")";
  if (verdict.unchained > 0)
    verdict.summary +=
        ", " + Count(verdict.unchained, "older record") + " from before chaining not verified";
  verdict.summary += ".";
  return verdict;
}

}  // namespace tabulo::host
