// Operator events: after an update has been written, one record per changed cell goes to the
// host's security manager, saying where the data lives, which column changed, from which
// value to which, the signature texts of the commit, and the row's condition in the statement
// that wrote it.
#include "control/tabulo_ctl.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

void TabuloCtl::LogChangedCells(int32_t recordNumber, const std::string& row) {
  if (recordNumber < 1) return;
  try {
    m_rs->MoveFirst();
    if (recordNumber > 1) m_rs->Move(recordNumber - 1);
  } catch (const ComError&) {
    // Without the record there are no old values to log; the write stands.
    MsgBox("Error logging operator event", platform::kMbOkOnly, "Error");
    return;
  }
  const std::string source = m_DSNname + ": " + m_Database + " - " + m_DataTable;
  std::string cluster = LoggingClusterName;
  if (cluster == kDefaultLoggingCluster) {
    cluster = GetAssociatedLoggingClusterName();
    if (cluster.empty()) {
      MsgBox("No OPC CLuster from same coordinator", platform::kMbOkOnly, "Operator Logging");
      return;
    }
  }
  const platform::Locale& loc = site_.UserLocale();
  Grid.SetCol(0);
  for (int32_t i = 0; i < m_nColCount; ++i) {
    const GridColumn& column = m_GridColumns.at(static_cast<size_t>(i));
    if (!column.Visible) continue;
    Grid.SetCol(Grid.Col() + 1);
    if (Grid.CellBackColor() != kChangedCellColor) continue;
    try {
      if (!m_SecMgr) throw ComError::ObjectNotSet("TabuloCtl");
      const std::string event_type = LogEventType;
      // A null old value is written as the empty text: the trail must hold every change.
      const Variant old_value = m_rs->Item(i).Value();
      const std::string old_text =
          old_value.IsNull() ? std::string() : platform::Trim(platform::CStr(old_value, loc));
      const std::string new_text = platform::Trim(Grid.Text());
      std::vector<Variant> args{Variant(cluster),  Variant(event_type),     Variant(column.Name),
                                Variant(source),   Variant(SignatureText1), Variant(SignatureText2),
                                Variant(old_text), Variant(new_text),       Variant(SignatureText3),
                                Variant(row)};
      m_SecMgr->Invoke(m_SecMgr->GetIdOfName("WriteOperatorEvent"), platform::InvokeKind::Method,
                       args);
    } catch (const ComError&) {
      MsgBox("Error logging operator event", platform::kMbOkOnly, "Error");
    }
  }
}

}  // namespace tabulo::control
