// `tabulo design`: a designer's session read from a stream in the script language, the
// open page or dialog (else the control) rendered after each command, and the control saved
// to a file at the end, which `tabulo script`'s `load` then places at run time.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "container/session.h"

namespace tabulo::container {

// Runs the session on the session's current control. Returns the script's status (0, or 2
// after a fault of the script, 1 after an unexpected failure); the control is saved to
// `save_path` only when the session ran to its end (a failed save prints why and returns 1).
// With `layout`, pages and dialogs are drawn as laid out (`ansi`: with access keys underlined).
int RunDesignSession(Session& session, std::istream& in, std::ostream& out, std::ostream& err,
                     const std::string& save_path, bool layout = false, bool ansi = false);

}  // namespace tabulo::container
