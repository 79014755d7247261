// What the host installation provides to the controls of a process: the cluster manager
// library (a manager object per use) and the control site through which the host hands a
// control its services. Process-wide, as an installed component library is: the container
// program installs them at start; without an installation, creating a manager fails.
#pragma once

#include <functional>
#include <memory>

#include "host/cluster_manager.h"
#include "platform/automation/dispatch.h"

namespace tabulo::host {

using ClusterManagerFactory = std::function<std::unique_ptr<ClusterManager>()>;

// Installs (or, with an empty function, removes) the cluster manager library.
// Returns the one it replaces.
ClusterManagerFactory InstallClusterManager(ClusterManagerFactory factory);
// A new manager object. Raises platform::ComError 429 when no library is installed.
std::unique_ptr<ClusterManager> CreateClusterManager();

// Host service numbers of the control site.
inline constexpr int32_t kServiceSecurityManager = 4;

// The host's control site: what the host runtime gives a control through SetControlSite.
class ControlSite {
 public:
  virtual ~ControlSite() = default;
  // The host service with the given number; raises platform::ComError when the host has no
  // such service. A service may be an empty reference.
  virtual std::shared_ptr<platform::Dispatch> GetService(int32_t number) = 0;
};

}  // namespace tabulo::host
