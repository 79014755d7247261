// tabulo strings: prints the built-in string table in the three languages.
#include <iostream>

#include "commands.h"
#include "localization/string_table.h"
#include "usage.h"

namespace tabulo::app {

int StringsCommand(const Args& args) {
  if (HelpAsked("strings", args)) return 0;
  if (!args.empty()) return UsageError("strings", "unexpected argument '" + args[0] + "'");
  std::cout << localization::ListStringTable();
  return 0;
}

}  // namespace tabulo::app
