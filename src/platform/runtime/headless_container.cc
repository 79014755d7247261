#include "platform/runtime/headless_container.h"

namespace tabulo::platform {

HeadlessContainer::HeadlessContainer()
    : font_(StdFont::Create()),
      locale_(&Locale::EnUS()),
      loop_(std::make_unique<EventLoop>(clock_)) {}

HeadlessContainer::~HeadlessContainer() = default;

void HeadlessContainer::SetAmbientUserMode(bool user_mode) {
  user_mode_ = user_mode;
  NotifyAmbientChanged("UserMode");
}

void HeadlessContainer::SetAmbientFont(std::shared_ptr<StdFont> font) {
  if (!font) throw ComError::InvalidPropertyValue("HeadlessContainer");
  font_ = std::move(font);
  NotifyAmbientChanged("Font");
}

void HeadlessContainer::SetAmbientDisplayName(std::string name) {
  display_name_ = std::move(name);
  NotifyAmbientChanged("DisplayName");
}

void HeadlessContainer::PropertyChanged(std::string_view name) {
  property_changes_.emplace_back(name);
  if (property_changed_failure_) throw *property_changed_failure_;
}

int HeadlessContainer::ShowMessageBox(const std::string& text, int32_t style,
                                      const std::string& title) {
  MsgBoxRecord record{text, style, title, 0, false};
  if (msgbox_answers_.empty()) {
    record.answer = MsgBoxDefaultAnswer(style);
  } else {
    record.answer = msgbox_answers_.front();
    record.answered = true;
    msgbox_answers_.pop_front();
  }
  message_boxes_.push_back(record);
  return record.answer;
}

Variant HeadlessContainer::ShowDialog(std::string dialog, std::vector<Variant>& args) {
  DialogRecord record{std::move(dialog), args, true, Variant()};
  if (dialog_answers_.empty()) {
    dialogs_.push_back(std::move(record));
    throw DialogCancelled("HeadlessContainer");
  }
  DialogAnswer answer = std::move(dialog_answers_.front());
  dialog_answers_.pop_front();
  record.cancelled = answer.cancel;
  record.result = answer.result;
  dialogs_.push_back(std::move(record));
  if (answer.cancel) throw DialogCancelled("HeadlessContainer");
  for (size_t i = 0; i < answer.by_ref.size() && i < args.size(); ++i) {
    args[i] = std::move(answer.by_ref[i]);
  }
  return answer.result;
}

void HeadlessContainer::ApplyMousePointer(int16_t pointer) {
  pointer_ = pointer;
  pointer_history_.push_back(pointer);
}

int HeadlessContainer::PopupMenu(std::vector<std::string> captions, double x, double y) {
  int chosen = -1;
  if (!popup_choices_.empty()) {
    chosen = popup_choices_.front();
    popup_choices_.pop_front();
    if (chosen < 0 || static_cast<size_t>(chosen) >= captions.size()) chosen = -1;
  }
  popups_.push_back(PopupRecord{std::move(captions), x, y, chosen});
  return chosen;
}

}  // namespace tabulo::platform
