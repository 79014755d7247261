#include "container/process_state.h"

#include <utility>

#include "control/globals.h"
#include "localization/state.h"
#include "platform/text/ui_language.h"

namespace tabulo::container {

ProcessState TakeProcessState() {
  ProcessState state;
  state.data_server = std::move(control::g_DataServer);
  state.in_host = control::g_bInHost;
  state.resource_store = std::move(localization::g_ResourceStore);
  state.resource_store_tried = localization::g_ResourceStoreTried;
  state.language = localization::g_Language;
  state.apply_button = localization::g_ApplyButtonWindow;
  state.ui_language = platform::UserInterfaceLanguage();
  state.cluster_managers = host::InstallClusterManager(nullptr);
  state.load_progress = SetLoadProgressSink(nullptr);
  control::ResetProcessState();
  platform::SetUserInterfaceLanguage(platform::kDefaultUserInterfaceLanguage);
  return state;
}

void PutProcessState(ProcessState state) {
  control::g_DataServer = std::move(state.data_server);
  control::g_bInHost = state.in_host;
  localization::g_ResourceStore = std::move(state.resource_store);
  localization::g_ResourceStoreTried = state.resource_store_tried;
  localization::g_Language = state.language;
  localization::g_ApplyButtonWindow = state.apply_button;
  platform::SetUserInterfaceLanguage(state.ui_language);
  host::InstallClusterManager(std::move(state.cluster_managers));
  SetLoadProgressSink(std::move(state.load_progress));
}

}  // namespace tabulo::container
