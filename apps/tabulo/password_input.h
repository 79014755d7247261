// Passwords for the command line without putting them on it: read line by line from a file,
// or asked for on the terminal without echo (piped standard input gives one line each).
#pragma once

#include <fstream>
#include <optional>
#include <string>

namespace tabulo::app {

class PasswordInput {
 public:
  // Empty `file`: standard input. Check ok() before use.
  explicit PasswordInput(const std::string& file);
  bool ok() const { return !file_path_.empty() ? file_.is_open() : true; }
  // The next password, asking "Password for USER: " on a terminal; nothing at the input's end.
  std::optional<std::string> Next(const std::string& user);

 private:
  std::string file_path_;
  std::ifstream file_;
};

}  // namespace tabulo::app
