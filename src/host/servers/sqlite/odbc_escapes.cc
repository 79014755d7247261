// ODBC date and time escape translation on top of the SQL tokenizer.
#include "host/servers/sqlite/odbc_escapes.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "host/data_server.h"
#include "host/servers/sqlite/connection.h"
#include "host/sql_tokens.h"
#include "platform/values/com_error.h"

namespace tabulo::host::sqlite {
namespace {

using platform::ComError;

enum class EscapeKind { Date, Time, Stamp };

struct EscapeValue {
  EscapeKind kind = EscapeKind::Date;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
};

bool ReadDigits(std::string_view s, size_t& pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  pos += n;
  return true;
}

bool Expect(std::string_view s, size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Years 100..9999: the range the record set reads back as Date values.
bool ParseDatePart(std::string_view s, size_t& pos, EscapeValue& v) {
  if (!ReadDigits(s, pos, 4, v.year) || !Expect(s, pos, '-') || !ReadDigits(s, pos, 2, v.month) ||
      !Expect(s, pos, '-') || !ReadDigits(s, pos, 2, v.day)) {
    return false;
  }
  return v.year >= 100 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
         v.day <= DaysInMonth(v.year, v.month);
}

// Milliseconds are all the data server keeps; more fraction digits would be silently lost.
bool ParseTimePart(std::string_view s, size_t& pos, EscapeValue& v) {
  if (!ReadDigits(s, pos, 2, v.hour) || !Expect(s, pos, ':') || !ReadDigits(s, pos, 2, v.minute) ||
      !Expect(s, pos, ':') || !ReadDigits(s, pos, 2, v.second)) {
    return false;
  }
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    size_t digits = 0;
    int scale = 100;
    for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++digits, scale /= 10) {
      if (digits == 3) return false;
      v.millis += (s[pos] - '0') * scale;
    }
    if (digits == 0) return false;
  }
  return v.hour <= 23 && v.minute <= 59 && v.second <= 59;
}

std::optional<EscapeValue> ParseLiteral(EscapeKind kind, std::string_view text) {
  EscapeValue v;
  v.kind = kind;
  size_t pos = 0;
  if (kind != EscapeKind::Time && !ParseDatePart(text, pos, v)) return std::nullopt;
  if (kind == EscapeKind::Stamp && !Expect(text, pos, ' ')) return std::nullopt;
  if (kind != EscapeKind::Date && !ParseTimePart(text, pos, v)) return std::nullopt;
  if (pos != text.size()) return std::nullopt;
  return v;
}

// Appends `value` with at least `width` digits.
void AppendPadded(std::string& out, int value, size_t width) {
  const std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out.append(digits);
}

void AppendDate(std::string& out, const EscapeValue& v) {
  AppendPadded(out, v.year, 4);
  out.push_back('-');
  AppendPadded(out, v.month, 2);
  out.push_back('-');
  AppendPadded(out, v.day, 2);
}

void AppendTime(std::string& out, const EscapeValue& v, bool always_millis) {
  AppendPadded(out, v.hour, 2);
  out.push_back(':');
  AppendPadded(out, v.minute, 2);
  out.push_back(':');
  AppendPadded(out, v.second, 2);
  if (always_millis || v.millis != 0) {
    out.push_back('.');
    AppendPadded(out, v.millis, 3);
  }
}

// The quoted literal; `normal_form` keeps milliseconds always (fixed width, so that text order
// is value order, for comparisons), else only when not zero (the stored form, for assignments).
std::string Literal(const EscapeValue& v, bool normal_form) {
  std::string out(1, '\'');
  if (v.kind != EscapeKind::Time) AppendDate(out, v);
  if (v.kind == EscapeKind::Stamp) out.push_back(' ');
  if (v.kind != EscapeKind::Date) AppendTime(out, v, normal_form);
  out.push_back('\'');
  return out;
}

std::string_view NormalizerOpening(EscapeKind kind) {
  switch (kind) {
    case EscapeKind::Date:
      return "date(";
    case EscapeKind::Time:
      return "strftime('%H:%M:%f', ";
    case EscapeKind::Stamp:
      break;
  }
  return "strftime('%Y-%m-%d %H:%M:%f', ";
}

struct Escape {
  size_t open = 0;   // token index of "{"
  size_t close = 0;  // token index of "}"
  EscapeValue value;
};

bool IsPunct(const SqlToken& t, char c) {
  return t.kind == SqlToken::Punct && t.text.size() == 1 && t.text[0] == c;
}

bool IsName(const SqlToken& t) {
  return t.kind == SqlToken::Word || t.kind == SqlToken::QuotedName;
}

bool IsAnyWord(const SqlToken& t, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return t.Is(w); });
}

ComError EscapeError(std::string_view sql, const std::vector<SqlToken>& tokens, size_t open,
                     std::optional<size_t> close, std::string_view why) {
  const size_t begin = tokens[open].offset;
  std::string shown;
  if (close) {
    shown = std::string(sql.substr(begin, tokens[*close].offset + 1 - begin));
  } else {
    shown = std::string(sql.substr(begin, 60));
    if (sql.size() - begin > 60) shown += "...";
  }
  return ComError(kErrInvalidStatement, std::string(why) + " ODBC escape " + shown, kErrorSource);
}

Escape ParseEscape(std::string_view sql, const std::vector<SqlToken>& tokens, size_t open) {
  const size_t n = tokens.size();
  size_t k = open + 1;
  std::optional<EscapeKind> kind;
  if (k < n && tokens[k].Is("d")) kind = EscapeKind::Date;
  if (k < n && tokens[k].Is("t")) kind = EscapeKind::Time;
  if (k < n && tokens[k].Is("ts")) kind = EscapeKind::Stamp;
  // Where the closing brace would be for a well-formed escape, to name the whole of it.
  std::optional<size_t> close;
  if (k + 2 < n && IsPunct(tokens[k + 2], '}')) close = k + 2;
  if (!kind) {
    throw EscapeError(sql, tokens, open, close,
                      "Only {d '...'}, {t '...'} and {ts '...'} are understood, not the");
  }
  ++k;
  if (k >= n || tokens[k].kind != SqlToken::String) {
    throw EscapeError(sql, tokens, open, close, "A quoted date or time is missing in the");
  }
  if (!close) throw EscapeError(sql, tokens, open, close, "The closing brace is missing in the");
  const std::string_view quoted = tokens[k].text;
  auto value = ParseLiteral(*kind, quoted.substr(1, quoted.size() - 2));
  if (!value) {
    static constexpr std::string_view kForms[] = {
        "Not a valid date (yyyy-mm-dd) in the", "Not a valid time (hh:mm:ss[.fff]) in the",
        "Not a valid date and time (yyyy-mm-dd hh:mm:ss[.fff]) in the"};
    throw EscapeError(sql, tokens, open, close, kForms[static_cast<int>(*kind)]);
  }
  return {open, *close, *value};
}

// Token ranges [begin, end) are half-open; `none` marks a missing token.
constexpr size_t kNone = static_cast<size_t>(-1);

bool IsOperatorPair(const SqlToken& a, const SqlToken& b) {
  if (a.kind != SqlToken::Punct || b.kind != SqlToken::Punct || b.offset != a.offset + 1) {
    return false;
  }
  const std::string pair{a.text[0], b.text[0]};
  return pair == "==" || pair == "<=" || pair == ">=" || pair == "<>" || pair == "!=";
}

bool IsOperatorSingle(const SqlToken& t) {
  return IsPunct(t, '=') || IsPunct(t, '<') || IsPunct(t, '>');
}

// The start of a comparison operator ending just before token `end`, or kNone.
size_t OperatorBefore(const std::vector<SqlToken>& tokens, size_t end) {
  if (end >= 2 && IsOperatorPair(tokens[end - 2], tokens[end - 1])) return end - 2;
  if (end >= 1 && IsOperatorSingle(tokens[end - 1])) return end - 1;
  return kNone;
}

// The end of a comparison operator starting at token `begin`, or kNone.
size_t OperatorAfter(const std::vector<SqlToken>& tokens, size_t begin) {
  if (begin + 1 < tokens.size() && IsOperatorPair(tokens[begin], tokens[begin + 1])) {
    return begin + 2;
  }
  if (begin < tokens.size() && IsOperatorSingle(tokens[begin])) return begin + 1;
  return kNone;
}

// A column reference (name, table.name, schema.table.name) ending just before `end`.
size_t ColumnBefore(const std::vector<SqlToken>& tokens, size_t end) {
  if (end == 0 || end == kNone || !IsName(tokens[end - 1])) return kNone;
  size_t begin = end - 1;
  while (begin >= 2 && IsPunct(tokens[begin - 1], '.') && IsName(tokens[begin - 2])) begin -= 2;
  return begin;
}

size_t ColumnAfter(const std::vector<SqlToken>& tokens, size_t begin) {
  if (begin == kNone || begin >= tokens.size() || !IsName(tokens[begin])) return kNone;
  size_t end = begin + 1;
  while (end + 1 < tokens.size() && IsPunct(tokens[end], '.') && IsName(tokens[end + 1])) end += 2;
  return end;
}

// Whether the token at `index` (kNone or before the first: none) ends what comes before a
// comparison, so that nothing binding tighter than the comparison precedes its left side.
bool IsLeadingBoundary(const std::vector<SqlToken>& tokens, size_t index) {
  if (index == kNone) return true;
  const SqlToken& t = tokens[index];
  return IsPunct(t, '(') || IsPunct(t, ',') || IsPunct(t, ';') ||
         IsAnyWord(t, {"WHERE", "AND", "OR", "NOT", "ON", "WHEN", "THEN", "ELSE", "HAVING", "CASE",
                       "SELECT", "RETURNING"});
}

// The same after a comparison's right side.
bool IsTrailingBoundary(const std::vector<SqlToken>& tokens, size_t index) {
  if (index >= tokens.size()) return true;
  const SqlToken& t = tokens[index];
  return IsPunct(t, ')') || IsPunct(t, ',') || IsPunct(t, ';') ||
         IsAnyWord(t,
                   {"AND", "OR", "THEN", "ELSE", "END", "WHEN", "WHERE", "ORDER", "GROUP", "LIMIT",
                    "RETURNING", "FROM", "HAVING", "WINDOW", "UNION", "EXCEPT", "INTERSECT", "AS"});
}

// For each token: whether it stands directly in the assignments of an UPDATE's SET clause
// (at the clause's own depth, so subqueries inside an assignment are not).
std::vector<bool> AssignmentLevel(const std::vector<SqlToken>& tokens) {
  std::vector<bool> in_set(tokens.size(), false);
  int set_depth = -1;
  for (size_t k = 0; k < tokens.size(); ++k) {
    const SqlToken& t = tokens[k];
    if (set_depth >= 0 &&
        (t.depth < set_depth ||
         (t.depth == set_depth &&
          (IsPunct(t, ';') || IsAnyWord(t, {"WHERE", "FROM", "RETURNING", "ORDER", "LIMIT"}))))) {
      set_depth = -1;
    }
    if (t.Is("SET")) {
      set_depth = t.depth;
    } else {
      in_set[k] = set_depth >= 0 && t.depth == set_depth;
    }
  }
  return in_set;
}

struct Edit {
  size_t offset;
  size_t length;
  std::string text;
};

}  // namespace

std::string TranslateOdbcEscapes(std::string_view sql) {
  const std::vector<SqlToken> tokens = TokenizeSql(sql);
  const bool any =
      std::any_of(tokens.begin(), tokens.end(), [](const SqlToken& t) { return IsPunct(t, '{'); });
  if (!any) return std::string(sql);

  const std::vector<bool> in_set = AssignmentLevel(tokens);
  std::vector<Edit> edits;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!IsPunct(tokens[i], '{')) continue;
    const Escape escape = ParseEscape(sql, tokens, i);
    const size_t escape_begin = tokens[escape.open].offset;
    const size_t escape_length = tokens[escape.close].offset + 1 - escape_begin;

    // column OP escape, or escape OP column.
    size_t column_begin = kNone, column_end = kNone;
    if (!in_set[i]) {
      const size_t op = OperatorBefore(tokens, escape.open);
      const size_t col = op == kNone ? kNone : ColumnBefore(tokens, op);
      if (col != kNone && IsLeadingBoundary(tokens, col == 0 ? kNone : col - 1) &&
          IsTrailingBoundary(tokens, escape.close + 1)) {
        column_begin = col;
        column_end = op;
      } else {
        const size_t op_end = OperatorAfter(tokens, escape.close + 1);
        const size_t col_end = ColumnAfter(tokens, op_end);
        if (col_end != kNone && IsLeadingBoundary(tokens, i == 0 ? kNone : i - 1) &&
            IsTrailingBoundary(tokens, col_end)) {
          column_begin = op_end;
          column_end = col_end;
        }
      }
    }
    if (column_begin == kNone) {
      edits.push_back({escape_begin, escape_length, Literal(escape.value, false)});
    } else {
      const SqlToken& last = tokens[column_end - 1];
      edits.push_back(
          {tokens[column_begin].offset, 0, std::string(NormalizerOpening(escape.value.kind))});
      edits.push_back({last.offset + last.text.size(), 0, ")"});
      edits.push_back({escape_begin, escape_length, Literal(escape.value, true)});
    }
    i = escape.close;
  }

  std::stable_sort(edits.begin(), edits.end(),
                   [](const Edit& a, const Edit& b) { return a.offset < b.offset; });
  std::string out;
  size_t at = 0;
  for (const Edit& e : edits) {
    out.append(sql.substr(at, e.offset - at));
    out += e.text;
    at = e.offset + e.length;
  }
  out.append(sql.substr(at));
  return out;
}

}  // namespace tabulo::host::sqlite
