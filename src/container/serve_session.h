// One operator's session of the display in a browser (one page, see serve_display.h): one or
// more controls side by side, with their editor, dialogs and scroll positions, and their own
// process state (that of its Session), so that the session behaves as its own host process. The
// thread that calls Run is the session's one user-interface thread: the controls are run,
// asked for their scenes and handed every posted event there, in the order the events came.
// Other threads (the HTTP server's) only queue events and wait for their replies, and read
// the published scene.
//
// The display's questions (message boxes, the signature dialog, the popup menu) are modal:
// the scene names the open dialog, the user-interface thread waits for its answer (timers
// wait with it) and refuses other input of the session meanwhile with 409. A page that is
// reloaded finds its dialog still open. A session that is ended (End) answers an open
// question with Cancel (or No), so that nothing is written, and then refuses everything.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "container/browse_session.h"
#include "container/design_desk.h"
#include "container/export.h"
#include "container/operator_container.h"
#include "container/serve_event.h"
#include "container/session.h"
#include "web/http_server.h"

namespace tabulo::container {

struct ServeRequest {
  SessionOptions session;
  std::vector<BrowseRequest> controls;  // their own .session is not read
  // A display on another address than loopback needs a host configuration that names its
  // users: the embedded demo user signs only on loopback. Its pages sign in first, as do
  // those of a loopback display with `sign_in`.
  bool loopback = true;
  bool sign_in = false;
  size_t max_sessions = 16;                  // pages with a session at once
  int64_t idle_timeout_ms = 30 * 60 * 1000;  // a session without events this long ends
  // Shows beside each control its property sheet, and in the page the dialogs the sheet
  // opens; `save_path` (one control only) is where the Save button writes its control file.
  bool design = false;
  std::string save_path;
};

class ServeSession : private Operator {
 public:
  // Places the controls; timers run on `clock` (not owned). The audit names
  // `request.session.operator_name`. Raises platform::ComError for a bad host configuration,
  // locale or control file. The session's process state is built on the calling thread
  // and goes along to the thread that runs it, then to the one that destroys it.
  ServeSession(const ServeRequest& request, platform::Clock& clock);
  ~ServeSession() override;

  // Switches the display to run mode and runs it on the calling thread until `stop` says
  // so (asked at least every 20 ms) or the session is ended; then refuses further events.
  void Run(const std::function<bool()>& stop);
  // Ends the session from any thread: an open question is cancelled, the loop of Run
  // returns, and the page is told `why` (an "ended" update, and 410 for its events).
  void End(const std::string& why);
  bool ended() const { return ended_; }
  std::string why_ended();

  web::Reply Post(const std::string& body);
  std::optional<web::Update> NextUpdate(web::UpdateCursor& cursor, std::chrono::milliseconds wait);
  // What control `control` shows now (its statement, sorted and filtered), as CSV or JSON
  // lines, streamed from its source by the export (export.h) on the calling thread; the
  // control's status line then says how many records went out.
  web::Download Export(const std::string& control, const std::string& format);

  size_t control_count() const { return controls_.size(); }
  // The display clock's time of the last posted event (of the start, before any).
  int64_t last_active_ms() const { return last_active_; }

 private:
  struct Task {
    ServeEvent event;
    std::promise<web::Reply> reply;
    bool replied = false;
  };

  int AnswerMessageBox(const std::string& text, int32_t style, const std::string& title) override;
  std::optional<Signature> Sign(const SignatureRequest& request) override;
  int ChooseFromMenu(const std::vector<std::string>& captions) override;
  std::optional<platform::DialogAnswer> Choose(std::string_view dialog,
                                               const std::vector<platform::Variant>& args) override;

  std::shared_ptr<Task> Pop(std::chrono::milliseconds wait);
  void Handle(const std::shared_ptr<Task>& task);
  void Apply(const ServeEvent& event, Task& task);
  void ApplyDesign(size_t control, const ServeEvent::Design& event, Task& task);
  // Runs the modal dialog `desk` opened until `closed`: the operator's design events on the
  // same control drive it, anything else waits with 409.
  void RunModal(size_t control, const std::function<bool()>& closed);
  nlohmann::json DesignScene(size_t control);
  static void Answer(Task& task, int status, const nlohmann::json& body);
  // Shows `dialog` and waits for its answer; nothing when the display stops first.
  std::optional<ServeEvent::Answer> AskOperator(nlohmann::json dialog);
  void Publish();
  void SetBusy(const std::string& doing);
  // Reading the result: go to, find, sort, filter, reset.
  void ApplyView(BrowseSession& browse, const ServeEvent::View& event);
  bool Finding() const;
  // Notes that export threads left for the controls' status lines.
  bool TakeNotes();

  platform::Clock& clock_;
  // The user-interface language, the one value the platform keeps per thread: carried from
  // the thread that builds the session to the one that runs it.
  int32_t ui_language_;
  Session session_;
  std::vector<std::unique_ptr<BrowseSession>> controls_;
  std::vector<std::unique_ptr<DesignDesk>> desks_;  // by control; empty without --design
  std::string save_path_;
  std::function<bool()> stop_ = [] { return false; };

  std::mutex tasks_mu_;
  std::condition_variable tasks_cv_;
  std::deque<std::shared_ptr<Task>> tasks_;
  bool closed_ = false;
  std::shared_ptr<Task> current_;  // the event being handled (user-interface thread only)

  nlohmann::json dialog_;  // the open dialog, or null
  uint64_t dialogs_ = 0;
  std::string last_scene_;  // as last published, without its version

  std::mutex scene_mu_;
  std::condition_variable scene_cv_;
  uint64_t version_ = 0;
  std::string scene_;
  std::string doing_;
  std::atomic<int64_t> busy_since_{0};  // steady-clock milliseconds; 0: idle

  std::atomic<bool> ended_{false};
  std::string why_ended_;  // set before ended_
  std::atomic<int64_t> last_active_;

  // What each control shows, for downloads (under scene_mu_), and the notes exports leave.
  std::string host_config_;
  std::vector<ExportRequest> exports_;
  std::mutex notes_mu_;
  std::vector<std::pair<size_t, std::string>> notes_;
};

}  // namespace tabulo::container
