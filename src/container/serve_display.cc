// The operator display in a browser: its sessions (serve_display.h).
#include "container/serve_display.h"

#include <nlohmann/json.hpp>

#include "container/write_tally.h"
#include "host/audit/security_manager.h"
#include "host/servers/pg/pg_data_server.h"
#include "platform/values/com_error.h"
#include "web/access.h"
#include "web/log.h"
#include "web/metrics.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr size_t kEndedKept = 1024;  // ended ids still told apart from unknown ones

web::Reply Refused(int status, const std::string& message, json more = json::object()) {
  more["error"] = message;
  return {status, more.dump(-1, ' ', false, json::error_handler_t::replace)};
}

using web::Metrics;

// Seconds a load or commit takes: from a millisecond to a minute.
const std::vector<double> kSecondsBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                             0.5,   1,      2.5,   5,    10,    30,   60};

void DeclareMetrics() {
  Metrics& m = Metrics::Process();
  using T = Metrics::Type;
  m.Declare("tabulo_sessions_open", T::kGauge, "Pages with a session now.");
  m.Declare("tabulo_sessions_max", T::kGauge, "Pages that may have a session at once.");
  m.Declare("tabulo_sessions_opened_total", T::kCounter, "Sessions opened.");
  m.Declare("tabulo_sessions_refused_total", T::kCounter,
            "Sessions refused, by reason (full, sign_in, failed).");
  m.Declare("tabulo_sessions_ended_total", T::kCounter,
            "Sessions ended, by reason (idle, signed_out, closed, ended).");
  m.Declare("tabulo_loads_total", T::kCounter,
            "Statements run for rows (a control's load), by outcome (ok, failed).");
  m.Declare("tabulo_load_seconds", T::kHistogram,
            "Time to run a statement for rows, until its first window can be read.",
            kSecondsBuckets);
  m.Declare("tabulo_commits_written_total", T::kCounter, "Writes the data server acknowledged.");
  m.Declare("tabulo_commits_refused_total", T::kCounter,
            "Writes the data server refused, by kind (conflict, unavailable, login, statement, "
            "other).");
  m.Declare("tabulo_commit_seconds", T::kHistogram,
            "Time to write an edit, until the data server acknowledged or refused it.",
            kSecondsBuckets);
  m.Declare("tabulo_database_up", T::kGauge,
            "1 when the active data server answered its last probe, else 0.");
  m.Declare("tabulo_active_server", T::kGauge,
            "1 for the active server of the display's data cluster.");
  m.Declare("tabulo_failovers_total", T::kCounter,
            "Changes of the data cluster's active server seen by the probe.");
  m.Declare("tabulo_process_resident_bytes", T::kGauge, "Resident memory of this process.");
  m.Declare("tabulo_pg_connections", T::kGauge,
            "PostgreSQL connections this process holds, by use (all, idle: kept for commands).");
  m.Declare("tabulo_pg_connections_opened_total", T::kCounter,
            "PostgreSQL connections this process has opened (logins).");
}

// A refusal's kind by its error number: what an operator's edit met.
std::string RefusalKind(int32_t error) {
  switch (static_cast<uint32_t>(error)) {
    case 0x80040E38:
      return "conflict";  // the row changed, or was not exactly one
    case 0x80004005:
      return "unavailable";
    case 0x80040E4D:
      return "login";
    case 0x80040E14:
      return "statement";
    default:
      return "other";
  }
}

std::string Hex(int32_t error) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(error));
  return text;
}

// Every statement of the sessions' data servers, counted and (writes) logged on the session's
// thread, whose log context names the session.
void CountDataCall(const DataCall& call) {
  Metrics& m = Metrics::Process();
  if (!call.write) {
    m.Add("tabulo_loads_total", {{"outcome", call.error ? "failed" : "ok"}});
    m.Observe("tabulo_load_seconds", {}, call.seconds);
    if (call.error)
      web::LogEvent("warn", "load_failed", {{"seconds", call.seconds}, {"error", Hex(call.error)}});
    return;
  }
  m.Observe("tabulo_commit_seconds", {}, call.seconds);
  if (!call.error) {
    m.Add("tabulo_commits_written_total");
    web::LogEvent("info", "commit", {{"seconds", call.seconds}});
    return;
  }
  const std::string kind = RefusalKind(call.error);
  m.Add("tabulo_commits_refused_total", {{"kind", kind}});
  web::LogEvent("warn", "commit_refused",
                {{"seconds", call.seconds}, {"kind", kind}, {"error", Hex(call.error)}});
}

std::string Minutes(int64_t ms) {
  const int64_t minutes = ms / 60000;
  if (minutes * 60000 != ms) return std::to_string(ms / 1000) + " seconds";
  return minutes == 1 ? "1 minute" : std::to_string(minutes) + " minutes";
}

}  // namespace

namespace {

host::HostConfig ConfigOf(const ServeRequest& request) {
  return request.session.host_config.empty() ? host::DefaultHostConfig(host::LocalMachineName())
                                             : host::LoadHostConfig(request.session.host_config);
}

}  // namespace

ServeDisplay::ServeDisplay(const ServeRequest& request, platform::Clock& clock)
    : request_(request),
      clock_(clock),
      sign_in_(request.sign_in || !request.loopback),
      config_(ConfigOf(request)),
      health_(config_, clock) {
  if (!request.loopback && (request.session.host_config.empty() || config_.security.users.empty()))
    throw platform::ComError(
        5,
        "a display on another address than loopback needs --host CONFIG naming its users "
        "(the demo user signs only on 127.0.0.1)");
  // The first page would meet what is wrong with the controls: the start does.
  {
    std::lock_guard build(build_mu_);
    ServeSession check(request_, clock_);
  }
  DeclareMetrics();
  ObserveDataCalls(CountDataCall);
  Metrics::Process().Set("tabulo_sessions_max", {}, static_cast<double>(request_.max_sessions));
  collector_ = Metrics::Process().AddCollector([this](Metrics& m) {
    m.Set("tabulo_sessions_open", {}, static_cast<double>(session_count()));
    m.Set("tabulo_process_resident_bytes", {}, static_cast<double>(web::ResidentBytes()));
    const host::pg::ConnectionCounts pg = host::pg::CountConnections();
    m.Set("tabulo_pg_connections", {{"use", "all"}}, static_cast<double>(pg.open));
    m.Set("tabulo_pg_connections", {{"use", "idle"}}, static_cast<double>(pg.idle));
    m.Set("tabulo_pg_connections_opened_total", {}, static_cast<double>(pg.opened));
    const HealthState health = health_.Check();
    m.Set("tabulo_database_up", {}, health.database_ok ? 1 : 0);
    m.Set("tabulo_failovers_total", {}, static_cast<double>(health.failovers));
    m.Clear("tabulo_active_server");
    if (!health.active.empty())
      m.Set("tabulo_active_server", {{"cluster", health.cluster}, {"server", health.active}}, 1);
  });
}

ServeDisplay::~ServeDisplay() {
  Metrics::Process().RemoveCollector(collector_);
  ObserveDataCalls(nullptr);
  stopping_ = true;
  std::map<std::string, std::shared_ptr<Entry>> sessions;
  {
    std::lock_guard lock(mu_);
    sessions.swap(sessions_);
  }
  for (auto& [id, entry] : sessions) {
    entry->ended_by = "closed";
    entry->session->End("the display has closed");
  }
  std::lock_guard build(build_mu_);
  for (auto& [id, entry] : sessions) {
    if (entry->thread.joinable()) entry->thread.join();
    entry->session.reset();
  }
}

void ServeDisplay::Run(const std::function<bool()>& stop) {
  while (!stop()) {
    EndIdle();
    Reap();
    std::this_thread::sleep_for(kPoll);
  }
}

size_t ServeDisplay::EndIdle() {
  const int64_t now = clock_.NowMillis();
  size_t ended = 0;
  std::lock_guard lock(mu_);
  for (auto& [id, entry] : sessions_) {
    if (entry->session->ended() ||
        now - entry->session->last_active_ms() <= request_.idle_timeout_ms)
      continue;
    entry->ended_by = "idle";
    entry->session->End("This session has ended: it had no input for more than " +
                        Minutes(request_.idle_timeout_ms) +
                        ", and an edit left open was abandoned (nothing was written). Reload "
                        "the page to start a new session.");
    ++ended;
  }
  return ended;
}

void ServeDisplay::Reap() {
  std::vector<std::shared_ptr<Entry>> gone;
  {
    std::lock_guard lock(mu_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (!it->second->session->ended()) {
        ++it;
        continue;
      }
      gone.push_back(it->second);
      const Entry& entry = *it->second;
      const std::string reason = entry.ended_by.empty() ? "ended" : entry.ended_by;
      Metrics::Process().Add("tabulo_sessions_ended_total", {{"reason", reason}});
      web::SetThreadLogContext({entry.serial, entry.operator_name});
      web::LogEvent(
          "info", "session_ended",
          {{"reason", reason}, {"seconds", (clock_.NowMillis() - entry.opened_ms) / 1000.0}});
      web::SetThreadLogContext({});
      ended_.emplace_back(it->first, it->second->session->why_ended());
      if (ended_.size() > kEndedKept) ended_.pop_front();
      it = sessions_.erase(it);
    }
  }
  std::lock_guard build(build_mu_);
  for (auto& entry : gone) {
    if (entry->thread.joinable()) entry->thread.join();
    entry->session.reset();
  }
}

size_t ServeDisplay::session_count() {
  std::lock_guard lock(mu_);
  size_t open = 0;
  for (auto& [id, entry] : sessions_) open += !entry->session->ended();
  return open;
}

web::Reply ServeDisplay::Open(const web::Caller& caller, const std::string& body) {
  const web::Reply full =
      Refused(503,
              "This display is full: " + std::to_string(request_.max_sessions) +
                  " pages already have a session. Close a page you no longer use (or wait until an "
                  "idle one ends), then reload this one.",
              {{"full", true}});
  auto refuse = [&](const std::string& reason, const web::Reply& reply) {
    Metrics::Process().Add("tabulo_sessions_refused_total", {{"reason", reason}});
    web::LogEvent("warn", "session_refused",
                  {{"reason", reason}, {"status", reply.status}, {"peer", caller.peer}});
    return reply;
  };
  if (session_count() >= request_.max_sessions) return refuse("full", full);
  std::string operator_name;
  if (sign_in_) {
    const json given = json::parse(body, nullptr, false);
    auto text = [&](const char* name) {
      return given.is_object() && given.contains(name) && given[name].is_string()
                 ? given[name].get<std::string>()
                 : std::string();
    };
    const std::string user = text("user");
    if (user.empty())
      return Refused(401, "Sign in with your user name and password.", {{"signin", true}});
    if (!host::FindCredentials(config_.security, user, text("password"))) {
      try {
        host::RecordRefusedSignIn(config_, user, "sign-in from " + caller.peer);
      } catch (const platform::ComError& e) {
        return refuse("sign_in",
                      Refused(503, "The refused sign-in could not be recorded: " + e.description(),
                              {{"signin", true}}));
      }
      return refuse("sign_in", Refused(401, host::kWrongCredentials, {{"signin", true}}));
    }
    operator_name = user;
  }
  {
    // The place is taken before the session is built: pages opened at once count each other.
    std::lock_guard lock(mu_);
    size_t open = opening_;
    for (auto& [id, entry] : sessions_) open += !entry->session->ended();
    if (open >= request_.max_sessions) return refuse("full", full);
    ++opening_;
  }
  ServeRequest request = request_;
  request.session.operator_name = operator_name;
  auto entry = std::make_shared<Entry>();
  entry->browser = caller.browser;
  entry->operator_name = operator_name;
  entry->opened_ms = clock_.NowMillis();
  {
    std::lock_guard lock(mu_);
    entry->serial = "s" + std::to_string(++serials_);
  }
  std::string problem;
  {
    std::lock_guard build(build_mu_);
    try {
      if (stopping_) throw platform::ComError(5, "the display has closed");
      entry->session = std::make_unique<ServeSession>(request, clock_);
      ServeSession* session = entry->session.get();
      entry->thread =
          std::thread([this, session, context = web::LogContext{entry->serial, operator_name}] {
            // The session's log lines (its commits) name it.
            web::SetThreadLogContext(context);
            session->Run([this] { return stopping_.load(); });
          });
    } catch (const platform::ComError& e) {
      problem = e.description();
    }
  }
  const std::string id = web::NewToken();
  std::lock_guard lock(mu_);
  --opening_;
  if (!problem.empty()) {
    // The problem is the host's or the control file's (no values): the operator sees it too.
    Metrics::Process().Add("tabulo_sessions_refused_total", {{"reason", "failed"}});
    web::LogEvent("error", "session_refused", {{"reason", "failed"}, {"peer", caller.peer}});
    return Refused(503, "The session could not be opened: " + problem);
  }
  sessions_[id] = entry;
  Metrics::Process().Add("tabulo_sessions_opened_total");
  web::SetThreadLogContext({entry->serial, operator_name});
  web::LogEvent("info", "session_opened", {{"peer", caller.peer}});
  web::SetThreadLogContext({});
  return {200, json{{"session", id}, {"operator", operator_name}, {"signin", sign_in_}}.dump()};
}

std::shared_ptr<ServeDisplay::Entry> ServeDisplay::Find(const web::Caller& caller,
                                                        web::Reply& refusal) {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(caller.session);
  if (it != sessions_.end() && it->second->browser == caller.browser) return it->second;
  if (it == sessions_.end()) {
    for (const auto& [id, why] : ended_) {
      if (id != caller.session) continue;
      refusal = Refused(410, why, {{"ended", true}});
      return nullptr;
    }
  }
  refusal = Refused(403,
                    caller.session.empty()
                        ? "This request names no session: reload the page."
                        : "This page's session is not known to the display (it has ended, or "
                          "belongs to another page): reload the page.",
                    {{"ended", true}});
  return nullptr;
}

web::Reply ServeDisplay::End(const web::Caller& caller) {
  web::Reply refusal;
  std::shared_ptr<Entry> entry = Find(caller, refusal);
  if (!entry) return refusal;
  {
    std::lock_guard lock(mu_);
    entry->ended_by = sign_in_ ? "signed_out" : "closed";
  }
  entry->session->End(sign_in_ ? "You signed out. Reload the page to sign in again."
                               : "This session has ended. Reload the page to start a new one.");
  return {200, json{{"ok", true}}.dump()};
}

web::Reply ServeDisplay::Post(const web::Caller& caller, const std::string& body) {
  web::Reply refusal;
  std::shared_ptr<Entry> entry = Find(caller, refusal);
  return entry ? entry->session->Post(body) : refusal;
}

web::Download ServeDisplay::Export(const web::Caller& caller, const std::string& control,
                                   const std::string& format) {
  web::Reply refusal;
  std::shared_ptr<Entry> entry = Find(caller, refusal);
  if (!entry) {
    // The refusal's reason, without the JSON it is sent in to the page's other requests.
    const json reason = json::parse(refusal.body, nullptr, false);
    return {refusal.status,
            reason.is_object() && reason.contains("error") && reason["error"].is_string()
                ? reason["error"].get<std::string>()
                : refusal.body,
            {},
            {},
            nullptr};
  }
  return entry->session->Export(control, format);
}

web::Reply ServeDisplay::Health() {
  const HealthState health = health_.Check();
  const json body = {{"status", health.database_ok ? "ok" : "degraded"},
                     {"database", health.database_ok ? "ok" : "down"}};
  return {health.database_ok ? 200 : 503, body.dump()};
}

web::Reply ServeDisplay::Watch(const web::Caller& caller) {
  web::Reply refusal;
  return Find(caller, refusal) ? web::Reply{200, "{}"} : refusal;
}

std::optional<web::Update> ServeDisplay::NextUpdate(const web::Caller& caller,
                                                    web::UpdateCursor& cursor,
                                                    std::chrono::milliseconds wait) {
  web::Reply refusal;
  std::shared_ptr<Entry> entry = Find(caller, refusal);
  if (!entry) return web::Update{"ended", refusal.body};
  return entry->session->NextUpdate(cursor, wait);
}

}  // namespace tabulo::container
