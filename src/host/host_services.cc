#include "host/host_services.h"

#include "platform/automation/class_registry.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

ClusterManagerFactory& Installed() {
  static ClusterManagerFactory* factory = new ClusterManagerFactory;
  return *factory;
}

}  // namespace

void InstallClusterManager(ClusterManagerFactory factory) {
  Installed() = std::move(factory);
}

std::unique_ptr<ClusterManager> CreateClusterManager() {
  if (!Installed()) throw platform::ComError::CantCreateObject("ClusterManager");
  std::unique_ptr<ClusterManager> m = Installed()();
  if (!m) throw platform::ComError::CantCreateObject("ClusterManager");
  return m;
}

}  // namespace tabulo::host
