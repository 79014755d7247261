// The check box model.
#include "platform/widgets/check_box.h"

#include <utility>

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

CheckBox::CheckBox(std::string name) : Widget(std::move(name)) {}

void CheckBox::set_value(int16_t v) {
  if (v < kUnchecked || v > kGrayed) throw ComError::InvalidPropertyValue(name());
  if (v == value_) return;
  value_ = v;
  if (on_click) on_click();
}

void CheckBox::UserClick() {
  if (!enabled()) return;
  set_value(value_ == kChecked ? kUnchecked : kChecked);
}

}  // namespace tabulo::platform
