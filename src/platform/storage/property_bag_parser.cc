// ParsePropertyBag: reads the text form described in property_bag_format.h. Every fault
// raises 321 naming the file, the line and the key; nothing is trusted before it is checked
// (bounds, element counts, nesting depth).
#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "platform/automation/dispatch.h"
#include "platform/storage/property_bag_font.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

bool IsBareKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::optional<VarType> ElementTypeFromName(std::string_view name) {
  static constexpr VarType kTypes[] = {VarType::Variant, VarType::Integer,  VarType::Long,
                                       VarType::Byte,    VarType::Currency, VarType::Single,
                                       VarType::Double,  VarType::Date,     VarType::Boolean,
                                       VarType::Error,   VarType::String,   VarType::Object};
  for (VarType t : kTypes)
    if (TypeName(t) == name) return t;
  return std::nullopt;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view file_name, const ObjectFactory& factory)
      : file_name_(file_name), factory_(factory) {
    while (!text.empty()) {
      size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }

  PropertyBag Parse() {
    ReadHeader();
    PropertyBag bag;
    if (ReadEntries(bag, 0)) Fail("unexpected \"}\"");
    if (version_ >= 2) {
      if (!saw_end_) Fail("unexpected end of text: missing the \"End\" line (truncated)");
      Cursor c;
      if (NextContentLine(c)) Fail("text after the \"End\" line");
    }
    bag.set_origin(std::string(file_name_));
    return bag;
  }

 private:
  // A position inside the current line.
  struct Cursor {
    std::string_view rest;
    void SkipBlanks() {
      while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    }
    bool Eat(std::string_view token) {
      if (rest.substr(0, token.size()) != token) return false;
      rest.remove_prefix(token.size());
      return true;
    }
    std::string_view Word() {  // up to the next blank
      size_t n = 0;
      while (n < rest.size() && !IsBlank(rest[n])) ++n;
      std::string_view w = rest.substr(0, n);
      rest.remove_prefix(n);
      return w;
    }
  };

  void ReadHeader() {
    std::string_view header = lines_.empty() ? std::string_view() : lines_[0];
    line_ = 0;
    Cursor c{header};
    if (!c.Eat("TabuloPropertyBag "))
      Fail("not a property bag (the first line must be \"TabuloPropertyBag " +
           std::to_string(kPropertyBagFormatVersion) + "\")");
    int version = 0;
    auto [ptr, ec] = std::from_chars(c.rest.data(), c.rest.data() + c.rest.size(), version);
    if (ec != std::errc() || ptr != c.rest.data() + c.rest.size() || version < 1)
      Fail("bad format version \"" + std::string(c.rest) + "\"");
    if (version > kPropertyBagFormatVersion)
      Fail("format version " + std::to_string(version) + " is newer than this program reads (" +
           std::to_string(kPropertyBagFormatVersion) + ")");
    version_ = version;
  }

  // Moves to the next line that is not empty or a comment; false at the end of the text.
  bool NextContentLine(Cursor& c) {
    while (++line_ < lines_.size()) {
      c = Cursor{lines_[line_]};
      c.SkipBlanks();
      if (!c.rest.empty() && c.rest.front() != '#') return true;
    }
    return false;
  }

  // Reads entries into `bag` until a "}" line (returns true), the "End" line of the outermost
  // bag or the end of the text (false).
  bool ReadEntries(PropertyBag& bag, int depth) {
    Cursor c;
    while (NextContentLine(c)) {
      if (c.rest == "}") return true;
      if (depth == 0 && version_ >= 2 && c.rest == "End") {
        saw_end_ = true;
        return false;
      }
      std::string key = ReadKey(c);
      key_path_.push_back(key);
      if (bag.Contains(key)) Fail("duplicate key");
      c.SkipBlanks();
      if (!c.Eat("=")) Fail("expected \"=\" after the key");
      c.SkipBlanks();
      Variant value = ReadValue(c, depth);
      bag.Store(key, std::move(value));
      key_path_.pop_back();
    }
    return false;
  }

  std::string ReadKey(Cursor& c) {
    if (!c.rest.empty() && c.rest.front() == '"') return ReadString(c);
    size_t n = 0;
    while (n < c.rest.size() && IsBareKeyChar(c.rest[n])) ++n;
    if (n == 0) Fail("expected a key at \"" + std::string(c.rest.substr(0, 20)) + "\"");
    std::string key(c.rest.substr(0, n));
    c.rest.remove_prefix(n);
    return key;
  }

  // Reads one value that starts at `c`; block values read their further lines. The rest
  // of the value's (last) line must be empty.
  Variant ReadValue(Cursor& c, int depth) {
    std::string_view type = c.Word();
    c.SkipBlanks();
    Variant v = ReadTypedValue(type, c, depth);
    c.SkipBlanks();
    if (!c.rest.empty()) Fail("unexpected text after the value: \"" + std::string(c.rest) + "\"");
    return v;
  }

  Variant ReadTypedValue(std::string_view type, Cursor& c, int depth) {
    if (type == "Empty") return Variant();
    if (type == "Null") return Variant::Null();
    if (type == "Nothing") return Variant::Nothing();
    if (type == "Integer") return Variant(static_cast<int16_t>(ReadInteger<int16_t>(c, type)));
    if (type == "Long") return Variant(ReadInteger<int32_t>(c, type));
    if (type == "Byte") return Variant::Byte(ReadInteger<uint8_t>(c, type));
    if (type == "Currency") return Variant::CurrencyScaled(ReadInteger<int64_t>(c, type));
    if (type == "Single") return Variant(ReadReal<float>(c, type));
    if (type == "Double") return Variant(ReadReal<double>(c, type));
    if (type == "Date") return Variant::Date(ReadReal<double>(c, type));
    if (type == "Boolean") {
      std::string_view word = c.Word();
      if (word == "True") return Variant(true);
      if (word == "False") return Variant(false);
      Fail("bad Boolean value \"" + std::string(word) + "\"");
    }
    if (type == "Error") {
      std::string_view word = c.Word();
      uint32_t code = 0;
      if (word.size() != 10 || word.substr(0, 2) != "0x" || !ParseHex(word.substr(2), code))
        Fail("bad Error value \"" + std::string(word) + "\"");
      return Variant::Error(static_cast<int32_t>(code));
    }
    if (type == "String") {
      if (c.rest.empty() || c.rest.front() != '"') Fail("expected a quoted string");
      return Variant(ReadString(c));
    }
    if (type == "Array") return ReadArray(c, depth + 1);
    if (type == "Object") return ReadObject(c, depth + 1);
    if (type.empty()) Fail("missing value");
    Fail("unknown type \"" + std::string(type) + "\"");
  }

  template <typename T>
  T ReadInteger(Cursor& c, std::string_view type) {
    std::string_view word = c.Word();
    int64_t value = 0;
    auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec == std::errc::result_out_of_range ||
        (ec == std::errc() &&
         (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())))
      Fail(std::string(type) + " value out of range \"" + std::string(word) + "\"");
    if (ec != std::errc() || ptr != word.data() + word.size())
      Fail("bad " + std::string(type) + " value \"" + std::string(word) + "\"");
    return static_cast<T>(value);
  }

  template <typename T>
  T ReadReal(Cursor& c, std::string_view type) {
    std::string_view word = c.Word();
    T value = 0;
    auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec == std::errc::result_out_of_range)
      Fail(std::string(type) + " value out of range \"" + std::string(word) + "\"");
    if (ec != std::errc() || ptr != word.data() + word.size())
      Fail("bad " + std::string(type) + " value \"" + std::string(word) + "\"");
    return value;
  }

  static bool ParseHex(std::string_view digits, uint32_t& out) {
    if (digits.empty()) return false;
    out = 0;
    for (char ch : digits) {
      int d = HexDigit(ch);
      if (d < 0) return false;
      out = out * 16 + static_cast<uint32_t>(d);
    }
    return true;
  }

  // A double-quoted string with escapes; it must end on the same line.
  std::string ReadString(Cursor& c) {
    c.rest.remove_prefix(1);  // the opening quote
    std::string out;
    while (true) {
      if (c.rest.empty()) Fail("unterminated string");
      char ch = c.rest.front();
      c.rest.remove_prefix(1);
      if (ch == '"') return out;
      if (ch != '\\') {
        out += ch;
        continue;
      }
      if (c.rest.empty()) Fail("unterminated string");
      char e = c.rest.front();
      c.rest.remove_prefix(1);
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'x': {
          int hi = c.rest.size() >= 2 ? HexDigit(c.rest[0]) : -1;
          int lo = c.rest.size() >= 2 ? HexDigit(c.rest[1]) : -1;
          if (hi < 0 || lo < 0) Fail("bad \\x escape in string");
          out += static_cast<char>(hi * 16 + lo);
          c.rest.remove_prefix(2);
          break;
        }
        default:
          Fail(std::string("unknown escape \\") + e + " in string");
      }
    }
  }

  int32_t ReadBound(Cursor& c) {
    c.SkipBlanks();
    size_t n = 0;
    while (n < c.rest.size() && (c.rest[n] == '-' || (c.rest[n] >= '0' && c.rest[n] <= '9'))) ++n;
    int32_t value = 0;
    auto [ptr, ec] = std::from_chars(c.rest.data(), c.rest.data() + n, value);
    if (n == 0 || ec != std::errc() || ptr != c.rest.data() + n)
      Fail("bad array bounds at \"" + std::string(c.rest) + "\"");
    c.rest.remove_prefix(n);
    c.SkipBlanks();
    return value;
  }

  void CheckDepth(int depth) {
    if (depth > kPropertyBagMaxDepth)
      Fail("values nested deeper than " + std::to_string(kPropertyBagMaxDepth) + " levels");
  }

  // After the "{" that opens a block, nothing may follow on its line.
  void ExpectBlockOpen(Cursor& c) {
    c.SkipBlanks();
    if (!c.Eat("{")) Fail("expected \"{\"");
    c.SkipBlanks();
    if (!c.rest.empty()) Fail("unexpected text after \"{\": \"" + std::string(c.rest) + "\"");
  }

  Variant ReadArray(Cursor& c, int depth) {
    CheckDepth(depth);
    std::string_view type_name = c.Word();
    std::optional<VarType> element_type = ElementTypeFromName(type_name);
    if (!element_type) Fail("unknown array element type \"" + std::string(type_name) + "\"");
    c.SkipBlanks();
    if (!c.Eat("(")) Fail("expected \"(\" before the array bounds");
    std::vector<SafeArray::Bound> bounds;
    int64_t total = 1;
    do {
      if (bounds.size() == SafeArray::kMaxDims)
        Fail("arrays have at most " + std::to_string(SafeArray::kMaxDims) + " dimensions");
      int32_t lower = ReadBound(c);
      if (!c.Eat("To")) Fail("expected \"To\" in the array bounds");
      int32_t upper = ReadBound(c);
      int64_t count = static_cast<int64_t>(upper) - lower + 1;
      if (count < 0) Fail("array upper bound below lower bound - 1");
      total *= count;
      if (total > SafeArray::kMaxElements)
        Fail("array too large (more than " + std::to_string(SafeArray::kMaxElements) +
             " elements)");
      bounds.push_back({lower, static_cast<int32_t>(count)});
    } while (c.Eat(","));
    if (!c.Eat(")")) Fail("expected \")\" after the array bounds");
    ExpectBlockOpen(c);

    // Elements are collected before the array is made, so memory follows the text's size
    // and not the bounds it claims.
    std::vector<Variant> elements;
    std::string key = key_path_.back();
    Cursor line;
    while (true) {
      if (!NextContentLine(line)) {
        key_path_.back() = key;
        Fail("unexpected end of text: missing \"}\" of the array");
      }
      if (line.rest == "}") break;
      key_path_.back() = key + "(" + std::to_string(elements.size()) + ")";
      if (static_cast<int64_t>(elements.size()) >= total)
        Fail("more elements than the bounds declare (" + std::to_string(total) + ")");
      Variant v = ReadValue(line, depth);
      if (*element_type != VarType::Variant && v.type() != *element_type)
        Fail(std::string(TypeName(v.type())) + " element in an array of " +
             std::string(TypeName(*element_type)));
      elements.push_back(std::move(v));
    }
    key_path_.back() = key;
    if (static_cast<int64_t>(elements.size()) != total)
      Fail(std::to_string(elements.size()) + " elements where the bounds declare " +
           std::to_string(total));
    SafeArray array(*element_type, bounds);
    if (bounds.size() == 1) {
      for (int32_t k = 0; k < bounds[0].count; ++k)
        array.At(bounds[0].lower + k) = std::move(elements[static_cast<size_t>(k)]);
    } else {
      size_t k = 0;
      for (int32_t i = 0; i < bounds[0].count; ++i)
        for (int32_t j = 0; j < bounds[1].count; ++j)
          array.At(bounds[0].lower + i, bounds[1].lower + j) = std::move(elements[k++]);
    }
    return Variant(std::move(array));
  }

  Variant ReadObject(Cursor& c, int depth) {
    CheckDepth(depth);
    if (c.rest.empty() || c.rest.front() != '"') Fail("expected the quoted class name");
    std::string class_name = ReadString(c);
    ExpectBlockOpen(c);
    size_t open_line = line_;
    PropertyBag nested;
    if (!ReadEntries(nested, depth)) Fail("unexpected end of text: missing \"}\" of the object");
    size_t close_line = line_;

    // The object is made once its block is read, so errors name the line that opened it.
    line_ = open_line;
    if (class_name == kStdFontClassName) {
      std::shared_ptr<StdFont> font;
      try {
        font = LoadStdFont(nested);
      } catch (const ComError& e) {
        throw ComError(e.number(), Where() + ": " + e.description(), e.source());
      }
      line_ = close_line;
      return Variant(std::static_pointer_cast<Dispatch>(font));
    }
    if (!factory_) Fail("no object factory to create class \"" + class_name + "\"");
    std::shared_ptr<Dispatch> object = factory_(class_name);
    if (!object) Fail("unknown class \"" + class_name + "\"");
    auto* persist = dynamic_cast<PersistPropertyBag*>(object.get());
    if (persist == nullptr) Fail("class \"" + class_name + "\" cannot load properties");
    try {
      persist->LoadProperties(nested);
    } catch (const ComError& e) {
      throw ComError(e.number(), Where() + ": " + e.description(), e.source());
    }
    line_ = close_line;
    return Variant(std::move(object));
  }

  std::string Where() const {
    std::string where = std::string(file_name_) + ", line " +
                        std::to_string(std::min(line_, lines_.empty() ? 0 : lines_.size() - 1) + 1);
    if (!key_path_.empty()) {
      std::string path;
      for (const std::string& k : key_path_) path += (path.empty() ? "" : ".") + k;
      where += ", key \"" + path + "\"";
    }
    return where;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw ComError(kErrInvalidFileFormat, Where() + ": " + what);
  }

  std::string_view file_name_;
  const ObjectFactory& factory_;
  std::vector<std::string_view> lines_;
  size_t line_ = 0;  // index of the current line
  int version_ = 1;
  bool saw_end_ = false;
  std::vector<std::string> key_path_;
};

}  // namespace

PropertyBag ParsePropertyBag(std::string_view text, std::string_view file_name,
                             const ObjectFactory& factory) {
  return Parser(text, file_name, factory).Parse();
}

}  // namespace tabulo::platform
