// The designer's keys at a terminal (design_keys.h).
#include "container/design_keys.h"

#include <cstdlib>
#include <optional>
#include <sstream>

#include "container/control_file.h"
#include "container/script/error.h"
#include "platform/runtime/container.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"

namespace tabulo::container {
namespace {

platform::FlexGrid* VisibleGrid(platform::Form& form) {
  for (platform::Widget* w : form.widgets())
    if (auto* grid = dynamic_cast<platform::FlexGrid*>(w); grid && grid->visible()) return grid;
  return nullptr;
}

// A cell editor that closed (the column page's box or list over its grid) gives the focus
// back to the grid, so the arrows go on moving through the cells.
void RefocusGrid(platform::Form& form) {
  platform::Widget* focused = form.focused();
  if (focused && focused->visible()) return;
  if (platform::FlexGrid* grid = VisibleGrid(form)) grid->SetFocus();
}

}  // namespace

DesignKeys::DesignKeys(Session& session, SessionScriptHost& host, std::string save_path)
    : session_(session), desk_(host.desk()), save_path_(std::move(save_path)) {
  desk_.OpenPage("UsrControlProperties");
  desk_.OpenPage(desk_.sheet()->page(0).ClassName());
}

std::string DesignKeys::Help() {
  platform::Form* form = desk_.form();
  if (form && form != desk_.sheet()->current())
    return "Tab  Alt+key  Space  Enter OK  Escape Cancel";
  return "Tab  Alt+key  Space  Enter  Ctrl+PgDn/PgUp (F8/F7) page  Ctrl+A apply  Ctrl+S save  "
         "Ctrl+Q quit";
}

std::string DesignKeys::Tabs(bool ansi) {
  PropertySheet* sheet = desk_.sheet();
  std::string out;
  for (size_t i = 0; sheet && i < sheet->page_count(); ++i) {
    platform::PropertyPage& page = sheet->page(i);
    const bool shown = &page == sheet->current();
    out += shown ? (ansi ? "\x1b[0;7m[" : "[") : " ";
    out += page.caption();
    out += shown ? (ansi ? "]\x1b[0m" : "]") : " ";
  }
  return out;
}

void DesignKeys::Key(const std::string& name) {
  if (!chooser_.empty()) return ChooserKey(name);
  note_.clear();
  const size_t boxes = session_.container().message_boxes().size();
  const size_t dialogs = session_.container().dialogs().size();
  try {
    Dispatch(name);
  } catch (const ScriptError& e) {
    note_ = e.what();
  } catch (const platform::ComError& e) {
    note_ = e.description();
  }
  const auto& shown = session_.container().message_boxes();
  // A message box the pages raised (a refused Apply, a width out of range) is said here.
  if (shown.size() > boxes) note_ = shown.back().text;
  if (platform::Form* f = desk_.form()) RefocusGrid(*f);
  // A chooser nobody answered was cancelled: it is asked at the foot line, and the key that
  // opened it runs again with the answer.
  const auto& asked = session_.container().dialogs();
  if (asked.size() > dialogs && asked.back().cancelled &&
      (asked.back().dialog == platform::kDialogColor ||
       asked.back().dialog == platform::kDialogChooseFontW)) {
    chooser_ = asked.back().dialog;
    chooser_key_ = name;
    answer_.clear();
    note_ = ChooserPrompt();
  }
}

std::string DesignKeys::ChooserPrompt() const {
  return (chooser_ == platform::kDialogColor
              ? "Colour (#RRGGBB or a number; Enter chooses, Escape cancels): "
              : "Font (NAME SIZE [bold] [italic] [underline] [strikeout]; Enter chooses, "
                "Escape cancels): ") +
         answer_;
}

void DesignKeys::ChooserKey(const std::string& name) {
  if (name == "Escape") {
    chooser_.clear();
    note_ = "Nothing chosen.";
    return;
  }
  if (name == "Space") answer_ += ' ';
  if (name == "Backspace" && !answer_.empty()) {
    do answer_.pop_back();
    while (!answer_.empty() && (static_cast<unsigned char>(answer_.back()) & 0xC0) == 0x80);
  }
  if (name != "Enter") {
    note_ = ChooserPrompt();
    return;
  }
  std::optional<platform::DialogAnswer> answer;
  if (chooser_ == platform::kDialogColor) {
    // "#RRGGBB" is stored as the colour value 0x00BBGGRR.
    char* end = nullptr;
    if (answer_.size() == 7 && answer_[0] == '#') {
      const long rgb = std::strtol(answer_.c_str() + 1, &end, 16);
      if (*end == '\0')
        answer = DesignDesk::ColorAnswer(
            static_cast<int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16)));
    } else if (!answer_.empty()) {
      const long value = std::strtol(answer_.c_str(), &end, 10);
      if (*end == '\0' && value >= 0 && value <= 0xFFFFFF)
        answer = DesignDesk::ColorAnswer(static_cast<int32_t>(value));
    }
  } else {
    // Styles last, the size before them, the name (blanks and all) before that.
    std::istringstream words(answer_);
    std::vector<std::string> parts;
    for (std::string w; words >> w;) parts.push_back(w);
    FontChoice font;
    while (!parts.empty()) {
      const std::string style = platform::LCase(parts.back());
      bool* flag = style == "bold"        ? &font.bold
                   : style == "italic"    ? &font.italic
                   : style == "underline" ? &font.underline
                   : style == "strikeout" ? &font.strikeout
                                          : nullptr;
      if (!flag) break;
      *flag = true;
      parts.pop_back();
    }
    char* end = nullptr;
    if (parts.size() >= 2) font.points = std::strtod(parts.back().c_str(), &end);
    if (end && *end == '\0' && font.points > 0 && font.points <= 1638) {
      parts.pop_back();
      for (const std::string& w : parts) font.name += (font.name.empty() ? "" : " ") + w;
      answer = DesignDesk::FontAnswer(font);
    }
  }
  if (!answer) {
    note_ = "Not understood: " + ChooserPrompt();
    return;
  }
  session_.container().QueueDialogAnswer(*answer);
  chooser_.clear();
  Key(chooser_key_);
}

void DesignKeys::Type(const std::string& text) {
  if (!chooser_.empty()) {
    answer_ += text;
    note_ = ChooserPrompt();
    return;
  }
  if (asking_) {
    if (text == "y" || text == "Y") {
      asking_ = false;
      Save();
      if (!Unsaved()) done_ = true;
    } else if (text == "n" || text == "N") {
      done_ = true;
    }
    return;
  }
  note_.clear();
  try {
    desk_.Type(text);
  } catch (const ScriptError& e) {
    note_ = e.what();
  }
}

void DesignKeys::Dispatch(const std::string& name) {
  if (asking_) {
    if (name == "Escape") asking_ = false;
    return;
  }
  platform::Form* form = desk_.form();
  const bool dialog = form && desk_.sheet() && form != desk_.sheet()->current();
  const bool sheet_key = name == "Ctrl+PgDn" || name == "F8" || name == "Ctrl+PgUp" ||
                         name == "F7" || name == "Ctrl+A" || name == "Ctrl+S" || name == "Ctrl+Q";
  if (dialog && sheet_key)
    throw ScriptError(form->caption() + " is open: Enter is its OK, Escape its Cancel");
  if (name == "Ctrl+PgDn" || name == "F8") return TurnPage(1);
  if (name == "Ctrl+PgUp" || name == "F7") return TurnPage(-1);
  if (name == "Ctrl+A") {
    if (ApplyAll()) note_ = "Applied.";
    return;
  }
  if (name == "Ctrl+S") return Save();
  if (name == "Ctrl+Q" || (name == "Escape" && !dialog)) return Quit();
  if (!form) return;
  platform::Widget* focused = form->focused();
  if (name.starts_with("Alt+")) return desk_.Key(name);
  if (!dialog && (name == "Tab" || name == "Shift+Tab")) {
    // A box sees its Tab (the column page's cell editor keeps what was typed) before the
    // focus moves on.
    if (dynamic_cast<platform::TextBox*>(focused)) desk_.Key(name);
    RefocusGrid(*form);
    return desk_.MoveFocus(name == "Shift+Tab");
  }
  if (name == "Space") {
    if (auto* check = dynamic_cast<platform::CheckBox*>(focused))
      return desk_.Check(check->name(), check->value() == platform::kChecked ? 0 : 1);
    if (dynamic_cast<platform::CommandButton*>(focused)) return desk_.Press(focused->name());
    return desk_.Type(" ");
  }
  if (name == "Enter" && !dialog) {
    if (dynamic_cast<platform::CommandButton*>(focused)) return desk_.Press(focused->name());
    if (auto* grid = dynamic_cast<platform::FlexGrid*>(focused))
      return desk_.ClickCell(grid->name(), grid->Row(), grid->Col());
    auto* list = dynamic_cast<platform::ListBox*>(focused);
    if (list && !dynamic_cast<platform::ComboBox*>(list)) {
      if (list->list_index() >= 0) desk_.DoubleClick(list->name(), list->list_index());
      return;
    }
  }
  // Up and Down in a cell editor leave it for the cell above or below.
  auto* box = dynamic_cast<platform::TextBox*>(focused);
  if (!dialog && box && !box->multi_line() && (name == "Up" || name == "Down")) {
    if (platform::FlexGrid* grid = VisibleGrid(*form)) {
      grid->SetFocus();
      return desk_.Key(name);
    }
  }
  desk_.Key(name);
}

void DesignKeys::TurnPage(int step) {
  PropertySheet* sheet = desk_.sheet();
  const size_t n = sheet->page_count();
  size_t at = 0;
  while (at < n && &sheet->page(at) != sheet->current()) ++at;
  const size_t to = (at + n + static_cast<size_t>(step + static_cast<int>(n))) % n;
  desk_.OpenPage(sheet->page(to).ClassName());
}

bool DesignKeys::ApplyAll() {
  const size_t boxes = session_.container().message_boxes().size();
  desk_.Apply();
  if (session_.container().message_boxes().size() > boxes) return false;
  applied_ = true;
  return true;
}

bool DesignKeys::Unsaved() {
  PropertySheet* sheet = desk_.sheet();
  for (size_t i = 0; sheet && i < sheet->page_count(); ++i)
    if (sheet->page(i).Changed()) return true;
  return applied_;
}

void DesignKeys::Save() {
  if (!ApplyAll()) return;
  try {
    SaveControlFile(session_.current(), save_path_);
  } catch (const platform::ComError& e) {
    note_ = "Not saved: " + e.description();
    applied_ = true;
    return;
  }
  applied_ = false;
  saved_ = true;
  note_ = "Saved to " + save_path_;
}

void DesignKeys::Quit() {
  if (!Unsaved()) {
    done_ = true;
    return;
  }
  asking_ = true;
  note_ = "Save the changes to " + save_path_ + "? y saves and quits, n quits without saving, " +
          "Escape goes back";
}

}  // namespace tabulo::container
