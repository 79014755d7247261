// Form: a window that holds widgets — a dialog, or a property page. It lists its widgets by
// name in drawing order (an element of a widget array is named "NAME(INDEX)") so that a
// renderer can draw them and a designer's input can reach them, and it keeps their focus.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

class Form {
 public:
  Form() = default;
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // The title (a dialog) or the tab's name (a page).
  const std::string& caption() const { return caption_; }
  void set_caption(std::string v) { caption_ = std::move(v); }
  // A modal form runs until it is hidden.
  bool shown() const { return shown_; }
  void set_shown(bool v) { shown_ = v; }

  const std::vector<Widget*>& widgets() const { return widgets_; }
  // The widget of that name, without regard to case; null when the form has none.
  Widget* FindWidget(std::string_view name) const;
  Widget* focused() const { return focus_scope_.focused(); }

 protected:
  // Lists `w` (in drawing order) and puts it in the form's focus scope.
  void AddWidget(Widget& w);

 private:
  // Declared first: it outlives the widgets of derived forms.
  FocusScope focus_scope_;
  std::string caption_;
  bool shown_ = false;
  std::vector<Widget*> widgets_;
};

}  // namespace tabulo::platform
