#include "control/globals.h"

#include "localization/state.h"

namespace tabulo::control {

std::shared_ptr<host::DataServer> g_DataServer;
bool g_bInHost = false;

void ResetProcessState() {
  g_DataServer.reset();
  g_bInHost = false;
  localization::ResetLocalizationState();
}

}  // namespace tabulo::control
