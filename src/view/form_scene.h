// The browser's scene of a form (a property page or a dialog): its caption and one entry per
// visible widget in drawing order, with what the operator sees of it and may act on.
//
//   { "caption", "widgets": [ { "name", "kind", "enabled", "focus", ... } ] }
//   kind "text":     "text" (masked by its password character), "locked"
//   kind "combo" | "dropdown" | "list": "text" (combo and drop-down), "entries", "selected"
//   kind "check":    "caption", "value" (0, 1, 2 greyed)
//   kind "button" | "label" | "frame": "caption";   kind "updown": "value"
//   kind "grid":     "cells" (rows of texts), "fixedRows", "fixedCols", "row", "col"
#pragma once

#include <nlohmann/json.hpp>

#include "platform/widgets/form.h"

namespace tabulo::view {

nlohmann::json FormSceneOf(const platform::Form& form);

}  // namespace tabulo::view
