// tabulo strings: prints the built-in string table in the three languages.
#include <iostream>

#include "commands.h"

namespace tabulo::app {

int StringsCommand(const Args&) {
  std::cerr << "tabulo strings: the string table is not built yet\n";
  return 1;
}

}  // namespace tabulo::app
