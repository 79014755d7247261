// The label model.
#include "platform/widgets/label.h"

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

void Label::set_alignment(int16_t v) {
  if (v < 0 || v > 2) throw ComError::InvalidPropertyValue(name());
  alignment_ = v;
}

}  // namespace tabulo::platform
