#include "container/host_setup.h"

#include "host/sqlite/sqlite_data_server.h"
#include "platform/values/com_error.h"

namespace tabulo::container {

HostInstallation InstallHost(const std::string& config_path) {
  HostInstallation host;
  host.config = config_path.empty() ? host::DefaultHostConfig(host::LocalMachineName())
                                    : host::LoadHostConfig(config_path);
  auto factory = [](const host::HostConfig& config, const host::ServerConfig& server) {
    host::sqlite::SqliteServerOptions options;
    options.machine_name = server.name;
    options.resolve_dsn = [config, server](std::string_view dsn) -> std::optional<std::string> {
      return host::ResolveDataSource(config, server, std::string(dsn));
    };
    options.list_dsns = [config, server] {
      std::vector<std::string> names;
      for (const auto& [name, path] : config.data_sources) names.push_back(name);
      for (const auto& [name, path] : server.data_sources)
        if (!config.data_sources.count(name)) names.push_back(name);
      return names;
    };
    return host::sqlite::NewSqliteDataServer(std::move(options));
  };
  host.registry = host::ClusterRegistry::Create(host.config, factory);
  std::weak_ptr<host::ClusterRegistry> weak = host.registry;
  host::InstallClusterManager([weak]() -> std::unique_ptr<host::ClusterManager> {
    std::shared_ptr<host::ClusterRegistry> registry = weak.lock();
    if (!registry) return nullptr;
    return registry->NewManager();
  });
  return host;
}

void UninstallHost() {
  host::InstallClusterManager(nullptr);
}

std::shared_ptr<platform::Dispatch> HostControlSite::GetService(int32_t number) {
  if (number == host::kServiceSecurityManager) return security_manager_;
  throw platform::ComError(0x80004002, "No such interface supported", "HostControlSite");
}

}  // namespace tabulo::container
