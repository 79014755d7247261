#include "host/cluster/cluster_manager.h"

#include <algorithm>

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

constexpr int64_t kErrNoServer = 0x80004005;

const ServerConfig* ActiveServerOf(const ClusterConfig& c) {
  if (c.servers.empty()) return nullptr;
  if (c.active_server.empty()) return &c.servers.front();
  for (const ServerConfig& s : c.servers)
    if (s.name == c.active_server) return &s;
  return nullptr;
}

}  // namespace

// ---- ClusterList ----

ClusterList::ClusterList(std::shared_ptr<ClusterRegistry> registry)
    : registry_(std::move(registry)) {}

void ClusterList::SelectCluster(const std::string& name) {
  selected_ = name;
  selection_valid_ = registry_->FindCluster(type_, name) != nullptr;
}

std::vector<ClusterItem> ClusterList::Clusters() const {
  std::vector<ClusterItem> out;
  for (const ClusterConfig& c : registry_->config_.clusters)
    if (c.type == type_) out.push_back({c.name, c.coordinator});
  return out;
}

std::vector<ServerItem> ClusterList::Servers() const {
  std::vector<ServerItem> out;
  if (!selection_valid_) return out;
  const ClusterConfig* c = registry_->FindCluster(type_, selected_);
  if (!c) return out;
  const ServerConfig* active = ActiveServerOf(*c);
  for (const ServerConfig& s : c->servers) out.push_back({s.name, s.reachable, &s == active});
  return out;
}

// ---- ClusterManager ----

ClusterManager::ClusterManager(std::shared_ptr<ClusterRegistry> registry)
    : registry_(registry), list_(registry) {
  registry_->Register(this);
}

ClusterManager::~ClusterManager() {
  registry_->Unregister(this);
}

void ClusterManager::Reload(int32_t) {
  // The registry is the live configuration; reloading re-validates the selection against it.
  if (!list_.selected_.empty()) list_.SelectCluster(list_.selected_);
}

std::shared_ptr<DataServer> ClusterManager::ActiveDataServer() {
  const ClusterConfig* c =
      list_.selection_valid_ ? registry_->FindCluster(list_.type_, list_.selected_) : nullptr;
  if (!c)
    throw platform::ComError(kErrNoServer,
                             "No cluster \"" + list_.selected_ + "\" is selected or defined",
                             "ClusterManager");
  const ServerConfig* s = ActiveServerOf(*c);
  if (!s)
    throw platform::ComError(kErrNoServer, "Cluster \"" + c->name + "\" has no active server",
                             "ClusterManager");
  if (!s->reachable)
    throw platform::ComError(
        kErrNoServer, "Server \"" + s->name + "\" of cluster \"" + c->name + "\" cannot be reached",
        "ClusterManager");
  return registry_->DataServerOf(*c, *s);
}

void ClusterManager::NotifyActiveServerChange(const std::string& cluster,
                                              const std::string& server) {
  if (list_.selection_valid_ && list_.selected_ == cluster && OnActiveServerChange)
    OnActiveServerChange(server);
}

// ---- ClusterRegistry ----

ClusterRegistry::ClusterRegistry(HostConfig config, DataServerFactory factory)
    : config_(std::move(config)), factory_(std::move(factory)) {}

std::shared_ptr<ClusterRegistry> ClusterRegistry::Create(HostConfig config,
                                                         DataServerFactory factory) {
  return std::shared_ptr<ClusterRegistry>(
      new ClusterRegistry(std::move(config), std::move(factory)));
}

std::unique_ptr<ClusterManager> ClusterRegistry::NewManager() {
  return std::unique_ptr<ClusterManager>(new ClusterManager(shared_from_this()));
}

const ClusterConfig* ClusterRegistry::FindCluster(int32_t type, const std::string& name) const {
  for (const ClusterConfig& c : config_.clusters)
    if (c.type == type && c.name == name) return &c;
  return nullptr;
}

ClusterConfig* ClusterRegistry::FindClusterAnyType(const std::string& name) {
  for (ClusterConfig& c : config_.clusters)
    if (c.name == name) return &c;
  return nullptr;
}

std::shared_ptr<DataServer> ClusterRegistry::DataServerOf(const ClusterConfig& cluster,
                                                          const ServerConfig& s) {
  std::string key = cluster.name + "/" + s.name;
  auto it = servers_.find(key);
  if (it != servers_.end()) return it->second;
  if (!factory_)
    throw platform::ComError(kErrNoServer, "No data server is installed on this host",
                             "ClusterManager");
  std::shared_ptr<DataServer> server = factory_(config_, s);
  if (!server)
    throw platform::ComError(kErrNoServer, "Server \"" + s.name + "\" gave no data server",
                             "ClusterManager");
  servers_[key] = server;
  return server;
}

void ClusterRegistry::SetActiveServer(const std::string& cluster, const std::string& server) {
  ClusterConfig* c = FindClusterAnyType(cluster);
  if (!c)
    throw platform::ComError(kErrNoServer, "No cluster \"" + cluster + "\"", "ClusterManager");
  auto s = std::find_if(c->servers.begin(), c->servers.end(),
                        [&](const ServerConfig& x) { return x.name == server; });
  if (s == c->servers.end())
    throw platform::ComError(kErrNoServer,
                             "No server \"" + server + "\" in cluster \"" + cluster + "\"",
                             "ClusterManager");
  const ServerConfig* before = ActiveServerOf(*c);
  c->active_server = server;
  if (before == &*s) return;
  NotifyManagers(cluster, server);
}

void ClusterRegistry::NotifyManagers(const std::string& cluster, const std::string& server) {
  // A manager may be destroyed by its own handler: notify a snapshot, skipping managers
  // that unregistered meanwhile.
  std::vector<ClusterManager*> snapshot = managers_;
  for (ClusterManager* m : snapshot)
    if (std::find(managers_.begin(), managers_.end(), m) != managers_.end())
      m->NotifyActiveServerChange(cluster, server);
}

void ClusterRegistry::SetServerReachable(const std::string& cluster, const std::string& server,
                                         bool reachable) {
  ClusterConfig* c = FindClusterAnyType(cluster);
  if (!c)
    throw platform::ComError(kErrNoServer, "No cluster \"" + cluster + "\"", "ClusterManager");
  for (ServerConfig& s : c->servers) {
    if (s.name != server) continue;
    const bool changed = s.reachable != reachable;
    s.reachable = reachable;
    // Losing the active server (or getting it back) changes what the cluster serves: its
    // users must reconnect, as when another server becomes active.
    if (changed && ActiveServerOf(*c) == &s) NotifyManagers(cluster, server);
    return;
  }
  throw platform::ComError(kErrNoServer,
                           "No server \"" + server + "\" in cluster \"" + cluster + "\"",
                           "ClusterManager");
}

std::string ClusterRegistry::ActiveServerName(const std::string& cluster) const {
  for (const ClusterConfig& c : config_.clusters)
    if (c.name == cluster) {
      const ServerConfig* s = ActiveServerOf(c);
      return s ? s->name : std::string();
    }
  return {};
}

void ClusterRegistry::Unregister(ClusterManager* m) {
  managers_.erase(std::remove(managers_.begin(), managers_.end(), m), managers_.end());
}

}  // namespace tabulo::host
