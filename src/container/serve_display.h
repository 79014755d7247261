// The operator display in a browser, as `tabulo serve` runs it: one or more controls side
// by side on one display, served to pages through web::HttpServer. The thread that calls
// Run is the display's one user-interface thread: the controls are placed, run, asked for
// their scenes and handed every posted event there, in the order the events came. Other
// threads (the HTTP server's) only queue events and wait for their replies, and read the
// published scene.
//
// The display's questions (message boxes, the signature dialog, the popup menu) are modal:
// the scene names the open dialog, the user-interface thread waits for its answer (timers
// wait with it) and refuses other input meanwhile with 409. A page that goes away leaves
// the dialog open for the next one.
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
#include "container/operator_container.h"
#include "container/serve_event.h"
#include "container/session.h"
#include "web/http_server.h"

namespace tabulo::container {

struct ServeRequest {
  SessionOptions session;
  std::vector<BrowseRequest> controls;  // their own .session is not read
  // A display on another address than loopback needs a host configuration that names its
  // users: the embedded demo user signs only on loopback.
  bool loopback = true;
  // Shows beside each control its property sheet, and in the page the dialogs the sheet
  // opens; `save_path` (one control only) is where the Save button writes its control file.
  bool design = false;
  std::string save_path;
};

class ServeDisplay : public web::Endpoint, private Operator {
 public:
  // Places the controls; timers run on `clock` (not owned). Raises platform::ComError for
  // a bad host configuration, locale or control file, and for a display off loopback
  // without configured users.
  ServeDisplay(const ServeRequest& request, platform::Clock& clock);
  ~ServeDisplay() override;

  // Switches the display to run mode and runs it on the calling thread until `stop` says
  // so (asked at least every 20 ms); then refuses further events.
  void Run(const std::function<bool()>& stop);

  web::Reply Post(const std::string& body) override;
  std::optional<web::Update> NextUpdate(web::UpdateCursor& cursor,
                                        std::chrono::milliseconds wait) override;
  // What control `control` shows now (its statement, sorted and filtered), as CSV or JSON
  // lines, streamed from its source by the export (export.h) on the calling thread; the
  // control's status line then says how many records went out.
  web::Download Export(const std::string& control, const std::string& format) override;

  size_t control_count() const { return controls_.size(); }

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
  void ApplyDesign(const ServeEvent& event, Task& task);
  // Runs the modal dialog `desk` opened until `closed`: the operator's design events on the
  // same control drive it, anything else waits with 409.
  void RunModal(size_t control, const std::function<bool()>& closed);
  nlohmann::json DesignScene(size_t control);
  static void Answer(Task& task, int status, const nlohmann::json& body);
  // Shows `dialog` and waits for its answer; nothing when the display stops first.
  std::optional<ServeEvent> AskOperator(nlohmann::json dialog);
  void Publish();
  void SetBusy(const std::string& doing);
  // Reading the result: go to, find, sort, filter, reset.
  void ApplyView(const ServeEvent& event);
  bool Finding() const;
  // Notes that export threads left for the controls' status lines.
  bool TakeNotes();

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

  // What each control shows, for downloads (under scene_mu_), and the notes exports leave.
  std::string host_config_;
  std::vector<ExportRequest> exports_;
  std::mutex notes_mu_;
  std::vector<std::pair<size_t, std::string>> notes_;
};

}  // namespace tabulo::container
