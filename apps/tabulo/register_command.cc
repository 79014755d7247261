// tabulo register / tabulo unregister: loads a component library and has it write its
// classes into, or remove them from, the registry file, as a registration tool does.
#include <iostream>
#include <string>

#include "commands.h"
#include "container/registration.h"
#include "container/registry.h"
#include "platform/values/com_error.h"
#include "usage.h"

#ifndef TABULO_DEFAULT_LIBRARY
#define TABULO_DEFAULT_LIBRARY "libtabulo.so"
#endif

namespace tabulo::app {
namespace {

int Registration(const Args& args, bool do_register) {
  const char* name = do_register ? "register" : "unregister";
  if (HelpAsked(name, args)) return 0;
  std::filesystem::path registry = container::DefaultRegistryPath();
  std::filesystem::path library_path = TABULO_DEFAULT_LIBRARY;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--registry" && i + 1 < args.size()) {
      registry = args[++i];
    } else if (args[i] == "--library" && i + 1 < args.size()) {
      library_path = args[++i];
    } else {
      return UsageError(name, "unexpected argument '" + args[i] + "'");
    }
  }
  try {
    const container::Registration done = container::Register(library_path, registry, do_register);
    if (!done.ok()) {
      std::cerr << "tabulo " << name << ": " << done.library.string() << " failed on "
                << registry.string() << " (0x" << std::hex << static_cast<uint32_t>(done.hr)
                << std::dec << ")\n";
      return 1;
    }
    // What the file says now about this library's classes.
    for (const std::string& line : done.classes) std::cout << line << "\n";
    const size_t count = done.classes.size();
    if (do_register) {
      std::cout << "registered " << count << " class(es) in " << registry.string() << "\n";
    } else {
      std::cout << "unregistered " << done.library.string() << " from " << registry.string()
                << "\n";
    }
    return 0;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo " << name << ": " << e.description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "tabulo " << name << ": " << e.what() << "\n";
    return 1;
  }
}

}  // namespace

int RegisterCommand(const Args& args) {
  return Registration(args, true);
}

int UnregisterCommand(const Args& args) {
  return Registration(args, false);
}

}  // namespace tabulo::app
