#include "control/globals.h"

#include "localization/state.h"

namespace tabulo::control {

thread_local std::shared_ptr<host::DataServer> g_DataServer;
thread_local bool g_bInHost = false;

void ResetProcessState() {
  g_DataServer.reset();
  g_bInHost = false;
  localization::ResetLocalizationState();
}

}  // namespace tabulo::control
