// The manual pages and the bash completion of the container program, made from its usage
// table (usage.cc) at build time, so that they say what `tabulo COMMAND --help` says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo::app {

// An option of a command as its synopsis shows it, and what its value is.
struct OptionUsage {
  enum class Value { kNone, kFile, kChoice, kText };
  std::string name;                  // "--format"
  Value value = Value::kNone;        // kNone: a flag
  std::vector<std::string> choices;  // kChoice: "csv", "json"
};

// What the synopsis of `command` says about its arguments.
struct CommandUsage {
  std::string name;
  std::string summary;               // the description up to its first ':' or ';'
  bool file_operand = false;         // a PATH or FILE before the options (sample-db, script)
  std::vector<OptionUsage> options;  // in order of appearance, --help last
};

CommandUsage DescribeCommand(std::string_view command);

// The manual page (roff) of the program ("") or of one command; `version` goes in its footer.
std::string ManPage(std::string_view command, std::string_view version);

// A bash completion script for every command, option and option value.
std::string BashCompletion();

}  // namespace tabulo::app
