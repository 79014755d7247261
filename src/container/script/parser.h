// The line splitter of `tabulo script`: a line is a command word and its arguments,
// separated by blanks. A quoted text or a braced array is one argument whatever blanks it
// holds; a '#' outside quotes starts a comment; blank and comment-only lines hold nothing.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::container {

struct ScriptLine {
  int number = 0;                 // counted from 1
  std::string command;            // the first word, as written
  std::vector<std::string> args;  // the remaining words, as written (quotes and braces kept)
};

// Splits one line. Returns nothing for a blank or comment-only line; raises ScriptError
// carrying `number` for a text without its closing quote or unbalanced braces.
std::optional<ScriptLine> SplitLine(std::string_view text, int number);

// Reads a script line by line: strips a trailing CR (files written on Windows) and a UTF-8
// byte order mark before the first line.
class ScriptReader {
 public:
  explicit ScriptReader(std::istream& in) : in_(in) {}
  // The next line holding a command, nothing at the end of the input; raises ScriptError
  // as SplitLine does.
  std::optional<ScriptLine> Next();

 private:
  // The next line into `text` (without its line feed), counting it; false at the end.
  bool ReadLine(std::string& text);

  std::istream& in_;
  int number_ = 0;
};

}  // namespace tabulo::container
