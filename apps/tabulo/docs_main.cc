// tabulo-docs OUTDIR VERSION: writes the manual pages (OUTDIR/man1/tabulo.1 and
// tabulo-COMMAND.1) and the bash completion (OUTDIR/bash-completion/tabulo) at build time.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "docs.h"
#include "usage.h"

namespace {

bool Write(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) std::cerr << "tabulo-docs: cannot write " << path.string() << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tabulo-docs OUTDIR VERSION\n";
    return 2;
  }
  const std::filesystem::path out = argv[1];
  bool ok = Write(out / "man1" / "tabulo.1", tabulo::app::ManPage("", argv[2]));
  for (std::string_view command : tabulo::app::CommandNames())
    ok = Write(out / "man1" / ("tabulo-" + std::string(command) + ".1"),
               tabulo::app::ManPage(command, argv[2])) &&
         ok;
  ok = Write(out / "bash-completion" / "tabulo", tabulo::app::BashCompletion()) && ok;
  return ok ? 0 : 1;
}
