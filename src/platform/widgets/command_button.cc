// The command button model and its event-loop window.
#include "platform/widgets/command_button.h"

#include <utility>

namespace tabulo::platform {

CommandButton::CommandButton(std::string name, EventLoop& loop)
    : Widget(std::move(name)), loop_(loop) {
  message_hwnd_ =
      loop_.CreateWindowHandle([this](uint32_t msg, int64_t, int64_t) { OnMessage(msg); });
}

CommandButton::~CommandButton() {
  loop_.DestroyWindowHandle(message_hwnd_);
}

void CommandButton::OnMessage(uint32_t msg) {
  if (!enabled()) {
    pressed_ = false;
    return;
  }
  if (msg == kWmLButtonDown) {
    pressed_ = true;
  } else if (msg == kWmLButtonUp && pressed_) {
    pressed_ = false;
    RaiseClick();
  }
}

void CommandButton::RaiseClick() {
  // A copy, because the handler may close the dialog that owns this button.
  std::function<void()> handler = on_click;
  if (handler) handler();
}

void CommandButton::UserClick() {
  if (enabled()) RaiseClick();
}

void CommandButton::set_value(bool v) {
  if (v && enabled()) RaiseClick();
}

void CommandButton::set_enabled(bool v) {
  Widget::set_enabled(v);
  if (!v) pressed_ = false;
}

}  // namespace tabulo::platform
