// DesignDesk: the design-time side of a hosting session — the property sheet of the current
// control and the modal dialogs its pages open — and the script commands a designer's session
// is written in: page, fill, choose, check, press, click WIDGET ROW COL, widget, items,
// selected, cell, apply, close, answer color|font, dblclick WIDGET, and get NAME.MEMBER.
// While a sheet or dialog is open, `show` renders it and `key` goes to its focused widget.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "container/property_sheet.h"
#include "container/session.h"
#include "platform/widgets/form.h"

namespace tabulo::container {

class CommandTable;
class ScriptRunner;

class DesignDesk {
 public:
  explicit DesignDesk(Session& session) : session_(session) {}
  ~DesignDesk();

  // The form the designer's commands address: the innermost open dialog, else the sheet's
  // current page; null when neither is open.
  platform::Form* form();
  bool sheet_open() const { return sheet_ != nullptr; }

  // Adds the designer's commands to `table`, wrapping click, key, answer, get, dblclick and
  // show. `render` draws the session's control, for `show` without a sheet.
  void AddCommands(CommandTable& table);

 private:
  void OpenPage(const std::string& name);
  // The widget of the addressed form; ScriptError for an unknown name or without a form.
  platform::Widget& FindWidget(const std::string& name, const std::string& command);
  void WatchModal(ScriptRunner* runner);

  Session& session_;
  std::unique_ptr<PropertySheet> sheet_;
  std::vector<platform::Form*> dialogs_;
};

}  // namespace tabulo::container
