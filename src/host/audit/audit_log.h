// The audit trail of operator events: an SQLite file that records are only ever appended to.
// Each record answers who changed what, when, from which value to which, and why.
//
// Table operator_events (created with the first record; UPDATE and DELETE abort in triggers):
//   id            INTEGER PRIMARY KEY AUTOINCREMENT
//   recorded_at   UTC time of the write, "2026-12-07T21:46:49.123Z"
//   cluster, event_type, column_name, source, signature1, signature2, old_value, new_value,
//   signature3    the nine texts the control hands over, in its order
//   signed_by1, signed_by2, signed_reason, signed_at
//                 the security manager's own memory of its last successful signature (users,
//                 reason, UTC time); "" when none was given since it started
//   operator      the account the container runs under
//   row_key       the changed row: the condition of the statement that wrote it
//                 ("Id = 3 AND Qty = 5"); added to older databases at their next write, ""
//                 for their records
//   hash          the record's link in the chain (audit_chain.h); added likewise, "" for
//                 records written before the trail was chained
//   state         'written', 'pending' or 'not written' (AuditState); added likewise,
//                 'written' for older records. Not part of the hash: it is the one column an
//                 UPDATE may change, and only from 'pending' to one of the other two.
// Table audit_chain_head (one row): the id and hash of the last record appended, so that
// records removed from the end, or a table dropped and made anew, break the chain; in a keyed
// store also its seal (column seal, "" in a plain one).
// View audit_chain_marker (one row: chained_from, keyed_from): the first record of the chain
// and the first keyed one (0: none). Made with the tables (chained_from: the first hashed
// record, or the next id); keyed_from is set by the first write with an audit key, after
// which a write without the key is refused.
// The same store can live in a PostgreSQL table instead (pg_audit_store.h); audit_store.h
// describes both.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/audit/audit_store.h"
#include "host/cluster/host_config.h"

namespace tabulo::host {

// The record could not be written / the audit database could not be read.
inline constexpr int64_t kErrAuditWrite = 0x80040206;
inline constexpr int64_t kErrAuditRead = 0x80040207;

// The event type of a refused signature's record: signature1 names who tried, signature3 why
// the signature was refused.
inline constexpr char kRefusedSignatureEvent[] = "ESignatureRefused";
inline constexpr char kRefusedSignInEvent[] = "SignInRefused";

struct OperatorEvent {
  std::string cluster, event_type, column_name, source;
  std::string signature1, signature2, old_value, new_value, signature3;
};

// Whether the change a record describes was made. The records of a logged change are
// committed as pending intents before the change is written and marked once it is (or is
// not); a process killed in between leaves them pending until ResolvePendingAuditRecords reads
// the row.
enum class AuditState { kWritten, kPending, kNotWritten };
// "written", "pending", "not written".
const char* AuditStateName(AuditState state);

struct AuditRecord {
  int64_t id = 0;  // assigned by the database
  std::string recorded_at;
  OperatorEvent event;
  std::string signed_by1, signed_by2, signed_reason, signed_at;
  std::string operator_name;
  std::string row;   // the changed row's condition; "" when the caller named none
  std::string hash;  // the chain hash (hex); assigned by AuditTransaction::Append
  AuditState state = AuditState::kWritten;  // a PostgreSQL store's records are all written
};

// A write transaction on the audit database that holds its write lock from the start, so that
// a caller can secure the records of a change before making the change: appended records
// become durable together at Commit (synchronous=FULL), or not at all. Destroyed without
// Commit, it rolls them back. Every failure raises platform::ComError kErrAuditWrite whose
// description names the cause: folder missing, read-only, locked, not a database.
namespace pg {
class PgAuditTransaction;
}

class AuditTransaction {
 public:
  // Opens the database (creating it, its tables and triggers on first use) and takes the
  // write lock (BEGIN EXCLUSIVE: no other program reads or writes a rollback-journal store
  // until Commit), waiting at most options.busy_timeout_ms for other programs.
  explicit AuditTransaction(const AuditLogOptions& options);
  ~AuditTransaction();
  AuditTransaction(const AuditTransaction&) = delete;
  AuditTransaction& operator=(const AuditTransaction&) = delete;

  // Appends `record` as the next one of the chain; its id and hash are assigned here.
  // Returns the id.
  int64_t Append(const AuditRecord& record);
  // Makes the appended records durable. The transaction is over whatever happens.
  void Commit();
  // Marks the pending records `ids` `state` within this transaction (SQLite stores only).
  void Mark(const std::vector<int64_t>& ids, AuditState state);

 private:
  struct Impl;
  static void CreateTables(Impl& impl);
  std::unique_ptr<Impl> impl_;
  std::unique_ptr<pg::PgAuditTransaction> pg_;  // a PostgreSQL store's transaction instead
};

// One record in a transaction of its own.
void AppendAuditRecord(const AuditLogOptions& options, const AuditRecord& record);

// Marks the pending records `ids` of a SQLite store `state` (kWritten or kNotWritten) in one
// transaction; records no longer pending keep their state. Raises kErrAuditWrite.
void MarkAuditRecords(const AuditLogOptions& options, const std::vector<int64_t>& ids,
                      AuditState state);

// Held by a process from before it commits pending records until it has marked them, so that
// another process resolving pending records leaves a live change alone (an flock on the file
// "<audit database>-intents", released by the system when the process dies). Shared: any
// number of writers at once.
class AuditIntentLock {
 public:
  // Waits for a running resolution. Raises kErrAuditWrite as AuditTransaction does for the
  // store's folder, or when the file cannot be opened.
  explicit AuditIntentLock(const AuditLogOptions& options);
  ~AuditIntentLock();
  AuditIntentLock(const AuditIntentLock&) = delete;
  AuditIntentLock& operator=(const AuditIntentLock&) = delete;

 private:
  int fd_ = -1;
};

// Whether a pending record's change reached its row, as the data source tells now.
enum class RowOutcome { kWritten, kNotWritten, kUnknown };
using PendingRowCheck = std::function<RowOutcome(const AuditRecord&)>;

struct PendingResolution {
  int64_t written = 0, not_written = 0;
  int64_t pending = 0;   // left pending: the row could not be read, or a writer is at work
  bool skipped = false;  // another process is between its intents and its change
};
// Asks `check` about every pending record of a SQLite store and marks the answered ones.
// Nothing for a PostgreSQL store, a missing file or a store without pending records. Raises
// kErrAuditWrite when the marks cannot be written.
PendingResolution ResolvePendingAuditRecords(const AuditLogOptions& options,
                                             const PendingRowCheck& check);

// The data source, database and table a record's source names ("<dsn>: <database> -
// <table>"); false when the source has not that shape.
bool SplitAuditSource(const std::string& source, std::string& dsn, std::string& database,
                      std::string& table);

// Every record, oldest first. Raises platform::ComError kErrAuditRead for a missing or
// unreadable file, or one that holds no audit table.
std::vector<AuditRecord> ReadAuditRecords(const std::string& path);

// Everything a check of the chain needs, read in one read transaction.
struct AuditTrail {
  std::vector<AuditRecord> records;  // oldest first
  bool has_head = false;             // audit_chain_head has its row
  int64_t head_id = 0;
  std::string head_hash;
  int64_t last_assigned = 0;  // the highest id the database ever handed out
  std::vector<std::string> missing_triggers;
  std::string head_seal;     // a keyed head's seal (audit_chain.h); "" otherwise
  bool has_marker = false;   // the chain marker is there
  int64_t chained_from = 0;  // the marker's first chained record
  int64_t keyed_from = 0;    // the marker's first keyed record; 0: none is keyed
};
AuditTrail ReadAuditTrail(const std::string& path);
// The trail of either store; raises kErrAuditRead as above.
AuditTrail ReadAuditTrail(const AuditLogOptions& store);

// Where a host configuration's operator events go: its PostgreSQL audit store, or the SQLite
// audit database (ResolveAuditDatabase).
AuditLogOptions AuditStoreOf(const HostConfig& config);

// One readable line:
// `#1 2026-12-07T21:46:49.123Z signed by alice and bob, reason "Correction";
//  Plant: Prod - Orders, column Qty: "5" -> "7"; row Id = 3; dbUpdate, cluster Local Logging;
//  operator ops`
// ("not signed" when the control asked for no signature; no "row" part when none is named;
// `sign-in refused for mallory ("The user name or password is not correct.")` for a refused
// signature). A record not plainly written ends in "; pending: ..." or "; not written: ...".
// Control characters and invalid UTF-8 of any field are shown escaped
// (platform::VisibleText), so that a record cannot clear the screen or fake a line.
std::string FormatAuditRecord(const AuditRecord& record);

// "2026-12-07T21:46:49.123Z".
std::string FormatUtcTimestamp(std::chrono::system_clock::time_point time);

}  // namespace tabulo::host
