// The commit of an edit: when the operator leaves an edited cell, the text is accepted into
// the grid, one UPDATE statement is built for the row, confirmed or signed when so
// configured, its operator events secured when logged, run through the data server (the
// events committed as pending intents before it and marked written after it, or not written
// when it fails), and copied into the record set's record; the row's marks are cleared whatever
// happened. A refusal or an error before the write throws the edit away by reloading the window
// from the record set; an error after it re-queries, so that the grid shows what the database now
// holds.
#include "control/tabulo_ctl.h"
#include "host/audit/security_manager.h"
#include "host/data_server.h"
#include "host/field_types.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "sql/sql_literal.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

namespace {

constexpr char kDefaultSignatureText[] = "<Default>";

}  // namespace

void TabuloCtl::Grid_LeaveCell() {
  if (Grid.Row() == 0 || Grid.Col() == 0 || m_bCellEventsOff) return;
  if (m_bAutoRefresh) Timer1.set_enabled(false);
  if (!m_bEditing) {
    if (m_bAutoRefresh) Timer1.set_enabled(true);
    return;
  }
  try {
    // A refused value keeps the editor open and the timer stopped.
    if (!ApplyCellEdit()) return;
  } catch (const ComError& e) {
    MsgBox("Tabulo: " + e.description(), platform::kMbCritical, e.source());
    try {
      ReloadWindow();
    } catch (const ComError&) {
    }
    ResetAfterCommit(Grid.Row(), m_lEditRow);
    if (m_bAutoRefresh) Timer1.set_enabled(true);
    return;
  }
  CommitRow(m_lEditRow);
  if (m_bAutoRefresh) Timer1.set_enabled(true);
}

bool TabuloCtl::CommitRow(int32_t editRow) {
  SignatureText1 = SignatureText2 = SignatureText3 = kDefaultSignatureText;
  m_bCellEventsOff = true;
  const int32_t savedRow = Grid.Row();
  bool written = false;
  try {
    Grid.SetRow(editRow);
    Grid.SetCol(0);
    if (m_nPendingChanges > 0) {
      const int32_t recordNumber = platform::CLng(Variant(Grid.Text()), site_.UserLocale());
      std::string row_condition;
      const std::string statement = GetSqlUpdateQuery(recordNumber, &row_condition);
      const bool confirmed = ConfirmCommit(recordNumber, row_condition);
      if (!statement.empty()) {
        const bool logged = confirmed && LogEvent;
        if (confirmed && SecureCommit(recordNumber, row_condition, logged)) {
          WriteCommit(statement, logged);
          written = true;
          RecordCommit(recordNumber, logged);
        } else {
          ReloadWindow();
        }
      }
    }
  } catch (const ComError& e) {
    ShowCommitError(e, written);
  }
  ResetAfterCommit(savedRow, editRow);
  return written;
}

bool TabuloCtl::ConfirmCommit(int32_t recordNumber, const std::string& row) {
  if (!m_bConfirmUpdates) return true;
  if (!ESignatureRequired)
    return MsgBox(Str(1048), platform::kMbYesNo, Str(1013)) == platform::kIdYes;
  bool refused = false;
  const bool signed_by_all = RequestSignature(&refused);
  if (refused) LogRefusedSignature(recordNumber, row);
  return signed_by_all;
}

bool TabuloCtl::SecureCommit(int32_t recordNumber, const std::string& row, bool logged) {
  // The active server was lost (stopped, or a failover under way) while the edit was typed:
  // the operator learns that, and that the change is not written.
  if (!shared_host().data_server)
    throw ComError(host::kErrSourceUnusable,
                   "No data server is connected (its server stopped or cannot be "
                   "reached): the change was not written; enter it again once the "
                   "display shows data",
                   "TabuloCtl");
  // A logged change is written only once its operator events are secured.
  return !logged || SecureOperatorEvents(recordNumber, row);
}

void TabuloCtl::WriteCommit(const std::string& statement, bool logged) {
  std::string source = Source();
  try {
    shared_host().data_server->Query(source, "", statement, m_User, m_Password);
  } catch (...) {
    if (logged) EndOperatorEvents(false);
    throw;
  }
}

void TabuloCtl::RecordCommit(int32_t recordNumber, bool logged) {
  if (logged) EndOperatorEvents(true);
  // Back on the written record, wherever logging left the record set.
  m_rs->MoveFirst();
  if (recordNumber > 1) m_rs->Move(recordNumber - 1);
  UpdateLocalRecord();
}

void TabuloCtl::ShowCommitError(const ComError& e, bool written) {
  // Someone else changed or deleted the row since it was read: the record set's copy is
  // stale, so the window is read again from the database before the operator is told,
  // and shows the row as it now is.
  const bool row_gone = !written && e.code() == host::kErrRowNotIdentified;
  if (row_gone) {
    try {
      Refresh(false);
    } catch (const ComError&) {
    }
  }
  MsgBox("Tabulo: " + e.description(), platform::kMbCritical, e.source());
  if (row_gone) return;
  try {
    // After the write the record set's copy is stale: the window shows the database again.
    if (written) {
      Refresh(false);
    } else {
      ReloadWindow();
    }
  } catch (const ComError&) {
  }
}

bool TabuloCtl::RequestSignature(bool* refused) {
  // Any failure (no security manager, a refusal, a cancel) is an unsigned update; the
  // security manager shows its own messages.
  if (refused) *refused = false;
  try {
    if (!m_SecMgr) throw ComError::ObjectNotSet("TabuloCtl");
    std::vector<Variant> args{Variant(ESignaturePrompt),
                              Variant(ESignatureDualSignatureRequired),
                              Variant(ESignatureReasonCodeRequired),
                              Variant(ESignatureAllowUserEnteredReasonCode),
                              Variant(ESignatureReasonCategory),
                              Variant(ESignature1CommandLevel),
                              Variant(ESignature2CommandLevel),
                              Variant(SignatureText1),
                              Variant(SignatureText2),
                              Variant(SignatureText3)};
    m_SecMgr->Invoke(m_SecMgr->GetIdOfName("RequestESignature"), platform::InvokeKind::Method,
                     args);
    const platform::Locale& loc = site_.UserLocale();
    SignatureText1 = platform::CStr(args[7], loc);
    SignatureText2 = platform::CStr(args[8], loc);
    SignatureText3 = platform::CStr(args[9], loc);
    return true;
  } catch (const ComError& e) {
    if (refused)
      *refused = e.code() >= host::kErrSignatureRefused && e.code() <= host::kErrSignatureSameUser;
    return false;
  }
}

void TabuloCtl::UpdateLocalRecord() {
  // The record set's current record is the edited one (the statement builder moved there).
  const platform::Locale& loc = site_.UserLocale();
  const ColumnMap map = GridColumnMap();
  Grid.SetCol(0);
  for (int32_t col = 1; col <= map.GridColumns(); ++col) {
    const int32_t i = map.FieldOfGridColumn(col);
    Grid.SetCol(col);
    if (!CellChanged(Grid.Row(), col)) continue;
    host::Field& field = m_rs->Item(i);
    const std::string text = platform::Trim(Grid.Text());
    // The record keeps a value of the column's type, as the database now holds it, so that
    // the next statement for this row compares with it (ranges need a number or a date).
    Variant value(text);
    if (!host::IsQuotedType(field.Type())) {
      try {
        switch (host::ClassOfType(field.Type())) {
          case host::FieldClass::kDate:
          case host::FieldClass::kTime:
          case host::FieldClass::kTimestamp:
            value = Variant::Date(platform::CDate(Variant(text), loc));
            break;
          case host::FieldClass::kBoolean:
            value = Variant(platform::CBool(Variant(text), loc));
            break;
          default:
            value = Variant(platform::CDbl(Variant(text), loc));
            break;
        }
      } catch (const ComError&) {
        value = Variant(text);
      }
    }
    field.SetValue(std::move(value));
  }
}

void TabuloCtl::ReloadWindow() {
  // The grid shows the stored values again: the typed text is gone.
  m_lFirstRow = 0;
  FillWindow(ScrollBar.Value());
}

void TabuloCtl::ResetAfterCommit(int32_t savedRow, int32_t editRow) {
  m_nPendingChanges = 0;
  m_lEditRow = 1;
  // The reload may have cleared the guard; the control still moves the current cell itself.
  m_bCellEventsOff = true;
  try {
    const bool redraw = Grid.Redraw();
    Grid.SetRedraw(false);
    // The marks are cleared on the row that was written, which need not be the current one.
    std::erase_if(m_ChangedCells, [&](const auto& cell) { return cell.first == editRow; });
    if (editRow > 0 && editRow < Grid.Rows()) {
      Grid.SetRow(editRow);
      const int32_t col = Grid.Col();
      for (int32_t c = 1; c < Grid.Cols(); ++c) {
        Grid.SetCol(c);
        Grid.SetCellBackColor(kWhite);
      }
      Grid.SetCol(col);
    }
    if (savedRow >= 0 && savedRow < Grid.Rows()) Grid.SetRow(savedRow);
    Grid.SetRedraw(redraw);
  } catch (const ComError&) {
    Grid.SetRedraw(true);
  }
  m_bCellEventsOff = false;
}

}  // namespace tabulo::control
