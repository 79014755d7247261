// The process-wide values of the controls, held as one object: the shared data server
// reference (which an ending control releases for all), whether the controls run in the
// host, the localization state (resource store, language, remembered apply button), the
// user-interface language, the cluster manager library and the load-progress sink.
//
// The controls read these from their user-interface thread, where each thread has its own.
// A display that serves several operators gives every session its own ProcessState, so that
// each session behaves as its own host process: one operator ending a control or changing
// the language never touches another. A session built on one thread and run on another
// takes its state along (Take on the first, Put on the second).
#pragma once

#include <cstdint>
#include <memory>

#include "container/load_progress.h"
#include "host/data_server.h"
#include "host/host_services.h"
#include "platform/automation/dispatch.h"
#include "platform/runtime/event_loop.h"

namespace tabulo::container {

struct ProcessState {
  std::shared_ptr<host::DataServer> data_server;
  bool in_host = false;
  std::shared_ptr<platform::Dispatch> resource_store;
  bool resource_store_tried = false;
  int32_t language = 1033;
  platform::WindowHandle apply_button = 0;
  int32_t ui_language = 1033;
  host::ClusterManagerFactory cluster_managers;
  LoadProgressSink load_progress;
};

// The calling thread's state, leaving it as a fresh process's.
ProcessState TakeProcessState();
// Makes `state` the calling thread's (what the thread held is dropped).
void PutProcessState(ProcessState state);

}  // namespace tabulo::container
