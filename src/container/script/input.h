// The operator's input for `tabulo script` and `tabulo show --edit`: clicks on the grid's
// cells, typing into the cell editor and named keys to the widget that has the focus. Each
// goes through the widgets' own input members, so the events come in the order a real
// mouse or keyboard raises them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/widgets/flex_grid.h"
#include "platform/widgets/text_box.h"

namespace tabulo::container {

class CommandTable;

// The virtual key code of a key name (Enter, Tab, Escape, Backspace, Delete, Left, Right,
// Up, Down, Home, End, PageUp, PageDown; any case); nothing for an unknown name.
std::optional<int16_t> KeyCodeByName(std::string_view name);
// The known key names, comma-separated, for messages.
std::string KnownKeyNames();

// Whether the editor takes typing: shown and holding the focus.
bool EditorIsOpen(const platform::TextBox& editor);

// Replaces the editor's whole text as an operator does: selects all, then types `text`
// (an empty text is the Delete key on the selection).
void ReplaceEditorText(platform::TextBox& editor, const std::string& text);

// Raises ScriptError (naming `command`) unless grid cell (row, col) exists and is on
// screen, where a mouse can reach it.
void CheckCellOnScreen(const platform::FlexGrid& grid, int32_t row, int32_t col,
                       std::string_view command);

// A key to the widget with the focus: the editor when it is open, otherwise the grid
// (which navigates with it).
void SendKey(platform::FlexGrid& grid, platform::TextBox* editor, int16_t key_code);

// Adds click, dblclick, rclick, type and key.
void AddInputCommands(CommandTable& table);

}  // namespace tabulo::container
