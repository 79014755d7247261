// The value forms of `tabulo script`: a small recursive-descent reader and the printer.
#include "container/script/value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "container/script/error.h"
#include "platform/automation/dispatch.h"
#include "platform/text/locale.h"
#include "platform/text/plain_text.h"
#include "platform/text/visible_text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::container {
namespace {

using platform::SafeArray;
using platform::Variant;
using platform::VarType;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
// Characters that end a bare word (a number or a keyword) inside an array.
bool EndsWord(char c) {
  return IsBlank(c) || c == ',' || c == '{' || c == '}' || c == '"';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Variant ParseHex(std::string_view word) {
  std::string_view digits = word.substr(2);
  if (digits.empty()) throw ScriptError("hexadecimal number without digits: " + std::string(word));
  uint64_t value = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) throw ScriptError("bad hexadecimal number: " + std::string(word));
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) {
      throw ScriptError("hexadecimal number beyond 32 bits: " + std::string(word));
    }
  }
  // 0x80000000..0xFFFFFFFF are written for the negative Longs with the same bits.
  return Variant::Long(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

// [+-] digits [. digits] [e [+-] digits], or [+-] . digits [...].
Variant ParseNumber(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  size_t int_start = i;
  while (i < word.size() && IsDigit(word[i])) ++i;
  size_t int_digits = i - int_start;
  size_t frac_digits = 0;
  bool is_double = false;
  if (i < word.size() && word[i] == '.') {
    is_double = true;
    ++i;
    size_t frac_start = i;
    while (i < word.size() && IsDigit(word[i])) ++i;
    frac_digits = i - frac_start;
  }
  if (int_digits + frac_digits == 0) throw ScriptError("not a value: " + std::string(word));
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    is_double = true;
    ++i;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
    size_t exp_start = i;
    while (i < word.size() && IsDigit(word[i])) ++i;
    if (i == exp_start) throw ScriptError("exponent without digits: " + std::string(word));
  }
  if (i != word.size()) throw ScriptError("not a value: " + std::string(word));

  std::string_view body = word.substr(int_start);
  if (!is_double) {
    int64_t magnitude = 0;
    bool fits = true;
    for (char c : body) {
      magnitude = magnitude * 10 + (c - '0');
      if (magnitude > int64_t{1} << 31) {
        fits = false;
        break;
      }
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (fits && value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max()) {
      return Variant::Long(static_cast<int32_t>(value));
    }
  }
  double value = 0;
  auto res = std::from_chars(body.data(), body.data() + body.size(), value);
  if (res.ec != std::errc() || res.ptr != body.data() + body.size() || !std::isfinite(value)) {
    throw ScriptError("number out of range: " + std::string(word));
  }
  return Variant::Double(negative ? -value : value);
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  Variant ReadAll() {
    SkipBlanks();
    Variant v = ReadValue(0);
    SkipBlanks();
    if (pos_ != text_.size()) {
      throw ScriptError("unexpected text after a value: " + std::string(text_.substr(pos_)));
    }
    return v;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  Variant ReadValue(int depth) {
    if (pos_ >= text_.size()) throw ScriptError("missing value");
    char c = text_[pos_];
    if (c == '"') return Variant::String(ReadText());
    if (c == '{') return ReadArray(depth);
    size_t start = pos_;
    // At the top level a word runs to the end; inside braces it stops at a separator.
    while (pos_ < text_.size() && !(depth > 0 ? EndsWord(text_[pos_]) : false)) ++pos_;
    std::string_view word = text_.substr(start, pos_ - start);
    if (depth == 0) {
      while (!word.empty() && IsBlank(word.back())) word.remove_suffix(1);
    }
    if (word.empty()) throw ScriptError("missing value");
    return ReadWord(word);
  }

  static Variant ReadWord(std::string_view word) {
    std::string key = platform::AsciiLower(word);
    if (key == "true") return Variant::Boolean(true);
    if (key == "false") return Variant::Boolean(false);
    if (key == "null") return Variant::Null();
    if (key == "empty") return Variant();
    if (key == "nothing") return Variant::Nothing();
    if (key.size() >= 2 && key[0] == '0' && key[1] == 'x') return ParseHex(word);
    return ParseNumber(word);
  }

  std::string ReadText() {
    ++pos_;  // the opening quote
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) throw ScriptError("text without its closing quote");
      char c = text_[pos_++];
      if (c == '"') {
        if (pos_ < text_.size() && text_[pos_] == '"') {
          out += '"';
          ++pos_;
          continue;
        }
        return out;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) throw ScriptError("text ends in a lone backslash");
      char e = text_[pos_++];
      switch (e) {
        case 'r':
          out += '\r';
          break;
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case '\\':
          out += '\\';
          break;
        case 'x':
          out += ReadHexByte();
          break;
        default:
          throw ScriptError(std::string("unknown escape \\") + e + " in a text");
      }
    }
  }

  // The two hexadecimal digits after "\x".
  char ReadHexByte() {
    int byte = 0;
    for (int i = 0; i < 2; ++i) {
      const char d = pos_ < text_.size() ? text_[pos_] : '\0';
      const int v =
          std::isxdigit(static_cast<unsigned char>(d))
              ? (std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : (d | 0x20) - 'a' + 10)
              : -1;
      if (v < 0) throw ScriptError("\\x in a text needs two hexadecimal digits");
      byte = byte * 16 + v;
      ++pos_;
    }
    return static_cast<char>(byte);
  }

  Variant ReadArray(int depth) {
    if (depth >= 2) throw ScriptError("arrays have at most 2 dimensions");
    ++pos_;  // the opening brace
    std::vector<Variant> items;
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      return Variant(SafeArray::Vector({}));
    }
    while (true) {
      SkipBlanks();
      items.push_back(ReadValue(depth + 1));
      SkipBlanks();
      if (pos_ >= text_.size()) throw ScriptError("array without its closing brace");
      char c = text_[pos_++];
      if (c == '}') break;
      if (c != ',')
        throw ScriptError(std::string("expected ',' or '}' in an array, found '") + c + "'");
    }
    if (depth == 1 || !items.front().IsArray()) {
      for (const Variant& item : items) {
        if (item.IsArray()) throw ScriptError("an array mixes values and rows");
      }
      return Variant(SafeArray::Vector(std::move(items)));
    }
    // Every element is a row: a 2-D array (row, column).
    int64_t cols = -1;
    for (const Variant& row : items) {
      if (!row.IsArray()) throw ScriptError("an array mixes values and rows");
      int64_t n = row.AsArray().size();
      if (cols >= 0 && n != cols) throw ScriptError("rows of an array differ in length");
      cols = n;
    }
    SafeArray matrix =
        SafeArray::Matrix(static_cast<int32_t>(items.size()), static_cast<int32_t>(cols));
    for (int32_t i = 0; i < static_cast<int32_t>(items.size()); ++i) {
      const SafeArray& row = items[i].AsArray();
      for (int32_t j = 0; j < static_cast<int32_t>(cols); ++j) matrix.Set(i, j, row.At(j));
    }
    return Variant(std::move(matrix));
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::string FormatDouble(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Inf" : "-Inf";
  return platform::ShortestRoundTrip(d);
}

std::string FormatSingle(float f) {
  if (std::isnan(f)) return "NaN";
  if (std::isinf(f)) return f > 0 ? "Inf" : "-Inf";
  if (f == 0.0f) return "0";  // as for doubles: both zeros print 0
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, f);  // shortest form for the float itself
  return std::string(buf, res.ptr);
}

std::string FormatCurrency(int64_t scaled) {
  bool negative = scaled < 0;
  // Through unsigned, so that the most negative value keeps its magnitude.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string out;
  if (negative) out += '-';
  out += std::to_string(magnitude / 10000);
  uint64_t frac = magnitude % 10000;
  if (frac != 0) {
    std::string digits = std::to_string(frac);
    digits.insert(0, 4 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    out += "." + digits;
  }
  return out;
}

std::string FormatDate(double serial) {
  try {
    std::string out = "#";
    out += platform::FormatDate(serial, "yyyy-mm-dd hh:nn:ss", platform::Locale::EnUS());
    out += '#';
    return out;
  } catch (const platform::ComError&) {
    // Outside the calendar's range: the serial itself, so nothing is hidden.
    return "Date(" + FormatDouble(serial) + ")";
  }
}

std::string FormatArray(const SafeArray& a) {
  std::string out = "{";
  if (a.dims() == 1) {
    for (int32_t i = a.LBound(1); i <= a.UBound(1); ++i) {
      if (i != a.LBound(1)) out += ", ";
      out += FormatValue(a.At(i));
    }
  } else if (a.dims() == 2) {
    for (int32_t i = a.LBound(1); i <= a.UBound(1); ++i) {
      if (i != a.LBound(1)) out += ", ";
      out += "{";
      for (int32_t j = a.LBound(2); j <= a.UBound(2); ++j) {
        if (j != a.LBound(2)) out += ", ";
        out += FormatValue(a.At(i, j));
      }
      out += "}";
    }
  }
  return out + "}";
}

}  // namespace

Variant ParseValue(std::string_view text) {
  return Reader(text).ReadAll();
}

std::string QuoteText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\"\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  // Control characters are shown as escapes, never sent to the terminal as they are.
  return platform::VisibleText(out) + "\"";
}

std::string FormatValue(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return std::to_string(v.AsLong());
    case VarType::Boolean:
      return v.AsBoolean() ? "True" : "False";
    case VarType::Single:
      return FormatSingle(static_cast<float>(v.AsDouble()));
    case VarType::Double:
      return FormatDouble(v.AsDouble());
    case VarType::Currency:
      return FormatCurrency(v.AsCurrencyScaled());
    case VarType::Date:
      return FormatDate(v.AsDouble());
    case VarType::String:
      return QuoteText(v.AsString());
    case VarType::Error:
      return "Error(" + std::to_string(v.AsError()) + ")";
    case VarType::Object:
      if (!v.AsObject()) return "Nothing";
      return "Object(" + v.AsObject()->ClassName() + ")";
    case VarType::Array:
      return FormatArray(v.AsArray());
    case VarType::Variant:
      break;
  }
  return "Variant(" + std::to_string(static_cast<int>(v.type())) + ")";
}

}  // namespace tabulo::container
