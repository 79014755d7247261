// The terminal of `tabulo browse`: ncursesw's screen, keyboard and mouse. It draws the
// control's text rendering with the operator's cursor and a line of key help, turns keys
// into the browse session's input and puts the display's questions to the operator as
// boxes on the screen. The only place that speaks curses.
#pragma once

#include <cwchar>
#include <optional>
#include <string>

#include "container/browse_session.h"
#include "container/operator_container.h"

namespace tabulo::app {

class Terminal : public container::Operator {
 public:
  // Takes the terminal over (full screen, no echo, keypad and mouse); the destructor gives
  // it back as it was, also after an exception.
  Terminal();
  ~Terminal() override;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // The size the control gets: the whole screen but the help line.
  int cols() const;
  int lines() const;

  // Runs the session until the operator quits with q (0) or an interrupt or hang-up
  // arrives (130).
  int Run(container::BrowseSession& browse);

  // The host configuration `e` exports through (empty: the embedded default).
  void SetHostConfig(std::string path) { host_config_ = std::move(path); }

  int AnswerMessageBox(const std::string& text, int32_t style, const std::string& title) override;
  std::optional<container::Signature> Sign(const container::SignatureRequest& request) override;
  int ChooseFromMenu(const std::vector<std::string>& captions) override;

 private:
  void Draw(container::BrowseSession& browse);
  // The popup menu opens with its top left corner here (screen line and column, kept inside
  // the screen), set just before the key or click that asks for it; centred when unset.
  void AnchorMenu(int line, int column);
  void AnchorMenuAtCursor(container::BrowseSession& browse);
  // Reading: NULLs dim as "∅" and the marked block underlined on the screen drawn; the
  // viewer of the cursor's whole value; the block (or cell) copied, through the terminal's
  // clipboard (OSC 52) where it takes it, else into a file the help line names.
  void MarkCells(container::BrowseSession& browse, int shown);
  void ShowValue(container::BrowseSession& browse);
  void Copy(container::BrowseSession& browse);
  // Whether a key is one of the reading keys (v, y, Shift+arrows); handles it.
  bool ReadingKey(container::BrowseSession& browse, int kind, wint_t ch);
  // A mouse event read: the wheel, a click on a cell or on a column's header.
  void Mouse(container::BrowseSession& browse);

  std::string note_;  // shown on the help line until the next key
  // Reading the result: `:` go to, `/` find, `n` / `N` again, `s` sort by the cursor's
  // column, `f` filter, `R` reset, `e` export to a file; a click on a header sorts. True when
  // `ch` was one.
  bool ViewKey(container::BrowseSession& browse, wint_t ch);
  // A line typed on the help line after `label`; nothing after Escape.
  std::optional<std::string> Prompt(const std::string& label);
  void ExportView(container::BrowseSession& browse);

  int menu_line_ = -1;
  int menu_column_ = -1;
  std::string host_config_;
};

}  // namespace tabulo::app
