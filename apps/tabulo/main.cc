// tabulo: the container program that hosts TabuloCtl and runs the host components beside
// it. See README.md for the subcommands.
#include <csignal>
#include <iostream>
#include <string>

#include "commands.h"
#include "usage.h"

#ifndef TABULO_VERSION
#define TABULO_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  // A write past the file size limit (ulimit -f) fails with EFBIG, reported as a full disk,
  // instead of ending the program between a change and its audit records.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    std::cerr << tabulo::app::UsageText("");
    return tabulo::app::kExitUsage;
  }
  std::string command = argv[1];
  tabulo::app::Args args(argv + 2, argv + argc);
  if (command == "sample-db") return tabulo::app::SampleDbCommand(args);
  if (command == "strings") return tabulo::app::StringsCommand(args);
  if (command == "show") return tabulo::app::ShowCommand(args);
  if (command == "browse") return tabulo::app::BrowseCommand(args);
  if (command == "serve") return tabulo::app::ServeCommand(args);
  if (command == "script") return tabulo::app::ScriptCommand(args);
  if (command == "design") return tabulo::app::DesignCommand(args);
  if (command == "hash-password") return tabulo::app::HashPasswordCommand(args);
  if (command == "export") return tabulo::app::ExportCommand(args);
  if (command == "audit") return tabulo::app::AuditCommand(args);
  if (command == "register") return tabulo::app::RegisterCommand(args);
  if (command == "unregister") return tabulo::app::UnregisterCommand(args);
  if (command == "help" || command == "--help" || command == "-h") {
    std::cout << tabulo::app::UsageText("");
    return 0;
  }
  if (command == "--version" || command == "version") {
    std::cout << "tabulo " << TABULO_VERSION << "\n";
    return 0;
  }
  std::cerr << "tabulo: unknown command '" << command << "' (see 'tabulo --help')\n";
  return tabulo::app::kExitUsage;
}
