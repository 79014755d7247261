// A small SQL tokenizer: enough to find a statement's top-level keywords and clauses without
// being fooled by strings, quoted names, comments or subqueries.
#pragma once

#include <cstddef>
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
};

// Tokens of `sql`; an unterminated string, name or comment ends the list at its start
// (SQLite would refuse the statement anyway).
std::vector<SqlToken> TokenizeSql(std::string_view sql);

}  // namespace tabulo::host
