// An operator's interactive session (browse_session.h).
#include "container/browse_session.h"

#include "container/load_progress.h"

#include <algorithm>
#include <cstdlib>

#include "container/script/input.h"
#include "platform/values/com_error.h"
#include "platform/widgets/key_codes.h"
#include "view/browser_scene.h"
#include "view/control_scene.h"
#include "view/text_cells.h"

namespace tabulo::container {
namespace {

constexpr int32_t kWheelLines = 3;  // scroll-bar arrow clicks per notch of the wheel

int32_t IndexOf(const std::vector<int32_t>& v, int32_t x) {
  auto it = std::find(v.begin(), v.end(), x);
  return it == v.end() ? -1 : static_cast<int32_t>(it - v.begin());
}

control::TabuloCtl& PlaceControl(const BrowseRequest& request, Session& session) {
  control::TabuloCtl& ctl =
      request.load.empty() ? session.NewControl() : session.LoadControl(request.load);
  if (!request.db.empty()) ctl.SetDSNname(request.db);
  if (!request.sql.empty()) ctl.SetRecordSource(request.sql);
  ApplyPropertySettings(ctl, request.settings);
  return ctl;
}

}  // namespace

GridOnScreen LayoutOf(const platform::FlexGrid& grid) {
  GridOnScreen on;
  for (int32_t r = 0; r < grid.FixedRows(); ++r)
    if (grid.RowHeight(r) > 0) on.lines.push_back(r);
  if (grid.FixedRows() > 0) on.lines.push_back(-1);
  for (int32_t r = grid.FixedRows(); r < grid.Rows(); ++r) {
    if (r < grid.TopRow() || grid.RowHeight(r) <= 0) continue;
    if (!grid.RowIsVisible(r)) break;
    on.lines.push_back(r);
  }
  for (int32_t c = 0; c < grid.Cols(); ++c) {
    if (c >= grid.FixedCols() && c < grid.LeftCol()) continue;
    if (grid.ColWidth(c) > 0 && grid.ColIsVisible(c)) on.slots.push_back(c);
  }
  return on;
}

BrowseSession::BrowseSession(const BrowseRequest& request, Operator& person, platform::Clock& clock)
    : BrowseSession(
          request, std::make_unique<Session>(request.session,
                                             std::make_unique<OperatorContainer>(person, clock))) {}

BrowseSession::BrowseSession(const BrowseRequest& request, std::unique_ptr<Session> own)
    : own_(std::move(own)), session_(*own_), ctl_(PlaceControl(request, session_)) {}

BrowseSession::BrowseSession(const BrowseRequest& request, Session& display)
    : session_(display), ctl_(PlaceControl(request, session_)) {}

void BrowseSession::Resize(int32_t cols, int32_t lines) {
  // A character cell is 120 twips wide; a grid line is 240 twips high and the status bar
  // takes about one more line, as `tabulo show` sizes its control.
  cols = std::max(cols, 10);
  lines = std::max(lines, 3);
  ResizeTo(cols * 120.0, (lines - 1) * 240.0 + 315);
}

void BrowseSession::ResizeTo(double width, double height) {
  Guarded([&] { ctl_.Resize(width, height); });
}

void BrowseSession::Start() {
  Guarded([&] { session_.SetRunMode(true); });
}

int BrowseSession::Pump() {
  return session_.container().event_loop().DoEvents() + StepFind();
}

template <typename Action>
void BrowseSession::Guarded(Action action) {
  try {
    action();
    Pump();
    ClampCursor();
  } catch (const platform::ComError& e) {
    session_.container().MsgBox(e.description(), platform::kMbCritical, e.source());
  }
}

void BrowseSession::Guard(const std::function<void()>& action) {
  Guarded(action);
}

void BrowseSession::Press(BrowseKey key) {
  Guarded([&] { Editing() ? PressInEditor(key) : PressOnGrid(key); });
}

void BrowseSession::PressOnGrid(BrowseKey key) {
  longscroll::LongScroll& bar = ctl_.ScrollBar;
  switch (key) {
    case BrowseKey::Up:
      return MoveCursorRow(-1);
    case BrowseKey::Down:
      return MoveCursorRow(1);
    case BrowseKey::Left:
      return MoveCursorCol(-1);
    case BrowseKey::Right:
    case BrowseKey::Tab:
      return MoveCursorCol(1);
    case BrowseKey::PageUp:
      return bar.InnerBar().ClickTroughAbove();
    case BrowseKey::PageDown:
      return bar.InnerBar().ClickTroughBelow();
    case BrowseKey::Home:
      cursor_row_ = 0;
      return bar.SetValue(bar.Min());
    case BrowseKey::End:
      cursor_row_ = ctl_.Grid.Rows();
      return bar.SetValue(bar.Max());
    case BrowseKey::LastWindow:
      cursor_row_ = ctl_.Grid.Rows();
      return ShowLastWindow();
    case BrowseKey::Enter:
      if (ShowsRecord(cursor_row_)) ClickDataCell(cursor_row_, cursor_col_);
      return;
    case BrowseKey::Refresh:
      return ctl_.Refresh(false);
    case BrowseKey::Menu:
      if (ShowsRecord(cursor_row_)) ctl_.Grid.UserClick(cursor_row_, cursor_col_, 2);
      return;
    default:
      return;
  }
}

void BrowseSession::PressInEditor(BrowseKey key) {
  static constexpr std::pair<BrowseKey, int16_t> kEditorKeys[] = {
      {BrowseKey::Enter, platform::kKeyReturn},  {BrowseKey::Tab, platform::kKeyTab},
      {BrowseKey::Escape, platform::kKeyEscape}, {BrowseKey::Backspace, platform::kKeyBack},
      {BrowseKey::Delete, platform::kKeyDelete}, {BrowseKey::Left, platform::kKeyLeft},
      {BrowseKey::Right, platform::kKeyRight},   {BrowseKey::Home, platform::kKeyHome},
      {BrowseKey::End, platform::kKeyEnd},
  };
  if (key == BrowseKey::Refresh) return ctl_.Refresh(false);
  for (const auto& [k, code] : kEditorKeys)
    if (k == key) return ctl_.txtEdit.PressKey(code);
}

void BrowseSession::Type(const std::string& text) {
  if (!Editing()) return;
  Guarded([&] { ctl_.txtEdit.TypeText(text); });
}

void BrowseSession::Click(int32_t line, int32_t slot, bool right_button) {
  const GridOnScreen on = LayoutOf(ctl_.Grid);
  if (line < 0 || slot < 0 || line >= static_cast<int32_t>(on.lines.size()) ||
      slot >= static_cast<int32_t>(on.slots.size()))
    return;
  const int32_t row = on.lines[line], col = on.slots[slot];
  if (row >= 0) ClickInView(row, col, right_button);
}

bool BrowseSession::ClickGridCell(int32_t row, int32_t col, bool right_button) {
  const GridOnScreen on = LayoutOf(ctl_.Grid);
  if (row < 0 || IndexOf(on.lines, row) < 0 || IndexOf(on.slots, col) < 0) return false;
  ClickInView(row, col, right_button);
  return true;
}

void BrowseSession::ClickInView(int32_t row, int32_t col, bool right_button) {
  Guarded([&] {
    platform::FlexGrid& grid = ctl_.Grid;
    const bool data_cell = row >= grid.FixedRows() && col >= grid.FixedCols() && ShowsRecord(row);
    if (data_cell) {
      cursor_row_ = row;
      cursor_col_ = col;
    }
    if (right_button) return grid.UserClick(row, col, 2);
    if (data_cell) return ClickDataCell(row, col);
    grid.UserClick(row, col);
  });
}

void BrowseSession::Wheel(int32_t notches) {
  Guarded([&] {
    platform::VScrollBar& bar = ctl_.ScrollBar.InnerBar();
    for (int32_t i = 0; i < std::abs(notches) * kWheelLines; ++i) {
      if (notches < 0) {
        bar.ClickUpArrow();
      } else {
        bar.ClickDownArrow();
      }
      Pump();
    }
  });
}

void BrowseSession::ClickScrollBar(ScrollPart part) {
  Guarded([&] {
    platform::VScrollBar& bar = ctl_.ScrollBar.InnerBar();
    switch (part) {
      case ScrollPart::UpArrow:
        return bar.ClickUpArrow();
      case ScrollPart::DownArrow:
        return bar.ClickDownArrow();
      case ScrollPart::TroughAbove:
        return bar.ClickTroughAbove();
      case ScrollPart::TroughBelow:
        return bar.ClickTroughBelow();
    }
  });
}

void BrowseSession::DragThumb(const std::vector<int16_t>& positions) {
  Guarded([&] { ctl_.ScrollBar.InnerBar().DragThumb(positions); });
}

std::string BrowseSession::Render(bool caret_mark) const {
  view::RenderOptions options;
  options.caret_mark = caret_mark;
  return view::RenderControl(ctl_, options);
}

EditorOnScreen BrowseSession::EditorPlace() const {
  EditorOnScreen at;
  if (!Editing()) return at;
  const GridOnScreen on = LayoutOf(ctl_.Grid);
  at.line = IndexOf(on.lines, ctl_.EditRow());
  at.slot = IndexOf(on.slots, ctl_.EditCol());
  if (at.line < 0 || at.slot < 0) return EditorOnScreen{};
  const platform::TextBox& box = ctl_.txtEdit;
  const std::string& text = box.text();
  const auto cells = [&](int32_t code_points) {
    return view::DisplayWidth(view::OneLine(view::FirstCodePoints(text, code_points)));
  };
  at.sel_from = cells(box.sel_start());
  at.sel_to = cells(box.sel_start() + box.sel_length());
  at.caret = box.sel_length() == 0 ? at.sel_from : at.sel_to;
  return at;
}

std::string BrowseSession::KeyHelp() const {
  if (Editing()) return " type to replace  Left/Right/Home/End move  Enter/Tab write  Esc cancel";
  const bool editable = ctl_.AllowUpdates();
  return std::string(" arrows move  PgUp/PgDn/Home/End scroll") + (editable ? "  Enter edit" : "") +
         "  v view  y copy  F5 refresh  m menu  q quit" + (editable ? "" : "  (read-only)");
}

std::string BrowseSession::Position() const {
  return ShowsRecord(cursor_row_) ? view::PositionText(ctl_, cursor_row_) : std::string();
}

bool BrowseSession::Editing() const {
  return EditorIsOpen(ctl_.txtEdit);
}

int32_t BrowseSession::CursorLine() const {
  return ShowsRecord(cursor_row_) ? IndexOf(LayoutOf(ctl_.Grid).lines, cursor_row_) : -1;
}

int32_t BrowseSession::CursorSlot() const {
  return ShowsRecord(cursor_row_) ? IndexOf(LayoutOf(ctl_.Grid).slots, cursor_col_) : -1;
}

std::optional<GridCell> BrowseSession::CursorCell() const {
  if (CursorLine() < 0 || CursorSlot() < 0) return std::nullopt;
  return GridCell{cursor_row_, cursor_col_};
}

void BrowseSession::MoveCursorRow(int32_t step) {
  std::vector<int32_t> rows;
  for (int32_t r : LayoutOf(ctl_.Grid).lines)
    if (ShowsRecord(r)) rows.push_back(r);
  const int32_t at = IndexOf(rows, cursor_row_) + step;
  if (at >= 0 && at < static_cast<int32_t>(rows.size())) {
    cursor_row_ = rows[at];
  } else if (step < 0) {
    ctl_.ScrollBar.InnerBar().ClickUpArrow();
  } else {
    ctl_.ScrollBar.InnerBar().ClickDownArrow();
  }
}

void BrowseSession::MoveCursorCol(int32_t step) {
  platform::FlexGrid& grid = ctl_.Grid;
  const int32_t col = cursor_col_ + step;
  if (col < grid.FixedCols() || col >= grid.Cols()) return;
  cursor_col_ = col;
  // A column beyond either edge of the window scrolls the grid a column at a time until the
  // cursor's column is in view whole: neither out of the grid's window nor cut short at the
  // right edge of the rendering.
  if (col < grid.LeftCol()) grid.ScrollTo(grid.TopRow(), col);
  const auto whole = [&] {
    const std::vector<int32_t> drawn = view::ColumnsDrawnWhole(view::SceneOf(ctl_));
    return grid.ColIsVisible(col) && std::find(drawn.begin(), drawn.end(), col) != drawn.end();
  };
  while (!whole() && grid.LeftCol() < col) grid.ScrollTo(grid.TopRow(), grid.LeftCol() + 1);
}

void BrowseSession::ClickDataCell(int32_t row, int32_t col) {
  platform::FlexGrid& grid = ctl_.Grid;
  // A click on the current cell moves nothing and so opens nothing: the cell is left for
  // the record-number column first, which opens no editor, as an operator clicks elsewhere.
  if (grid.Row() == row && grid.Col() == col) grid.SetCol(0);
  grid.UserClick(row, col);
}

void BrowseSession::ClampCursor() {
  const platform::FlexGrid& grid = ctl_.Grid;
  const GridOnScreen on = LayoutOf(grid);
  std::vector<int32_t> rows, cols;
  for (int32_t r : on.lines)
    if (ShowsRecord(r)) rows.push_back(r);
  for (int32_t c : on.slots)
    if (c >= grid.FixedCols()) cols.push_back(c);
  if (!rows.empty() && IndexOf(rows, cursor_row_) < 0)
    cursor_row_ = cursor_row_ > rows.back() ? rows.back() : rows.front();
  if (!cols.empty() && IndexOf(cols, cursor_col_) < 0)
    cursor_col_ = cursor_col_ > cols.back() ? cols.back() : cols.front();
}

bool BrowseSession::ShowsRecord(int32_t row) const {
  const platform::FlexGrid& grid = ctl_.Grid;
  return row >= grid.FixedRows() && row < grid.Rows() && grid.Cols() > 0 &&
         !grid.TextMatrix(row, 0).empty() && grid.RowIsVisible(row);
}

// ---- The last full window ----------------------------------------------------------------

void BrowseSession::ShowLastWindow() {
  longscroll::LongScroll& bar = ctl_.ScrollBar;
  bar.SetValue(bar.Max());
  Pump();
  const platform::FlexGrid& grid = ctl_.Grid;
  if (!ShowsRecord(grid.FixedRows())) return;
  // The rows that fit whole under the header; the bar moves back by as many records as the
  // window has rows left empty below the last one.
  int32_t whole = 0;
  for (int32_t r = grid.FixedRows(); r < grid.Rows(); ++r)
    if (grid.RowTopOf(r) + grid.RowHeight(r) <= grid.height()) ++whole;
  int32_t shown = 0;
  for (int32_t r = grid.FixedRows(); r < grid.Rows() && ShowsRecord(r); ++r) ++shown;
  const int32_t back = std::max(0, whole - shown);
  bar.SetValue(std::max(bar.Min(), bar.Value() - back));
}

// ---- Reading the result -------------------------------------------------------------------

bool BrowseSession::SetColumnWidth(int32_t col, double twips) {
  platform::FlexGrid& grid = ctl_.Grid;
  if (col < 0 || col >= grid.Cols()) return false;
  // Never so narrow that the border can no longer be taken hold of.
  constexpr double kNarrowest = 8 * view::kTwipsPerPixel;
  Guarded([&] { grid.SetColWidth(col, static_cast<int32_t>(std::max(twips, kNarrowest))); });
  return true;
}

bool BrowseSession::FitColumn(int32_t col) {
  platform::FlexGrid& grid = ctl_.Grid;
  if (col < 0 || col >= grid.Cols() || grid.FixedRows() < 1 || !grid.ColIsVisible(col) ||
      grid.ColWidth(col) <= 0)
    return false;
  // A double click on the header's right border, just inside the column.
  const float x = static_cast<float>(grid.ColLeftOf(col) + grid.ColWidth(col) - 15);
  const float y = static_cast<float>(grid.RowHeight(0) / 2);
  Guarded([&] { grid.UserDblClickAt(x, y); });
  return true;
}

std::optional<std::string> BrowseSession::CursorText() const {
  if (!ShowsRecord(cursor_row_) || cursor_col_ >= ctl_.Grid.Cols()) return std::nullopt;
  return ctl_.Grid.TextMatrix(cursor_row_, cursor_col_);
}

bool BrowseSession::CursorIsNull() const {
  return ShowsRecord(cursor_row_) && cursor_col_ < ctl_.Grid.Cols() &&
         ctl_.Grid.CellIsNullAt(cursor_row_, cursor_col_);
}

bool BrowseSession::IsNullAt(int32_t line, int32_t slot) const {
  const GridOnScreen on = LayoutOf(ctl_.Grid);
  if (line < 0 || slot < 0 || line >= static_cast<int32_t>(on.lines.size()) ||
      slot >= static_cast<int32_t>(on.slots.size()) || on.lines[line] < 0)
    return false;
  return ctl_.Grid.CellIsNullAt(on.lines[line], on.slots[slot]);
}

void BrowseSession::SetAnchor(bool on) {
  anchor_row_ = on && ShowsRecord(cursor_row_) ? cursor_row_ : -1;
  anchor_col_ = anchor_row_ < 0 ? -1 : cursor_col_;
  anchor_first_ = anchor_row_ < 0 ? -1 : FirstRecordShown();
}

int64_t BrowseSession::FirstRecordShown() const {
  const platform::FlexGrid& grid = ctl_.Grid;
  if (!ShowsRecord(grid.FixedRows())) return -1;
  return std::atoll(grid.TextMatrix(grid.FixedRows(), 0).c_str());
}

bool BrowseSession::Block(int32_t* top, int32_t* left, int32_t* bottom, int32_t* right) const {
  // An anchor set in another window no longer marks the same records.
  const bool anchored = anchor_row_ >= 0 && anchor_first_ == FirstRecordShown() &&
                        ShowsRecord(anchor_row_) && anchor_col_ < ctl_.Grid.Cols();
  const int32_t r = anchored ? anchor_row_ : cursor_row_, c = anchored ? anchor_col_ : cursor_col_;
  *top = std::min(r, cursor_row_);
  *bottom = std::max(r, cursor_row_);
  *left = std::min(c, cursor_col_);
  *right = std::max(c, cursor_col_);
  return anchored;
}

std::string BrowseSession::CopyText() const {
  const platform::FlexGrid& grid = ctl_.Grid;
  if (!ShowsRecord(cursor_row_) || cursor_col_ >= grid.Cols()) return {};
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  if (!Block(&top, &left, &bottom, &right)) return grid.TextMatrix(top, left);
  const auto field = [](std::string text) {
    for (char& ch : text)
      if (ch == '\t' || ch == '\n' || ch == '\r') ch = ' ';
    return text;
  };
  std::string out;
  const auto line = [&](int32_t r) {
    for (int32_t c = left; c <= right; ++c) {
      if (c > left) out += '\t';
      out += field(grid.TextMatrix(r, c));
    }
    out += '\n';
  };
  if (grid.FixedRows() > 0) line(0);
  for (int32_t r = top; r <= bottom; ++r) line(r);
  return out;
}

void BrowseSession::ShowLoadProgress(int64_t rows) {
  platform::StatusBar& bar = session_.current().sBar;
  if (bar.PanelCount() >= 1) bar.Panels(1).set_text(LoadProgressText(rows));
}

}  // namespace tabulo::container
