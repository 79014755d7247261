// tabulo strings: prints the built-in string table in the three languages.
#include <iostream>

#include "commands.h"
#include "container/command_support.h"
#include "usage.h"

namespace tabulo::app {

int StringsCommand(const Args& args) {
  if (HelpAsked("strings", args)) return 0;
  if (!args.empty()) return UsageError("strings", "unexpected argument '" + args[0] + "'");
  std::cout << container::StringTableListing();
  return 0;
}

}  // namespace tabulo::app
