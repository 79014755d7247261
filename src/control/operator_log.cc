// Operator events: the records of an update, one per changed cell, saying where the data
// lives, which column changed, from which value to which, the signature texts of the commit,
// and the row's condition in the statement that writes it. They go into a batch of the host's
// security manager and are committed as pending intents before the update is written, then
// marked written once it is, or not written when it fails: a change that cannot be recorded
// is not made, and a process killed in between leaves its records pending for the next start. A
// refused signature is recorded too, whether or not the control logs its updates: a plant audits
// failed sign-ins.
#include "control/tabulo_ctl.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

namespace {

constexpr char kLogErrorTitle[] = "Error logging operator event";

}  // namespace

void TabuloCtl::CallSecurityManager(const char* member, std::vector<Variant>& args) {
  if (!m_SecMgr) throw ComError::ObjectNotSet("TabuloCtl");
  m_SecMgr->Invoke(m_SecMgr->GetIdOfName(member), platform::InvokeKind::Method, args);
}

std::string TabuloCtl::OperatorLogCluster() {
  return LoggingClusterName == kDefaultLoggingCluster ? GetAssociatedLoggingClusterName()
                                                      : LoggingClusterName;
}

std::vector<TabuloCtl::ChangedCell> TabuloCtl::ChangedCells(int32_t recordNumber) {
  m_rs->MoveFirst();
  if (recordNumber > 1) m_rs->Move(recordNumber - 1);
  const platform::Locale& loc = site_.UserLocale();
  std::vector<ChangedCell> cells;
  const ColumnMap map = GridColumnMap();
  Grid.SetCol(0);
  for (int32_t col = 1; col <= map.GridColumns(); ++col) {
    const int32_t i = map.FieldOfGridColumn(col);
    const GridColumn& column = m_GridColumns.at(static_cast<size_t>(i));
    Grid.SetCol(col);
    if (!CellChanged(Grid.Row(), col)) continue;
    // A null old value is written as the empty text: the trail must hold every change.
    const Variant old_value = m_rs->Item(i).Value();
    cells.push_back(
        {column.Name,
         old_value.IsNull() ? std::string() : platform::Trim(platform::CStr(old_value, loc)),
         platform::Trim(Grid.Text())});
  }
  return cells;
}

bool TabuloCtl::SecureOperatorEvents(int32_t recordNumber, const std::string& row) {
  if (recordNumber < 1) return true;
  // The record set's failures are the caller's: nothing has been begun yet.
  const std::vector<ChangedCell> cells = ChangedCells(recordNumber);
  const std::string cluster = OperatorLogCluster();
  if (cluster.empty()) {
    MsgBox("No OPC CLuster from same coordinator", platform::kMbOkOnly, "Operator Logging");
    return false;
  }
  const std::string source = m_DSNname + ": " + m_Database + " - " + m_DataTable;
  try {
    std::vector<Variant> none;
    CallSecurityManager("BeginOperatorEvents", none);
    for (const ChangedCell& cell : cells) {
      std::vector<Variant> args{Variant(cluster),        Variant(std::string(LogEventType)),
                                Variant(cell.column),    Variant(source),
                                Variant(SignatureText1), Variant(SignatureText2),
                                Variant(cell.old_text),  Variant(cell.new_text),
                                Variant(SignatureText3), Variant(row)};
      CallSecurityManager("WriteOperatorEvent", args);
    }
    PrepareOperatorEvents();
    return true;
  } catch (const ComError& e) {
    EndOperatorEvents(false);
    MsgBox(e.description() + ". The change was not written.", platform::kMbCritical,
           kLogErrorTitle);
    return false;
  }
}

void TabuloCtl::PrepareOperatorEvents() {
  // A security manager without the member keeps its batch open across the write.
  platform::DispId id = 0;
  try {
    id = m_SecMgr->GetIdOfName("PrepareOperatorEvents");
  } catch (const ComError&) {
    return;
  }
  std::vector<Variant> none;
  m_SecMgr->Invoke(id, platform::InvokeKind::Method, none);
}

void TabuloCtl::EndOperatorEvents(bool commit) {
  try {
    std::vector<Variant> none;
    CallSecurityManager(commit ? "CommitOperatorEvents" : "RollbackOperatorEvents", none);
  } catch (const ComError& e) {
    // Only the audit store's own failure after the write leads here.
    if (commit)
      MsgBox("The change was written, but its operator events could not be committed: " +
                 e.description() +
                 ". Records already secured stay pending until the next start confirms them.",
             platform::kMbCritical, kLogErrorTitle);
  }
}

void TabuloCtl::LogRefusedSignature(int32_t recordNumber, const std::string& row) {
  if (recordNumber < 1) return;
  try {
    const std::string cluster = OperatorLogCluster();
    const std::string source = m_DSNname + ": " + m_Database + " - " + m_DataTable;
    for (const ChangedCell& cell : ChangedCells(recordNumber)) {
      std::vector<Variant> args{Variant(cluster),       Variant(cell.column),   Variant(source),
                                Variant(cell.old_text), Variant(cell.new_text), Variant(row)};
      CallSecurityManager("WriteRefusedSignature", args);
    }
  } catch (const ComError& e) {
    MsgBox(e.description(), platform::kMbCritical, kLogErrorTitle);
  }
}

}  // namespace tabulo::control
