// Loading a result: connect to the data server, run the statement into the record set,
// derive the column list from its fields, and show the first window.
#include <algorithm>

#include "control/tabulo_ctl.h"
#include "host/cursor_record_set.h"
#include "host/data_server.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "querybuilder/query_builder.h"

namespace tabulo::control {

using platform::ComError;

std::string TabuloCtl::Source() const {
  return m_nServerType == 1 ? m_DSNname + ";DATABASE=" + m_Database : m_DSNname;
}

void TabuloCtl::Refresh(bool MoveToTop) {
  try {
    site_.SetMousePointer(platform::kPointerHourglass);
    sBar.Panels(1).set_text(BrowsingPanelText());
    // Only a SELECT statement is browsed; anything else (a stored-procedure call, a SELECT
    // keyword followed by a line break) loads nothing and the grid keeps what it shows.
    std::string head = platform::Utf8Left(platform::UCase(platform::Trim(m_RecordSource)), 7);
    if (head == "SELECT ") {
      if (MoveToTop) {
        m_lFirstRow = 0;
        ScrollBar.SetValue(0);
      }
      LoadData();
    }
    site_.SetMousePointer(platform::kPointerDefault);
  } catch (const ComError& e) {
    MsgBox("Tabulo: " + e.description(), platform::kMbCritical, Str(1036));
    try {
      site_.SetMousePointer(platform::kPointerDefault);
    } catch (const ComError&) {
    }
  }
}

void TabuloCtl::LoadData() {
  if (RunQuery() != 0) return;
  if (!m_bColumnsBuilt) BuildColumns(false);
  if (!site_.AmbientUserMode()) return;
  try {
    FillWindow(0);
  } catch (const ComError& e) {
    MsgBox("Tabulo: " + std::to_string(e.number()) + "\r\n" + e.description(),
           platform::kMbInformation, Str(1093));
  }
}

void TabuloCtl::ConnectDataServer() {
  try {
    if (!shared_host().data_server) {
      shared_host().in_host = IsInHost();
      PrepareClusterConnection();
      AcquireDataServer();
    }
    if (shared_host().data_server) shared_host().data_server->SetServerType(m_nServerType);
    SetServerStatusBarPanel();
  } catch (const ComError& e) {
    OutputDebug("Tabulo Connect - " + e.description());
    try {
      sBar.Panels(1).set_text("Server Error:" + e.description());
    } catch (const ComError&) {
    }
  }
}

int16_t TabuloCtl::RunQuery() {
  int16_t pointer = site_.MousePointer();
  try {
    // Inside the host nothing is queried until the host has declared run mode.
    if (IsInHost() && !m_bUserModeSet) return 1;
    ConnectDataServer();
    if (!shared_host().data_server) return 1;
    if (site_.AmbientUserMode()) {
      site_.SetMousePointer(platform::kPointerHourglass);
      m_rs = shared_host().data_server->Query(Source(), "", m_RecordSource, m_User, m_Password);
      if (!(m_rs->Eof() && m_rs->Bof())) m_rs->MoveFirst();
      int64_t rc = m_rs->RecordCount();
      if (rc >= Grid.Rows()) {
        ScrollBar.SetMax(static_cast<int32_t>(std::min<int64_t>(rc, kMaxScrollRows)));
      } else {
        ScrollBar.SetMax(ScrollBar.Min());
      }
    } else {
      if (m_DataTable.empty() && !m_RecordSource.empty()) m_DataTable = GetTableFromQuery();
      if (!m_DataTable.empty()) {
        m_rs = shared_host().data_server->ListAll(Source(), m_RecordSource, m_User, m_Password);
        if (!(m_rs->Eof() && m_rs->Bof())) m_rs->MoveFirst();
        site_.event_loop().DoEvents();
      } else {
        m_rs = host::NewClosedRecordSet();
      }
    }
    site_.SetMousePointer(pointer);
    return 0;
  } catch (const ComError& e) {
    try {
      site_.SetMousePointer(pointer);
    } catch (const ComError&) {
    }
    switch (e.code()) {
      case host::kErrLoginFailed:
        MsgBox("The username or password you have entered is invalid.", platform::kMbInformation,
               Str(1093));
        break;
      case host::kErrSourceUnusable:
        MsgBox("The DSN Name is invalid", platform::kMbOkOnly, Str(1093));
        break;
      case host::kErrInvalidStatement:
        MsgBox("The SQL Statement is invalid: \r\n" + e.description(), platform::kMbOkOnly,
               Str(1093));
        break;
      default:
        MsgBox("Tabulo: " + e.description(), platform::kMbInformation, "Connection Error");
        break;
    }
    return 1;
  }
}

void TabuloCtl::BuildColumns(bool KeepWidths) {
  try {
    if (m_rs) {
      if (m_rs->State() != 1) {
        m_bColumnsBuilt = true;
        m_bTableChanged = false;
      } else {
        std::vector<GridColumn> old = m_GridColumns;
        bool keep_old = !m_bTableChanged;
        int32_t count = m_rs->FieldCount();
        if (count > INT16_MAX) throw ComError::Overflow("TabuloCtl");
        m_nColCount = static_cast<int16_t>(count);
        m_GridColumns.assign(static_cast<size_t>(m_nColCount) + 1, GridColumn{});
        for (int32_t i = 0; i < m_nColCount; ++i) {
          host::Field& field = m_rs->Item(i);
          std::string n = field.Name();
          GridColumn& c = m_GridColumns[static_cast<size_t>(i)];
          auto match = std::find_if(old.begin(), old.end(),
                                    [&](const GridColumn& o) { return o.Name == n; });
          if (match == old.end()) {
            c.Name = n;
            c.Visible = true;
            c.Caption = n;
            c.Width = field.DefinedSize() >= 11 ? 10 : 8;
            c.Unique = false;
          } else if (keep_old) {
            c = *match;
          } else {
            c.Name = match->Name;
            c.Caption = match->Caption;
            c.Width = match->Width;
            c.Visible = true;
            c.Unique = false;
          }
        }
        m_bColumnsBuilt = true;
        m_bTableChanged = false;
      }
    }
    SetupGrid(KeepWidths);
  } catch (const ComError&) {
    // The list may be partly rebuilt; the grid setup is skipped.
  }
}

std::string TabuloCtl::GetTableFromQuery() {
  try {
    querybuilder::frmQueryBuilder builder(site_.UserLocale());
    builder.SetSql(m_RecordSource);
    return builder.FromPart();
  } catch (const ComError& e) {
    MsgBox("Tabulo: " + e.description() + " GetTableFromQuery()", platform::kMbOkOnly, Str(1093));
    return {};
  }
}

}  // namespace tabulo::control
