// Process-wide state shared by every control of the process, without locking: all of it
// lives on the user-interface thread, and the last writer wins. Each user-interface thread
// has its own (a display serving several operators runs one per session, so that one
// operator's controls never touch another's): see container/process_state.h.
#pragma once

#include <memory>

#include "host/data_server.h"

namespace tabulo::control {

// The one data-server reference of the process; empty means not connected. Ending any
// control empties it for all.
extern thread_local std::shared_ptr<host::DataServer> g_DataServer;
// The controls run inside the host runtime or its configuration tool.
extern thread_local bool g_bInHost;

// Back to the start values, for tests and the container's `new` process state.
void ResetProcessState();

}  // namespace tabulo::control
