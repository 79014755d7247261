// A small SQL tokenizer: enough to find a statement's top-level keywords and clauses without
// being fooled by strings, quoted names, comments or subqueries.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::host {

struct SqlToken {
  enum Kind { Word, QuotedName, String, Number, Punct };
  Kind kind;
  std::string_view text;
  size_t offset;  // in the statement
  int depth;      // parentheses around the token
  // True when a word equals `keyword` ignoring case.
  bool Is(std::string_view keyword) const;
  // The name a Word or QuotedName stands for (quotes removed, doubled quotes undone).
  std::string Name() const;
  // True when a word equals one of `keywords` ignoring case.
  bool IsAnyOf(std::initializer_list<std::string_view> keywords) const;
};

// Tokens of `sql`; an unterminated string, name or comment ends the list at its start
// (SQLite would refuse the statement anyway).
std::vector<SqlToken> TokenizeSql(std::string_view sql);

// The tail of a one-table SELECT after its FROM source, from token `start`: nothing, WHERE
// ..., ORDER BY ..., or both. Returns the index of the ORDER token (tokens.size() when there
// is none), or nothing when the tail holds more at the top level: a comma before ORDER BY (a
// second table), a semicolon, an ORDER without BY and a term, or one of `refused`.
std::optional<size_t> SelectTailOrder(const std::vector<SqlToken>& tokens, size_t start,
                                      std::initializer_list<std::string_view> refused);

}  // namespace tabulo::host
