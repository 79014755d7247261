// The text rendering of a form (a property page or a dialog): its caption, then one line per
// widget in drawing order with the widget's name, kind, caption or value and enabled state;
// lists show their entries, the selected one marked with ">", and a grid its cells. Hidden
// widgets are left out. Lines end in LF.
#pragma once

#include <string>

#include "platform/widgets/form.h"

namespace tabulo::view {

std::string RenderForm(const platform::Form& form);

// The form drawn as it is laid out, its widgets' twips scaled to character cells (100 twips a
// column, 240 a row): frames as boxes, check boxes "[x] Caption", buttons "[ Caption ]", text
// boxes and lists in brackets, a grid's cells between bars. Captions show their access keys
// without the "&"; with `ansi` the key is underlined and the focused widget shown reversed
// (SGR 4 and 7). The caption heads the picture; lines end in LF without trailing blanks.
std::string RenderFormLayout(const platform::Form& form, bool ansi);

// The cell of a twips position: columns of 100 twips, rows of 240, to the nearest.
int32_t CellColumn(double twips);
int32_t CellRow(double twips);

}  // namespace tabulo::view
