#include "host/audit/security_manager.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>

#include "host/audit/password_hash.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::host {
namespace {

using platform::ComError;
using platform::Param;
using platform::Variant;

constexpr const char* kSource = "SecurityManager";

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::vector<Param> Params(std::initializer_list<const char*> names, size_t first_by_ref = 99) {
  std::vector<Param> params;
  for (const char* name : names) {
    bool by_ref = params.size() >= first_by_ref;
    params.push_back(Param{name, false, by_ref});
  }
  return params;
}

// The nine texts of an event, then the optional condition naming the changed row.
std::vector<Param> OperatorEventParams() {
  std::vector<Param> params = Params({"cluster", "eventType", "column", "source", "sigText1",
                                      "sigText2", "oldValue", "newValue", "sigText3"});
  params.push_back(Param{"row", true, false});
  return params;
}

}  // namespace

SecurityManager::SecurityManager(platform::Container& container, SecurityManagerOptions options)
    : DispatchObject("SecurityManager"), container_(container), options_(std::move(options)) {
  DeclareMethod("RequestESignature", kDispRequestESignature,
                Params({"prompt", "dual", "reasonRequired", "allowUserReason", "reasonCategory",
                        "level1", "level2", "text1", "text2", "text3"},
                       7),
                [this](std::vector<Variant>& args) {
                  ESignatureRequest r;
                  r.prompt = ArgString(args, 0);
                  r.dual = ArgBool(args, 1);
                  r.reason_required = ArgBool(args, 2);
                  r.allow_user_reason = ArgBool(args, 3);
                  r.reason_category = ArgString(args, 4);
                  r.level1 = ArgLong(args, 5);
                  r.level2 = ArgLong(args, 6);
                  ESignature signature = RequestESignature(r);
                  args[7] = Variant(signature.user1);
                  args[8] = Variant(signature.user2);
                  args[9] = Variant(signature.reason);
                  return Variant();
                });
  DeclareMethod("GetReasonCategories", kDispGetReasonCategories, {},
                [this](std::vector<Variant>&) { return CategoriesArray(); });
  DeclareMethod("WriteOperatorEvent", kDispWriteOperatorEvent, OperatorEventParams(),
                [this](std::vector<Variant>& args) {
                  OperatorEvent e;
                  std::string* fields[] = {&e.cluster,   &e.event_type, &e.column_name,
                                           &e.source,    &e.signature1, &e.signature2,
                                           &e.old_value, &e.new_value,  &e.signature3};
                  for (size_t i = 0; i < 9; ++i) *fields[i] = ArgString(args, i);
                  WriteOperatorEvent(e, args[9].IsMissing() ? std::string() : ArgString(args, 9));
                  return Variant();
                });
  // The audit batch's three steps take no arguments and return nothing.
  struct BatchStep {
    const char* name;
    platform::DispId dispid;
    void (SecurityManager::*call)();
  };
  for (const BatchStep& step : {BatchStep{"BeginOperatorEvents", kDispBeginOperatorEvents,
                                          &SecurityManager::BeginOperatorEvents},
                                BatchStep{"PrepareOperatorEvents", kDispPrepareOperatorEvents,
                                          &SecurityManager::PrepareOperatorEvents},
                                BatchStep{"CommitOperatorEvents", kDispCommitOperatorEvents,
                                          &SecurityManager::CommitOperatorEvents},
                                BatchStep{"RollbackOperatorEvents", kDispRollbackOperatorEvents,
                                          &SecurityManager::RollbackOperatorEvents}}) {
    DeclareMethod(step.name, step.dispid, {}, [this, call = step.call](std::vector<Variant>&) {
      (this->*call)();
      return Variant();
    });
  }
  std::vector<Param> refused = Params({"cluster", "column", "source", "oldValue", "newValue"});
  refused.push_back(Param{"row", true, false});
  DeclareMethod("WriteRefusedSignature", kDispWriteRefusedSignature, refused,
                [this](std::vector<Variant>& args) {
                  OperatorEvent e;
                  e.cluster = ArgString(args, 0);
                  e.column_name = ArgString(args, 1);
                  e.source = ArgString(args, 2);
                  e.old_value = ArgString(args, 3);
                  e.new_value = ArgString(args, 4);
                  WriteRefusedSignature(e,
                                        args[5].IsMissing() ? std::string() : ArgString(args, 5));
                  return Variant();
                });
}

Variant SecurityManager::CategoriesArray() const {
  const auto& categories = options_.security.reason_categories;
  platform::SafeArray array(platform::VarType::String,
                            {{0, static_cast<int32_t>(categories.size())}});
  for (size_t i = 0; i < categories.size(); ++i)
    array.Set(static_cast<int32_t>(i), Variant(categories[i]));
  return Variant(std::move(array));
}

std::chrono::system_clock::time_point SecurityManager::Now() const {
  return options_.now ? options_.now() : std::chrono::system_clock::now();
}

const SecurityUser* FindCredentials(const SecurityConfig& security, const std::string& user,
                                    const std::string& password) {
  const auto& users = security.users;
  auto it = std::find_if(users.begin(), users.end(),
                         [&](const SecurityUser& u) { return u.name == user; });
  if (it != users.end() && VerifyPassword(password, it->password_hash)) return &*it;
  if (it == users.end()) {
    // Spend the time a known user would cost, so that the answer's delay does not tell
    // which user names exist.
    int cost = kMinPasswordIterations;
    for (const SecurityUser& u : users)
      cost = std::max(cost, ParsePasswordHash(u.password_hash).iterations);
    VerifyPassword(password, "pbkdf2-sha256$" + std::to_string(cost) +
                                 "$AAAAAAAAAAAAAAAAAAAAAA==$"
                                 "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");
  }
  return nullptr;
}

const SecurityUser* SecurityManager::CheckCredentials(const std::string& user,
                                                      const std::string& password) {
  if (const SecurityUser* account = FindCredentials(options_.security, user, password))
    return account;
  throw ComError(kErrSignatureRefused, kWrongCredentials, kSource);
}

void RecordRefusedSignIn(const HostConfig& config, const std::string& user,
                         const std::string& operator_name) {
  AuditRecord record;
  record.recorded_at = FormatUtcTimestamp(std::chrono::system_clock::now());
  record.event.event_type = kRefusedSignInEvent;
  record.event.signature1 = user;
  record.event.signature3 = kWrongCredentials;
  record.operator_name = operator_name;
  AppendAuditRecord(AuditStoreOf(config), record);
}

void SecurityManager::CheckReason(const ESignatureRequest& request,
                                  const std::string& reason) const {
  if (reason.empty()) {
    if (request.reason_required)
      throw ComError(kErrReasonRequired, "A reason is required.", kSource);
    return;
  }
  if (request.allow_user_reason) return;
  const auto& categories = options_.security.reason_categories;
  bool offered = request.reason_category.empty()
                     ? std::find(categories.begin(), categories.end(), reason) != categories.end()
                     : reason == request.reason_category;
  if (!offered)
    throw ComError(kErrReasonNotAllowed,
                   "The reason \"" + reason + "\" is not one of the offered reason categories.",
                   kSource);
}

std::string SecurityManager::AskSigner(const ESignatureRequest& request, int signer, int32_t level,
                                       std::string& reason, std::string& tried) {
  std::vector<Variant> args = {Variant(""),
                               Variant(""),
                               Variant(""),
                               Variant(request.prompt),
                               Variant(static_cast<int32_t>(signer)),
                               Variant(level),
                               Variant(signer == 1 && request.reason_required),
                               Variant(request.allow_user_reason),
                               Variant(request.reason_category),
                               CategoriesArray()};
  Variant result;
  try {
    result = container_.ShowDialog(std::string(platform::kDialogESignature), args);
  } catch (const ComError& e) {
    if (e.number() != platform::kErrDialogCancelled) throw;
    throw ComError(platform::kErrDialogCancelled, "The signature was cancelled.", kSource);
  }
  if (result.type() == platform::VarType::Boolean && !result.AsBoolean())
    throw ComError(platform::kErrDialogCancelled, "The signature was cancelled.", kSource);
  auto text = [&](size_t i) {
    return args[i].IsEmpty() ? std::string() : platform::CStr(args[i], coercion_locale());
  };
  std::string user = Trim(text(0));
  tried = user;
  const SecurityUser* account = CheckCredentials(user, text(1));
  if (level >= 0 && account->level < level)
    throw ComError(
        kErrSignatureLevel,
        "The user \"" + user + "\" does not hold command level " + std::to_string(level) + ".",
        kSource);
  reason = Trim(text(2));
  return user;
}

ESignature SecurityManager::RequestESignature(const ESignatureRequest& request) {
  ESignature signature;
  std::string tried;
  last_refusal_ = {};
  try {
    signature.user1 = AskSigner(request, 1, request.level1, signature.reason, tried);
    CheckReason(request, signature.reason);
    if (request.dual) {
      std::string unused_reason;
      signature.user2 = AskSigner(request, 2, request.level2, unused_reason, tried);
      if (signature.user2 == signature.user1)
        throw ComError(kErrSignatureSameUser,
                       "The second signature must come from a different user.", kSource);
    }
  } catch (const ComError& e) {
    // A signer refused is a failed sign-in: the operator is told, the caller may record it.
    if (e.code() >= kErrSignatureRefused && e.code() <= kErrSignatureSameUser) {
      last_refusal_ = {tried, e.description()};
      container_.MsgBox("Sign-in failed: " + e.description(), platform::kMbCritical, "Signature");
    }
    throw;
  }
  last_signature_ = signature;
  last_signed_at_ = FormatUtcTimestamp(Now());
  return signature;
}

void SecurityManager::WriteOperatorEvent(const OperatorEvent& event, const std::string& row) {
  AuditRecord record = NewRecord(event, row);
  if (batch_) {
    // A SQLite store's batch becomes intents: pending until the change is known written.
    if (!options_.audit.pg) record.state = AuditState::kPending;
    record.id = batch_->Append(record);
    batch_records_.push_back(record);
  } else {
    AppendAuditRecord(options_.audit, record);
  }
}

void SecurityManager::BeginOperatorEvents() {
  // Intents never marked (a caller that began again without ending) stay pending: whether
  // their change was written is for the next start to read from the row.
  prepared_.clear();
  batch_.reset();
  batch_records_.clear();
  intent_lock_.reset();
  // The lock before the records: no resolution may take them for a dead process's.
  if (!options_.audit.pg) intent_lock_ = std::make_unique<AuditIntentLock>(options_.audit);
  batch_ = std::make_unique<AuditTransaction>(options_.audit);
}

void SecurityManager::PrepareOperatorEvents() {
  if (!batch_ || options_.audit.pg) return;
  std::unique_ptr<AuditTransaction> batch = std::move(batch_);
  std::vector<AuditRecord> records = std::move(batch_records_);
  batch_records_.clear();
  try {
    batch->Commit();
  } catch (const ComError&) {
    intent_lock_.reset();
    throw;
  }
  for (const AuditRecord& record : records) prepared_.push_back(record.id);
}

void SecurityManager::RollbackOperatorEvents() {
  batch_.reset();
  batch_records_.clear();
  if (!prepared_.empty()) {
    std::vector<int64_t> ids = std::move(prepared_);
    prepared_.clear();
    try {
      MarkAuditRecords(options_.audit, ids, AuditState::kNotWritten);
    } catch (const ComError&) {
      // They stay pending; the next start reads the row.
    }
  }
  intent_lock_.reset();
}

void SecurityManager::CommitOperatorEvents() {
  if (!prepared_.empty()) {
    std::vector<int64_t> ids = std::move(prepared_);
    prepared_.clear();
    try {
      try {
        MarkAuditRecords(options_.audit, ids, AuditState::kWritten);
      } catch (const ComError&) {
        MarkAuditRecords(options_.audit, ids, AuditState::kWritten);
      }
    } catch (const ComError&) {
      intent_lock_.reset();
      throw;
    }
    intent_lock_.reset();
    return;
  }
  intent_lock_.reset();
  if (!batch_) return;
  std::unique_ptr<AuditTransaction> batch = std::move(batch_);
  std::vector<AuditRecord> records = std::move(batch_records_);
  batch_records_.clear();
  try {
    batch->Commit();
  } catch (const ComError&) {
    // The first transaction is rolled back; its records go again as new ones of the chain.
    // A second failure is the caller's to report.
    batch.reset();
    AuditTransaction again(options_.audit);
    for (const AuditRecord& record : records) again.Append(record);
    again.Commit();
  }
}

void SecurityManager::WriteRefusedSignature(OperatorEvent event, const std::string& row) {
  event.event_type = kRefusedSignatureEvent;
  event.signature1 = last_refusal_.user;
  event.signature2.clear();
  event.signature3 = last_refusal_.why;
  AuditRecord record = NewRecord(event, row);
  record.signed_by1 = record.signed_by2 = record.signed_reason = record.signed_at = "";
  AppendAuditRecord(options_.audit, record);
}

AuditRecord SecurityManager::NewRecord(const OperatorEvent& event, const std::string& row) const {
  AuditRecord record;
  record.recorded_at = FormatUtcTimestamp(Now());
  record.event = event;
  record.signed_by1 = last_signature_.user1;
  record.signed_by2 = last_signature_.user2;
  record.signed_reason = last_signature_.reason;
  record.signed_at = last_signed_at_;
  record.operator_name = options_.operator_name;
  record.row = row;
  return record;
}

std::shared_ptr<SecurityManager> NewSecurityManager(const HostConfig& config,
                                                    platform::Container& container,
                                                    std::string operator_name) {
  SecurityManagerOptions options;
  options.security = config.security;
  options.audit = AuditStoreOf(config);
  options.operator_name = std::move(operator_name);
  return std::make_shared<SecurityManager>(container, std::move(options));
}

std::string LocalUserName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_name)
    return found->pw_name;
  return {};
}

}  // namespace tabulo::host
