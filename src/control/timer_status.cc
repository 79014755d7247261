// The refresh timer, the status-bar panels, and finding the data through the host's
// DizuvAdar clusters.
#include "control/tabulo_ctl.h"
#include "platform/values/com_error.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

namespace {

constexpr char kNoClusterText[] =
    "Proper operation requires that DizuvAdar Cluster(s) and Server(s)\r\n"
    "are defined in the Panel Studio Servers configuration";
constexpr char kNoClusterTitle[] = "No DizuvAdar Clusters Defined";
constexpr char kNoCoordinator[] = "- - - -";
// Dates are days in a double: a deadline one interval after the last tick can come out a
// hair after the next tick's time. Within half a millisecond it counts as reached, so that an
// interval of whole seconds re-queries on every tick it names.
constexpr double kDeadlineSlack = 0.5 / 86400000.0;

}  // namespace

void TabuloCtl::Timer1_Timer() {
  // While a cell is edited (also while a grid scroll hides the editor) the timer keeps
  // running but re-queries nothing: a refill would throw the typed text away.
  if (txtEdit.visible() || m_bEditing) return;
  try {
    Timer1.set_enabled(false);
    if (m_dtNextRefresh <= Now() + kDeadlineSlack) {
      Refresh(false);
      Timer1.set_interval(1000);
      m_dtNextRefresh = Now() + m_dRefreshInterval / 1000.0 / 86400.0;
    }
    Timer1.set_enabled(m_bAutoRefresh);
  } catch (const ComError& e) {
    OutputDebug("Timer1 - " + e.description());
  }
}

void TabuloCtl::mnuRefresh_Click() {
  Refresh(false);
}

void TabuloCtl::OnActiveServerChange() {
  ReleaseDataServer();
  ConnectDataServer();
  Refresh(false);
}

std::string TabuloCtl::BrowsingPanelText() {
  return Str(1154) + ": " + (m_DataTable.empty() ? "" : m_DataTable + "@") + m_DSNname;
}

void TabuloCtl::SetServerStatusBarPanel() {
  try {
    if (!shared_host().data_server) {
      sBar.Panels(2).set_text(Str(1009));
      return;
    }
    std::string machine;
    try {
      machine = shared_host().data_server->MachineName();
    } catch (const ComError&) {
      machine = "UNKNOWN";
    }
    sBar.Panels(2).set_text(Str(1155) + "@" + machine);
  } catch (const ComError&) {
  }
}

std::string TabuloCtl::ClusterName() {
  if (m_ClusterName.empty()) {
    bool data_clusters = true;
    Variant names;
    if (GetClusterNames(data_clusters, names) > 0) m_ClusterName = names.AsArray().At(0).AsString();
  }
  return m_ClusterName;
}

int16_t TabuloCtl::GetClusterNames(bool& bDataTableServer, Variant& Names) {
  try {
    if (!IsInHost()) return 0;
    std::unique_ptr<host::ClusterManager> manager =
        host::CreateClusterManager(site_.process_state());
    host::ClusterList& list = manager->GetClusterList();
    manager->Reload(0);
    list.SetClusterType(bDataTableServer ? host::kClusterTypeDizuvAdar : host::kClusterTypeLogging);
    int16_t count = 0;
    for (const host::ClusterItem& cluster : list.Clusters()) {
      if (count == INT16_MAX) throw ComError::Overflow("TabuloCtl");
      ++count;
      // ReDim Preserve Names(0 To Count): the array always ends with one empty entry.
      platform::SafeArray resized(platform::VarType::String, {{0, count + 1}});
      if (Names.IsArray() && Names.AsArray().dims() == 1) {
        const platform::SafeArray& old = Names.AsArray();
        for (int32_t i = std::max(0, old.LBound()); i <= std::min<int32_t>(old.UBound(), count);
             ++i)
          if (old.At(i).IsString()) resized.Set(i, old.At(i));
      }
      resized.Set(count - 1, Variant(cluster.Name));
      Names = Variant(std::move(resized));
    }
    return count;
  } catch (const ComError&) {
    return 0;
  }
}

std::string TabuloCtl::GetAssociatedLoggingClusterName() {
  try {
    if (!IsInHost()) return {};
    std::unique_ptr<host::ClusterManager> manager =
        host::CreateClusterManager(site_.process_state());
    host::ClusterList& list = manager->GetClusterList();
    std::string coordinator = kNoCoordinator;
    std::string cluster_name = ClusterName();
    manager->Reload(0);
    list.SetClusterType(host::kClusterTypeDizuvAdar);
    for (const host::ClusterItem& c : list.Clusters())
      if (c.Name == cluster_name) coordinator = c.Coordinator;
    std::string result;
    manager->Reload(0);
    list.SetClusterType(host::kClusterTypeLogging);
    for (const host::ClusterItem& c : list.Clusters())
      if (c.Coordinator == coordinator) result = c.Name;
    return result;
  } catch (const ComError&) {
    return {};
  }
}

bool TabuloCtl::PrepareClusterConnection() {
  if (shared_host().data_server || !IsInHost()) return false;
  if (!m_Mgr) {
    m_Mgr = host::CreateClusterManager(site_.process_state());
    m_Mgr->OnActiveServerChange = [this](const std::string&) { OnActiveServerChange(); };
  }
  host::ClusterList& list = m_Mgr->GetClusterList();
  m_Mgr->Reload(0);
  list.SetClusterType(host::kClusterTypeDizuvAdar);
  list.SelectCluster(ClusterName());
  m_Mgr->SetAccessMode(2);
  if (list.Clusters().empty()) {
    if (!m_bNoClusterMsgShown) {
      m_bNoClusterMsgShown = true;
      MsgBox(kNoClusterText, platform::kMbCritical, kNoClusterTitle);
    }
    return false;
  }
  if (list.Servers().empty()) return false;
  AcquireDataServer();
  return false;
}

void TabuloCtl::AcquireDataServer() {
  if (!shared_host().in_host) return;
  try {
    if (!m_Mgr) throw ComError::ObjectNotSet("TabuloCtl");
    host::ClusterList& list = m_Mgr->GetClusterList();
    list.SetClusterType(host::kClusterTypeDizuvAdar);
    list.SelectCluster(ClusterName());
    try {
      shared_host().data_server = m_Mgr->ActiveDataServer();
    } catch (const ComError&) {
      shared_host().data_server.reset();
    }
  } catch (const ComError&) {
    shared_host().data_server.reset();
  }
}

void TabuloCtl::ReleaseDataServer() {
  shared_host().data_server.reset();
}

}  // namespace tabulo::control
