// The operator display in a browser, as `tabulo serve` runs it: every page is its own
// operator's session (serve_session.h) over the same statements, served through
// web::HttpServer. A page opens its session first, signing in when the display asks for it
// (off loopback, or with sign_in): the host configuration's users, checked as signers are,
// and a refusal recorded in the audit trail as a refused signature is. The session's audit
// records then name that user as their operator.
//
// Each session runs on its own user-interface thread with its own process state, so that
// operators never see each other's editor or dialogs and one ending a control or changing
// the language never touches another. Sessions are bounded (max_sessions: the next page is
// refused with 503) and a session without events for longer than idle_timeout_ms on the
// display's clock is ended: its open question cancelled, its open edit abandoned, nothing
// written, and its page told to reload.
//
// Operations: GET /healthz asks ServeHealth (the data server probed now and then); the
// process's figures (web/metrics.h) count sessions, loads and commits (the statements the
// sessions' data servers run, their times, refusals by kind), the active server and
// failovers, the process's memory and its PostgreSQL connections; the log (web/log.h) has
// a line for each session opened, refused and ended and for each commit, naming the
// session by its serial number and the operator, never a value.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "container/serve_health.h"
#include "container/serve_session.h"
#include "host/cluster/host_config.h"
#include "web/http_server.h"

namespace tabulo::container {

class ServeDisplay : public web::Endpoint {
 public:
  // Checks the request by building one session (not kept); timers run on `clock` (not
  // owned). Raises platform::ComError for a bad host configuration, locale or control
  // file, and for a display off loopback without configured users.
  ServeDisplay(const ServeRequest& request, platform::Clock& clock);
  // Ends every session.
  ~ServeDisplay() override;

  // Minds the sessions on the calling thread until `stop` says so (asked at least every
  // 20 ms): ends the idle ones, clears away the ended.
  void Run(const std::function<bool()>& stop);
  // Ends the sessions idle for longer than the idle timeout; returns how many.
  size_t EndIdle();

  web::Reply Open(const web::Caller& caller, const std::string& body) override;
  web::Reply End(const web::Caller& caller) override;
  web::Reply Post(const web::Caller& caller, const std::string& body) override;
  web::Reply Watch(const web::Caller& caller) override;
  web::Reply Health() override;
  web::Download Export(const web::Caller& caller, const std::string& control,
                       const std::string& format) override;
  std::optional<web::Update> NextUpdate(const web::Caller& caller, web::UpdateCursor& cursor,
                                        std::chrono::milliseconds wait) override;

  size_t control_count() const { return request_.controls.size(); }
  // Sessions not ended.
  size_t session_count();
  bool signs_in() const { return sign_in_; }

 private:
  struct Entry {
    std::unique_ptr<ServeSession> session;
    std::thread thread;
    std::string browser;
    std::string operator_name;
    std::string serial;     // how the log names the session
    std::string ended_by;   // why the display ended it: "idle", "signed_out", "closed"
    int64_t opened_ms = 0;  // on the display's clock
  };

  // The caller's session, or null with `refusal` set.
  std::shared_ptr<Entry> Find(const web::Caller& caller, web::Reply& refusal);
  // Joins and drops the ended sessions.
  void Reap();

  ServeRequest request_;
  platform::Clock& clock_;
  bool sign_in_;
  host::HostConfig config_;  // its users sign in
  std::atomic<bool> stopping_{false};

  std::mutex build_mu_;  // sessions are built and torn down one at a time
  std::mutex mu_;
  std::map<std::string, std::shared_ptr<Entry>> sessions_;
  size_t opening_ = 0;                                     // sessions being built
  std::deque<std::pair<std::string, std::string>> ended_;  // recent ids, and why
  uint64_t serials_ = 0;

  ServeHealth health_;
  int collector_ = 0;  // of the process's figures
};

}  // namespace tabulo::container
