// Editing in place: the editor laid over the current cell, the acceptance of its text into
// the grid, the grid's mouse and key events passed on as the control's own events, the
// popup menu, and fitting a column's width by double-clicking its border in the header.
#include <algorithm>

#include "control/tabulo_ctl.h"
#include "host/field_types.h"
#include "localization/localized_string.h"
#include "platform/text/text.h"
#include "platform/text/text_metrics.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "sql/value_check.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

namespace {

constexpr int16_t kKeyAsciiTab = 9;
constexpr int16_t kKeyAsciiEnter = 13;
constexpr int16_t kKeyAsciiEscape = 27;
constexpr int16_t kRightButton = 2;
// Half the width of the band around a column's right border in which a double click fits
// the column.
constexpr float kBorderBand = 45;
constexpr int32_t kFitPadding = 150;

// Whether grid column `col` (from 1) shows a binary field, which the editor never opens on.
bool IsBinaryColumn(const ColumnMap& map, host::RecordSet& rs, int32_t col) {
  const int32_t field = map.FieldOfGridColumn(col);
  return field >= 0 && field < rs.FieldCount() && host::IsBinaryType(rs.Item(field).Type());
}

// Reads back a by-reference event argument the host may have changed; a value that no longer
// fits keeps the old one.
int16_t BackInt16(const Variant& v, int16_t old_value, const platform::Locale& loc) {
  try {
    return platform::CInt(v, loc);
  } catch (const ComError&) {
    return old_value;
  }
}

float BackSingle(const Variant& v, float old_value, const platform::Locale& loc) {
  try {
    return static_cast<float>(platform::CDbl(v, loc));
  } catch (const ComError&) {
    return old_value;
  }
}

// The localized text for a refused value, by what is wrong with it.
int32_t RefusalStringId(sql::ValueFault fault) {
  switch (fault) {
    case sql::ValueFault::kNotANumber:
      return 1300;
    case sql::ValueFault::kFraction:
      return 1301;
    case sql::ValueFault::kOutOfRange:
      return 1302;
    case sql::ValueFault::kNotABoolean:
      return 1303;
    case sql::ValueFault::kNotADate:
      return 1304;
    default:
      return 1305;
  }
}

}  // namespace

void TabuloCtl::WireEditing() {
  Grid.set_focus_scope(&focus_scope_);
  txtEdit.set_focus_scope(&focus_scope_);
  Grid.on_click = [this] { Grid_Click(); };
  Grid.on_dbl_click = [this] { Grid_DblClick(); };
  Grid.on_mouse_down = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Grid_MouseDown(b, s, x, y);
  };
  Grid.on_mouse_move = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Grid_MouseMove(b, s, x, y);
  };
  Grid.on_mouse_up = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Grid_MouseUp(b, s, x, y);
  };
  Grid.on_key_down = [this](int16_t& k, int16_t& s) { Grid_KeyDown(k, s); };
  Grid.on_key_press = [this](int16_t& k) { Grid_KeyPress(k); };
  Grid.on_key_up = [this](int16_t& k, int16_t& s) { Grid_KeyUp(k, s); };
  Grid.on_enter_cell = [this] { Grid_EnterCell(); };
  Grid.on_leave_cell = [this] { Grid_LeaveCell(); };
  Grid.on_scroll = [this] { Grid_Scroll(); };
  txtEdit.on_key_press = [this](int16_t& k) { txtEdit_KeyPress(k); };
  txtEdit.on_lost_focus = [this] { txtEdit_LostFocus(); };
}

// ---- The grid's events raised as the control's own ----------------------------------------

void TabuloCtl::Grid_Click() {
  try {
    // Status is a local the host may write to; its value afterwards is not used.
    int32_t Status = 0;
    std::vector<Variant> args{
        Variant(int16_t{0}), Variant(static_cast<int32_t>(Grid.Row() + m_lFirstRow - 1)),
        Variant(static_cast<int32_t>(Grid.Col() - 1)), Variant(int32_t{0}), Variant(Status)};
    Fire("Click", args);
  } catch (const ComError&) {
  }
}

void TabuloCtl::FireMouseEvent(std::string_view name, int16_t& Button, int16_t& Shift, float& X,
                               float& Y) {
  try {
    std::vector<Variant> args{Variant(Button), Variant(Shift), Variant(X), Variant(Y)};
    Fire(name, args);
    const platform::Locale& loc = site_.UserLocale();
    Button = BackInt16(args[0], Button, loc);
    Shift = BackInt16(args[1], Shift, loc);
    X = BackSingle(args[2], X, loc);
    Y = BackSingle(args[3], Y, loc);
  } catch (const ComError&) {
  }
}

void TabuloCtl::Grid_MouseDown(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  if (Button == kRightButton) {
    try {
      int chosen = site_.PopupMenu({mnuRefreshCaption}, Grid.left() + X, Grid.top() + Y);
      if (chosen == 0) mnuRefresh_Click();
    } catch (const ComError&) {
    }
  }
  FireMouseEvent("MouseDown", Button, Shift, X, Y);
}

void TabuloCtl::Grid_MouseMove(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  m_sngMouseX = X;
  m_sngMouseY = Y;
  FireMouseEvent("MouseMove", Button, Shift, X, Y);
}

void TabuloCtl::Grid_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  FireMouseEvent("MouseUp", Button, Shift, X, Y);
}

void TabuloCtl::Grid_KeyDown(int16_t& KeyCode, int16_t& Shift) {
  try {
    std::vector<Variant> args{Variant(KeyCode), Variant(Shift)};
    Fire("KeyDown", args);
    KeyCode = BackInt16(args[0], KeyCode, site_.UserLocale());
    Shift = BackInt16(args[1], Shift, site_.UserLocale());
  } catch (const ComError&) {
  }
}

void TabuloCtl::Grid_KeyPress(int16_t& KeyAscii) {
  try {
    std::vector<Variant> args{Variant(KeyAscii)};
    Fire("KeyPress", args);
    KeyAscii = BackInt16(args[0], KeyAscii, site_.UserLocale());
  } catch (const ComError&) {
  }
}

void TabuloCtl::Grid_KeyUp(int16_t& KeyCode, int16_t& Shift) {
  try {
    std::vector<Variant> args{Variant(KeyCode), Variant(Shift)};
    Fire("KeyUp", args);
    KeyCode = BackInt16(args[0], KeyCode, site_.UserLocale());
    Shift = BackInt16(args[1], Shift, site_.UserLocale());
  } catch (const ComError&) {
  }
}

void TabuloCtl::Grid_Scroll() {
  // The editor stays logically open: the next leave-cell commits what it holds.
  txtEdit.set_visible(false);
}

// ---- The editor -------------------------------------------------------------------------

void TabuloCtl::Grid_EnterCell() {
  if (Grid.Col() == 0 || Grid.Row() == 0 || m_bCellEventsOff) return;
  try {
    // A row without a record number shows no record.
    if (!platform::IsNumeric(Variant(Grid.TextMatrix(Grid.Row(), 0)), site_.UserLocale())) return;
    if (m_bAllowUpdates && !m_bEditing && m_rs && !(m_rs->Bof() && m_rs->Eof()) &&
        !IsBinaryColumn(GridColumnMap(), *m_rs, Grid.Col())) {
      if (m_bAutoRefresh) Timer1.set_enabled(false);
      m_bCellEventsOff = true;
      txtEdit.Move(Grid.left() + Grid.CellLeft(), Grid.top() + Grid.CellTop(), Grid.CellWidth(),
                   Grid.CellHeight());
      txtEdit.ZOrder();
      txtEdit.set_font_size(Grid.CellFontSize());
      txtEdit.set_font_name(Grid.CellFontName());
      txtEdit.set_text(Grid.Text());
      // The whole text is selected, so that what the operator types replaces the value
      // rather than landing in front of it.
      txtEdit.set_sel_start(0);
      txtEdit.set_sel_length(static_cast<int32_t>(platform::Utf8Length(txtEdit.text())));
      txtEdit.Move(txtEdit.left(), txtEdit.top(), txtEdit.width(), Grid.RowHeight(Grid.Row()));
      txtEdit.set_visible(true);
      txtEdit.SetFocus();
      m_lEditRow = Grid.Row();
      m_lEditCol = Grid.Col();
      m_vEditStartText = Variant(Grid.Text());
      m_bEditing = true;
      m_bCellEventsOff = false;
    }
    if (m_bAutoRefresh) Timer1.set_enabled(true);
  } catch (const ComError&) {
    // Nothing is shown; the guard must not stay set, or no cell would open an editor again.
    m_bCellEventsOff = false;
  }
}

void TabuloCtl::txtEdit_KeyPress(int16_t& KeyAscii) {
  if (KeyAscii == kKeyAsciiTab || KeyAscii == kKeyAsciiEnter) Grid_LeaveCell();
  if (KeyAscii == kKeyAsciiEscape) {
    KeyAscii = 0;
    CancelEdit();
  }
}

void TabuloCtl::CancelEdit() {
  if (!m_bEditing || m_bCellEventsOff) return;
  // The text the editor opened with comes back and nothing is applied: no mark, no event,
  // no statement. A refused value left the timer stopped; it runs again.
  txtEdit.set_text(m_vEditStartText.AsString());
  txtEdit.set_visible(false);
  m_bEditing = false;
  if (Grid.visible()) Grid.SetFocus();
  if (m_bAutoRefresh) Timer1.set_enabled(true);
}

void TabuloCtl::txtEdit_LostFocus() {
  // A click on the header row or the row-number column does not move the grid's current
  // cell, so no LeaveCell follows: the edit is committed here.
  if (Grid.MouseRow() == 0 || Grid.MouseCol() == 0) Grid_LeaveCell();
}

bool TabuloCtl::ApplyCellEdit() {
  const std::string text = txtEdit.text();
  if (text != m_vEditStartText.AsString()) {
    // The edited cell, not the grid's current one: after a refused value the current cell
    // has already moved on.
    const int32_t field = FieldOfGridColumn(m_lEditCol);
    if (!m_rs || field < 0) throw ComError::SubscriptOutOfRange("TabuloCtl");
    if (!AcceptableValue(text, m_rs->Item(field).Type())) {
      // The operator corrects the value or presses Escape: the editor keeps the keys.
      if (txtEdit.visible()) txtEdit.SetFocus();
      return false;
    }
    PutAcceptedText(m_lEditRow, m_lEditCol, text);
  }
  txtEdit.set_visible(false);
  m_bEditing = false;
  return true;
}

int32_t TabuloCtl::FieldOfGridColumn(int32_t col) const {
  return GridColumnMap().FieldOfGridColumn(col);
}

bool TabuloCtl::AcceptableValue(const std::string& text, int32_t type) {
  const bool quoted = host::IsQuotedType(type);
  if (text.empty() && !quoted) {
    MsgBox("Updated value cannot be blank", platform::kMbOkOnly, "");
    return false;
  }
  if (quoted) return true;
  // The text goes into the statement unquoted: only a valid value of the column's type may,
  // never raw SQL.
  sql::ValueCheck check = sql::CheckValueForType(platform::Trim(text), type, site_.UserLocale());
  if (check.fault == sql::ValueFault::kEmpty) {
    MsgBox("Updated value cannot be blank", platform::kMbOkOnly, "");
    return false;
  }
  if (!check.ok()) {
    MsgBox(Str(RefusalStringId(check.fault)), platform::kMbOkOnly, "");
    return false;
  }
  return true;
}

void TabuloCtl::PutAcceptedText(int32_t row, int32_t col, const std::string& text) {
  const int32_t cur_row = Grid.Row(), cur_col = Grid.Col();
  const bool events_off = m_bCellEventsOff;
  m_bCellEventsOff = true;
  MarkCellChanged(row, col);
  Grid.SetRow(row);
  Grid.SetCol(col);
  Grid.SetText(text);
  Grid.SetRow(cur_row);
  Grid.SetCol(cur_col);
  m_bCellEventsOff = events_off;
  m_nPendingChanges += 1;
  std::vector<Variant> args{Variant(static_cast<int16_t>(row)), Variant(static_cast<int16_t>(col))};
  Fire("CellValueChanged", args);
}

void TabuloCtl::MarkCellChanged(int32_t row, int32_t col) {
  const int32_t cur_row = Grid.Row(), cur_col = Grid.Col();
  const bool events_off = m_bCellEventsOff;
  m_bCellEventsOff = true;
  Grid.SetRow(row);
  Grid.SetCol(col);
  Grid.SetCellBackColor(kChangedCellColor);
  Grid.SetRow(cur_row);
  Grid.SetCol(cur_col);
  m_bCellEventsOff = events_off;
  m_ChangedCells.insert({row, col});
}

void TabuloCtl::AbandonEdit() {
  txtEdit.set_visible(false);
  m_bEditing = false;
  m_nPendingChanges = 0;
}

// ---- Column fit -------------------------------------------------------------------------

void TabuloCtl::Grid_DblClick() {
  try {
    if (!IsOnColumnBorder(m_sngMouseX, m_sngMouseY, Grid)) {
      std::vector<Variant> none;
      Fire("DblClick", none);
      return;
    }
    if (!m_rs || (m_rs->Bof() && m_rs->Eof())) return;
    txtEdit.set_visible(false);
    m_bCellEventsOff = true;
    Grid.SetRedraw(false);
    AutoSizeColumn(Grid.MouseCol(), Grid);
    Grid.SetRedraw(true);
    m_bCellEventsOff = false;
  } catch (const ComError&) {
    m_bCellEventsOff = false;
    Grid.SetRedraw(true);
  }
}

bool TabuloCtl::IsOnColumnBorder(float x, float /*y*/, platform::FlexGrid& grid) const {
  if (grid.MouseRow() >= grid.FixedRows()) return false;
  // The right border of the column under the mouse lies after the fixed columns and the
  // scrollable columns shown from LeftCol on.
  float sum = 0;
  for (int32_t c = 0; c < grid.FixedCols() && c <= grid.MouseCol(); ++c) {
    if (grid.ColIsVisible(c)) sum += static_cast<float>(grid.ColWidth(c));
  }
  for (int32_t c = std::max(grid.LeftCol(), grid.FixedCols()); c <= grid.MouseCol(); ++c) {
    if (grid.ColIsVisible(c)) sum += static_cast<float>(grid.ColWidth(c));
  }
  return sum - kBorderBand <= x && x <= sum + kBorderBand;
}

void TabuloCtl::AutoSizeColumn(int32_t col, platform::FlexGrid& grid) {
  const int32_t row = grid.Row(), row_sel = grid.RowSel(), cur_col = grid.Col(),
                col_sel = grid.ColSel();
  std::string font_name = m_Font ? m_Font->name() : std::string("MS Sans Serif");
  double font_size = m_Font ? m_Font->size() : 8.25;
  bool bold = m_Font ? m_Font->bold() : false;
  grid.SetRow(0);
  grid.SetCol(col);
  int32_t header_width = platform::TextWidth(font_name, font_size, bold, grid.TextMatrix(0, col));
  std::string longest;
  int64_t longest_chars = 0;
  int32_t r = grid.TopRow();
  do {
    if (r >= grid.Rows() || !grid.RowIsVisible(r)) break;
    grid.SetRow(r);
    const std::string& t = grid.TextMatrix(r, col);
    int64_t chars = platform::Utf8Length(t);
    if (chars > longest_chars) {
      longest = t;
      longest_chars = chars;
    }
    ++r;
  } while (r != grid.Rows());
  int32_t w = platform::TextWidth(font_name, font_size, bold, longest);
  grid.SetColWidth(col, (w >= header_width ? w : header_width) + kFitPadding);
  grid.SetRow(row);
  grid.SetRowSel(row_sel);
  grid.SetCol(cur_col);
  grid.SetColSel(col_sel);
}

}  // namespace tabulo::control
