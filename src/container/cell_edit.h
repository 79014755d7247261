// One operator's edit of a cell for `tabulo show --edit`: bring the record into the window,
// click the cell, paste the new text over the editor's and press Enter, as an operator at the
// display does, so that the control commits it with its own UPDATE. The text is written
// whole, whatever characters it holds (TAB, CR, LF and other control characters included).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "container/session.h"
#include "control/tabulo_ctl.h"

namespace tabulo::container {

struct CellEdit {
  int32_t record = 0;  // 0-based position in the result
  int32_t column = 0;  // 0-based among the visible data columns
  std::string text;
};

// "ROW,COL=TEXT" (TEXT may be empty or hold '=' and ','); nothing when malformed.
std::optional<CellEdit> ParseCellEdit(std::string_view text);

// Performs the edit on the session's control. Raises platform::ComError with a description
// when the record or column does not exist or the cell opens no editor.
void EditCell(Session& session, control::TabuloCtl& ctl, const CellEdit& edit);

}  // namespace tabulo::container
