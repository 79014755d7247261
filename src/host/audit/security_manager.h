// SecurityManager: the host's security manager as the control reaches it, a late-bound
// automation object (service 4 of the control site). Members, by name or dispatch id:
//
// 1 RequestESignature(prompt, dual, reasonRequired, allowUserReason, reasonCategory, level1,
//   level2, ByRef text1, ByRef text2, ByRef text3)
//   Asks the container's "ESignature" dialog once per signer (no retries). Returns normally
//   when signed, with text1 = the first signer's user name, text2 = the second signer's
//   (dual) or "", text3 = the reason; the ByRef texts are left alone on failure. Raises:
//     32755       cancelled (also a dialog that answers False)
//     0x80040201  "The user name or password is not correct." (unknown user or bad password)
//     0x80040202  the signer lacks the command level (a level < 0 requires none)
//     0x80040203  dual: the second signer is the first one again
//     0x80040204  reasonRequired and no reason given
//     0x80040205  allowUserReason false and the reason is not an offered category: when
//                 reasonCategory is given it alone is offered, otherwise every configured
//                 reason category is
//   The reason is the first signer's; the second signer countersigns it (a reason typed in
//   the second dialog is not used, and the second dialog asks for none).
//   Dialog arguments: 0 user, 1 password, 2 reason (all ByRef, in ""), 3 prompt, 4 signer
//   number (Long 1 or 2), 5 required command level (Long), 6 reasonRequired, 7
//   allowUserReason, 8 reasonCategory, 9 the reason categories (array of texts).
//
// 2 GetReasonCategories() -> zero-based one-dimensional String array of the configured
//   reason categories.
//
// 3 WriteOperatorEvent(cluster, eventType, column, source, sigText1, sigText2, oldValue,
//   newValue, sigText3[, row]) appends one record to the audit log (audit_log.h), together with the
//   users, reason and time of this manager's last successful signature and the operator
//   account; raises 0x80040206 when it cannot be written. Inside an open batch (4) the record
//   joins the batch; otherwise it is committed on its own.
//
// 4 BeginOperatorEvents() opens a batch: an audit transaction holding the audit database's
//   write lock (waiting at most the configured busy timeout), so that the records of a change
//   are secured before the change is written. Raises 0x80040206 (locked, folder missing, ...).
//   A batch still open is rolled back first; intents prepared and never marked stay pending.
//   With a PostgreSQL audit store the batch is a transaction on its table, holding the chain's
//   head row; a write the data server makes meanwhile to the same server and database, as the
//   same login, runs inside it and commits both (pg_audit_store.h), so that
//   CommitOperatorEvents then has nothing left to do.
// 8 PrepareOperatorEvents() commits the batch's records as pending intents, before the
//   change is written: a process killed after writing the change leaves its records behind,
//   pending, for the next start to resolve (ResolvePendingAuditRecords). Raises 0x80040206
//   (the disk is full, ...): the change must then not be written. Nothing with a PostgreSQL
//   store (its batch commits with the change, or after it) or when no batch is open.
// 5 CommitOperatorEvents() makes the batch's records durable, or marks prepared ones written;
//   raises 0x80040206. Nothing when no batch is open.
// 6 RollbackOperatorEvents() discards the batch's records, or marks prepared ones not written
//   (a mark that fails leaves them pending). Nothing when no batch is open.
//
// 7 WriteRefusedSignature(cluster, column, source, oldValue, newValue[, row]) records the last
//   refused signature (who tried, when, why) against the change it was asked for: event type
//   "ESignatureRefused", signature1 the user who tried, signature3 the refusal. Commits on its
//   own; raises 0x80040206 when it cannot be written.
//
// A signature refused for the signer's credentials, command level or identity (0x80040201 to
// 0x80040203) is also told to the operator: a message box titled "Signature" whose text is
// "Sign-in failed: " and the refusal.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/audit/audit_log.h"
#include "host/cluster/host_config.h"
#include "platform/automation/dispatch_object.h"
#include "platform/runtime/container.h"

namespace tabulo::host {

inline constexpr int64_t kErrSignatureRefused = 0x80040201;
inline constexpr int64_t kErrSignatureLevel = 0x80040202;
inline constexpr int64_t kErrSignatureSameUser = 0x80040203;
inline constexpr int64_t kErrReasonRequired = 0x80040204;
inline constexpr int64_t kErrReasonNotAllowed = 0x80040205;

inline constexpr platform::DispId kDispRequestESignature = 1;
inline constexpr platform::DispId kDispGetReasonCategories = 2;
inline constexpr platform::DispId kDispWriteOperatorEvent = 3;
inline constexpr platform::DispId kDispBeginOperatorEvents = 4;
inline constexpr platform::DispId kDispCommitOperatorEvents = 5;
inline constexpr platform::DispId kDispRollbackOperatorEvents = 6;
inline constexpr platform::DispId kDispWriteRefusedSignature = 7;
inline constexpr platform::DispId kDispPrepareOperatorEvents = 8;

struct SecurityManagerOptions {
  SecurityConfig security;
  AuditLogOptions audit;
  std::string operator_name;  // the account the container runs under
  // The wall clock for audit timestamps; null: the system clock.
  std::function<std::chrono::system_clock::time_point()> now;
};

struct ESignatureRequest {
  std::string prompt;
  bool dual = false;
  bool reason_required = false;
  bool allow_user_reason = true;
  std::string reason_category;
  int32_t level1 = -1, level2 = -1;
};

struct ESignature {
  std::string user1, user2, reason;
};

class SecurityManager : public platform::DispatchObject {
 public:
  // `container` asks for the signatures and must outlive the manager.
  SecurityManager(platform::Container& container, SecurityManagerOptions options);

  ESignature RequestESignature(const ESignatureRequest& request);
  const std::vector<std::string>& reason_categories() const {
    return options_.security.reason_categories;
  }
  // `row`: the changed row's condition, "" when the control names none.
  void WriteOperatorEvent(const OperatorEvent& event, const std::string& row = {});
  void BeginOperatorEvents();
  void PrepareOperatorEvents();
  // Called once the data change is committed. A failed commit of the batch is tried once more
  // in a fresh transaction, since the change it records is already written; a failed mark of
  // prepared records likewise (they stay pending when it fails again).
  void CommitOperatorEvents();
  void RollbackOperatorEvents();
  // `event`'s event type and signature texts are replaced by the refusal's.
  void WriteRefusedSignature(OperatorEvent event, const std::string& row = {});

 private:
  // One signer's dialog and checks; returns the user name, and the reason in `reason`.
  // `tried` receives the user name typed, before it is checked.
  std::string AskSigner(const ESignatureRequest& request, int signer, int32_t level,
                        std::string& reason, std::string& tried);
  AuditRecord NewRecord(const OperatorEvent& event, const std::string& row) const;
  const SecurityUser* CheckCredentials(const std::string& user, const std::string& password);
  void CheckReason(const ESignatureRequest& request, const std::string& reason) const;
  platform::Variant CategoriesArray() const;
  std::chrono::system_clock::time_point Now() const;

  platform::Container& container_;
  SecurityManagerOptions options_;
  ESignature last_signature_;
  std::string last_signed_at_;
  struct Refusal {
    std::string user, why;
  } last_refusal_;
  std::unique_ptr<AuditTransaction> batch_;
  std::vector<AuditRecord> batch_records_;  // what batch_ holds, for the second try
  // From Begin to the mark: a SQLite store's intents are this process's to mark.
  std::unique_ptr<AuditIntentLock> intent_lock_;
  std::vector<int64_t> prepared_;  // the ids of the intents committed, awaiting their mark
};

// The manager of a host configuration, writing to its audit database.
std::shared_ptr<SecurityManager> NewSecurityManager(const HostConfig& config,
                                                    platform::Container& container,
                                                    std::string operator_name);

// The user `user` of `security` when `password` is theirs, else null: the check a signer's
// credentials pass, and a display's sign-in. It costs a known user's time also for an
// unknown name, so that the answer's delay does not tell which names exist.
const SecurityUser* FindCredentials(const SecurityConfig& security, const std::string& user,
                                    const std::string& password);

// What a refused signer or sign-in is told.
inline constexpr char kWrongCredentials[] = "The user name or password is not correct.";

// Records a refused sign-in to a display as a refused signature is recorded: event type
// "SignInRefused", signature1 the user who tried, signature3 the refusal, `operator_name`
// where the attempt came from. Raises 0x80040206 when the audit store cannot be written.
void RecordRefusedSignIn(const HostConfig& config, const std::string& user,
                         const std::string& operator_name);

// The account the process runs under ("" when it cannot be told).
std::string LocalUserName();

}  // namespace tabulo::host
