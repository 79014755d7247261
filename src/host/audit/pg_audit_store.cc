#include "host/audit/pg_audit_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/audit/audit_chain.h"

namespace tabulo::host::pg {
namespace {

using platform::ComError;

constexpr const char* kSource = "SecurityManager";
constexpr const char* kTriggers[] = {"operator_events_no_update", "operator_events_no_delete"};
constexpr const char* kColumns =
    "id, recorded_at, cluster, event_type, column_name, source, signature1, signature2, "
    "old_value, new_value, signature3, signed_by1, signed_by2, signed_reason, signed_at, "
    "operator, row_key, hash";

Endpoint EndpointOf(const AuditPgStore& store) {
  const PgConnectionConfig& c = store.connection;
  return Endpoint{c.host, c.port, c.database, c.user, c.password, store.name, 10};
}

std::string Qualified(const std::string& schema, const std::string& name) {
  return schema.empty() ? QuoteName(name) : QuoteName(schema) + "." + QuoteName(name);
}

Result ExecParams(PGconn* conn, const std::string& sql, const std::vector<std::string>& params,
                  const std::string& label) {
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  Result result(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw ErrorOf(conn, result.get(), label);
  return result;
}

std::string Text(const PGresult* result, int row, int column) {
  return PQgetvalue(result, row, column);
}

std::string Schema(const std::string& events, const std::string& head, const std::string& refuse) {
  std::string sql = "CREATE TABLE IF NOT EXISTS " + events + " (id bigint PRIMARY KEY";
  for (const char* column :
       {"recorded_at", "cluster", "event_type", "column_name", "source", "signature1", "signature2",
        "old_value", "new_value", "signature3", "signed_by1", "signed_by2", "signed_reason",
        "signed_at", "operator", "row_key", "hash"})
    sql += std::string(", ") + column + " text NOT NULL DEFAULT ''";
  sql += ");\nCREATE TABLE IF NOT EXISTS " + head +
         " (one integer PRIMARY KEY CHECK (one = 1), last_id bigint NOT NULL,"
         " last_hash text NOT NULL, seal text NOT NULL DEFAULT '');\n"
         "ALTER TABLE " +
         head +
         " ADD COLUMN IF NOT EXISTS seal text NOT NULL DEFAULT '';\n"
         "CREATE OR REPLACE FUNCTION " +
         refuse +
         "() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN RAISE EXCEPTION"
         " 'audit records cannot be %', CASE TG_OP WHEN 'UPDATE' THEN 'changed'"
         " ELSE 'deleted' END; END $f$;\n";
  for (const char* trigger : kTriggers) {
    const bool update = std::strstr(trigger, "update") != nullptr;
    sql += std::string("CREATE OR REPLACE TRIGGER ") + trigger +
           (update ? " BEFORE UPDATE" : " BEFORE DELETE") + " ON " + events +
           " FOR EACH ROW EXECUTE FUNCTION " + refuse + "();\n";
    sql += "ALTER TABLE " + events + " ENABLE TRIGGER " + trigger + ";\n";
  }
  return sql;
}

// The names of the enabled triggers of kTriggers on the table $1.
constexpr const char* kEnabledTriggers =
    "SELECT tgname FROM pg_catalog.pg_trigger WHERE tgrelid = to_regclass($1) "
    "AND tgenabled <> 'D' AND tgname IN ('operator_events_no_update', "
    "'operator_events_no_delete')";

// The marker view: the first chained record and the first keyed one (0: none).
std::string MarkerView(const std::string& marker, int64_t chained_from, int64_t keyed_from) {
  return "CREATE OR REPLACE VIEW " + marker + " AS SELECT " + std::to_string(chained_from) +
         "::bigint AS chained_from, " + std::to_string(keyed_from) + "::bigint AS keyed_from";
}

}  // namespace

PgAuditTransaction::PgAuditTransaction(const AuditLogOptions& options, const std::string& key)
    : label_("the PostgreSQL audit store \"" + options.pg->name + "\""),
      events_(Qualified(options.pg->schema, options.pg->table)),
      head_(Qualified(options.pg->schema, options.pg->table + "_chain_head")),
      refuse_(Qualified(options.pg->schema, "tabulo_audit_refuse_change")),
      marker_(Qualified(options.pg->schema, options.pg->table + "_chain_marker")),
      key_(key) {
  const Endpoint endpoint = EndpointOf(*options.pg);
  try {
    conn_ = Connect(endpoint);
  } catch (const ComError& e) {
    Fail("cannot be used (" + e.description() + ")");
  }
  try {
    // Writers wait for each other's head lock as long as SQLite writers wait for theirs.
    Exec(conn_.get(), "SET lock_timeout = 5000", label_);
    Result tables = ExecParams(conn_.get(),
                               "SELECT to_regclass($1) IS NOT NULL AND to_regclass($2) IS NOT NULL "
                               "AND to_regclass($3) IS NOT NULL",
                               {events_, head_, marker_}, label_);
    const bool complete =
        Text(tables.get(), 0, 0) == "t" &&
        PQntuples(ExecParams(conn_.get(), kEnabledTriggers, {events_}, label_).get()) == 2;
    if (!complete) CreateTables();
    Exec(conn_.get(), "BEGIN", label_);
  } catch (const ComError& e) {
    Fail("cannot be written (" + e.description() + ")");
  }
  open_ = true;
  joinable_.endpoint = endpoint;
  joinable_.conn = conn_.get();
  OfferTransaction(&joinable_);
}

// In a transaction of its own, one creator at a time, so that the store stays readable
// whatever becomes of a batch.
void PgAuditTransaction::CreateTables() {
  Exec(conn_.get(), "BEGIN", label_);
  try {
    ExecParams(conn_.get(), "SELECT pg_advisory_xact_lock(hashtext($1))", {events_}, label_);
    Exec(conn_.get(), Schema(events_, head_, refuse_), label_);
    // The chain starts at the first hashed record, or with the next one written.
    Result marker = ExecParams(conn_.get(), "SELECT to_regclass($1) IS NULL", {marker_}, label_);
    if (Text(marker.get(), 0, 0) == "t") {
      Result from =
          Exec(conn_.get(),
               "SELECT COALESCE(min(id) FILTER (WHERE hash <> ''), max(id) + 1, 1) FROM " + events_,
               label_);
      Exec(conn_.get(), MarkerView(marker_, std::atoll(PQgetvalue(from.get(), 0, 0)), 0), label_);
    }
    Exec(conn_.get(), "COMMIT", label_);
  } catch (const ComError&) {
    PQclear(PQexec(conn_.get(), "ROLLBACK"));
    throw;
  }
}

PgAuditTransaction::~PgAuditTransaction() {
  WithdrawTransaction(&joinable_);
  if (open_ && joinable_.state == JoinableTransaction::kOpen)
    PQclear(PQexec(conn_.get(), "ROLLBACK"));
}

void PgAuditTransaction::Fail(const std::string& why) {
  throw ComError(kErrAuditWrite, "Cannot write the operator event: " + label_ + " " + why, kSource);
}

int64_t PgAuditTransaction::Append(const AuditRecord& given) {
  if (!open_ || joinable_.state != JoinableTransaction::kOpen) Fail("has no open transaction");
  AuditRecord record = given;
  PGconn* c = conn_.get();
  try {
    // The head row, locked until the commit, orders the writers of the chain.
    const std::string lock =
        "SELECT last_id, last_hash FROM " + head_ + " WHERE one = 1 FOR UPDATE";
    Result head = Exec(c, lock, label_);
    if (PQntuples(head.get()) == 0) {
      // A store without a head continues from its last record.
      Exec(c,
           "INSERT INTO " + head_ + " SELECT 1, COALESCE(max(id), 0), COALESCE((SELECT hash FROM " +
               events_ + " ORDER BY id DESC LIMIT 1), '') FROM " + events_ +
               " ON CONFLICT (one) DO NOTHING",
           label_);
      head = Exec(c, lock, label_);
    }
    int64_t last_id = std::atoll(PQgetvalue(head.get(), 0, 0));
    const std::string last_hash = Text(head.get(), 0, 1);
    // Numbering never restarts, not even after records removed at the end.
    Result used = Exec(c, "SELECT COALESCE(max(id), 0) FROM " + events_, label_);
    last_id = std::max(last_id, static_cast<int64_t>(std::atoll(PQgetvalue(used.get(), 0, 0))));
    record.id = last_id + 1;
    // A store once written with the audit key is keyed for good: a write without it would end
    // the proof silently.
    Result marker = Exec(c, "SELECT chained_from, keyed_from FROM " + marker_, label_);
    const bool marked = PQntuples(marker.get()) == 1;
    const int64_t chained_from = marked ? std::atoll(PQgetvalue(marker.get(), 0, 0)) : record.id;
    int64_t keyed_from = marked ? std::atoll(PQgetvalue(marker.get(), 0, 1)) : 0;
    if (keyed_from > 0 && key_.empty())
      throw ComError(kErrAuditWrite,
                     "it is signed with an audit key from record #" + std::to_string(keyed_from) +
                         " on; set \"audit_key_file\" in the host configuration's \"security\" "
                         "to the file of that key",
                     kSource);
    if (keyed_from == 0 && !key_.empty()) {
      keyed_from = record.id;
      Exec(c, MarkerView(marker_, chained_from, keyed_from), label_);
    }
    record.hash = ChainHash(last_hash, record, keyed_from > 0 ? key_ : "");
    const OperatorEvent& e = record.event;
    ExecParams(c,
               "INSERT INTO " + events_ + " (" + kColumns +
                   ") VALUES ($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14,$15,$16,$17,$18)",
               {std::to_string(record.id), record.recorded_at, e.cluster, e.event_type,
                e.column_name, e.source, e.signature1, e.signature2, e.old_value, e.new_value,
                e.signature3, record.signed_by1, record.signed_by2, record.signed_reason,
                record.signed_at, record.operator_name, record.row, record.hash},
               label_);
    ExecParams(c, "UPDATE " + head_ + " SET last_id = $1, last_hash = $2, seal = $3 WHERE one = 1",
               {std::to_string(record.id), record.hash,
                keyed_from > 0 ? HeadSeal(record.id, record.hash, key_) : ""},
               label_);
  } catch (const ComError& e) {
    Fail("could not be written (" + e.description() + ")");
  }
  return record.id;
}

void PgAuditTransaction::Commit() {
  if (joinable_.state == JoinableTransaction::kCommittedByWrite) {
    open_ = false;
    return;
  }
  if (!open_ || joinable_.state != JoinableTransaction::kOpen) Fail("has no open transaction");
  open_ = false;
  WithdrawTransaction(&joinable_);
  Result result(PQexec(conn_.get(), "COMMIT"));
  const bool ok = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
                  std::strcmp(PQcmdStatus(result.get()), "COMMIT") == 0;
  if (ok) return;
  // A transaction that failed earlier ends in a rollback whose COMMIT reports no error.
  const bool failed = result && PQresultStatus(result.get()) != PGRES_COMMAND_OK;
  Fail("could not commit (" +
       (failed ? ErrorOf(conn_.get(), result.get(), label_).description()
               : std::string("the transaction had failed and was rolled back")) +
       ")");
}

AuditTrail ReadPgAuditTrail(const AuditLogOptions& options) {
  const AuditPgStore& store = *options.pg;
  const std::string label = "the PostgreSQL audit store \"" + store.name + "\"";
  const std::string events = Qualified(store.schema, store.table);
  const std::string head = Qualified(store.schema, store.table + "_chain_head");
  const std::string marker = Qualified(store.schema, store.table + "_chain_marker");
  auto read_failed = [](const std::string& why) -> ComError {
    return ComError(kErrAuditRead, why, kSource);
  };
  Conn conn;
  AuditTrail trail;
  try {
    conn = Connect(EndpointOf(store));
    // One snapshot: the records, the head and the triggers agree with each other.
    Exec(conn.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", label);
    Result exists = ExecParams(conn.get(),
                               "SELECT to_regclass($1) IS NOT NULL, to_regclass($2) IS NOT NULL, "
                               "to_regclass($3) IS NOT NULL",
                               {events, head, marker}, label);
    if (Text(exists.get(), 0, 0) != "t")
      throw read_failed("No audit table " + events + " in " + label);
    Result rows = Exec(
        conn.get(), std::string("SELECT ") + kColumns + " FROM " + events + " ORDER BY id", label);
    for (int i = 0; i < PQntuples(rows.get()); ++i) {
      auto t = [&](int column) { return Text(rows.get(), i, column); };
      AuditRecord r;
      r.id = std::atoll(PQgetvalue(rows.get(), i, 0));
      r.recorded_at = t(1);
      r.event = OperatorEvent{t(2), t(3), t(4), t(5), t(6), t(7), t(8), t(9), t(10)};
      r.signed_by1 = t(11);
      r.signed_by2 = t(12);
      r.signed_reason = t(13);
      r.signed_at = t(14);
      r.operator_name = t(15);
      r.row = t(16);
      r.hash = t(17);
      trail.records.push_back(std::move(r));
    }
    if (Text(exists.get(), 0, 1) == "t") {
      // A head from before seals has no seal column: its seal reads as "".
      Result h = Exec(
          conn.get(),
          "SELECT last_id, last_hash, to_jsonb(h) ->> 'seal' FROM " + head + " h WHERE one = 1",
          label);
      trail.has_head = PQntuples(h.get()) == 1;
      if (trail.has_head) {
        trail.head_id = std::atoll(PQgetvalue(h.get(), 0, 0));
        trail.head_hash = Text(h.get(), 0, 1);
        trail.head_seal = Text(h.get(), 0, 2);
      }
    }
    if (Text(exists.get(), 0, 2) == "t") {
      Result m = Exec(conn.get(), "SELECT chained_from, keyed_from FROM " + marker, label);
      trail.has_marker = PQntuples(m.get()) == 1;
      if (trail.has_marker) {
        trail.chained_from = std::atoll(PQgetvalue(m.get(), 0, 0));
        trail.keyed_from = std::atoll(PQgetvalue(m.get(), 0, 1));
      }
    }
    Result enabled = ExecParams(conn.get(), kEnabledTriggers, {events}, label);
    for (const char* trigger : kTriggers) {
      bool found = false;
      for (int i = 0; i < PQntuples(enabled.get()); ++i)
        found |= Text(enabled.get(), i, 0) == trigger;
      if (!found) trail.missing_triggers.push_back(trigger);
    }
    Exec(conn.get(), "COMMIT", label);
  } catch (const ComError& e) {
    if (e.code() == kErrAuditRead) throw;
    throw read_failed("Cannot read " + label + " (" + e.description() + ")");
  }
  return trail;
}

}  // namespace tabulo::host::pg
