// The cluster manager: groups the host's servers into clusters, tells which server of a
// cluster is active, and hands out that server's data server. The control creates a
// manager object for each use (and keeps one long-lived manager for the active-server
// event); all manager objects of a host share one ClusterRegistry, the host's live state.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/cluster/host_config.h"

namespace tabulo::host {

class DataServer;

// Creates the data server of one server of the configuration.
using DataServerFactory =
    std::function<std::shared_ptr<DataServer>(const HostConfig&, const ServerConfig&)>;

class ClusterRegistry;

struct ClusterItem {
  std::string Name;
  std::string Coordinator;
};

struct ServerItem {
  std::string Name;
  bool Reachable = true;
  bool Active = false;
};

// The list object of a manager: the clusters of one type, and one selected cluster.
class ClusterList {
 public:
  // 4 DizuvAdar clusters, 1 logging clusters; other types list nothing.
  void SetClusterType(int32_t type) { type_ = type; }
  int32_t ClusterType() const { return type_; }
  // A name that no cluster of the type has selects nothing: Servers() is then empty.
  void SelectCluster(const std::string& name);
  const std::string& SelectedCluster() const { return selected_; }
  std::vector<ClusterItem> Clusters() const;  // in the configuration's order
  std::vector<ServerItem> Servers() const;    // of the selected cluster

 private:
  friend class ClusterManager;
  explicit ClusterList(std::shared_ptr<ClusterRegistry> registry);
  std::shared_ptr<ClusterRegistry> registry_;
  int32_t type_ = kClusterTypeDizuvAdar;
  std::string selected_;
  bool selection_valid_ = false;
};

class ClusterManager {
 public:
  ~ClusterManager();
  ClusterManager(const ClusterManager&) = delete;
  ClusterManager& operator=(const ClusterManager&) = delete;

  ClusterList& GetClusterList() { return list_; }
  // Makes the list reflect the present configuration (argument always 0).
  void Reload(int32_t flags);
  void SetAccessMode(int32_t mode) { access_mode_ = mode; }
  int32_t AccessMode() const { return access_mode_; }
  // The data server of the selected cluster's active server. Raises platform::ComError
  // when no cluster is selected, the cluster has no servers, or the active server cannot
  // be reached.
  std::shared_ptr<DataServer> ActiveDataServer();

  // Raised when the active server of the selected cluster changes, or becomes reachable or
  // unreachable; the argument is the active server's name (callers do not rely on it).
  std::function<void(const std::string&)> OnActiveServerChange;

 private:
  friend class ClusterRegistry;
  explicit ClusterManager(std::shared_ptr<ClusterRegistry> registry);
  void NotifyActiveServerChange(const std::string& cluster, const std::string& server);

  std::shared_ptr<ClusterRegistry> registry_;
  ClusterList list_;
  int32_t access_mode_ = 0;
};

// The host's live cluster state, shared by every manager object of the host.
class ClusterRegistry : public std::enable_shared_from_this<ClusterRegistry> {
 public:
  static std::shared_ptr<ClusterRegistry> Create(HostConfig config, DataServerFactory factory);

  std::unique_ptr<ClusterManager> NewManager();
  const HostConfig& config() const { return config_; }

  // Operations of the host (the container or a test): make another server active, or
  // mark a server reachable or not. A change of the active server, and a change of the
  // active server's reachability, notify every manager whose list has that cluster selected
  // (with the active server's name). Unknown names raise platform::ComError.
  void SetActiveServer(const std::string& cluster, const std::string& server);
  void SetServerReachable(const std::string& cluster, const std::string& server, bool reachable);
  std::string ActiveServerName(const std::string& cluster) const;

 private:
  friend class ClusterList;
  friend class ClusterManager;
  ClusterRegistry(HostConfig config, DataServerFactory factory);
  const ClusterConfig* FindCluster(int32_t type, const std::string& name) const;
  ClusterConfig* FindClusterAnyType(const std::string& name);
  std::shared_ptr<DataServer> DataServerOf(const ClusterConfig& cluster, const ServerConfig& s);
  void Register(ClusterManager* m) { managers_.push_back(m); }
  void Unregister(ClusterManager* m);
  void NotifyManagers(const std::string& cluster, const std::string& server);

  HostConfig config_;
  DataServerFactory factory_;
  std::map<std::string, std::shared_ptr<DataServer>> servers_;  // "cluster/server" -> object
  std::vector<ClusterManager*> managers_;
};

}  // namespace tabulo::host
