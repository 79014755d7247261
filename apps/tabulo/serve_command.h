// The browser display's command itself (serve_command.cc), linked into tabulo-serve only.
#pragma once

#include "commands.h"

namespace tabulo::app {

// `tabulo serve ARGS`: parses the arguments, serves until interrupted; the exit status.
int ServeDisplayCommand(const Args& args);

}  // namespace tabulo::app
