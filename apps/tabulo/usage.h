// The usage texts of the container program and of each command, `--help`, and the one-line
// hint of a usage error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "commands.h"

namespace tabulo::app {

// Exit statuses: usage errors and failures.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The usage of `command` ("" the program's), lines ending in LF.
std::string UsageText(std::string_view command);
// The commands, in the order the program's usage lists them.
std::vector<std::string_view> CommandNames();
// When an argument is --help or -h, prints the command's usage on standard output and says so.
bool HelpAsked(std::string_view command, const Args& args);
// Prints "tabulo COMMAND: message" and a hint to --help on standard error; returns 2.
int UsageError(std::string_view command, const std::string& message);

}  // namespace tabulo::app
