// One cell edit of `tabulo show --edit`, through the grid and editor input members.
#include "container/cell_edit.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "container/script/input.h"
#include "platform/values/com_error.h"
#include "platform/widgets/key_codes.h"

namespace tabulo::container {
namespace {

bool ParseIndex(std::string_view text, int32_t& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

[[noreturn]] void Fail(const CellEdit& edit, const std::string& why) {
  throw platform::ComError(
      5, "--edit " + std::to_string(edit.record) + "," + std::to_string(edit.column) + ": " + why);
}

// The grid row showing record `position` on screen, or 0.
int32_t RowOnScreen(const platform::FlexGrid& grid, int32_t position) {
  const std::string number = std::to_string(static_cast<int64_t>(position) + 1);
  for (int32_t r = grid.FixedRows(); r < grid.Rows(); ++r) {
    if (grid.TextMatrix(r, 0) == number) return grid.RowIsVisible(r) ? r : 0;
  }
  return 0;
}

}  // namespace

std::optional<CellEdit> ParseCellEdit(std::string_view text) {
  size_t comma = text.find(',');
  size_t equals = text.find('=');
  if (comma == std::string_view::npos || equals == std::string_view::npos || equals < comma) {
    return std::nullopt;
  }
  CellEdit edit;
  if (!ParseIndex(text.substr(0, comma), edit.record) ||
      !ParseIndex(text.substr(comma + 1, equals - comma - 1), edit.column)) {
    return std::nullopt;
  }
  edit.text = std::string(text.substr(equals + 1));
  return edit;
}

void EditCell(Session& session, control::TabuloCtl& ctl, const CellEdit& edit) {
  const int32_t records = ctl.NumberRows();
  if (edit.record >= records) {
    Fail(edit, "the result has " + std::to_string(records) + " records");
  }
  platform::FlexGrid& grid = ctl.Grid;
  const int32_t col = edit.column + 1;  // grid column 0 holds the record numbers
  if (col >= grid.Cols()) {
    Fail(edit, "the grid shows " + std::to_string(grid.Cols() - 1) + " data columns");
  }
  int32_t row = RowOnScreen(grid, edit.record);
  if (row == 0) {
    // As the operator does: drag the scroll bar to the record, then let the display catch up.
    ctl.ScrollBar.SetValue(std::min(edit.record, ctl.ScrollBar.Max()));
    session.Run(0);
    row = RowOnScreen(grid, edit.record);
    if (row == 0) Fail(edit, "the record does not come into the window");
  }
  if (!grid.ColIsVisible(col)) grid.ScrollTo(grid.TopRow(), col);
  grid.UserClick(row, col);
  if (!EditorIsOpen(ctl.txtEdit)) Fail(edit, "the cell opens no editor");
  // The new text is pasted over the editor's, whole: typed, a TAB or a line break in it would
  // be a key that ends the edit and cuts the value there, and those are legal characters of
  // a text column.
  ctl.txtEdit.set_sel_start(0);
  ctl.txtEdit.set_sel_length(std::numeric_limits<int32_t>::max());
  ctl.txtEdit.set_sel_text(edit.text);
  ctl.txtEdit.PressKey(platform::kKeyReturn);
  session.Run(0);
}

}  // namespace tabulo::container
