// `tabulo serve` runs the browser display's program in its place (exec): the HTTP server
// library and the OpenSSL it initialises are mapped by that program alone, so every other
// command starts without them. Same process, same arguments, standard streams and signals.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "usage.h"

#ifndef TABULO_SERVE_PROGRAM_FROM_BINDIR
#define TABULO_SERVE_PROGRAM_FROM_BINDIR "../libexec/tabulo"
#endif

namespace tabulo::app {
namespace {

constexpr const char* kServeProgram = "tabulo-serve";

// Beside this program (a build tree), else in the installed program folder, found relative to
// this program's folder so that an installation under any prefix finds its own.
std::filesystem::path ServeProgramPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::path(kServeProgram);
  const std::filesystem::path folder = self.parent_path();
  std::filesystem::path beside = folder / kServeProgram;
  if (std::filesystem::exists(beside, ec)) return beside;
  return (folder / TABULO_SERVE_PROGRAM_FROM_BINDIR / kServeProgram).lexically_normal();
}

}  // namespace

int ServeCommand(const Args& args) {
  const std::string program = ServeProgramPath().string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::cout.flush();
  execv(program.c_str(), argv.data());
  const int error = errno;
  std::cerr << "tabulo serve: cannot run the browser display's program " << program << ": "
            << std::strerror(error) << "; reinstall the tabulo package (or build the "
            << kServeProgram << " target beside this program)\n";
  return kExitFailure;
}

}  // namespace tabulo::app
