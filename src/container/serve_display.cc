// The operator display in a browser: its sessions (serve_display.h).
#include "container/serve_display.h"

#include <nlohmann/json.hpp>

#include "host/security_manager.h"
#include "platform/values/com_error.h"
#include "web/access.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr size_t kEndedKept = 1024;  // ended ids still told apart from unknown ones

web::Reply Refused(int status, const std::string& message, json more = json::object()) {
  more["error"] = message;
  return {status, more.dump(-1, ' ', false, json::error_handler_t::replace)};
}

std::string Minutes(int64_t ms) {
  const int64_t minutes = ms / 60000;
  if (minutes * 60000 != ms) return std::to_string(ms / 1000) + " seconds";
  return minutes == 1 ? "1 minute" : std::to_string(minutes) + " minutes";
}

}  // namespace

ServeDisplay::ServeDisplay(const ServeRequest& request, platform::Clock& clock)
    : request_(request), clock_(clock), sign_in_(request.sign_in || !request.loopback) {
  config_ = request.session.host_config.empty() ? host::DefaultHostConfig(host::LocalMachineName())
                                                : host::LoadHostConfig(request.session.host_config);
  if (!request.loopback && (request.session.host_config.empty() || config_.security.users.empty()))
    throw platform::ComError(
        5,
        "a display on another address than loopback needs --host CONFIG naming its users "
        "(the demo user signs only on 127.0.0.1)");
  // The first page would meet what is wrong with the controls: the start does.
  std::lock_guard build(build_mu_);
  ServeSession check(request_, clock_);
}

ServeDisplay::~ServeDisplay() {
  stopping_ = true;
  std::map<std::string, std::shared_ptr<Entry>> sessions;
  {
    std::lock_guard lock(mu_);
    sessions.swap(sessions_);
  }
  for (auto& [id, entry] : sessions) entry->session->End("the display has closed");
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
  if (session_count() >= request_.max_sessions) return full;
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
        return Refused(503, "The refused sign-in could not be recorded: " + e.description(),
                       {{"signin", true}});
      }
      return Refused(401, host::kWrongCredentials, {{"signin", true}});
    }
    operator_name = user;
  }
  {
    // The place is taken before the session is built: pages opened at once count each other.
    std::lock_guard lock(mu_);
    size_t open = opening_;
    for (auto& [id, entry] : sessions_) open += !entry->session->ended();
    if (open >= request_.max_sessions) return full;
    ++opening_;
  }
  ServeRequest request = request_;
  request.session.operator_name = operator_name;
  auto entry = std::make_shared<Entry>();
  entry->browser = caller.browser;
  entry->operator_name = operator_name;
  std::string problem;
  {
    std::lock_guard build(build_mu_);
    try {
      if (stopping_) throw platform::ComError(5, "the display has closed");
      entry->session = std::make_unique<ServeSession>(request, clock_);
      ServeSession* session = entry->session.get();
      entry->thread =
          std::thread([this, session] { session->Run([this] { return stopping_.load(); }); });
    } catch (const platform::ComError& e) {
      problem = e.description();
    }
  }
  const std::string id = web::NewToken();
  std::lock_guard lock(mu_);
  --opening_;
  if (!problem.empty()) return Refused(503, "The session could not be opened: " + problem);
  sessions_[id] = entry;
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
