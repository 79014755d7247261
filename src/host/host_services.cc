#include "host/host_services.h"

#include <utility>

#include "platform/automation/class_registry.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

// The part of the process state that holds the installed library.
struct ClusterManagerLibrary {
  ClusterManagerFactory factory;
};

ClusterManagerFactory& Installed(platform::ProcessState& state) {
  return state.Get<ClusterManagerLibrary>().factory;
}

}  // namespace

ClusterManagerFactory InstallClusterManager(platform::ProcessState& state,
                                            ClusterManagerFactory factory) {
  return std::exchange(Installed(state), std::move(factory));
}

std::unique_ptr<ClusterManager> CreateClusterManager(platform::ProcessState& state) {
  const ClusterManagerFactory& factory = Installed(state);
  if (!factory) throw platform::ComError::CantCreateObject("ClusterManager");
  std::unique_ptr<ClusterManager> m = factory();
  if (!m) throw platform::ComError::CantCreateObject("ClusterManager");
  return m;
}

}  // namespace tabulo::host
