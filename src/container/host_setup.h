// The host installation of the container program: the host configuration (a file or the
// embedded default), the cluster registry with one embedded SQLite data server per server,
// the cluster manager library the controls create managers from, and the control site the
// host runtime hands each control.
#pragma once

#include <memory>
#include <string>

#include "host/cluster_manager.h"
#include "host/host_config.h"
#include "host/host_services.h"

namespace tabulo::container {

struct HostInstallation {
  host::HostConfig config;
  std::shared_ptr<host::ClusterRegistry> registry;
};

// Reads `config_path` (empty: the embedded default) and installs the cluster manager
// library for the process. Raises platform::ComError for a bad configuration.
HostInstallation InstallHost(const std::string& config_path);

// Removes what InstallHost installed.
void UninstallHost();

// The host runtime's control site.
class HostControlSite : public host::ControlSite {
 public:
  explicit HostControlSite(std::shared_ptr<platform::Dispatch> security_manager = nullptr)
      : security_manager_(std::move(security_manager)) {}
  std::shared_ptr<platform::Dispatch> GetService(int32_t number) override;

 private:
  std::shared_ptr<platform::Dispatch> security_manager_;
};

}  // namespace tabulo::container
