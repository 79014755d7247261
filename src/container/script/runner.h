// ScriptRunner: runs a `tabulo script` against a ScriptHost, command by command, from a
// table that the host may extend. Results go to `out`; a fault of the script stops it with
// "line N: ..." on `err` and exit status 2. A ComError raised by the host or a member is a
// result, not a fault: it prints "ERROR N: description" on `out` and the script goes on.
//
// Built-in commands: size W H, mode run|design, let NAME [ARGS] VALUE, get NAME [ARGS],
// call NAME [ARGS], tick MS, scroll N, answer N|sign USER PASSWORD REASON|cancel, messages,
// events, debug, show, and the operator's input: click, rclick, dblclick ROW COL, type TEXT,
// key NAME (input.h), and the session's commands: new, load FILE, save FILE, set NAME
// OBJECT, language N, ui-language N, server-change CLUSTER SERVER, control N, end, invoke
// DISPID [ARGS] (session_commands.cc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "container/script/events.h"
#include "container/script/host.h"
#include "container/script/parser.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/variant.h"

namespace tabulo::container {

// What a command's handler gets: the host, its line and the output, and readers for its
// arguments that raise ScriptError with a clear message.
class ScriptRunner;

struct CommandContext {
  ScriptHost& host;
  const ScriptLine& line;
  std::ostream& out;
  ScriptRunner* runner = nullptr;  // the runner of the line (for modal dialogs)

  const std::string& Arg(size_t i) const { return line.args.at(i); }
  // Argument i as a value of the script's value forms.
  platform::Variant Value(size_t i) const;
  // Argument i as a whole number (a Long, Integer or Byte value) within [min, max].
  int32_t Integer(size_t i, int32_t min = INT32_MIN, int32_t max = INT32_MAX) const;
  // The arguments from `first` on, as values.
  std::vector<platform::Variant> Values(size_t first) const;
  // The dispatch id of a member of the current control; an unknown name is a script fault.
  platform::DispId MemberId(std::string_view name) const;
};

using CommandHandler = std::function<void(CommandContext& context)>;

struct Command {
  std::string usage;  // "size W H", shown when the argument count is wrong
  int min_args = 0;
  int max_args = 0;  // kAnyCount: no upper bound
  CommandHandler run;

  static constexpr int kAnyCount = -1;
};

// Commands by name; names are matched without regard to case.
class CommandTable {
 public:
  // Adds `command`, or replaces the one of the same name and returns it (a command with an
  // empty handler when there was none), so that a replacement can hand cases back to it.
  Command Add(std::string name, Command command);
  const Command* Find(std::string_view name) const;
  std::vector<std::string> Names() const;

 private:
  std::map<std::string, Command> commands_;  // by lower-case name
};

class ScriptRunner {
 public:
  // Fills the table with the built-in commands, then lets the host add its own; connects
  // the event log to the host's control.
  ScriptRunner(ScriptHost& host, std::ostream& out, std::ostream& err);

  CommandTable& commands() { return commands_; }

  // Runs the script to its end. Returns 0; 2 after a fault of the script (reported on err);
  // 1 after an unexpected failure of the host that is no ComError (reported on err).
  int Run(std::istream& in);
  // Runs one line; raises ScriptError for a fault of the script.
  void RunLine(const ScriptLine& line);
  // A modal dialog's own message loop: runs the following lines of the script being run
  // until `closed` is true or the script ends. Returns whether it closed.
  bool RunNested(const std::function<bool()>& closed);
  // Called after every line that ran (`tabulo design` renders there).
  std::function<void(std::ostream& out)> after_line;

 private:
  void AddBuiltins();
  void AddSessionCommands();
  // Connects the event log to the control `number` the host just made current.
  void WatchNewControl(int32_t number);
  void PrintMessages(std::ostream& out);
  static void PrintDebug(const std::vector<std::string>& texts, std::ostream& out);

  ScriptHost& host_;
  std::ostream& out_;
  std::ostream& err_;
  CommandTable commands_;
  size_t messages_shown_ = 0;  // message boxes of the container already printed
  std::shared_ptr<EventLog> events_;
  ScriptReader* reader_ = nullptr;  // of the script being run
};

// A message box as `messages` prints it: MSGBOX style=N title="..." text="...".
std::string FormatMessageBox(const platform::MsgBoxRecord& box);

// `tabulo script FILE|-`: runs the file (or standard input for "-") against `host`. A file
// that cannot be read prints a message on `err` and returns 2.
int RunScriptFile(const std::string& path, ScriptHost& host, std::ostream& out, std::ostream& err);

}  // namespace tabulo::container
