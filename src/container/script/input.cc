// The input commands of `tabulo script`: click, dblclick, rclick, type and key.
#include "container/script/input.h"

#include <array>
#include <limits>

#include "container/script/error.h"
#include "container/script/runner.h"
#include "platform/widgets/key_codes.h"

namespace tabulo::container {
namespace {

using platform::VarType;

struct NamedKey {
  std::string_view name;
  int16_t code;
};

constexpr std::array<NamedKey, 13> kKeys{{
    {"Enter", platform::kKeyReturn},
    {"Tab", platform::kKeyTab},
    {"Escape", platform::kKeyEscape},
    {"Backspace", platform::kKeyBack},
    {"Delete", platform::kKeyDelete},
    {"Left", platform::kKeyLeft},
    {"Right", platform::kKeyRight},
    {"Up", platform::kKeyUp},
    {"Down", platform::kKeyDown},
    {"Home", platform::kKeyHome},
    {"End", platform::kKeyEnd},
    {"PageUp", platform::kKeyPageUp},
    {"PageDown", platform::kKeyPageDown},
}};

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

platform::FlexGrid& GridOf(CommandContext& c) {
  platform::FlexGrid* grid = c.host.grid();
  if (grid == nullptr) throw ScriptError(c.line.command + ": the control has no grid");
  return *grid;
}

void ClickCell(CommandContext& c, int16_t button, bool twice) {
  platform::FlexGrid& grid = GridOf(c);
  int32_t row = c.Integer(0);
  int32_t col = c.Integer(1);
  CheckCellOnScreen(grid, row, col, c.line.command);
  if (twice) {
    grid.UserDblClick(row, col);
  } else {
    grid.UserClick(row, col, button);
  }
}

// The text to type: a text value, or a number as it is written ("007" types 007).
std::string TypedText(CommandContext& c) {
  platform::Variant v = c.Value(0);
  switch (v.type()) {
    case VarType::String:
      return v.AsString();
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
    case VarType::Byte:
      return c.Arg(0);
    default:
      throw ScriptError("type takes a text, given " + c.Arg(0));
  }
}

void Type(CommandContext& c) {
  std::string text = TypedText(c);
  platform::TextBox* editor = c.host.editor();
  if (editor == nullptr || !EditorIsOpen(*editor)) throw ScriptError("no editor is open");
  ReplaceEditorText(*editor, text);
}

void Key(CommandContext& c) {
  std::optional<int16_t> code = KeyCodeByName(c.Arg(0));
  if (!code) {
    throw ScriptError("unknown key '" + c.Arg(0) + "' (known keys: " + KnownKeyNames() + ")");
  }
  SendKey(GridOf(c), c.host.editor(), *code);
}

}  // namespace

std::optional<int16_t> KeyCodeByName(std::string_view name) {
  for (const NamedKey& key : kKeys) {
    if (SameLetters(key.name, name)) return key.code;
  }
  return std::nullopt;
}

std::string KnownKeyNames() {
  std::string names;
  for (const NamedKey& key : kKeys) {
    if (!names.empty()) names += ", ";
    names += key.name;
  }
  return names;
}

bool EditorIsOpen(const platform::TextBox& editor) {
  return editor.visible() && editor.has_focus();
}

void ReplaceEditorText(platform::TextBox& editor, const std::string& text) {
  editor.set_sel_start(0);
  editor.set_sel_length(std::numeric_limits<int32_t>::max());
  if (text.empty()) {
    editor.PressKey(platform::kKeyDelete);
  } else {
    editor.TypeText(text);
  }
}

void CheckCellOnScreen(const platform::FlexGrid& grid, int32_t row, int32_t col,
                       std::string_view command) {
  std::string where = std::string(command) + " " + std::to_string(row) + " " + std::to_string(col);
  if (row < 0 || row >= grid.Rows() || col < 0 || col >= grid.Cols()) {
    throw ScriptError(where + ": the cell is outside the grid (rows 0 to " +
                      std::to_string(grid.Rows() - 1) + ", columns 0 to " +
                      std::to_string(grid.Cols() - 1) + ")");
  }
  if (!grid.visible() || !grid.RowIsVisible(row) || !grid.ColIsVisible(col) ||
      grid.RowHeight(row) == 0 || grid.ColWidth(col) == 0) {
    throw ScriptError(where + ": the cell is not on screen");
  }
}

void SendKey(platform::FlexGrid& grid, platform::TextBox* editor, int16_t key_code) {
  if (editor != nullptr && EditorIsOpen(*editor)) {
    editor->PressKey(key_code);
  } else {
    grid.UserKey(key_code);
  }
}

void AddInputCommands(CommandTable& table) {
  table.Add("click", {"click ROW COL", 2, 2, [](CommandContext& c) { ClickCell(c, 1, false); }});
  table.Add("rclick", {"rclick ROW COL", 2, 2, [](CommandContext& c) { ClickCell(c, 2, false); }});
  table.Add("dblclick",
            {"dblclick ROW COL", 2, 2, [](CommandContext& c) { ClickCell(c, 1, true); }});
  table.Add("type", {"type TEXT", 1, 1, Type});
  table.Add("key", {"key NAME", 1, 1, Key});
}

}  // namespace tabulo::container
