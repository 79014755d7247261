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
  if (!Installed())
    throw platform::ComError(platform::kErrCantCreateObject,
                             "ActiveX component can't create object", "ClusterManager");
  std::unique_ptr<ClusterManager> m = Installed()();
  if (!m)
    throw platform::ComError(platform::kErrCantCreateObject,
                             "ActiveX component can't create object", "ClusterManager");
  return m;
}

}  // namespace tabulo::host
