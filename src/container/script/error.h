// ScriptError: a fault of a `tabulo script` file itself (bad syntax, a bad value, an unknown
// command or member, a wrong argument count). It stops the script with exit status 2, unlike
// a ComError a member raises, which is printed as a result and the script goes on.
#pragma once

#include <stdexcept>
#include <string>

namespace tabulo::container {

class ScriptError : public std::runtime_error {
 public:
  // line 0: not known yet; the runner fills in the line it was running.
  explicit ScriptError(const std::string& message, int line = 0)
      : std::runtime_error(message), line_(line) {}

  int line() const { return line_; }

 private:
  int line_;
};

}  // namespace tabulo::container
