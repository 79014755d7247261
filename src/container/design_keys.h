// DesignKeys: `tabulo design` at a terminal, without the terminal. Keys, by name, become the
// designer's operations (DesignDesk) on the open property sheet and its dialogs: Tab and
// Shift+Tab move the focus, Alt+letter is the access key, Space ticks or presses, Enter
// presses the focused button (in a dialog: else its OK), Escape cancels a dialog, typing
// edits the focused box, arrows choose in a list and move in a grid. Ctrl+PgDn / Ctrl+PgUp
// (F8 / F7) change the page, Ctrl+A applies, Ctrl+S applies and saves, Ctrl+Q (or Escape on
// the sheet) quits and asks to save what changed since the last save. The colour picker and
// the font chooser a button opens are asked at the foot line ("#RRGGBB"; "NAME SIZE [bold]
// [italic] [underline] [strikeout]").
#pragma once

#include <string>
#include <vector>

#include "container/session_script_host.h"

namespace tabulo::container {

class DesignKeys {
 public:
  // Opens the sheet on the session's current control at its first page.
  DesignKeys(Session& session, SessionScriptHost& host, std::string save_path);

  // One key: "Tab", "Shift+Tab", "Enter", "Escape", "Space", "Backspace", "Delete", the
  // arrows and Home/End/PageUp/PageDown (script/input.h names), "Alt+X", "Ctrl+A", "Ctrl+S",
  // "Ctrl+Q", "Ctrl+PgDn", "Ctrl+PgUp", "F7", "F8". A key that does not suit where the focus
  // is says why in note().
  void Key(const std::string& name);
  // Characters typed (no control characters).
  void Type(const std::string& text);

  // The tab line: the pages' captions, the shown one between "[" and "]" (ansi: reversed).
  std::string Tabs(bool ansi);
  // What the last key did or why it did nothing, for the foot of the screen; empty when
  // there is nothing to say.
  const std::string& note() const { return note_; }
  // The help for the foot of the screen while there is no note.
  std::string Help();
  // True once the designer has quit.
  bool done() const { return done_; }
  // Whether the control file was written in this session.
  bool saved() const { return saved_; }

 private:
  void Dispatch(const std::string& name);
  void TurnPage(int step);
  // Applies the sheet; false (and the message box's text in the note) when a page refused.
  bool ApplyAll();
  void Save();
  void Quit();
  bool Unsaved();
  // The chooser's line: typing, Backspace, Enter (the answer given to the key that asked
  // again) and Escape (no answer).
  void ChooserKey(const std::string& name);
  std::string ChooserPrompt() const;

  Session& session_;
  DesignDesk& desk_;
  std::string save_path_;
  std::string note_;
  bool asking_ = false;   // "save the changes?" is open
  bool applied_ = false;  // applied since the last save
  bool done_ = false, saved_ = false;
  std::string chooser_;      // the dialog asked at the foot line; empty when none
  std::string chooser_key_;  // the key that opened it
  std::string answer_;       // typed so far
};

}  // namespace tabulo::container
