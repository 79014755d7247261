// DesignDesk: the design-time side of a hosting session — the property sheet of the current
// control and the modal dialogs its pages open — and the script commands a designer's session
// is written in: page, fill, choose, check, press, click WIDGET ROW COL, widget, items,
// selected, cell, apply, close, answer color|font, dblclick WIDGET, and get NAME.MEMBER.
// While a sheet or dialog is open, `show` renders it and `key` goes to its focused widget.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "container/property_sheet.h"
#include "container/session.h"
#include "platform/runtime/headless_container.h"
#include "platform/widgets/form.h"

namespace tabulo::container {

class CommandTable;
class ScriptRunner;

// Runs a modal dialog's own message loop until `closed` says the dialog has gone.
using NestedLoop = std::function<void(const std::function<bool()>& closed)>;

// The font chooser's answer, as the designer gives it.
struct FontChoice {
  std::string name;
  double points = 0;
  bool bold = false, italic = false, underline = false, strikeout = false;
};

class DesignDesk {
 public:
  explicit DesignDesk(Session& session) : session_(session) {}
  ~DesignDesk();

  // The designer's operations, shared by the script commands and the browser's display.
  // Each raises ScriptError for a widget that is not there or not of the kind it suits.
  // While one runs, a modal dialog it opens is driven by `nested` (WatchModal).
  void WatchModal(NestedLoop nested);
  // Opens the sheet on the session's current control when it is not open, then shows the
  // page NAME (as clicking its tab does).
  void OpenPage(const std::string& name);
  void Fill(const std::string& widget, const std::string& text);
  void Choose(const std::string& widget, int32_t index);
  void Check(const std::string& widget, int16_t value);
  void Press(const std::string& widget);
  void ClickCell(const std::string& widget, int32_t row, int32_t col);
  // The key NAME (script/input.h) to the addressed form's focused text box, grid or list;
  // "Alt+X" goes to the widget whose access key X is (AccessKey); in a dialog Escape, Enter,
  // Tab and Shift+Tab are the dialog's (DialogKey).
  void Key(const std::string& name);
  // As Alt+`key`: presses the button, ticks the check box or focuses the widget whose caption
  // (or, without one, its label's) marks `key` as its access key.
  void AccessKey(const std::string& key);
  // Tab (`back`: Shift+Tab) on the addressed form: the focus goes round the widgets that take
  // it, in their order (labels, frames, hidden and disabled widgets are passed over).
  void MoveFocus(bool back);
  // Characters typed into the focused text box at its caret (an editable drop-down takes
  // them at its end); ScriptError when nothing that takes text has the focus.
  void Type(const std::string& text);
  // A double click on the entry `index` of the list `widget`.
  void DoubleClick(const std::string& widget, int32_t index);
  void Apply();
  void Close();
  PropertySheet* sheet() { return sheet_.get(); }

  // The colour picker's and the font chooser's answers, to queue before the click that
  // opens them (platform::HeadlessContainer::QueueDialogAnswer).
  static platform::DialogAnswer ColorAnswer(int32_t color);
  static platform::DialogAnswer FontAnswer(const FontChoice& font);

  // The form the designer's commands address: the innermost open dialog, else the sheet's
  // current page; null when neither is open.
  platform::Form* form();
  bool sheet_open() const { return sheet_ != nullptr; }

  // Adds the designer's commands to `table`, wrapping click, key, answer, get, dblclick and
  // show. `render` draws the session's control, for `show` without a sheet.
  void AddCommands(CommandTable& table);

 private:
  // The widget of the addressed form; ScriptError for an unknown name or without a form.
  platform::Widget& FindWidget(const std::string& name, const std::string& command);
  void WatchModal(ScriptRunner* runner);
  // In a dialog: Escape presses its Cancel, Enter the focused button or else its OK (but in a
  // multi-line box), Tab and Shift+Tab move the focus round its widgets. False for any other
  // key.
  bool DialogKey(platform::Form& dialog, const std::string& name);

  Session& session_;
  std::unique_ptr<PropertySheet> sheet_;
  std::vector<platform::Form*> dialogs_;
  NestedLoop nested_;
};

}  // namespace tabulo::container
