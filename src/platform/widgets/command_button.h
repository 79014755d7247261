// CommandButton: a captioned push button. Besides the widget's own handle it owns a window
// on the event loop: a posted kWmLButtonDown followed by kWmLButtonUp to message_hwnd()
// clicks it, which is how a dialog clicks a remembered button through posted messages.
#pragma once

#include <functional>
#include <string>

#include "platform/runtime/event_loop.h"
#include "platform/widgets/widget.h"

namespace tabulo::platform {

class CommandButton : public Widget {
 public:
  CommandButton(std::string name, EventLoop& loop);
  ~CommandButton() override;

  const std::string& caption() const { return caption_; }
  void set_caption(std::string v) { caption_ = std::move(v); }
  // Default: Return in the form clicks it; Cancel: Escape does.
  bool is_default() const { return default_; }
  void set_default(bool v) { default_ = v; }
  bool cancel() const { return cancel_; }
  void set_cancel(bool v) { cancel_ = v; }

  // The event-loop window that receives the button's mouse messages.
  WindowHandle message_hwnd() const { return message_hwnd_; }

  // The user clicks the button (down and up over it); a disabled button ignores it.
  void UserClick();
  // Setting Value to True clicks the button from the program, as the classic Value does.
  void set_value(bool v);

  // A button disabled between the press and the release does not click.
  void set_enabled(bool v) override;

  std::function<void()> on_click;

 private:
  void OnMessage(uint32_t msg);
  void RaiseClick();

  EventLoop& loop_;
  WindowHandle message_hwnd_ = 0;
  std::string caption_;
  bool default_ = false;
  bool cancel_ = false;
  bool pressed_ = false;
};

}  // namespace tabulo::platform
