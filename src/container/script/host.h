// ScriptHost: what `tabulo script` drives. The container program implements it on top of
// the real control; tests implement it with a sample automation object.
//
// At the start of a script the host holds one new control (new-instance values) inside its
// container, in design mode, at its default size (9600 x 3600 twips).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "container/script/error.h"
#include "platform/automation/dispatch.h"
#include "platform/runtime/headless_container.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/text_box.h"

namespace tabulo::container {

class CommandTable;

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  // The current control's automation object: `let`, `get` and `call` reach its members.
  virtual platform::Dispatch& control() = 0;
  // The container every control of the session is hosted in: message boxes and their
  // answers, the event loop and its virtual clock, the ambient properties.
  virtual platform::HeadlessContainer& container() = 0;

  // Resizes the current control's extent, in twips (`size W H`).
  virtual void Size(int32_t width_twips, int32_t height_twips) = 0;
  // Switches the container's ambient UserMode (true: run mode), which every hosted control
  // is told about (`mode run|design`). By default HeadlessContainer::SetAmbientUserMode.
  virtual void SetMode(bool run) { container().SetAmbientUserMode(run); }
  // Sets the control's scroll bar to `value` as the operator would (`scroll N`).
  virtual void Scroll(int32_t value) = 0;
  // The control's text rendering (`show`); lines end in LF.
  virtual std::string Render() = 0;
  // The debug output written since the last call, each text as written (`debug`).
  virtual std::vector<std::string> TakeDebugOutput() = 0;

  // The widgets the operator's input reaches (`click`, `type`, `key`): the current control's
  // grid and its cell editor. None by default; the input commands then report that the
  // control has no such widget.
  virtual platform::FlexGrid* grid() { return nullptr; }
  virtual platform::TextBox* editor() { return nullptr; }

  // The session's controls, numbered from 1 in creation order. A host that holds one control
  // only keeps these defaults, which report that it has no such command.
  //
  // Creates a control as a designer places one (`new`), or from a saved file as opening a
  // display does (`load`); it becomes current. Both return its number.
  virtual int32_t NewControl() { throw NotHere("new"); }
  virtual int32_t LoadControl(const std::string& path) { throw NotHere("load " + path); }
  // Saves the current control to `path` (`save`).
  virtual void SaveControl(const std::string& path) { throw NotHere("save " + path); }
  virtual int32_t control_count() const { return 1; }
  // Makes control `number` (1..control_count()) current (`control N`).
  virtual void SelectControl(int32_t number) { throw NotHere("control " + std::to_string(number)); }
  // Terminates the current control; there is none until another is selected (`end`).
  virtual void EndControl() { throw NotHere("end"); }
  // The host's security manager, for `set NAME secmgr`.
  virtual std::shared_ptr<platform::Dispatch> SecurityManager() { throw NotHere("secmgr"); }
  // The host's language change, to every control (`language N`); the platform's
  // user-interface language is `ui-language N`, which needs no host.
  virtual void ChangeLanguage(int32_t lcid) { throw NotHere("language " + std::to_string(lcid)); }
  // Makes `server` the active server of `cluster` (`server-change`); unknown names raise
  // ScriptError.
  virtual void ChangeActiveServer(const std::string& cluster, const std::string& server) {
    throw NotHere("server-change " + cluster + " " + server);
  }

  // Adds the host's own commands to the runner's table, or replaces built-in ones (a
  // replacement may wrap the one it replaces; see CommandTable::Add). Called once, when a
  // runner is created for this host.
  virtual void AddCommands(CommandTable& table) { (void)table; }

 protected:
  static ScriptError NotHere(const std::string& what) {
    return ScriptError("this host does not support '" + what + "'");
  }
};

}  // namespace tabulo::container
