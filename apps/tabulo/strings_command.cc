// tabulo strings: prints the built-in string table in the three languages.
#include <iostream>

#include "commands.h"
#include "localization/string_table.h"

namespace tabulo::app {

int StringsCommand(const Args& args) {
  if (!args.empty()) {
    std::cerr << "usage: tabulo strings\n";
    return 2;
  }
  std::cout << localization::ListStringTable();
  return 0;
}

}  // namespace tabulo::app
