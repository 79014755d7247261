// The text rendering of a form (a property page or a dialog): its caption, then one line per
// widget in drawing order with the widget's name, kind, caption or value and enabled state;
// lists show their entries, the selected one marked with ">", and a grid its cells. Hidden
// widgets are left out. Lines end in LF.
#pragma once

#include <string>

#include "platform/widgets/form.h"

namespace tabulo::view {

std::string RenderForm(const platform::Form& form);

}  // namespace tabulo::view
