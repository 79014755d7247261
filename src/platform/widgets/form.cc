#include "platform/widgets/form.h"

#include "platform/text/text.h"

namespace tabulo::platform {

Widget* Form::FindWidget(std::string_view name) const {
  for (Widget* w : widgets_)
    if (EqualsIgnoreCase(w->name(), name)) return w;
  return nullptr;
}

void Form::AddWidget(Widget& w) {
  widgets_.push_back(&w);
  w.set_focus_scope(&focus_scope_);
}

}  // namespace tabulo::platform
