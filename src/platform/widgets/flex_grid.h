// FlexGrid: a headless model of the hierarchical flex grid the control draws its result in.
// It keeps the cells (text and format), column widths and row heights in twips, the current
// cell and selection, the scroll position (TopRow, LeftCol) and the last mouse position, and
// raises the grid's events in the classic order. Positions are relative to the grid's own
// top left corner; the visible area is the widget's width() x height().
//
// Errors (ComError, source = the widget's name):
//   381   "Subscript out of range"  a row or column index outside the grid (TextMatrix,
//                                   ColWidth, RowHeight, ColIsVisible, RowIsVisible, ...)
//   30009 "Invalid Row value"       Row, RowSel, TopRow outside the grid; Rows below
//                                   FixedRows; FixedRows above Rows
//   30010 "Invalid Col value"       the same for Col, ColSel, LeftCol, Cols, FixedCols
//   380   "Invalid property value"  a negative width, height, size or alignment beyond 0..9
//   7     "Out of memory"           more than kMaxCells cells
//
// Event order:
//   Program move (SetRow, SetCol with a different value; also while Redraw is off):
//     LeaveCell (Row/Col still report the old cell), the current cell changes and
//     RowSel/ColSel collapse onto it, EnterCell, RowColChange, SelChange.
//     Setting the value it already has raises nothing. SetRowSel/SetColSel raise SelChange
//     when the selection changes. SetTopRow/SetLeftCol and ScrollTo raise Scroll when the
//     position changes.
//   Shrinking Rows/Cols below the current cell moves it onto the last row/column silently
//   (no events), as does the selection and scroll position.
//   Mouse down with the left button first gives the grid the focus (so an editor that had
//   it gets LostFocus, with MouseRow/MouseCol already on the new position).
//   Click (UserClick): MouseMove if the mouse was elsewhere, MouseDown, [program-move
//     events, only for a non-fixed cell that differs from the current one and only for the
//     left button], MouseUp, Click (left button only).
//   Double click (UserDblClick): the click above, then DblClick, MouseUp.
//   Keys (UserKey): KeyDown, [program-move events and Scroll when the key navigates],
//     KeyPress (character keys only), KeyUp. A handler that sets KeyCode to 0 in KeyDown
//     stops the navigation; KeyAscii set to 0 in KeyPress is simply swallowed.
//   A disabled grid (set_enabled(false)) ignores user input entirely.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/text_metrics.h"
#include "platform/values/com_error.h"
#include "platform/widgets/key_codes.h"
#include "platform/widgets/widget.h"

namespace tabulo::platform {

inline constexpr int32_t kErrGridSubscript = 381;
inline constexpr int32_t kErrInvalidRowValue = 30009;
inline constexpr int32_t kErrInvalidColValue = 30010;

// The grid's errors: 381 "Subscript out of range" for a cell index outside the grid,
// 30009 / 30010 for a row or column the grid cannot move to or be sized to.
ComError GridSubscriptError(std::string source);
ComError InvalidRowValue(std::string source);
ComError InvalidColValue(std::string source);

// Cell alignment values (flexAlign...): horizontal part left/centre/right, vertical part
// top/centre/bottom; 9 = general (text left, numbers right).
enum CellAlign : int16_t {
  kAlignLeftTop = 0,
  kAlignLeftCenter = 1,
  kAlignLeftBottom = 2,
  kAlignCenterTop = 3,
  kAlignCenterCenter = 4,
  kAlignCenterBottom = 5,
  kAlignRightTop = 6,
  kAlignRightCenter = 7,
  kAlignRightBottom = 8,
  kAlignGeneral = 9,
};

// Key codes the grid navigates with.
// Shift-state bits.

class FlexGrid : public Widget {
 public:
  static constexpr int32_t kDefaultColWidth = 960;  // twips: 8 character units
  static constexpr int64_t kMaxCells = 1'000'000;
  static constexpr int32_t kDefaultBackColor = 0xFFFFFF;
  static constexpr int32_t kDefaultForeColor = 0x000000;

  // A new grid has 2 rows and 2 columns, one fixed row and one fixed column, current cell
  // (1, 1), as the classic grid has.
  explicit FlexGrid(std::string name = "Grid");

  // --- Size --------------------------------------------------------------------------
  int32_t Rows() const { return rows_; }
  void SetRows(int32_t n);
  int32_t Cols() const { return cols_; }
  void SetCols(int32_t n);
  int32_t FixedRows() const { return fixed_rows_; }
  void SetFixedRows(int32_t n);
  int32_t FixedCols() const { return fixed_cols_; }
  void SetFixedCols(int32_t n);

  // --- Current cell and selection ----------------------------------------------------
  int32_t Row() const { return row_; }
  void SetRow(int32_t r);
  int32_t Col() const { return col_; }
  void SetCol(int32_t c);
  int32_t RowSel() const { return row_sel_; }
  void SetRowSel(int32_t r);
  int32_t ColSel() const { return col_sel_; }
  void SetColSel(int32_t c);

  // --- Texts ---------------------------------------------------------------------------
  const std::string& Text() const;  // of the current cell
  void SetText(std::string text);
  const std::string& TextMatrix(int32_t r, int32_t c) const;
  void SetTextMatrix(int32_t r, int32_t c, std::string text);
  // Empties every text and cell format; sizes, widths, heights and the current cell stay.
  void Clear();

  // --- Widths and heights (twips) ----------------------------------------------------
  int32_t ColWidth(int32_t c) const;
  // -1 resets the column to kDefaultColWidth; c = -1 sets every column.
  void SetColWidth(int32_t c, int32_t twips);
  // A row is as high as set, or the font's line height; never below RowHeightMin.
  int32_t RowHeight(int32_t r) const;
  // -1 resets the row to the default; r = -1 sets every row.
  void SetRowHeight(int32_t r, int32_t twips);
  int32_t RowHeightMin() const { return row_height_min_; }
  void SetRowHeightMin(int32_t twips);

  // --- Format of the current cell ------------------------------------------------------
  int16_t CellAlignment() const;
  void SetCellAlignment(int16_t a);
  int32_t CellBackColor() const;  // 0 = the grid's BackColor
  void SetCellBackColor(int32_t color);
  bool CellFontBold() const;
  void SetCellFontBold(bool b);
  std::string CellFontName() const;
  void SetCellFontName(std::string name);
  double CellFontSize() const;
  void SetCellFontSize(double size);

  // Format of any cell, for views.
  int16_t CellAlignmentAt(int32_t r, int32_t c) const;
  int32_t CellBackColorAt(int32_t r, int32_t c) const;
  bool CellFontBoldAt(int32_t r, int32_t c) const;
  // Whether a cell shows a missing value (a database NULL) rather than a text: its text
  // stays "", and any text put into the cell later clears the mark.
  bool CellIsNullAt(int32_t r, int32_t c) const;
  void SetCellNullAt(int32_t r, int32_t c, bool null);

  // --- Geometry (twips, relative to the grid) -----------------------------------------
  // Of the current cell. A non-fixed cell scrolled out to the left or top gets a position
  // below the fixed area's edge (possibly negative).
  int32_t CellLeft() const { return ColLeftOf(col_); }
  int32_t CellTop() const { return RowTopOf(row_); }
  int32_t CellWidth() const { return ColWidth(col_); }
  int32_t CellHeight() const { return RowHeight(row_); }
  // The same for any row or column.
  int32_t ColLeftOf(int32_t c) const;
  int32_t RowTopOf(int32_t r) const;

  // First non-fixed row and column in view. Set values must be non-fixed cells.
  int32_t TopRow() const;
  void SetTopRow(int32_t r);
  int32_t LeftCol() const;
  void SetLeftCol(int32_t c);
  // Whether the row/column is (at least partly) within the visible area: a fixed one or
  // one at or after TopRow/LeftCol whose top/left edge lies inside height()/width().
  bool RowIsVisible(int32_t r) const;
  bool ColIsVisible(int32_t c) const;

  // The cell under the last mouse position, clamped to the grid's cells (a position right
  // of the last column gives the last column). 0 before the mouse has moved.
  int32_t MouseRow() const { return mouse_row_; }
  int32_t MouseCol() const { return mouse_col_; }

  // --- Appearance ----------------------------------------------------------------------
  bool Redraw() const { return redraw_; }
  void SetRedraw(bool on) { redraw_ = on; }
  bool Enabled() const { return enabled(); }
  void SetEnabled(bool on) { set_enabled(on); }
  int32_t BackColor() const { return back_color_; }
  void SetBackColor(int32_t color) { back_color_ = color; }
  int32_t ForeColor() const { return fore_color_; }
  void SetForeColor(int32_t color) { fore_color_ = color; }
  const TextFont& Font() const { return font_; }
  void SetFont(TextFont font);

  // --- Events ----------------------------------------------------------------------------
  std::function<void()> on_enter_cell;
  std::function<void()> on_leave_cell;
  std::function<void()> on_row_col_change;
  std::function<void()> on_sel_change;
  std::function<void()> on_click;
  std::function<void()> on_dbl_click;
  std::function<void()> on_scroll;
  std::function<void(int16_t& button, int16_t& shift, float& x, float& y)> on_mouse_down;
  std::function<void(int16_t& button, int16_t& shift, float& x, float& y)> on_mouse_move;
  std::function<void(int16_t& button, int16_t& shift, float& x, float& y)> on_mouse_up;
  std::function<void(int16_t& key_code, int16_t& shift)> on_key_down;
  std::function<void(int16_t& key_ascii)> on_key_press;
  std::function<void(int16_t& key_code, int16_t& shift)> on_key_up;

  // --- User input (for the container and tests) ----------------------------------------
  // Mouse positions in twips relative to the grid.
  void MouseMoveTo(float x, float y, int16_t button = 0, int16_t shift = 0);
  void UserMouseDown(float x, float y, int16_t button = 1, int16_t shift = 0);
  void UserMouseUp(float x, float y, int16_t button = 1, int16_t shift = 0);
  // A click or double click in the middle of cell (row, col), which must be in view
  // (ComError 381 otherwise).
  void UserClick(int32_t row, int32_t col, int16_t button = 1, int16_t shift = 0);
  void UserDblClick(int32_t row, int32_t col);
  // The same at a point (twips relative to the grid), e.g. on a column border.
  void UserClickAt(float x, float y, int16_t button = 1, int16_t shift = 0);
  void UserDblClickAt(float x, float y);
  void UserKey(int16_t key_code, int16_t shift = 0);
  // A scroll by the user (scroll bar, wheel): the new TopRow and LeftCol.
  void ScrollTo(int32_t top_row, int32_t left_col);

 private:
  struct Cell {
    std::string text;
    int16_t alignment = kAlignGeneral;
    int32_t back_color = 0;
    std::optional<bool> bold;
    std::optional<std::string> font_name;
    std::optional<double> font_size;
    bool null = false;
  };

  void CheckRow(int32_t r) const;  // 381
  void CheckCol(int32_t c) const;  // 381
  void CheckCurrentCell() const;   // 381 when the grid has no cells
  void CheckSize(int64_t rows, int64_t cols) const;
  Cell& At(int32_t r, int32_t c) { return cells_[r][c]; }
  const Cell& At(int32_t r, int32_t c) const { return cells_[r][c]; }
  Cell& Current();
  const Cell& Current() const;
  // Clamps the current cell, selection and scroll position after a size change.
  void ClampPositions();
  // The program move: events around the change of the current cell.
  void MoveCurrentCell(int32_t r, int32_t c);
  void Raise(const std::function<void()>& fn) {
    if (fn) fn();
  }
  // The cell containing a point, if any (rows/cols clamped when `clamp`).
  bool HitTest(float x, float y, bool clamp, int32_t* r, int32_t* c) const;
  void NavigateByKey(int16_t key_code, int16_t shift);
  void ScrollIntoView(int32_t r, int32_t c);
  void ApplyScroll(int32_t top, int32_t left);
  void CellCentre(int32_t row, int32_t col, float* x, float* y) const;
  int32_t FixedWidth() const;
  int32_t FixedHeight() const;
  // The top of each row with every row above it laid out from 0 (one more entry than rows:
  // the last is the height of all rows), made again after a change of a row's height, the
  // minimum height, the font or the row count. A row's place is then found in constant
  // time: laying out the rows in view no longer adds up every row above each of them.
  const std::vector<int64_t>& RowTops() const;

  int32_t rows_ = 0, cols_ = 0, fixed_rows_ = 0, fixed_cols_ = 0;
  int32_t row_ = 0, col_ = 0, row_sel_ = 0, col_sel_ = 0;
  int32_t top_row_ = 0, left_col_ = 0;
  std::vector<std::vector<Cell>> cells_;
  std::vector<int32_t> col_widths_;   // -1 = default
  std::vector<int32_t> row_heights_;  // -1 = default
  int32_t row_height_min_ = 0;
  mutable std::vector<int64_t> row_tops_;  // see RowTops(); empty when it must be made again
  int32_t mouse_row_ = 0, mouse_col_ = 0;
  float mouse_x_ = 0, mouse_y_ = 0;
  bool mouse_seen_ = false;
  int16_t pressed_button_ = 0;  // the button of a MouseDown not yet released
  bool redraw_ = true;
  int32_t back_color_ = kDefaultBackColor;
  int32_t fore_color_ = kDefaultForeColor;
  TextFont font_;
};

}  // namespace tabulo::platform
