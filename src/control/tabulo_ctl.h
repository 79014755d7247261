// TabuloCtl: the grid control. It browses the result of one SELECT statement in a flex grid,
// a window of rows at a time, pages through results of up to ten million rows with a 32-bit
// scroll bar, and writes an operator's edits back with generated UPDATE statements.
//
// The control reaches its container only through the platform::Container it is created
// with (its site), and the database only through the process-wide data server that the
// host's cluster manager hands out. Every public operation and event handler handles its own
// errors as the behaviour demands (a message box, a status text, a debug line, or nothing)
// and raises to the caller only where the behaviour says so.
//
// The implementation is split by concern: property_table.cc (every property's name, id, saved
// key and accessors), properties.cc, persistence.cc, lifecycle.cc, loading.cc,
// window.cc, layout.cc, timer_status.cc, scripting.cc, automation.cc, editing.cc (the editor
// and the grid's events), commit.cc, update_query.cc, operator_log.cc.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/column_map.h"
#include "control/grid_column.h"
#include "control/host_state.h"
#include "control/property_table.h"
#include "host/cluster/cluster_manager.h"
#include "host/host_services.h"
#include "host/record_set.h"
#include "longscroll/long_scroll.h"
#include "platform/automation/dispatch_object.h"
#include "platform/runtime/container.h"
#include "platform/storage/property_bag.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/status_bar.h"
#include "platform/widgets/std_font.h"
#include "platform/widgets/text_box.h"
#include "platform/widgets/timer.h"
#include "platform/widgets/widget.h"

namespace tabulo::localization {
struct LocalizationState;
}  // namespace tabulo::localization

namespace tabulo::control {

inline constexpr int32_t kMaxScrollRows = 10000000;
inline constexpr int32_t kWhite = 0xFFFFFF;
inline constexpr int32_t kChangedCellColor = 255;
inline constexpr char kDefaultLoggingCluster[] = "From Same Coordinator";

class TabuloCtl : public platform::DispatchObject {
  // The table's accessors reach the members that have no public setter.
  friend class PropertyTable;

 public:
  // The container's initialize event: start values, language 1033, menu captions.
  explicit TabuloCtl(platform::Container& site);
  ~TabuloCtl() override;

  // ---- The container's events (lifecycle.cc) ----
  // A new instance placed by a designer: the new-instance property values.
  void InitNew();
  void Show();
  // The container resized the control: its inner size in twips.
  void Resize(double width, double height);
  // The container's ambient-property change, by name ("UserMode" matters).
  void AmbientChanged(std::string_view name);
  // The control ends: timer stopped, record set closed, the shared data server released.
  void Terminate();

  // ---- The container's save and load of the control's properties (persistence.cc) ----
  // Errors are ignored when saving; when loading each is shown (except those about Unique)
  // and loading goes on with the next value.
  void WriteProperties(platform::PropertyBag& PropBag);
  void ReadProperties(const platform::PropertyBag& PropBag);

  // ---- Host interfaces and public members of the lifecycle (lifecycle.cc) ----
  void SetControlSite(int32_t lControlID, std::shared_ptr<host::ControlSite> pControlSite,
                      int32_t lcidPresentationLanguage, int32_t lcidProjectLanguage,
                      int16_t iProjectRole, const std::string& bstrUsername);
  void OnLanguageChange(int32_t lcid);
  void UserModeSet();
  void OutputDebug(const std::string& msg);

  // ---- Properties (properties.cc) ----
  std::string DSNname() const { return m_DSNname; }
  void SetDSNname(const std::string& New_DSNname);
  std::string Database() const { return m_Database; }
  void SetDatabase(const std::string& New_Database);
  std::string User() const { return m_User; }
  void SetUser(const std::string& New_User);
  std::string Password() const { return m_Password; }
  void SetPassword(const std::string& New_Password);
  int16_t ServerType() const { return m_nServerType; }
  void SetServerType(int16_t New_ServerType);
  int32_t Mode() const { return m_lMode; }
  void SetMode(int32_t New_Mode);
  std::string RecordSource() const { return m_RecordSource; }
  void SetRecordSource(const std::string& New_RecordSource);
  std::string DataTable() const { return m_DataTable; }
  void SetDataTable(const std::string& New_DataTable);
  bool Enabled() const { return m_bEnabled; }
  void SetEnabled(bool New_Enabled);
  bool Visible() const;
  void SetVisible(bool New_Visible);
  bool AllowUpdates() const { return m_bAllowUpdates; }
  void SetAllowUpdates(bool v);
  bool ConfirmUpdates() const { return m_bConfirmUpdates; }
  void SetConfirmUpdates(bool v);
  bool AutoRefresh() const { return m_bAutoRefresh; }
  void SetAutoRefresh(bool v);
  double RefreshInterval() const { return m_dRefreshInterval; }
  void SetRefreshInterval(double v);
  bool ShowStatusBar() const { return m_bShowStatusBar; }
  void SetShowStatusBar(bool v);
  int16_t BackStyle() const { return m_nBackStyle; }
  void SetBackStyle(int16_t v);
  int32_t BackColor() const;
  void SetBackColor(int32_t v);
  int32_t ForeColor() const;
  void SetForeColor(int32_t v);
  std::shared_ptr<platform::StdFont> Font() const { return m_Font; }
  void SetFont(std::shared_ptr<platform::StdFont> font);
  int32_t LargeChange() const { return ScrollBar.LargeChange(); }
  void SetLargeChange(int32_t v);
  int32_t SmallChange() const { return ScrollBar.SmallChange(); }
  void SetSmallChange(int32_t v);
  int32_t NumberRows() const;
  int32_t NumberColumns() const;
  platform::Variant GridColumns() const;
  void SetGridArray(const platform::Variant& value);
  // The getter fills in the first DizuvAdar cluster when the stored name is empty.
  std::string ClusterName();
  void SetClusterName(const std::string& v) { m_ClusterName = v; }
  int16_t GridOrdinalColWidth() const { return m_nGridOrdinalColWidth; }
  void SetGridOrdinalColWidth(int16_t v) { m_nGridOrdinalColWidth = v; }
  std::string DBDateFormatString() const { return m_DBDateFormatString; }
  void SetDBDateFormatString(const std::string& v);

  // Stored only: no notification, no behaviour of their own here.
  bool AllowAccessToHiddenColumnsInScript = false;
  bool LogEvent = false;
  std::string LoggingClusterName = kDefaultLoggingCluster;
  std::string LogEventType = "dbUpdate";
  bool ESignatureRequired = false;
  std::string ESignaturePrompt;
  bool ESignatureReasonCodeRequired = false;
  bool ESignatureAllowUserEnteredReasonCode = false;
  std::string ESignatureReasonCategory;
  bool ESignatureDualSignatureRequired = false;
  int32_t ESignature1CommandLevel = -1;
  int32_t ESignature2CommandLevel = -1;

  // The program identifiers of the control's property pages, in the order of the sheet's tabs.
  static const std::vector<std::string>& PropertyPages();

  // ---- Loading (loading.cc) ----
  void Refresh(bool MoveToTop = false);

  // ---- Status bar and clusters (timer_status.cc) ----
  void SetServerStatusBarPanel();
  // "Browsing: table@source" for the first status-bar panel; without a table (none named and
  // none found in the statement) only the source.
  std::string BrowsingPanelText();
  int16_t GetClusterNames(bool& bDataTableServer, platform::Variant& Names);
  std::string GetAssociatedLoggingClusterName();

  // ---- Scripting members (scripting.cc) ----
  // Record position of the grid's current row; zero-based data column of its current column.
  int32_t ActiveRow() const;
  int32_t ActiveColumn() const;
  // Grid column numbers (0 is the row-number column); a number outside the grid raises the
  // grid's error.
  bool ColIsVisibile(int32_t nCol) const;
  std::string ColHeader(int32_t nCol);
  int32_t ColWidth(int32_t nCol) const;
  // Script column numbers: zero-based among the accessible columns (the visible ones, or all
  // when AllowAccessToHiddenColumnsInScript is set).
  std::string GetCellName(int32_t nCol) const;
  std::string GetCellText(int32_t Row, int32_t Column);
  void HideColumn(int16_t colNumber);
  // Puts Value into the cell GetCellText(Row, Column) reads, as the operator's editor does,
  // and writes it at once as leaving an edited cell does. False when the cell is not in the
  // window, while an operator's edit is open, for a refused value, and when the statement
  // did not run (refused confirmation or signature, database error); true when it was
  // written, and for a value equal to the cell's text (nothing to write).
  bool SetCellText(int32_t Row, int32_t Column, const std::string& Value);

  // ---- The widgets, for the container's input and the renderer ----
  // Which of the grid and the editor has the focus (declared before them: it outlives them).
 private:
  platform::FocusScope focus_scope_;

 public:
  platform::Widget* FocusedWidget() const { return focus_scope_.focused(); }
  platform::FlexGrid Grid;
  longscroll::LongScroll ScrollBar;
  platform::StatusBar sBar;
  platform::TextBox txtEdit;
  platform::Timer Timer1;
  std::string mnuPopupCaption;
  std::string mnuRefreshCaption;

  // The inner size of the control (twips).
  double ScaleWidth() const { return m_dScaleWidth; }
  double ScaleHeight() const { return m_dScaleHeight; }
  // Read-only views of the state, for tests and the container.
  const std::vector<GridColumn>& Columns() const { return m_GridColumns; }
  ColumnMap GridColumnMap() const { return ColumnMap(m_GridColumns, m_nColCount); }
  int16_t ColumnCount() const { return m_nColCount; }
  int32_t FirstRow() const { return m_lFirstRow; }
  int16_t VisibleRows() const { return m_nVisibleRows; }
  host::RecordSet* CurrentRecordSet() const { return m_rs.get(); }
  platform::Container& site() { return site_; }
  // What this control shares with every control of its session (the data server reference,
  // the language, ...): parts of the process state its site carries, not of the control.
  HostState& shared_host() const { return SharedHost(site_); }
  localization::LocalizationState& shared_localization() const;
  // Editing state, for tests and the container.
  bool Editing() const { return m_bEditing; }
  int32_t EditRow() const { return m_lEditRow; }
  int32_t EditCol() const { return m_lEditCol; }
  int16_t PendingChanges() const { return m_nPendingChanges; }
  // The grid cells (row, col) an accepted edit changed that are not yet written back. They
  // are painted kChangedCellColor too, but the paint is only their picture.
  const std::set<std::pair<int32_t, int32_t>>& ChangedGridCells() const { return m_ChangedCells; }
  bool CellChanged(int32_t row, int32_t col) const { return m_ChangedCells.count({row, col}) > 0; }
  // Marks a cell changed, as an accepted edit does but without its text, count or event: the
  // container's way to stage a further change that the next commit of that row writes.
  void MarkCellChanged(int32_t row, int32_t col);
  const std::string& SignatureText(int n) const {
    return n == 1 ? SignatureText1 : n == 2 ? SignatureText2 : SignatureText3;
  }

 private:
  // lifecycle.cc
  bool IsInHost() const;
  void ApplyCaptions();
  // Tells the container that a saved property changed, by the key it is saved under.
  void Notify(Prop p);
  int MsgBox(const std::string& text, int32_t style, const std::string& title);
  std::string Str(int32_t id);
  double Now() const;
  // loading.cc
  void LoadData();
  void ConnectDataServer();
  int16_t RunQuery();
  void BuildColumns(bool KeepWidths);
  std::string GetTableFromQuery();
  std::string Source() const;
  // window.cc
  void SetupGrid(bool KeepWidths);
  void FillWindow(int32_t Delta);
  void ScrollBar_Change();
  void CaptureColumnWidths();
  double CharsToTwips(double chars) const;
  double TwipsToChars(double twips) const;
  // layout.cc
  void Layout();
  // timer_status.cc
  void Timer1_Timer();
  void mnuRefresh_Click();
  void OnActiveServerChange();
  bool PrepareClusterConnection();
  void AcquireDataServer();
  void ReleaseDataServer();
  // automation.cc
  void DeclareAutomation();
  void DeclareSiteMethods();
  void DeclareCellMethods();
  void DeclareListMethods();
  void DeclareEvents();
  // editing.cc
  void WireEditing();
  void Grid_Click();
  void Grid_DblClick();
  void Grid_MouseDown(int16_t& Button, int16_t& Shift, float& X, float& Y);
  void Grid_MouseMove(int16_t& Button, int16_t& Shift, float& X, float& Y);
  void Grid_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);
  void Grid_KeyDown(int16_t& KeyCode, int16_t& Shift);
  void Grid_KeyPress(int16_t& KeyAscii);
  void Grid_KeyUp(int16_t& KeyCode, int16_t& Shift);
  void Grid_EnterCell();
  void Grid_Scroll();
  void txtEdit_KeyPress(int16_t& KeyAscii);
  void txtEdit_LostFocus();
  bool ApplyCellEdit();
  // The field index of a grid data column (the k-th visible descriptor); -1 when none.
  int32_t FieldOfGridColumn(int32_t col) const;
  // Whether a text may be written to a column of the ADO type; shows why not.
  bool AcceptableValue(const std::string& text, int32_t type);
  // Puts an accepted text into a grid cell: the mark, the text, the count, CellValueChanged.
  void PutAcceptedText(int32_t row, int32_t col, const std::string& text);
  bool IsOnColumnBorder(float x, float y, platform::FlexGrid& grid) const;
  void AutoSizeColumn(int32_t col, platform::FlexGrid& grid);
  // Closes an open editor without applying its text (a refill replaced what it edited).
  void AbandonEdit();
  // Escape in the editor: closes it with the text it opened with, nothing applied.
  void CancelEdit();
  void FireMouseEvent(std::string_view name, int16_t& Button, int16_t& Shift, float& X, float& Y);
  // commit.cc
  void Grid_LeaveCell();
  // Steps after the acceptance: the statement for grid row editRow, then confirm, secure,
  // write, record and reset. True when the statement ran.
  bool CommitRow(int32_t editRow);
  // The operator's consent: always when updates are not confirmed, else the answer to the
  // question or, with signatures required, the signature (a refused one is recorded).
  bool ConfirmCommit(int32_t recordNumber, const std::string& row);
  // Whether the confirmed write may go ahead: raises when no data server is connected; false
  // when the operator events of a logged change cannot be secured.
  bool SecureCommit(int32_t recordNumber, const std::string& row, bool logged);
  // Runs the statement; a failure marks the secured operator events not written and raises.
  void WriteCommit(const std::string& statement, bool logged);
  // After the write: the operator events marked written, the record set's record updated.
  void RecordCommit(int32_t recordNumber, bool logged);
  // Tells the operator and shows the database again (reloaded, or re-read when the write
  // ran or the row is no longer found).
  void ShowCommitError(const platform::ComError& e, bool written);
  // `refused` (when given) tells whether the security manager refused a signer (a failed
  // sign-in, which is recorded) rather than the operator cancelling.
  bool RequestSignature(bool* refused = nullptr);
  void UpdateLocalRecord();
  void ReloadWindow();
  void ResetAfterCommit(int32_t savedRow, int32_t editRow);
  // update_query.cc
  // `where`, when given, receives the row's condition (the statement's WHERE part without
  // the keyword), which the operator events name the changed row by.
  std::string GetSqlUpdateQuery(int32_t row, std::string* where = nullptr);
  // operator_log.cc
  struct ChangedCell {
    std::string column, old_text, new_text;
  };
  // The marked cells of grid row Grid.Row() with the record's values; moves the record set
  // to record `recordNumber`. Raises the record set's errors.
  std::vector<ChangedCell> ChangedCells(int32_t recordNumber);
  // The operator events of the change, held in a batch of the security manager and committed
  // as pending intents, that EndOperatorEvents marks. False, after telling the operator why,
  // when they cannot be secured: the change must then not be written.
  bool SecureOperatorEvents(int32_t recordNumber, const std::string& row);
  // Commits the batch as intents, when the security manager knows the member.
  void PrepareOperatorEvents();
  void EndOperatorEvents(bool commit);
  // Records the security manager's last refused signature against each changed cell.
  void LogRefusedSignature(int32_t recordNumber, const std::string& row);
  // The logging cluster, "" when it is the coordinator's and there is none.
  std::string OperatorLogCluster();
  void CallSecurityManager(const char* member, std::vector<platform::Variant>& args);

  platform::Container& site_;
  platform::AmbientListenerToken ambient_token_ = 0;
  bool terminated_ = false;
  double m_dScaleWidth = 0;
  double m_dScaleHeight = 0;

  // Properties.
  std::string m_DSNname, m_Database, m_User, m_Password;
  int16_t m_nServerType = 0;
  int32_t m_lMode = 0;
  std::string m_RecordSource, m_DataTable;
  bool m_bEnabled = true;
  bool m_bAllowUpdates = false;
  bool m_bConfirmUpdates = false;
  bool m_bAutoRefresh = false;
  double m_dRefreshInterval = 0;
  bool m_bShowStatusBar = true;
  int16_t m_nBackStyle = 0;
  int32_t m_lBackColor = kWhite;
  int32_t m_lForeColor = 0;
  std::shared_ptr<platform::StdFont> m_Font;
  std::string m_ClusterName;
  int16_t m_nGridOrdinalColWidth = 0;
  std::string m_DBDateFormatString;

  // State of one instance.
  std::shared_ptr<host::RecordSet> m_rs;
  std::vector<GridColumn> m_GridColumns{GridColumn{}};
  int16_t m_nColCount = 0;
  bool m_bColumnsBuilt = false;
  bool m_bTableChanged = false;
  bool m_bUserModeSet = false;
  bool m_bNoClusterMsgShown = false;
  double m_dtNextRefresh = 0;
  int16_t m_nVisibleRows = 1;
  int32_t m_lFirstRow = 0;
  int32_t m_lLastScrollValue = 0;
  std::unique_ptr<host::ClusterManager> m_Mgr;
  std::shared_ptr<platform::Dispatch> m_SecMgr;

  // Editing state.
  bool m_bEditing = false;
  bool m_bCellEventsOff = false;
  int32_t m_lEditRow = 1;
  int32_t m_lEditCol = 0;
  platform::Variant m_vEditStartText;
  int16_t m_nPendingChanges = 0;
  std::set<std::pair<int32_t, int32_t>> m_ChangedCells;
  float m_sngMouseX = 0;
  float m_sngMouseY = 0;
  std::string SignatureText1, SignatureText2, SignatureText3;
};

}  // namespace tabulo::control
