// The terminal of `tabulo design` when a designer sits at it: ncursesw's screen and keyboard
// over container::DesignKeys. It draws the page tabs, the open page or dialog as laid out
// (access keys underlined, the focus reversed) and a foot line with what the last key did.
#pragma once

#include <string>

#include "container/session.h"

namespace tabulo::app {

// Runs the designer's keys on the session's current control until Ctrl+Q (or Escape on the
// sheet) ends it: 0, or 130 after an interrupt, a hang-up or Ctrl+C (nothing more is saved).
int RunDesignTerminal(container::Session& session, const std::string& save_path);

}  // namespace tabulo::app
