// tabulo-serve: the `serve` command's program, run by `tabulo serve` in its place with the
// command's arguments (apps/tabulo/serve_program.cc). Not meant to be started by hand.
#include <csignal>

#include "commands.h"
#include "serve_command.h"

int main(int argc, char** argv) {
  // As in the container program: a write past the file size limit fails with EFBIG.
  std::signal(SIGXFSZ, SIG_IGN);
  return tabulo::app::ServeDisplayCommand(tabulo::app::Args(argv + 1, argv + argc));
}
