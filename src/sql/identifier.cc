// Identifiers in generated statements (identifier.h).
#include "sql/identifier.h"

#include <sqlite3.h>

#include <vector>

namespace tabulo::sql {
namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || !IsNameStart(name[0])) return false;
  for (char c : name) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

// SQLite's keyword list covers the reserved words of standard SQL that names collide with
// in practice (GROUP, ORDER, SELECT, KEY, ...).
bool IsKeyword(std::string_view name) {
  return sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) != 0;
}

// The length of the quoted name at the start of `text` (opened by ", [ or `), 0 when it is
// not closed. Inside "..." and `...` a doubled closing character stands for itself.
size_t QuotedLength(std::string_view text) {
  const char open = text[0];
  const char close = open == '[' ? ']' : open;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] != close) continue;
    if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
      ++i;
      continue;
    }
    return i > 1 ? i + 1 : 0;
  }
  return 0;
}

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
  if (IsPlainName(name) && !IsKeyword(name)) return std::string(name);
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::optional<std::string> TableIdentifier(std::string_view table) {
  while (!table.empty() && (table.front() == ' ' || table.front() == '\t')) table.remove_prefix(1);
  while (!table.empty() && (table.back() == ' ' || table.back() == '\t')) table.remove_suffix(1);
  std::vector<std::string> parts;
  for (;;) {
    if (table.empty()) return std::nullopt;
    size_t length = 0;
    if (table[0] == '"' || table[0] == '[' || table[0] == '`') {
      length = QuotedLength(table);
      if (length == 0) return std::nullopt;
      parts.emplace_back(table.substr(0, length));
    } else {
      while (length < table.size() && IsNameChar(table[length])) ++length;
      if (!IsPlainName(table.substr(0, length))) return std::nullopt;
      parts.push_back(QuoteIdentifier(table.substr(0, length)));
    }
    table.remove_prefix(length);
    if (table.empty()) break;
    if (table[0] != '.' || parts.size() == 2) return std::nullopt;
    table.remove_prefix(1);
  }
  return parts.size() == 1 ? parts[0] : parts[0] + "." + parts[1];
}

}  // namespace tabulo::sql
