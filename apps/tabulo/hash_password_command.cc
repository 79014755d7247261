// tabulo hash-password: reads a password from standard input and prints its hash line for
// the "password_hash" of a user in the host configuration.
#include <charconv>
#include <iostream>
#include <string>

#include "commands.h"
#include "container/command_support.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {

int HashPasswordCommand(const Args& args) {
  if (HelpAsked("hash-password", args)) return 0;
  int iterations = container::kDefaultPasswordIterations;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--iterations" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), iterations);
      if (v.empty() || ec != std::errc() || end != v.data() + v.size() ||
          iterations < container::kMinPasswordIterations ||
          iterations > container::kMaxPasswordIterations) {
        return UsageError("hash-password", "--iterations takes " +
                                               std::to_string(container::kMinPasswordIterations) +
                                               " to " +
                                               std::to_string(container::kMaxPasswordIterations));
      }
    } else {
      return UsageError("hash-password", "unexpected argument '" + args[i] + "'");
    }
  }
  if (iterations < container::kDefaultPasswordIterations)
    std::cerr << "tabulo hash-password: warning: " << iterations
              << " iterations are below the default " << container::kDefaultPasswordIterations
              << "; use such a hash in test configurations only\n";
  // The first line is the password; its line end is not part of it.
  std::string password;
  if (!std::getline(std::cin, password) && password.empty()) {
    std::cerr << "tabulo hash-password: no password on standard input\n";
    return 1;
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) {
    std::cerr << "tabulo hash-password: the password is empty\n";
    return 1;
  }
  try {
    std::cout << container::HashPassword(password, iterations) << "\n";
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo hash-password: " << e.description() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace tabulo::app
