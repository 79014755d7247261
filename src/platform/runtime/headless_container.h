// HeadlessContainer: a Container without a screen, for tests and the container program.
// Every message box, dialog and popup menu is answered from a scripted first-in first-out
// queue and recorded as shown. It owns a VirtualClock and an EventLoop on it.
//
// Answers when nothing is queued:
// - a message box answers its default button (OK for 0, Yes for 3 and 4, Retry for 5, Abort
//   for 2, or the button kMbDefaultButton2/3 names) and is recorded as unanswered;
// - a dialog is cancelled (ShowDialog raises 32755);
// - a popup menu chooses nothing (-1).
// Queued answers are taken as they stand, so a script can answer what a user could not.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/runtime/container.h"
#include "platform/runtime/event_loop.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {

// How a scripted dialog closes: with a result and new values for the by-reference arguments
// (by_ref[i] replaces args[i]; extra values are ignored), or cancelled.
struct DialogAnswer {
  bool cancel = false;
  Variant result;
  std::vector<Variant> by_ref;

  static DialogAnswer Cancel() { return DialogAnswer{true, Variant(), {}}; }
  static DialogAnswer Ok(Variant result, std::vector<Variant> by_ref = {}) {
    return DialogAnswer{false, std::move(result), std::move(by_ref)};
  }
};

struct MsgBoxRecord {
  std::string text;
  int32_t style = 0;
  std::string title;  // as shown: the default title substituted
  int answer = 0;
  bool answered = false;  // false: nothing was queued, the default button answered
};

struct DialogRecord {
  std::string dialog;
  std::vector<Variant> args;  // as passed in, before the answer changed them
  bool cancelled = false;
  Variant result;
};

struct PopupRecord {
  std::vector<std::string> captions;
  double x = 0, y = 0;
  int chosen = -1;
};

// The module of the host's configuration tool, for tests that run "inside" it.
inline constexpr std::string_view kConfigurationToolModule =
    "C:\\Program Files\\Panel Studio\\PanelStudio.exe";

class HeadlessContainer : public Container {
 public:
  // Run mode, the default StdFont, display name "TabuloCtl1", en-US, outside the host runtime,
  // module "C:\Program Files\Tabulo\tabulo.exe".
  HeadlessContainer();
  ~HeadlessContainer() override;

  // Ambient values. Each setter notifies the listeners with the property's name, also when
  // the value is unchanged (a container may repeat a notification).
  bool AmbientUserMode() const override { return user_mode_; }
  std::shared_ptr<StdFont> AmbientFont() const override { return font_; }
  std::string AmbientDisplayName() const override { return display_name_; }
  void SetAmbientUserMode(bool user_mode);
  void SetAmbientFont(std::shared_ptr<StdFont> font);  // null is refused with 380
  void SetAmbientDisplayName(std::string name);

  // Records the name; while a failure is set, records it and then raises that error.
  void PropertyChanged(std::string_view name) override;
  void FailPropertyChanged(ComError error) { property_changed_failure_ = std::move(error); }
  void StopFailingPropertyChanged() { property_changed_failure_.reset(); }
  const std::vector<std::string>& property_changes() const { return property_changes_; }

  void QueueAnswer(int answer) { msgbox_answers_.push_back(answer); }
  const std::vector<MsgBoxRecord>& message_boxes() const { return message_boxes_; }
  size_t pending_answers() const { return msgbox_answers_.size(); }

  Variant ShowDialog(std::string dialog, std::vector<Variant>& args) override;
  void QueueDialogAnswer(DialogAnswer answer) { dialog_answers_.push_back(std::move(answer)); }
  const std::vector<DialogRecord>& dialogs() const { return dialogs_; }
  size_t pending_dialog_answers() const { return dialog_answers_.size(); }

  int16_t MousePointer() const override { return pointer_; }
  // Every pointer set, in order (the starting pointer not included).
  const std::vector<int16_t>& pointer_history() const { return pointer_history_; }

  // A queued index outside the captions chooses nothing (-1).
  int PopupMenu(std::vector<std::string> captions, double x, double y) override;
  void QueuePopupChoice(int index) { popup_choices_.push_back(index); }
  const std::vector<PopupRecord>& popups() const { return popups_; }

  void OutputDebugString(std::string_view text) override { debug_output_.emplace_back(text); }
  const std::vector<std::string>& debug_output() const { return debug_output_; }

  const Locale& UserLocale() const override { return *locale_; }
  void SetUserLocale(const Locale& locale) { locale_ = &locale; }  // not owned
  Clock& clock() override { return clock_; }
  VirtualClock& virtual_clock() { return clock_; }
  EventLoop& event_loop() override { return *loop_; }

  bool IsHostRuntime() const override { return host_runtime_; }
  void SetHostRuntime(bool host_runtime) { host_runtime_ = host_runtime; }
  std::string ModuleFileName() const override { return module_file_name_; }
  void SetModuleFileName(std::string path) { module_file_name_ = std::move(path); }

 protected:
  int ShowMessageBox(const std::string& text, int32_t style, const std::string& title) override;
  void ApplyMousePointer(int16_t pointer) override;

 private:
  bool user_mode_ = true;
  std::shared_ptr<StdFont> font_;
  std::string display_name_ = "TabuloCtl1";

  std::vector<std::string> property_changes_;
  std::optional<ComError> property_changed_failure_;

  std::deque<int> msgbox_answers_;
  std::vector<MsgBoxRecord> message_boxes_;
  std::deque<DialogAnswer> dialog_answers_;
  std::vector<DialogRecord> dialogs_;
  std::deque<int> popup_choices_;
  std::vector<PopupRecord> popups_;

  int16_t pointer_ = kPointerDefault;
  std::vector<int16_t> pointer_history_;
  std::vector<std::string> debug_output_;

  const Locale* locale_;
  VirtualClock clock_;
  std::unique_ptr<EventLoop> loop_;
  bool host_runtime_ = false;
  std::string module_file_name_ = "C:\\Program Files\\Tabulo\\tabulo.exe";
};

}  // namespace tabulo::platform
