#include "host/host_services.h"

#include <utility>

#include "platform/automation/class_registry.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

// One per user-interface thread, as the rest of the process state.
ClusterManagerFactory& Installed() {
  thread_local ClusterManagerFactory factory;
  return factory;
}

}  // namespace

ClusterManagerFactory InstallClusterManager(ClusterManagerFactory factory) {
  return std::exchange(Installed(), std::move(factory));
}

std::unique_ptr<ClusterManager> CreateClusterManager() {
  if (!Installed()) throw platform::ComError::CantCreateObject("ClusterManager");
  std::unique_ptr<ClusterManager> m = Installed()();
  if (!m) throw platform::ComError::CantCreateObject("ClusterManager");
  return m;
}

}  // namespace tabulo::host
