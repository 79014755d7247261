#include "password_input.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace tabulo::app {
namespace {

std::optional<std::string> Line(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

PasswordInput::PasswordInput(const std::string& file) : file_path_(file) {
  if (!file.empty()) file_.open(file);
}

std::optional<std::string> PasswordInput::Next(const std::string& user) {
  if (!file_path_.empty()) return Line(file_);
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (!terminal) return Line(std::cin);
  std::cerr << "Password for " << user << ": " << std::flush;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::optional<std::string> password = Line(std::cin);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << "\n";
  return password;
}

}  // namespace tabulo::app
