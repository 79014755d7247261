// What every control of one session shares about its host: its part of the session's
// process state (platform/runtime/process_state.h). The last writer wins.
#pragma once

#include <memory>

#include "host/data_server.h"
#include "platform/runtime/container.h"

namespace tabulo::control {

struct HostState {
  // The one data-server reference of the controls; empty means not connected. Ending any
  // control empties it for all.
  std::shared_ptr<host::DataServer> data_server;
  // The controls run inside the host runtime or its configuration tool.
  bool in_host = false;
};

// The part of the process state `site` carries.
inline HostState& SharedHost(platform::Container& site) {
  return site.process_state().Get<HostState>();
}

}  // namespace tabulo::control
