// SQL tokenizer.
#include "host/sql_tokens.h"

#include <cctype>

#include "platform/text/text.h"

namespace tabulo::host {
namespace {

bool IsWordChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '$' || u >= 0x80;
}

}  // namespace

bool SqlToken::Is(std::string_view keyword) const {
  return kind == Word && platform::EqualsIgnoreAsciiCase(text, keyword);
}

bool SqlToken::IsAnyOf(std::initializer_list<std::string_view> keywords) const {
  for (std::string_view keyword : keywords)
    if (Is(keyword)) return true;
  return false;
}

std::string SqlToken::Name() const {
  if (kind != QuotedName) return std::string(text);
  char close = text.front() == '[' ? ']' : text.front();
  std::string out;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    out += text[i];
    if (text[i] == close && close != ']') ++i;  // a doubled quote stands for one
  }
  return out;
}

std::vector<SqlToken> TokenizeSql(std::string_view sql) {
  std::vector<SqlToken> tokens;
  int depth = 0;
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      if (end == std::string_view::npos) break;
      i = end + 2;
    } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      bool closed = false;
      while (j < n) {
        if (sql[j] == close) {
          if (close != ']' && j + 1 < n && sql[j + 1] == close) {
            j += 2;
            continue;
          }
          closed = true;
          break;
        }
        ++j;
      }
      if (!closed) break;
      tokens.push_back({c == '\'' ? SqlToken::String : SqlToken::QuotedName,
                        sql.substr(i, j + 1 - i), i, depth});
      i = j + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      size_t j = i;
      while (j < n && (IsWordChar(sql[j]) || sql[j] == '.')) ++j;
      tokens.push_back({SqlToken::Number, sql.substr(i, j - i), i, depth});
      i = j;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < n && IsWordChar(sql[j])) ++j;
      tokens.push_back({SqlToken::Word, sql.substr(i, j - i), i, depth});
      i = j;
    } else {
      if (c == ')') --depth;
      tokens.push_back({SqlToken::Punct, sql.substr(i, 1), i, depth});
      if (c == '(') ++depth;
      ++i;
    }
  }
  return tokens;
}

std::optional<size_t> SelectTailOrder(const std::vector<SqlToken>& tokens, size_t start,
                                      std::initializer_list<std::string_view> refused) {
  if (start < tokens.size() && !tokens[start].Is("WHERE") && !tokens[start].Is("ORDER"))
    return std::nullopt;
  size_t order = tokens.size();
  for (size_t k = start; k < tokens.size(); ++k) {
    const SqlToken& t = tokens[k];
    if (t.depth != 0) continue;
    if ((t.text == "," && order == tokens.size()) || t.text == ";" || t.IsAnyOf(refused))
      return std::nullopt;
    if (t.Is("ORDER") && order == tokens.size()) order = k;
  }
  if (order != tokens.size() && (order + 2 >= tokens.size() || !tokens[order + 1].Is("BY")))
    return std::nullopt;
  return order;
}

}  // namespace tabulo::host
