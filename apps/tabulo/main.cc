// tabulo: the container program that hosts TabuloCtl. Subcommands are added as the
// control grows; see README.md.
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: tabulo COMMAND [ARGS]\n";
    return 2;
  }
  std::cerr << "tabulo: unknown command '" << argv[1] << "'\n";
  return 2;
}
