// The line splitter of `tabulo script`.
#include "container/script/parser.h"

#include <string>

#include "container/script/error.h"

namespace tabulo::container {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<ScriptLine> SplitLine(std::string_view text, int number) {
  std::vector<std::string> words;
  size_t i = 0;
  while (true) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] == '#') break;
    std::string word;
    int depth = 0;
    while (i < text.size()) {
      char c = text[i];
      if (c == '#') {
        // A comment may not cut a word that still waits for its closing brace.
        if (depth > 0) throw ScriptError("array without its closing brace", number);
        break;
      }
      if (depth == 0 && IsBlank(c)) break;
      if (c == '"') {
        // A text runs to the next lone quote; "" stands for a quote inside it.
        size_t j = i + 1;
        while (true) {
          if (j >= text.size()) throw ScriptError("text without its closing quote", number);
          if (text[j] == '"') {
            if (j + 1 < text.size() && text[j + 1] == '"') {
              j += 2;
              continue;
            }
            break;
          }
          ++j;
        }
        word.append(text.substr(i, j + 1 - i));
        i = j + 1;
        continue;
      }
      if (c == '{') ++depth;
      if (c == '}') {
        if (depth == 0) throw ScriptError("'}' without its opening brace", number);
        --depth;
      }
      word += c;
      ++i;
    }
    if (depth > 0) throw ScriptError("array without its closing brace", number);
    words.push_back(std::move(word));
  }
  if (words.empty()) return std::nullopt;
  ScriptLine line;
  line.number = number;
  line.command = std::move(words.front());
  line.args.assign(std::make_move_iterator(words.begin() + 1),
                   std::make_move_iterator(words.end()));
  return line;
}

// A line longer than this is refused rather than read on: a script from a device such as
// /dev/zero never ends its first line.
constexpr size_t kMaxScriptLine = size_t{1} << 20;

std::optional<ScriptLine> ScriptReader::Next() {
  std::string text;
  while (ReadLine(text)) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (number_ == 1 && text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    if (auto line = SplitLine(text, number_)) return line;
  }
  return std::nullopt;
}

bool ScriptReader::ReadLine(std::string& text) {
  text.clear();
  std::streambuf* buffer = in_.rdbuf();
  ++number_;
  for (bool any = false;; any = true) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) return any;
    if (c == '\n') return true;
    if (text.size() == kMaxScriptLine) throw ScriptError("the line is longer than 1 MiB", number_);
    text.push_back(static_cast<char>(c));
  }
}

}  // namespace tabulo::container
