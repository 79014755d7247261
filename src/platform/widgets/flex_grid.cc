// FlexGrid: cells, sizes, the current cell and the geometry of the visible area.
// User input (mouse, keys, scrolling) is in flex_grid_input.cc.
#include "platform/widgets/flex_grid.h"

#include <algorithm>
#include <cmath>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

ComError GridSubscriptError(std::string source) {
  return ComError(kErrGridSubscript, "Subscript out of range", std::move(source));
}
ComError InvalidRowValue(std::string source) {
  return ComError(kErrInvalidRowValue, "Invalid Row value", std::move(source));
}
ComError InvalidColValue(std::string source) {
  return ComError(kErrInvalidColValue, "Invalid Col value", std::move(source));
}

FlexGrid::FlexGrid(std::string name) : Widget(std::move(name)) {
  SetRows(2);
  SetCols(2);
  fixed_rows_ = fixed_cols_ = 1;
  row_ = col_ = row_sel_ = col_sel_ = 1;
  top_row_ = left_col_ = 1;
}

// --- Checks ------------------------------------------------------------------------------

void FlexGrid::CheckRow(int32_t r) const {
  if (r < 0 || r >= rows_) throw GridSubscriptError(name());
}

void FlexGrid::CheckCol(int32_t c) const {
  if (c < 0 || c >= cols_) throw GridSubscriptError(name());
}

void FlexGrid::CheckCurrentCell() const {
  CheckRow(row_);
  CheckCol(col_);
}

void FlexGrid::CheckSize(int64_t rows, int64_t cols) const {
  if (rows * cols > kMaxCells) throw ComError::OutOfMemory(name());
}

FlexGrid::Cell& FlexGrid::Current() {
  CheckCurrentCell();
  return At(row_, col_);
}

const FlexGrid::Cell& FlexGrid::Current() const {
  CheckCurrentCell();
  return At(row_, col_);
}

// --- Size ---------------------------------------------------------------------------------

void FlexGrid::SetRows(int32_t n) {
  if (n < 0 || n < fixed_rows_) throw InvalidRowValue(name());
  CheckSize(n, cols_);
  cells_.resize(n, std::vector<Cell>(cols_));
  row_heights_.resize(n, -1);
  row_tops_.clear();
  rows_ = n;
  ClampPositions();
}

void FlexGrid::SetCols(int32_t n) {
  if (n < 0 || n < fixed_cols_) throw InvalidColValue(name());
  CheckSize(rows_, n);
  for (auto& row : cells_) row.resize(n);
  col_widths_.resize(n, -1);
  cols_ = n;
  ClampPositions();
}

void FlexGrid::SetFixedRows(int32_t n) {
  if (n < 0 || n > rows_) throw InvalidRowValue(name());
  fixed_rows_ = n;
  ClampPositions();
}

void FlexGrid::SetFixedCols(int32_t n) {
  if (n < 0 || n > cols_) throw InvalidColValue(name());
  fixed_cols_ = n;
  ClampPositions();
}

void FlexGrid::ClampPositions() {
  auto clamp_index = [](int32_t v, int32_t count) {
    return std::clamp(v, 0, std::max(count - 1, 0));
  };
  row_ = clamp_index(row_, rows_);
  row_sel_ = clamp_index(row_sel_, rows_);
  mouse_row_ = clamp_index(mouse_row_, rows_);
  col_ = clamp_index(col_, cols_);
  col_sel_ = clamp_index(col_sel_, cols_);
  mouse_col_ = clamp_index(mouse_col_, cols_);
  top_row_ = std::clamp(top_row_, fixed_rows_, std::max(fixed_rows_, rows_ - 1));
  left_col_ = std::clamp(left_col_, fixed_cols_, std::max(fixed_cols_, cols_ - 1));
}

// --- Current cell -------------------------------------------------------------------------

void FlexGrid::SetRow(int32_t r) {
  if (r < 0 || r >= rows_) throw InvalidRowValue(name());
  MoveCurrentCell(r, col_);
}

void FlexGrid::SetCol(int32_t c) {
  if (c < 0 || c >= cols_) throw InvalidColValue(name());
  MoveCurrentCell(row_, c);
}

void FlexGrid::MoveCurrentCell(int32_t r, int32_t c) {
  if (r == row_ && c == col_) return;
  Raise(on_leave_cell);
  // A LeaveCell handler may have resized the grid.
  r = std::clamp(r, 0, std::max(rows_ - 1, 0));
  c = std::clamp(c, 0, std::max(cols_ - 1, 0));
  row_ = row_sel_ = r;
  col_ = col_sel_ = c;
  Raise(on_enter_cell);
  Raise(on_row_col_change);
  Raise(on_sel_change);
}

void FlexGrid::SetRowSel(int32_t r) {
  if (r < 0 || r >= rows_) throw InvalidRowValue(name());
  if (r == row_sel_) return;
  row_sel_ = r;
  Raise(on_sel_change);
}

void FlexGrid::SetColSel(int32_t c) {
  if (c < 0 || c >= cols_) throw InvalidColValue(name());
  if (c == col_sel_) return;
  col_sel_ = c;
  Raise(on_sel_change);
}

// --- Texts --------------------------------------------------------------------------------

const std::string& FlexGrid::Text() const {
  return Current().text;
}

void FlexGrid::SetText(std::string text) {
  Current().text = std::move(text);
  Current().null = false;
}

const std::string& FlexGrid::TextMatrix(int32_t r, int32_t c) const {
  CheckRow(r);
  CheckCol(c);
  return At(r, c).text;
}

void FlexGrid::SetTextMatrix(int32_t r, int32_t c, std::string text) {
  CheckRow(r);
  CheckCol(c);
  At(r, c).text = std::move(text);
  At(r, c).null = false;
}

bool FlexGrid::CellIsNullAt(int32_t r, int32_t c) const {
  CheckRow(r);
  CheckCol(c);
  return At(r, c).null;
}

void FlexGrid::SetCellNullAt(int32_t r, int32_t c, bool null) {
  CheckRow(r);
  CheckCol(c);
  At(r, c).null = null;
}

void FlexGrid::Clear() {
  for (auto& row : cells_) {
    for (auto& cell : row) cell = Cell{};
  }
}

// --- Widths and heights -------------------------------------------------------------------

int32_t FlexGrid::ColWidth(int32_t c) const {
  CheckCol(c);
  return col_widths_[c] < 0 ? kDefaultColWidth : col_widths_[c];
}

void FlexGrid::SetColWidth(int32_t c, int32_t twips) {
  if (twips < -1) throw ComError::InvalidPropertyValue(name());
  if (c == -1) {
    std::fill(col_widths_.begin(), col_widths_.end(), twips);
    return;
  }
  CheckCol(c);
  col_widths_[c] = twips;
}

int32_t FlexGrid::RowHeight(int32_t r) const {
  CheckRow(r);
  int32_t h = row_heights_[r] < 0 ? LineHeight(font_.size) : row_heights_[r];
  return std::max(h, row_height_min_);
}

void FlexGrid::SetRowHeight(int32_t r, int32_t twips) {
  if (twips < -1) throw ComError::InvalidPropertyValue(name());
  if (r == -1) {
    std::fill(row_heights_.begin(), row_heights_.end(), twips);
    row_tops_.clear();
    return;
  }
  CheckRow(r);
  row_heights_[r] = twips;
  row_tops_.clear();
}

void FlexGrid::SetRowHeightMin(int32_t twips) {
  if (twips < 0) throw ComError::InvalidPropertyValue(name());
  row_height_min_ = twips;
  row_tops_.clear();
}

// --- Cell format --------------------------------------------------------------------------

int16_t FlexGrid::CellAlignment() const {
  return Current().alignment;
}

void FlexGrid::SetCellAlignment(int16_t a) {
  if (a < kAlignLeftTop || a > kAlignGeneral) {
    throw ComError::InvalidPropertyValue(name());
  }
  Current().alignment = a;
}

int32_t FlexGrid::CellBackColor() const {
  return Current().back_color;
}
void FlexGrid::SetCellBackColor(int32_t color) {
  Current().back_color = color;
}

bool FlexGrid::CellFontBold() const {
  return Current().bold.value_or(font_.bold);
}
void FlexGrid::SetCellFontBold(bool b) {
  Current().bold = b;
}

std::string FlexGrid::CellFontName() const {
  return Current().font_name.value_or(font_.name);
}
void FlexGrid::SetCellFontName(std::string name) {
  Current().font_name = std::move(name);
}

double FlexGrid::CellFontSize() const {
  return Current().font_size.value_or(font_.size);
}

void FlexGrid::SetCellFontSize(double size) {
  Cell& cell = Current();
  (void)LineHeight(size);  // refuses sizes no font can have
  if (size <= 0) throw ComError::InvalidPropertyValue(name());
  cell.font_size = size;
}

int16_t FlexGrid::CellAlignmentAt(int32_t r, int32_t c) const {
  CheckRow(r);
  CheckCol(c);
  return At(r, c).alignment;
}

int32_t FlexGrid::CellBackColorAt(int32_t r, int32_t c) const {
  CheckRow(r);
  CheckCol(c);
  return At(r, c).back_color;
}

bool FlexGrid::CellFontBoldAt(int32_t r, int32_t c) const {
  CheckRow(r);
  CheckCol(c);
  return At(r, c).bold.value_or(font_.bold);
}

void FlexGrid::SetFont(TextFont font) {
  (void)LineHeight(font.size);
  if (font.size <= 0) throw ComError::InvalidPropertyValue(name());
  font_ = std::move(font);
  row_tops_.clear();
}

// --- Geometry -----------------------------------------------------------------------------

int32_t FlexGrid::FixedWidth() const {
  int64_t w = 0;
  for (int32_t c = 0; c < fixed_cols_; ++c) w += ColWidth(c);
  return Clamp32(w);
}

int32_t FlexGrid::FixedHeight() const {
  return Clamp32(RowTops()[fixed_rows_]);
}

const std::vector<int64_t>& FlexGrid::RowTops() const {
  if (row_tops_.empty()) {
    row_tops_.resize(static_cast<size_t>(rows_) + 1);
    row_tops_[0] = 0;
    for (int32_t r = 0; r < rows_; ++r) row_tops_[r + 1] = row_tops_[r] + RowHeight(r);
  }
  return row_tops_;
}

int32_t FlexGrid::ColLeftOf(int32_t c) const {
  CheckCol(c);
  int64_t x = 0;
  if (c < fixed_cols_) {
    for (int32_t k = 0; k < c; ++k) x += ColWidth(k);
    return Clamp32(x);
  }
  x = FixedWidth();
  for (int32_t k = left_col_; k < c; ++k) x += ColWidth(k);
  for (int32_t k = c; k < left_col_; ++k) x -= ColWidth(k);
  return Clamp32(x);
}

int32_t FlexGrid::RowTopOf(int32_t r) const {
  CheckRow(r);
  const std::vector<int64_t>& tops = RowTops();
  if (r < fixed_rows_) return Clamp32(tops[r]);
  // Below the fixed rows from TopRow on; a row above TopRow gets a place above that edge.
  return Clamp32(tops[fixed_rows_] + tops[r] - tops[top_row_]);
}

int32_t FlexGrid::TopRow() const {
  return top_row_;
}
int32_t FlexGrid::LeftCol() const {
  return left_col_;
}

void FlexGrid::SetTopRow(int32_t r) {
  if (r < fixed_rows_ || r >= rows_) {
    throw InvalidRowValue(name());
  }
  ApplyScroll(r, left_col_);
}

void FlexGrid::SetLeftCol(int32_t c) {
  if (c < fixed_cols_ || c >= cols_) {
    throw InvalidColValue(name());
  }
  ApplyScroll(top_row_, c);
}

void FlexGrid::ApplyScroll(int32_t top, int32_t left) {
  if (top == top_row_ && left == left_col_) return;
  top_row_ = top;
  left_col_ = left;
  Raise(on_scroll);
}

bool FlexGrid::RowIsVisible(int32_t r) const {
  CheckRow(r);
  if (r >= fixed_rows_ && r < top_row_) return false;
  return RowTopOf(r) < height();
}

bool FlexGrid::ColIsVisible(int32_t c) const {
  CheckCol(c);
  if (c >= fixed_cols_ && c < left_col_) return false;
  return ColLeftOf(c) < width();
}

}  // namespace tabulo::platform
