#include "host/audit/audit_chain.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>

#include "platform/storage/atomic_file.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

struct DigestFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct MacFree {
  void operator()(EVP_MAC* m) const { EVP_MAC_free(m); }
  void operator()(EVP_MAC_CTX* c) const { EVP_MAC_CTX_free(c); }
};

[[noreturn]] void DigestFailed() {
  throw platform::ComError(kErrAuditWrite, "Cannot compute the audit record's hash",
                           "SecurityManager");
}

// SHA-256 without a key, HMAC-SHA-256 with one, over fields each given as an 8-byte
// big-endian length and its bytes.
class Digest {
 public:
  explicit Digest(const std::string& key) {
    if (key.empty()) {
      md_.reset(EVP_MD_CTX_new());
      if (!md_ || EVP_DigestInit_ex(md_.get(), EVP_sha256(), nullptr) != 1) DigestFailed();
      return;
    }
    std::unique_ptr<EVP_MAC, MacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    if (mac) mac_.reset(EVP_MAC_CTX_new(mac.get()));
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_END};
    if (!mac_ || EVP_MAC_init(mac_.get(), reinterpret_cast<const unsigned char*>(key.data()),
                              key.size(), params) != 1)
      DigestFailed();
  }
  void Add(const std::string& field) {
    unsigned char length[8];
    uint64_t n = field.size();
    for (int i = 7; i >= 0; --i, n >>= 8) length[i] = static_cast<unsigned char>(n & 0xFF);
    Update(length, sizeof length);
    Update(reinterpret_cast<const unsigned char*>(field.data()), field.size());
  }
  std::string Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    size_t size = 0;
    if (md_) {
      unsigned int n = 0;
      EVP_DigestFinal_ex(md_.get(), digest, &n);
      size = n;
    } else if (EVP_MAC_final(mac_.get(), digest, &size, sizeof digest) != 1) {
      DigestFailed();
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
      hex += kHex[digest[i] >> 4];
      hex += kHex[digest[i] & 0xF];
    }
    return hex;
  }

 private:
  void Update(const unsigned char* data, size_t size) {
    if (md_ ? EVP_DigestUpdate(md_.get(), data, size) != 1
            : EVP_MAC_update(mac_.get(), data, size) != 1)
      DigestFailed();
  }
  std::unique_ptr<EVP_MD_CTX, DigestFree> md_;
  std::unique_ptr<EVP_MAC_CTX, MacFree> mac_;
};

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

std::string ChainHash(const std::string& previous, const AuditRecord& r, const std::string& key) {
  Digest digest(key);
  const OperatorEvent& e = r.event;
  for (const std::string* field :
       {&previous, &r.recorded_at, &e.cluster, &e.event_type, &e.column_name, &e.source,
        &e.signature1, &e.signature2, &e.old_value, &e.new_value, &e.signature3, &r.signed_by1,
        &r.signed_by2, &r.signed_reason, &r.signed_at, &r.operator_name, &r.row}) {
    digest.Add(*field);
    if (field == &previous) digest.Add(std::to_string(r.id));
  }
  return digest.Hex();
}

std::string HeadSeal(int64_t last_id, const std::string& last_hash, const std::string& key) {
  Digest digest(key);
  // A label of its own, so that no seal is ever a record's hash.
  digest.Add("audit chain head");
  digest.Add(std::to_string(last_id));
  digest.Add(last_hash);
  return digest.Hex();
}

std::string ReadAuditKey(const std::string& path) {
  auto fail = [&](const std::string& why) -> platform::ComError {
    return platform::ComError(kErrAuditRead, "the audit key file " + path + " " + why,
                              "SecurityManager");
  };
  const std::string make = "make one with `head -c 32 /dev/urandom > " + path + " && chmod 600 " +
                           path + "` and keep a copy in a safe place";
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT)
      throw fail("does not exist (audit_key_file in the host configuration): " + make);
    throw fail("cannot be read (" + std::string(std::strerror(errno)) + ")");
  }
  if (!S_ISREG(st.st_mode)) throw fail("is not a regular file");
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    throw fail("is open to other users (mode " + std::string(mode) +
               "): allow only its owner with `chmod 600 " + path + "`");
  }
  const platform::WholeFile file = platform::ReadWholeFile(path);
  if (!file.fault.empty()) throw fail("cannot be read (" + file.fault + ")");
  if (file.bytes.size() < kMinAuditKeyBytes)
    throw fail("holds " + std::to_string(file.bytes.size()) +
               " bytes; an audit key needs at least " + std::to_string(kMinAuditKeyBytes) + ": " +
               make);
  return file.bytes;
}

AuditVerdict VerifyAuditTrail(const AuditTrail& trail, const std::string& key) {
  if (trail.keyed_from > 0 && key.empty())
    return AuditVerdict{false,
                        "Audit trail cannot be verified: its records from #" +
                            std::to_string(trail.keyed_from) +
                            " on are signed with an audit key; set \"audit_key_file\" in the "
                            "host configuration's \"security\" to the file of that key.",
                        0, 0};
  // Without the marker nothing tells older records from blanked ones: they pass as older,
  // and the missing marker is reported below.
  const int64_t chained_from = trail.has_marker ? trail.chained_from : INT64_MAX;
  AuditVerdict verdict;
  std::string previous;
  int64_t previous_id = 0;
  bool first = true;
  for (const AuditRecord& r : trail.records) {
    const std::string id = "record #" + std::to_string(r.id);
    if (r.id < 1) return Broken(id + " has an id below 1: it was put in outside the audit trail");
    if (!first && r.id <= previous_id)
      return Broken(id + " is out of order after record #" + std::to_string(previous_id));
    first = false;
    if (r.hash.empty()) {
      if (verdict.verified > 0 || r.id >= chained_from)
        return Broken(id + " carries no hash: it was put in outside the audit trail");
      ++verdict.unchained;
      previous_id = r.id;
      continue;
    }
    if (r.id != previous_id + 1) return Broken(Span(previous_id + 1, r.id - 1) + " missing");
    const bool keyed = trail.keyed_from > 0 && r.id >= trail.keyed_from;
    if (ChainHash(previous, r, keyed ? key : "") != r.hash)
      return Broken(id + (verdict.verified == 0 ? " has been changed since it was written"
                                                : " does not follow from its fields and record #" +
                                                      std::to_string(previous_id) +
                                                      ": one of them has been changed"));
    previous = r.hash;
    previous_id = r.id;
    ++verdict.verified;
  }
  const int64_t last = std::max(trail.head_id, trail.last_assigned);
  if (last > previous_id) return Broken(Span(previous_id + 1, last) + " missing");
  if (trail.has_marker && verdict.verified > 0 && !trail.has_head)
    return Broken("the head that names the last record has been removed");
  if (trail.has_head && trail.head_hash != previous)
    return Broken("record #" + std::to_string(previous_id) +
                  " is not the last record the trail recorded");
  if (trail.keyed_from > 0 && previous_id >= trail.keyed_from &&
      trail.head_seal != HeadSeal(trail.head_id, trail.head_hash, key))
    return Broken("the head does not carry the audit key's seal: records after #" +
                  std::to_string(previous_id) + " may have been removed");
  if (!trail.has_marker)
    return Broken(
        "the chain marker that tells chained records from older ones has been "
        "removed (a store last written by an older version gains it with its next "
        "record)");
  if (!trail.missing_triggers.empty())
    return Broken("the trigger " + trail.missing_triggers.front() +
                  " that keeps records from being changed has been removed");
  verdict.intact = true;
  verdict.summary = "Audit trail intact: " + Count(verdict.verified, "record") + " chained";
  if (verdict.verified > 0) {
    verdict.summary += " (#" + std::to_string(previous_id - verdict.verified + 1) + " to #" +
                       std::to_string(previous_id);
    if (trail.keyed_from > 0)
      verdict.summary += ", signed with the audit key from #" + std::to_string(trail.keyed_from);
    else if (!key.empty())
      verdict.summary += ", none signed with the audit key";
    verdict.summary += ")";
  }
  if (verdict.unchained > 0)
    verdict.summary +=
        ", " + Count(verdict.unchained, "older record") + " from before chaining not verified";
  verdict.summary += ".";
  return verdict;
}

namespace {
constexpr const char* kAnchorTitle = "tabulo audit anchor";
}  // namespace

std::optional<AuditAnchor> ReadAuditAnchor(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return std::nullopt;
  auto fail = [&](const std::string& why) -> platform::ComError {
    return platform::ComError(kErrAuditRead, "The audit anchor " + path + " " + why,
                              "SecurityManager");
  };
  const platform::WholeFile file = platform::ReadWholeFile(path, 4096);
  if (!file.fault.empty()) throw fail("cannot be read (" + file.fault + ")");
  std::istringstream in(file.bytes);
  std::string title, id_key, hash_key, keyed_key, rest;
  AuditAnchor anchor;
  std::getline(in, title);
  if (title != kAnchorTitle ||
      !(in >> id_key >> anchor.id >> hash_key >> anchor.hash >> keyed_key >> anchor.keyed_from) ||
      id_key != "id" || hash_key != "hash" || keyed_key != "keyed_from" || (in >> rest) ||
      anchor.id < 0 || anchor.keyed_from < 0)
    throw fail("is not an audit anchor; move it away to anchor the trail anew");
  if (anchor.hash == "-") anchor.hash.clear();
  return anchor;
}

void WriteAuditAnchor(const std::string& path, const AuditAnchor& anchor) {
  try {
    platform::ReplaceFile(path, std::string(kAnchorTitle) + "\nid " + std::to_string(anchor.id) +
                                    "\nhash " + (anchor.hash.empty() ? "-" : anchor.hash) +
                                    "\nkeyed_from " + std::to_string(anchor.keyed_from) + "\n");
  } catch (const platform::ComError& e) {
    throw platform::ComError(kErrAuditWrite,
                             "Cannot write the audit anchor " + path + " (" + e.description() + ")",
                             "SecurityManager");
  }
}

AuditAnchor AnchorOf(const AuditTrail& trail) {
  AuditAnchor anchor;
  anchor.keyed_from = trail.keyed_from;
  if (!trail.records.empty()) {
    anchor.id = trail.records.back().id;
    anchor.hash = trail.records.back().hash;
  }
  return anchor;
}

AuditVerdict CheckAuditAnchor(const AuditTrail& trail, const AuditAnchor& anchor,
                              const std::string& path) {
  const std::string where =
      "the head anchored in " + path + " (record #" + std::to_string(anchor.id) + ")";
  const int64_t last = trail.records.empty() ? 0 : trail.records.back().id;
  if (anchor.id > last) return Broken(Span(last + 1, anchor.id) + " missing below " + where);
  if (anchor.id > 0) {
    const auto it = std::find_if(trail.records.begin(), trail.records.end(),
                                 [&](const AuditRecord& r) { return r.id == anchor.id; });
    if (it == trail.records.end()) return Broken(Span(anchor.id, anchor.id) + " missing: " + where);
    if (it->hash != anchor.hash)
      return Broken("record #" + std::to_string(anchor.id) + " is not " + where +
                    ": the trail has been rewritten");
  }
  if (anchor.keyed_from > 0 && trail.keyed_from != anchor.keyed_from)
    return Broken("the trail was signed with the audit key from #" +
                  std::to_string(anchor.keyed_from) + " when anchored in " + path +
                  (trail.keyed_from > 0 ? ", now from #" + std::to_string(trail.keyed_from)
                                        : ", now it is not"));
  return AuditVerdict{true, "", 0, 0};
}

}  // namespace tabulo::host
