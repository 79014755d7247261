// Widget: the base of the headless widget models (grid, text box, scroll bar, status bar,
// ...). A widget has a name, a window handle, a position and size in twips inside its
// parent, visibility, an enabled state, a stacking order and the focus. Views render the
// models; the models never know about views.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/event_loop.h"

namespace tabulo::platform {

class FocusScope;

class Widget {
 public:
  explicit Widget(std::string name);
  virtual ~Widget();
  Widget(const Widget&) = delete;
  Widget& operator=(const Widget&) = delete;

  const std::string& name() const { return name_; }
  // A process-unique handle, as a window handle is; never 0.
  WindowHandle hwnd() const { return hwnd_; }

  double left() const { return left_; }
  double top() const { return top_; }
  double width() const { return width_; }
  double height() const { return height_; }
  // Negative widths and heights are refused with ComError 5 "Invalid procedure call or
  // argument", as the classic Move is.
  virtual void Move(double left, double top, double width, double height);

  bool visible() const { return visible_; }
  virtual void set_visible(bool v) { visible_ = v; }
  bool enabled() const { return enabled_; }
  virtual void set_enabled(bool v) { enabled_ = v; }
  // The background colour: an RGB value, or a system colour index with the top bit set
  // (0x80000005 the window background, the default).
  int32_t back_color() const { return back_color_; }
  void set_back_color(int32_t v) { back_color_ = v; }

  // Stacking: ZOrder() brings the widget to the front of its siblings; a larger z_order()
  // is nearer the front.
  void ZOrder();
  int64_t z_order() const { return z_order_; }

  // Focus moves within a FocusScope (the form or control that owns the widgets): SetFocus
  // raises LostFocus on the widget that had it, then GotFocus on this one. Without a scope
  // the widget just notes that it has the focus.
  void set_focus_scope(FocusScope* scope) { scope_ = scope; }
  void SetFocus();
  bool has_focus() const;
  std::function<void()> on_got_focus;
  std::function<void()> on_lost_focus;

 private:
  friend class FocusScope;
  std::string name_;
  WindowHandle hwnd_;
  double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x80000005);
  int64_t z_order_ = 0;
  FocusScope* scope_ = nullptr;
  bool focused_without_scope_ = false;
};

// Tracks which of a group of widgets has the focus.
class FocusScope {
 public:
  Widget* focused() const { return focused_; }
  // Moves the focus: LostFocus of the old widget, then GotFocus of the new. nullptr clears it.
  void Focus(Widget* w);
  // A widget being destroyed leaves the scope without events.
  void Forget(Widget* w);

 private:
  Widget* focused_ = nullptr;
};

}  // namespace tabulo::platform
