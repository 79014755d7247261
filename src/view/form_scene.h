// The browser's scene of a form (a property page or a dialog): its caption and one entry per
// visible widget in drawing order, with what the operator sees of it and may act on.
//
//   { "caption", "w", "h", "widgets": [ { "name", "kind", "enabled", "focus", "x", "y", "w",
//     "h", "label"?, "access"?, ... } ] }
//   The form's "w" and "h" hold its widgets with a margin; a widget's box is in twips. "label"
//   is the caption of the label that names a widget without a caption of its own; "access" is
//   the access key (lower case) that presses or focuses it: its caption's, else its label's.
//   kind "text":     "text" (masked by its password character), "locked", "multiLine"
//   kind "combo" | "dropdown" | "list": "text" (combo and drop-down), "entries", "selected"
//   kind "check":    "caption", "value" (0, 1, 2 greyed)
//   kind "button" | "label" | "frame": "caption";   kind "updown": "value"
//   kind "grid":     "cells" (rows of texts), "colWidths" (twips), "fixedRows", "fixedCols",
//                    "row", "col"
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "platform/widgets/form.h"
#include "platform/widgets/label.h"

namespace tabulo::view {

nlohmann::json FormSceneOf(const platform::Form& form);

// The access key a caption marks with "&" (lower case), or "" when it marks none; "&&" is an
// ampersand.
std::string AccessKeyOf(const std::string& caption);

// The caption a widget shows of its own (a check box's, a button's with a letter or digit, a
// label's or a frame's), else "".
std::string OwnCaptionOf(const platform::Widget& w);

// The label that names `w`, a widget without a caption of its own: the nearest label whose
// box ends just left of it on the same line or just above its left edge; without positions
// (every box at 0), the label that precedes it in the form. Null when none does.
const platform::Label* LabelOf(const platform::Form& form, const platform::Widget& w);

}  // namespace tabulo::view
