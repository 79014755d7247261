// The host installation of the container program: the host configuration (a file or the
// embedded default), the cluster registry with one embedded SQLite data server per server,
// the cluster manager library the controls create managers from, and the control site the
// host runtime hands each control.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "container/write_tally.h"
#include "host/audit/audit_log.h"
#include "host/cluster/cluster_health.h"
#include "host/cluster/cluster_manager.h"
#include "host/cluster/host_config.h"
#include "host/host_services.h"
#include "platform/runtime/event_loop.h"
#include "platform/runtime/process_state.h"

namespace tabulo::container {

struct HostInstallation {
  host::HostConfig config;
  std::shared_ptr<host::ClusterRegistry> registry;
  std::shared_ptr<WriteTally> writes;  // of every data server of the registry
};

// The embedded data server of one server of the configuration: data source names resolve
// through the server's map, then the configuration's, else name a database file. It is made
// on first use: when it cannot be made (its folder for temporary snapshots is unusable, say),
// that call raises the reason, as a failed query does, and the next call tries again.
// `progress` hears the rows a long query has collected so far (load_progress.h); may be empty.
std::shared_ptr<host::DataServer> NewHostDataServer(
    const host::HostConfig& config, const host::ServerConfig& server,
    std::function<void(int64_t rows)> progress = nullptr);

// Reads `config_path` (empty: the embedded default) and installs the cluster manager
// library into the session's process `state`, and the resource store: the configuration's
// "resources" file, or, for the embedded default, the texts installed with the program
// (ShippedResourceFile). A configuration without one installs no store. The data servers
// report their load progress to the sink of `state`. Raises platform::ComError for a bad
// configuration.
HostInstallation InstallHost(const std::string& config_path,
                             const std::shared_ptr<platform::ProcessState>& state);

// Checks the servers of `host` with `probe` every `interval_ms` on `loop` (cluster_health.h),
// when any of them has its own PostgreSQL connection: the cluster follows its primary. Without
// a probe, the PostgreSQL one (pg_probe.h).
void WatchClusterServers(platform::EventLoop& loop, const HostInstallation& host,
                         host::ServerProbe probe = nullptr, int64_t interval_ms = 5000);

// The resource file installed with the program: share/tabulo/resources.txt beside the
// executable's folder (an installation), else in the installation's data folder, else in the
// source tree the program was built from (running from a clone); "" when none exists.
std::string ShippedResourceFile();

// Removes what InstallHost installed.
void UninstallHost(platform::ProcessState& state);

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

namespace tabulo::container {

// The server a command without a control reads through: the active (or first) server of the
// first cluster that has one; a server of no name when none has.
host::ServerConfig DefaultServer(const host::HostConfig& config);

// Resolves the pending records of the host's SQLite audit store (audit_log.h) by reading
// their rows through the default server's data server: a row that still holds the values it
// had before the change (the record's row condition finds it) was not written; one that no
// longer does was. A data source that cannot be read leaves its records pending. Raises
// kErrAuditWrite when the marks cannot be written.
host::PendingResolution ResolvePendingAuditIntents(const host::HostConfig& config);

// Names the file when the data source `db` resolves to no file ("no database file at PATH"),
// else the empty text: the data server's own message does not say which file it missed.
std::string MissingDatabaseNote(const host::HostConfig& config, const std::string& db);

}  // namespace tabulo::container
