#include "platform/widgets/widget.h"

#include <atomic>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

// Window handles and stacking stamps are process-wide counters, as the window system's are.
std::atomic<int64_t> g_next_handle{0x10000};
std::atomic<int64_t> g_next_z{1};

}  // namespace

Widget::Widget(std::string name) : name_(std::move(name)), hwnd_(g_next_handle++) {}

Widget::~Widget() {
  if (scope_) scope_->Forget(this);
}

void Widget::Move(double left, double top, double width, double height) {
  if (width < 0 || height < 0) throw ComError::InvalidProcedureCall(name_);
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void Widget::ZOrder() {
  z_order_ = g_next_z++;
}

void Widget::SetFocus() {
  if (scope_) {
    scope_->Focus(this);
  } else {
    focused_without_scope_ = true;
    if (on_got_focus) on_got_focus();
  }
}

bool Widget::has_focus() const {
  return scope_ ? scope_->focused() == this : focused_without_scope_;
}

void FocusScope::Focus(Widget* w) {
  if (w == focused_) return;
  Widget* old = focused_;
  focused_ = w;
  if (old && old->on_lost_focus) old->on_lost_focus();
  if (w && w->on_got_focus) w->on_got_focus();
}

void FocusScope::Forget(Widget* w) {
  if (focused_ == w) focused_ = nullptr;
}

}  // namespace tabulo::platform
