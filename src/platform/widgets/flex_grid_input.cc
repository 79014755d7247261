// FlexGrid: user input — the mouse, the keyboard and scrolling — with the grid's event order.
#include "platform/widgets/flex_grid.h"

#include <algorithm>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

// The character a key produces on a US keyboard, or 0 for keys that produce none.
int16_t CharForKey(int16_t key, int16_t shift) {
  if (shift & kAltMask) return 0;
  bool shifted = (shift & kShiftMask) != 0;
  bool ctrl = (shift & kCtrlMask) != 0;
  if (key >= 'A' && key <= 'Z') {
    if (ctrl) return static_cast<int16_t>(key - 'A' + 1);
    return shifted ? key : static_cast<int16_t>(key + 32);
  }
  if (ctrl) return 0;
  if (key >= '0' && key <= '9') return shifted ? 0 : key;
  if (key >= 96 && key <= 105) return static_cast<int16_t>('0' + key - 96);  // number pad
  switch (key) {
    case 8:   // Backspace
    case 9:   // Tab
    case 13:  // Enter
    case 27:  // Escape
    case 32:  // Space
      return key;
    case 106:
      return '*';
    case 107:
      return '+';
    case 109:
      return '-';
    case 110:
      return '.';
    case 111:
      return '/';
    case 188:
      return shifted ? '<' : ',';
    case 189:
      return shifted ? '_' : '-';
    case 190:
      return shifted ? '>' : '.';
    default:
      return 0;
  }
}

// Finds the index in `order` whose span contains `pos`; clamps to the ends when asked.
template <typename SizeOf>
bool Locate(const std::vector<int32_t>& order, double pos, bool clamp, SizeOf size_of,
            int32_t* out) {
  if (order.empty()) return false;
  double edge = 0;
  if (pos < 0) {
    if (clamp) *out = order.front();
    return false;
  }
  for (int32_t k : order) {
    double next = edge + size_of(k);
    if (pos < next) {
      *out = k;
      return true;
    }
    edge = next;
  }
  if (clamp) *out = order.back();
  return false;
}

}  // namespace

bool FlexGrid::HitTest(float x, float y, bool clamp, int32_t* r, int32_t* c) const {
  // Visual order: the fixed rows/cols, then the scrolled part from TopRow/LeftCol.
  std::vector<int32_t> rows, cols;
  for (int32_t k = 0; k < fixed_rows_; ++k) rows.push_back(k);
  for (int32_t k = top_row_; k < rows_; ++k) rows.push_back(k);
  for (int32_t k = 0; k < fixed_cols_; ++k) cols.push_back(k);
  for (int32_t k = left_col_; k < cols_; ++k) cols.push_back(k);
  bool in_row = Locate(
      rows, y, clamp, [this](int32_t k) { return RowHeight(k); }, r);
  bool in_col = Locate(
      cols, x, clamp, [this](int32_t k) { return ColWidth(k); }, c);
  return in_row && in_col;
}

void FlexGrid::MouseMoveTo(float x, float y, int16_t button, int16_t shift) {
  if (!enabled()) return;
  mouse_x_ = x;
  mouse_y_ = y;
  mouse_seen_ = true;
  HitTest(x, y, true, &mouse_row_, &mouse_col_);
  if (on_mouse_move) on_mouse_move(button, shift, x, y);
}

void FlexGrid::UserMouseDown(float x, float y, int16_t button, int16_t shift) {
  if (!enabled()) return;
  mouse_x_ = x;
  mouse_y_ = y;
  mouse_seen_ = true;
  HitTest(x, y, true, &mouse_row_, &mouse_col_);
  if (button == 1 && !has_focus()) SetFocus();
  pressed_button_ = button;
  int16_t b = button, s = shift;
  float ex = x, ey = y;
  if (on_mouse_down) on_mouse_down(b, s, ex, ey);
  int32_t r = 0, c = 0;
  bool inside = x < width() && y < height();
  if (button == 1 && inside && HitTest(x, y, false, &r, &c) && r >= fixed_rows_ &&
      c >= fixed_cols_) {
    MoveCurrentCell(r, c);
  }
}

void FlexGrid::UserMouseUp(float x, float y, int16_t button, int16_t shift) {
  if (!enabled()) return;
  mouse_x_ = x;
  mouse_y_ = y;
  mouse_seen_ = true;
  HitTest(x, y, true, &mouse_row_, &mouse_col_);
  bool was_pressed = pressed_button_ == button;
  pressed_button_ = 0;
  int16_t b = button, s = shift;
  float ex = x, ey = y;
  if (on_mouse_up) on_mouse_up(b, s, ex, ey);
  if (was_pressed && button == 1) Raise(on_click);
}

void FlexGrid::CellCentre(int32_t row, int32_t col, float* x, float* y) const {
  CheckRow(row);
  CheckCol(col);
  if (!RowIsVisible(row) || !ColIsVisible(col) || RowHeight(row) == 0 || ColWidth(col) == 0) {
    throw GridSubscriptError(name());
  }
  // The middle of the part of the cell inside the grid.
  double left = ColLeftOf(col), top = RowTopOf(row);
  double right = std::min<double>(left + ColWidth(col), width());
  double bottom = std::min<double>(top + RowHeight(row), height());
  *x = static_cast<float>((left + right) / 2);
  *y = static_cast<float>((top + bottom) / 2);
}

void FlexGrid::UserClick(int32_t row, int32_t col, int16_t button, int16_t shift) {
  float x = 0, y = 0;
  CellCentre(row, col, &x, &y);
  UserClickAt(x, y, button, shift);
}

void FlexGrid::UserDblClick(int32_t row, int32_t col) {
  float x = 0, y = 0;
  CellCentre(row, col, &x, &y);
  UserDblClickAt(x, y);
}

void FlexGrid::UserClickAt(float x, float y, int16_t button, int16_t shift) {
  if (!enabled()) return;
  if (!mouse_seen_ || x != mouse_x_ || y != mouse_y_) MouseMoveTo(x, y, 0, shift);
  UserMouseDown(x, y, button, shift);
  UserMouseUp(x, y, button, shift);
}

void FlexGrid::UserDblClickAt(float x, float y) {
  if (!enabled()) return;
  UserClickAt(x, y, 1, 0);
  Raise(on_dbl_click);
  int16_t b = 1, s = 0;
  float ex = x, ey = y;
  if (on_mouse_up) on_mouse_up(b, s, ex, ey);
}

void FlexGrid::UserKey(int16_t key_code, int16_t shift) {
  if (!enabled()) return;
  int16_t kc = key_code, sh = shift;
  if (on_key_down) on_key_down(kc, sh);
  if (kc != 0) NavigateByKey(kc, sh);
  int16_t ascii = CharForKey(key_code, shift);
  if (ascii != 0 && on_key_press) on_key_press(ascii);
  int16_t up_kc = key_code, up_sh = shift;
  if (on_key_up) on_key_up(up_kc, up_sh);
}

void FlexGrid::NavigateByKey(int16_t key, int16_t shift) {
  if (rows_ <= fixed_rows_ || cols_ <= fixed_cols_) return;  // no cell to move to
  const int32_t first_r = fixed_rows_, last_r = rows_ - 1;
  const int32_t first_c = fixed_cols_, last_c = cols_ - 1;
  const bool ctrl = (shift & kCtrlMask) != 0;
  int32_t r = row_, c = col_;
  // Rows fully in view below the fixed rows: the distance of a page move.
  auto page = [&] {
    int64_t y = FixedHeight();
    int32_t n = 0;
    for (int32_t k = top_row_; k < rows_; ++k) {
      y += RowHeight(k);
      if (y > height()) break;
      ++n;
    }
    return std::max(n, 1);
  };
  switch (key) {
    case kKeyLeft:
      --c;
      break;
    case kKeyRight:
      ++c;
      break;
    case kKeyUp:
      --r;
      break;
    case kKeyDown:
      ++r;
      break;
    case kKeyTab:
      c += (shift & kShiftMask) ? -1 : 1;
      break;
    case kKeyHome:
      c = first_c;
      if (ctrl) r = first_r;
      break;
    case kKeyEnd:
      c = last_c;
      if (ctrl) r = last_r;
      break;
    case kKeyPageDown:
      r += page();
      break;
    case kKeyPageUp:
      r -= page();
      break;
    default:
      return;
  }
  r = std::clamp(r, first_r, last_r);
  c = std::clamp(c, first_c, last_c);
  MoveCurrentCell(r, c);
  ScrollIntoView(row_, col_);
}

void FlexGrid::ScrollIntoView(int32_t r, int32_t c) {
  if (width() <= 0 || height() <= 0) return;  // not laid out: nothing is in view anyway
  int32_t top = top_row_, left = left_col_;
  if (r >= fixed_rows_ && r < rows_) {
    if (r < top) top = r;
    auto bottom_of = [&](int32_t from) {
      int64_t y = FixedHeight();
      for (int32_t k = from; k <= r; ++k) y += RowHeight(k);
      return y;
    };
    while (top < r && bottom_of(top) > height()) ++top;
  }
  if (c >= fixed_cols_ && c < cols_) {
    if (c < left) left = c;
    auto right_of = [&](int32_t from) {
      int64_t x = FixedWidth();
      for (int32_t k = from; k <= c; ++k) x += ColWidth(k);
      return x;
    };
    while (left < c && right_of(left) > width()) ++left;
  }
  ApplyScroll(top, left);
}

void FlexGrid::ScrollTo(int32_t top_row, int32_t left_col) {
  if (top_row < fixed_rows_ || top_row >= rows_) {
    throw InvalidRowValue(name());
  }
  if (left_col < fixed_cols_ || left_col >= cols_) {
    throw InvalidColValue(name());
  }
  if (!enabled()) return;
  ApplyScroll(top_row, left_col);
}

}  // namespace tabulo::platform
