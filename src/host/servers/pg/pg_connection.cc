#include "host/servers/pg/pg_connection.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "host/data_server.h"

namespace tabulo::host::pg {
namespace {

using platform::ComError;

std::string Trimmed(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// A refused login: wrong password, unknown role, no password given where one is needed.
bool IsLoginRefusal(const std::string& message) {
  for (const char* sign : {"password authentication failed", "no password supplied",
                           "authentication failed for user", "role \""}) {
    if (message.find(sign) != std::string::npos) return true;
  }
  return false;
}

thread_local bool in_query = false;

std::atomic<int64_t> g_open{0}, g_opened{0};

// The settings the session's start pins, as the server reports them.
struct Pinned {
  const char* name;
  const char* value;
  bool prefix;  // DateStyle also carries the order of input dates
};
constexpr Pinned kPinned[] = {{"client_encoding", "UTF8", false},
                              {"standard_conforming_strings", "on", false},
                              {"DateStyle", "ISO", true},
                              {"IntervalStyle", "iso_8601", false}};

// The idle connections by login; a bounded number each.
class IdlePool {
 public:
  Conn Take(const std::string& login) {
    std::lock_guard lock(mu_);
    auto it = idle_.find(login);
    if (it == idle_.end()) return nullptr;
    Conn conn = std::move(it->second.back());
    it->second.pop_back();
    if (it->second.empty()) idle_.erase(it);
    --count_;
    return conn;
  }
  void Give(const std::string& login, Conn conn) {
    std::lock_guard lock(mu_);
    std::vector<Conn>& kept = idle_[login];
    if (kept.size() >= limit_) return;  // closed as it goes
    kept.push_back(std::move(conn));
    ++count_;
  }
  int64_t Idle() {
    std::lock_guard lock(mu_);
    return count_;
  }
  void SetLimit(size_t per_login) {
    std::lock_guard lock(mu_);
    limit_ = std::max<size_t>(per_login, 1);
    for (auto& [login, kept] : idle_) {
      while (kept.size() > limit_) {
        kept.pop_back();
        --count_;
      }
    }
  }

 private:
  std::mutex mu_;
  std::map<std::string, std::vector<Conn>> idle_;
  size_t limit_ = 4;
  int64_t count_ = 0;
};

IdlePool& Pool() {
  static IdlePool* pool = new IdlePool();  // never destroyed: its connections outlive exit
  return *pool;
}

std::string LoginKey(const Endpoint& e) {
  return e.host + '\n' + std::to_string(e.port) + '\n' + e.database + '\n' + e.user + '\n' +
         e.password + '\n' + e.application;
}

}  // namespace

Conn TakeIdle(const Endpoint& endpoint) {
  return Pool().Take(LoginKey(endpoint));
}

void KeepIdle(const Endpoint& endpoint, Conn conn) {
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK ||
      PQtransactionStatus(conn.get()) != PQTRANS_IDLE || !UnpinnedSetting(conn.get()).empty())
    return;
  Pool().Give(LoginKey(endpoint), std::move(conn));
}

void ResetAndKeepIdle(const Endpoint& endpoint, Conn conn) {
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) return;
  // A cancel request still on its way when the session went idle is dropped by the server
  // (it ignores one that arrives between statements), so it never reaches the next owner's.
  // The ROLLBACK first reads what a stopped statement still sends (a cancelled COPY's rows up
  // to its error).
  if (PQtransactionStatus(conn.get()) != PQTRANS_IDLE) {
    Result rolled_back(PQexec(conn.get(), "ROLLBACK"));
    if (!rolled_back || PQresultStatus(rolled_back.get()) != PGRES_COMMAND_OK) return;
  }
  Result discarded(PQexec(conn.get(), "DISCARD ALL"));
  if (!discarded || PQresultStatus(discarded.get()) != PGRES_COMMAND_OK) return;
  KeepIdle(endpoint, std::move(conn));
}

int64_t IdleConnections() {
  return Pool().Idle();
}

void SetIdleLimit(size_t per_login) {
  Pool().SetLimit(per_login);
}

Conn TakeAndRun(const Endpoint& endpoint, const std::string& sql) {
  Conn conn = TakeIdle(endpoint);
  if (conn) {
    Result result(PQexec(conn.get(), sql.c_str()));
    if (PQstatus(conn.get()) != CONNECTION_BAD) {
      const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw ErrorOf(conn.get(), result.get(), endpoint.label);
      return conn;
    }
  }
  conn = Connect(endpoint);
  Exec(conn.get(), sql, endpoint.label);
  return conn;
}

void ConnCloser::operator()(PGconn* conn) const {
  PQfinish(conn);
  --g_open;
}

int64_t OpenConnections() {
  return g_open;
}

int64_t OpenedConnections() {
  return g_opened;
}

QueryScope::QueryScope() : outer_(in_query) {
  in_query = true;
}
QueryScope::~QueryScope() {
  in_query = outer_;
}

std::string UnpinnedSetting(PGconn* conn) {
  for (const Pinned& pin : kPinned) {
    const char* reported = PQparameterStatus(conn, pin.name);
    const std::string value = reported ? reported : "";
    const bool holds = pin.prefix ? value.rfind(pin.value, 0) == 0 : value == pin.value;
    if (!holds) return std::string(pin.name) + " = " + (reported ? value : "(not reported)");
  }
  return {};
}

void KeepReadOnly(PGconn* conn, const std::string& label) {
  // Servers before 14 do not report the setting: then it is set before every read.
  const char* reported = PQparameterStatus(conn, "default_transaction_read_only");
  if (reported && std::strcmp(reported, "on") == 0) return;
  Exec(conn, "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY", label);
}

std::vector<Result> Pipelined(PGconn* conn, std::initializer_list<Sent> sent) {
  std::vector<Result> results;
  if (!PQenterPipelineMode(conn)) return results;
  bool ok = true;
  for (const Sent& s : sent) {
    const std::string sql(s.sql);
    const char* values[] = {s.param};
    ok = ok && (s.prepare_as ? PQsendPrepare(conn, s.prepare_as, sql.c_str(), 0, nullptr)
                             : PQsendQueryParams(conn, sql.c_str(), s.param ? 1 : 0, nullptr,
                                                 s.param ? values : nullptr, nullptr, nullptr, 0));
  }
  if (ok && PQpipelineSync(conn)) results = PipelineResults(conn);
  PQexitPipelineMode(conn);
  return results;
}

std::vector<Result> PipelineResults(PGconn* conn) {
  std::vector<Result> results;
  for (;;) {
    Result result(PQgetResult(conn));
    if (!result) {
      if (PQstatus(conn) == CONNECTION_BAD) break;
      continue;  // the end of one statement's results
    }
    if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC) break;
    results.push_back(std::move(result));
  }
  return results;
}

bool AllSucceeded(const std::vector<Result>& results, size_t count) {
  if (results.size() != count) return false;
  for (const Result& result : results) {
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) return false;
  }
  return true;
}

Conn Connect(const Endpoint& e) {
  const std::string port = std::to_string(e.port);
  const std::string timeout = std::to_string(e.connect_timeout);
  std::vector<const char*> keys = {"host",
                                   "port",
                                   "dbname",
                                   "user",
                                   "password",
                                   "client_encoding",
                                   "options",
                                   "connect_timeout",
                                   "application_name",
                                   nullptr};
  std::vector<const char*> values = {e.host.c_str(),
                                     port.c_str(),
                                     e.database.empty() ? nullptr : e.database.c_str(),
                                     e.user.empty() ? nullptr : e.user.c_str(),
                                     e.password.c_str(),
                                     "UTF8",
                                     "-c standard_conforming_strings=on "
                                     "-c DateStyle=ISO -c IntervalStyle=iso_8601 "
                                     "-c extra_float_digits=3 -c bytea_output=hex "
                                     "-c lc_monetary=C",
                                     timeout.c_str(),
                                     e.application.c_str(),
                                     nullptr};
  // Empty values would let libpq fall back to its environment variables; a missing database
  // means the login's own.
  if (!values[2]) keys[2] = "fallback_application_name", values[2] = "tabulo";
  if (!values[3]) keys[3] = "fallback_application_name", values[3] = "tabulo";
  Conn conn(PQconnectdbParams(keys.data(), values.data(), 0));
  if (conn) {
    ++g_open;
    ++g_opened;
  }
  if (!conn)
    throw ComError(kErrSourceUnusable, "Out of memory connecting to " + e.label, kErrorSource);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    const std::string message = Trimmed(PQerrorMessage(conn.get()));
    if (IsLoginRefusal(message))
      throw ComError(kErrLoginFailed, "Login failed for user '" + e.user + "': " + message,
                     kErrorSource);
    throw ComError(kErrSourceUnusable, "The server " + e.label + " cannot be used: " + message,
                   kErrorSource);
  }
  // A pooler in between may drop the startup's settings: then values written in a statement
  // could be read differently from how they were written.
  if (const std::string unpinned = UnpinnedSetting(conn.get()); !unpinned.empty()) {
    throw ComError(kErrSourceUnusable,
                   "The server " + e.label + " cannot be used: its session keeps " + unpinned +
                       " although the connection asks for client_encoding UTF8, "
                       "standard_conforming_strings on and DateStyle ISO. Connect to the "
                       "server directly or let the pooler pass the connection's options on.",
                   kErrorSource);
  }
  return conn;
}

ComError ErrorOf(PGconn* conn, const PGresult* result, const std::string& label) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::string message =
      Trimmed(result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
  if (message.empty()) message = Trimmed(PQerrorMessage(conn));
  const std::string code = state ? state : "";
  const std::string cls = code.substr(0, 2);
  if (PQstatus(conn) != CONNECTION_OK || code.empty() || cls == "08" || cls == "53" ||
      cls == "57" || cls == "58" || (code == "25006" && !in_query) || code == "3D000") {
    return ComError(kErrSourceUnusable, "The server " + label + " cannot be used: " + message,
                    kErrorSource);
  }
  if (cls == "28") return ComError(kErrLoginFailed, message, kErrorSource);
  if (code == "25006") {
    return ComError(kErrInvalidStatement,
                    "The query writes to the database, and a query may only read: " + message +
                        ". Browse with a statement that only reads.",
                    kErrorSource);
  }
  return ComError(kErrInvalidStatement, message, kErrorSource);
}

Result Exec(PGconn* conn, const std::string& sql, const std::string& label) {
  Result result(PQexec(conn, sql.c_str()));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw ErrorOf(conn, result.get(), label);
  return result;
}

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace tabulo::host::pg
