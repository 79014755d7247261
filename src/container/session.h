// A hosting session of the container program: the headless container (the host runtime's
// display), the host installation, and the controls placed on the display. `tabulo show`
// and `tabulo script` both run one. Every control gets the same site, whose service 4 is the
// security manager of the host configuration: it asks for signatures through this container
// and names the account the program runs under as the operator of its audit records.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "container/host_setup.h"
#include "container/load_progress.h"
#include "control/tabulo_ctl.h"
#include "platform/runtime/headless_container.h"

namespace tabulo::container {

struct SessionOptions {
  std::string host_config;       // empty: the embedded default
  std::string locale = "en-US";  // the user's locale
  int32_t ui_language = 0;       // 0: from the environment's locale
  double width = 9600;           // twips of a new control (80 characters)
  double height = 3600;          // (15 lines)
  // The operator its audit records name: a display's signed-in user; empty: the account
  // the program runs under.
  std::string operator_name;
  // Where a long load's progress goes (empty: nowhere).
  LoadProgressSink load_progress;
};

class Session {
 public:
  // Raises platform::ComError for a bad host configuration or locale. `display` is the
  // container the controls are placed in; null: a headless one on the virtual clock.
  explicit Session(const SessionOptions& options,
                   std::unique_ptr<platform::HeadlessContainer> display = nullptr);
  ~Session();

  platform::HeadlessContainer& container() { return *container_; }
  const HostInstallation& host() const { return host_; }
  // The process-wide values of this session's controls; the container hands them on.
  platform::ProcessState& process_state() { return *state_; }

  // Places a new control on the display (new-instance values), sizes and shows it and hands
  // it the host's site, as the host runtime does (in run mode it is told UserModeSet too);
  // it becomes the current control.
  control::TabuloCtl& NewControl();
  // The same for a control saved to `path` (control_file.h), as opening a display does: its
  // saved properties in place of the new-instance values. A file that cannot be read raises
  // platform::ComError and places nothing. A data source given as a relative path is taken
  // beside the control file when a file is there (saving writes the path the control holds).
  control::TabuloCtl& LoadControl(const std::filesystem::path& path);
  // The current control; raises platform::ComError 91 when there is none (after EndCurrent).
  control::TabuloCtl& current();
  bool has_current() const { return current_ < controls_.size(); }
  size_t control_count() const { return controls_.size(); }
  // index: 0-based, in creation order; raises platform::ComError 9 when out of range.
  void SelectControl(size_t index);
  // Terminates the current control, as the host runtime does when the display closes it;
  // it keeps its number, and no control is current until another is selected or placed.
  void EndCurrent();
  // The host's language change, told to every control not ended. The platform's
  // user-interface language, which picks the built-in texts, stays as it is.
  void ChangeLanguage(int32_t lcid);
  // The security manager the host's site hands out.
  std::shared_ptr<platform::Dispatch> security_manager() const;
  // The host runtime's switch to run mode: the ambient change, then UserModeSet.
  void SetRunMode(bool run);
  // Lets the display run for `ms` of virtual time: timers and posted messages (a display on
  // the real clock raises platform::ComError 5).
  void Run(int64_t ms);

 private:
  control::TabuloCtl& Place(std::unique_ptr<control::TabuloCtl> ctl);

  std::unique_ptr<platform::HeadlessContainer> container_;
  std::shared_ptr<platform::ProcessState> state_;
  HostInstallation host_;
  std::shared_ptr<HostControlSite> site_;
  std::vector<std::unique_ptr<control::TabuloCtl>> controls_;
  std::vector<bool> ended_;  // by index: terminated by EndCurrent
  size_t current_ = 0;       // control_count() or beyond: none
  double width_, height_;
};

// The user-interface language from the environment's locale (LC_ALL, LC_MESSAGES, LANG):
// German 1031, French 1036, anything else 1033.
int32_t UiLanguageFromEnvironment();

}  // namespace tabulo::container
