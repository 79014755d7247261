// What the host installation provides to the controls of a process: the cluster manager
// library (a manager object per use) and the control site through which the host hands a
// control its services. The library is process-wide for the controls, as an installed
// component library is: it is kept in the session's process state, where the container
// program installs it at start; without an installation, creating a manager fails.
#pragma once

#include <functional>
#include <memory>

#include "host/cluster/cluster_manager.h"
#include "platform/automation/dispatch.h"
#include "platform/runtime/process_state.h"

namespace tabulo::host {

using ClusterManagerFactory = std::function<std::unique_ptr<ClusterManager>()>;

// Installs (or, with an empty function, removes) the cluster manager library of `state`.
// Returns the one it replaces.
ClusterManagerFactory InstallClusterManager(platform::ProcessState& state,
                                            ClusterManagerFactory factory);
// A new manager object from the library of `state`. Raises platform::ComError 429 when no
// library is installed.
std::unique_ptr<ClusterManager> CreateClusterManager(platform::ProcessState& state);

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
