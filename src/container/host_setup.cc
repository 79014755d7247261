#include "container/host_setup.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "container/load_progress.h"
#include "host/cluster/cluster_health.h"
#include "host/resource_store.h"
#include "host/server_type_router.h"
#include "host/servers/odbc/odbc_data_server.h"
#include "host/servers/pg/pg_data_server.h"
#include "host/servers/pg/pg_probe.h"
#include "host/servers/sqlite/sqlite_data_server.h"
#include "localization/localized_string.h"
#include "localization/state.h"
#include "platform/automation/class_registry.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "sql/identifier.h"

namespace tabulo::container {
namespace {

// A data server made when first asked for something. The control connects without showing
// errors and would then load nothing, silently; made here, the reason it cannot be made
// comes out of the query, which the control shows as a failed load.
class ServerMadeOnUse : public host::DataServer {
 public:
  using Make = std::function<std::shared_ptr<host::DataServer>()>;
  ServerMadeOnUse(Make make, std::string machine)
      : make_(std::move(make)), machine_(std::move(machine)) {}

  int16_t ServerType() const override { return inner_ ? inner_->ServerType() : type_.value_or(0); }
  void SetServerType(int16_t type) override {
    type_ = type;
    if (inner_) inner_->SetServerType(type);
  }
  std::shared_ptr<host::RecordSet> Query(std::string_view source, std::string_view empty,
                                         std::string_view statement, std::string_view user,
                                         std::string_view password) override {
    return Inner().Query(source, empty, statement, user, password);
  }
  int64_t Stream(std::string_view source, std::string_view statement, std::string_view user,
                 std::string_view password, host::RowStreamSink& sink) override {
    return Inner().Stream(source, statement, user, password, sink);
  }
  std::shared_ptr<host::RecordSet> ListAll(std::string_view source, std::string_view statement,
                                           std::string_view user,
                                           std::string_view password) override {
    return Inner().ListAll(source, statement, user, password);
  }
  std::shared_ptr<host::RecordSet> ListSources(std::string_view source, std::string_view user,
                                               std::string_view password) override {
    return Inner().ListSources(source, user, password);
  }
  std::shared_ptr<host::RecordSet> ListCatalogs() override { return Inner().ListCatalogs(); }
  std::string MachineName() const override { return inner_ ? inner_->MachineName() : machine_; }

 private:
  host::DataServer& Inner() {
    if (!inner_) {
      std::shared_ptr<host::DataServer> made = make_();
      if (type_) made->SetServerType(*type_);
      inner_ = std::move(made);
    }
    return *inner_;
  }

  Make make_;
  std::string machine_;
  std::optional<int16_t> type_;
  std::shared_ptr<host::DataServer> inner_;
};

std::shared_ptr<host::DataServer> MakeHostDataServer(const host::HostConfig& config,
                                                     const host::ServerConfig& server,
                                                     std::function<void(int64_t)> progress) {
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
  options.progress = std::move(progress);
  host::pg::PgServerOptions pg;
  pg.machine_name = server.name;
  for (const auto& [name, c] : host::PgConnectionsOf(config, server))
    pg.connections[name] = {c.host, c.port, c.database, c.user, c.password};
  // A name that is neither a configured data source nor a file may be one of the ODBC driver
  // manager's.
  host::odbc::OdbcServerOptions odbc;
  odbc.machine_name = server.name;
  auto is_local = [config, server](std::string_view source) {
    const std::string dsn(source);
    std::error_code ec;
    return server.data_sources.count(dsn) || config.data_sources.count(dsn) ||
           std::filesystem::exists(host::ResolveDataSource(config, server, dsn), ec);
  };
  return host::NewServerTypeRouter(
      host::odbc::NewDataSourceRouter(host::sqlite::NewSqliteDataServer(std::move(options)),
                                      host::odbc::NewOdbcDataServer(std::move(odbc)), is_local),
      host::pg::NewPgDataServer(std::move(pg)));
}

// The store is created by the next lookup (the texts of an earlier host are dropped); it
// defers the ids it does not hold to the built-in table.
void InstallResourceStore(platform::ProcessState& state, const std::string& path) {
  if (path.empty()) {
    platform::UnregisterClass(localization::kResourceStoreProgId);
  } else {
    host::RegisterResourceStore(path, true);
  }
  auto& localization = state.Get<localization::LocalizationState>();
  localization.resource_store.reset();
  localization.resource_store_tried = false;
}

}  // namespace

std::string ShippedResourceFile() {
  const std::filesystem::path name = std::filesystem::path("tabulo") / "resources.txt";
  std::vector<std::filesystem::path> candidates;
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) candidates.push_back(exe.parent_path().parent_path() / "share" / name);
#ifdef TABULO_INSTALL_DATA_DIR
  candidates.push_back(std::filesystem::path(TABULO_INSTALL_DATA_DIR) / name);
#endif
#ifdef TABULO_SOURCE_DATA_DIR
  candidates.push_back(std::filesystem::path(TABULO_SOURCE_DATA_DIR) / name);
#endif
  for (const std::filesystem::path& p : candidates)
    if (std::filesystem::is_regular_file(p, ec)) return p.string();
  return {};
}

std::shared_ptr<host::DataServer> NewHostDataServer(const host::HostConfig& config,
                                                    const host::ServerConfig& server,
                                                    std::function<void(int64_t rows)> progress) {
  return std::make_shared<ServerMadeOnUse>(
      [config, server, progress] { return MakeHostDataServer(config, server, progress); },
      server.name);
}

HostInstallation InstallHost(const std::string& config_path,
                             const std::shared_ptr<platform::ProcessState>& state) {
  HostInstallation host;
  host.config = config_path.empty() ? host::DefaultHostConfig(host::LocalMachineName())
                                    : host::LoadHostConfig(config_path);
  host.writes = std::make_shared<WriteTally>();
  host.registry = host::ClusterRegistry::Create(
      host.config, [tally = host.writes, weak_state = std::weak_ptr<platform::ProcessState>(state)](
                       const host::HostConfig& config, const host::ServerConfig& server) {
        auto progress = [weak_state](int64_t rows) {
          if (std::shared_ptr<platform::ProcessState> s = weak_state.lock())
            ReportLoadProgress(*s, rows);
        };
        return TallyWrites(NewHostDataServer(config, server, progress), tally);
      });
  if (config_path.empty()) host.config.resources = ShippedResourceFile();
  InstallResourceStore(*state, host::ResolveResourceFile(host.config));
  // Servers with their own PostgreSQL connection: the primary becomes the active server.
  host::CheckClusterServers(*host.registry, host::pg::ProbePgServer);
  std::weak_ptr<host::ClusterRegistry> weak = host.registry;
  host::InstallClusterManager(*state, [weak]() -> std::unique_ptr<host::ClusterManager> {
    std::shared_ptr<host::ClusterRegistry> registry = weak.lock();
    if (!registry) return nullptr;
    return registry->NewManager();
  });
  return host;
}

void WatchClusterServers(platform::EventLoop& loop, const HostInstallation& host,
                         host::ServerProbe probe, int64_t interval_ms) {
  bool any = false;
  for (const host::ClusterConfig& cluster : host.config.clusters)
    for (const host::ServerConfig& server : cluster.servers) any |= !server.postgresql.empty();
  if (!any) return;
  std::weak_ptr<host::ClusterRegistry> weak = host.registry;
  if (!probe) probe = host::pg::ProbePgServer;
  loop.StartTimer(interval_ms, [weak, probe] {
    if (auto registry = weak.lock()) host::CheckClusterServers(*registry, probe);
  });
}

void UninstallHost(platform::ProcessState& state) {
  host::InstallClusterManager(state, nullptr);
  InstallResourceStore(state, {});
}

std::shared_ptr<platform::Dispatch> HostControlSite::GetService(int32_t number) {
  if (number == host::kServiceSecurityManager) return security_manager_;
  throw platform::ComError(0x80004002, "No such interface supported", "HostControlSite");
}

}  // namespace tabulo::container

namespace tabulo::container {

host::ServerConfig DefaultServer(const host::HostConfig& config) {
  for (const host::ClusterConfig& cluster : config.clusters) {
    if (cluster.type != host::kClusterTypeDizuvAdar) continue;
    for (const host::ServerConfig& server : cluster.servers)
      if (server.name == cluster.active_server) return server;
    if (!cluster.servers.empty()) return cluster.servers.front();
  }
  return {};
}

host::PendingResolution ResolvePendingAuditIntents(const host::HostConfig& config) {
  const host::AuditLogOptions store = host::AuditStoreOf(config);
  std::shared_ptr<host::DataServer> server;
  return host::ResolvePendingAuditRecords(store, [&](const host::AuditRecord& record) {
    std::string dsn, database, table;
    const std::optional<std::string> quoted =
        host::SplitAuditSource(record.event.source, dsn, database, table)
            ? sql::TableIdentifier(table)
            : std::nullopt;
    if (!quoted || record.row.empty()) return host::RowOutcome::kUnknown;
    if (!server) server = NewHostDataServer(config, DefaultServer(config));
    const std::string statement = "SELECT COUNT(*) FROM " + *quoted + " WHERE " + record.row;
    std::shared_ptr<host::RecordSet> rows;
    for (int16_t type : {0, 1}) {
      if (type == 1 && database.empty()) break;
      try {
        server->SetServerType(type);
        rows =
            server->Query(type == 1 ? dsn + ";DATABASE=" + database : dsn, "", statement, "", "");
        break;
      } catch (const platform::ComError&) {
      }
    }
    if (!rows || rows->Eof()) return host::RowOutcome::kUnknown;
    const platform::Variant count = rows->Item(0).Value();
    if (count.IsNull()) return host::RowOutcome::kUnknown;
    return platform::CDbl(count, platform::Locale::EnUS()) > 0 ? host::RowOutcome::kNotWritten
                                                               : host::RowOutcome::kWritten;
  });
}

std::string MissingDatabaseNote(const host::HostConfig& config, const std::string& db) {
  const std::string path = host::ResolveDataSource(config, DefaultServer(config), db);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return {};
  // A data source of the ODBC driver manager is no file.
  const std::vector<std::string> odbc = host::odbc::OdbcDataSourceNames();
  if (path == db && std::find(odbc.begin(), odbc.end(), db) != odbc.end()) return {};
  return "no database file at " + path;
}

}  // namespace tabulo::container
