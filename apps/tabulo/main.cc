// tabulo: the container program that hosts TabuloCtl and runs the host components beside
// it. See README.md for the subcommands.
#include <iostream>
#include <string>

#include "commands.h"

namespace {

void Usage(std::ostream& out) {
  out << "usage: tabulo COMMAND [ARGS]\n"
         "commands:\n"
         "  sample-db PATH [--rows N]   write the deterministic sample database\n"
         "  strings                     print the built-in string table (1031, 1033, 1036)\n"
         "  show --db PATH --sql SELECT [--at N] [--size COLSxROWS] [--ui-lang N]\n"
         "       [--locale L] [--host CONFIG]   show one control in run mode\n"
         "       [--edit ROW,COL=TEXT]... [--answer yes|no|sign U P R|cancel]...\n"
         "       [--table NAME] [--log-event]\n"
         "                                      edit cells as an operator first\n"
         "  browse --db PATH --sql SELECT [--load FILE] [--ui-lang N] [--locale L]\n"
         "       [--host CONFIG]                 browse one control at the terminal\n"
         "  script FILE|- [--host CONFIG] [--locale L] [--ui-lang N]   replay a session\n"
         "  hash-password [--iterations N]   hash the password read from standard input\n"
         "  audit [--host CONFIG]       list the operator events of the audit database\n"
         "  register [--registry FILE] [--library PATH]     register libtabulo.so's classes\n"
         "  unregister [--registry FILE] [--library PATH]   remove them from the registry\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(std::cerr);
    return 2;
  }
  std::string command = argv[1];
  tabulo::app::Args args(argv + 2, argv + argc);
  if (command == "sample-db") return tabulo::app::SampleDbCommand(args);
  if (command == "strings") return tabulo::app::StringsCommand(args);
  if (command == "show") return tabulo::app::ShowCommand(args);
  if (command == "browse") return tabulo::app::BrowseCommand(args);
  if (command == "script") return tabulo::app::ScriptCommand(args);
  if (command == "hash-password") return tabulo::app::HashPasswordCommand(args);
  if (command == "audit") return tabulo::app::AuditCommand(args);
  if (command == "register") return tabulo::app::RegisterCommand(args);
  if (command == "unregister") return tabulo::app::UnregisterCommand(args);
  if (command == "help" || command == "--help" || command == "-h") {
    Usage(std::cout);
    return 0;
  }
  std::cerr << "tabulo: unknown command '" << command << "'\n";
  Usage(std::cerr);
  return 2;
}
