// SerializePropertyBag: writes a bag in the text form described in property_bag_format.h.
#include <charconv>
#include <cstdio>

#include "platform/automation/dispatch.h"
#include "platform/storage/property_bag_font.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

bool IsBareKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i);
  size_t n = 0;
  uint32_t cp = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are escaped byte by byte.
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

void AppendHexByte(std::string& out, unsigned char b) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0x0F];
}

void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      AppendHexByte(out, c);
    } else if (c >= 0x80) {
      size_t n = Utf8SequenceLength(s, i);
      if (n == 0) {
        AppendHexByte(out, c);
      } else {
        out.append(s.substr(i, n));
        i += n;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

void AppendKey(std::string& out, std::string_view key) {
  bool bare = !key.empty();
  for (char c : key) bare = bare && IsBareKeyChar(c);
  if (bare)
    out.append(key);
  else
    AppendQuoted(out, key);
}

template <typename T>
void AppendNumber(std::string& out, T value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

class Writer {
 public:
  std::string Write(const PropertyBag& bag) {
    out_ = "TabuloPropertyBag " + std::to_string(kPropertyBagFormatVersion) + "\n";
    WriteEntries(bag, 0);
    out_ += "End\n";
    return std::move(out_);
  }

 private:
  void WriteEntries(const PropertyBag& bag, int depth) {
    for (const PropertyBag::Entry& entry : bag.entries()) {
      key_path_.push_back(entry.name);
      Indent(depth);
      AppendKey(out_, entry.name);
      out_ += " = ";
      WriteValue(entry.value, depth);
      out_ += '\n';
      key_path_.pop_back();
    }
  }

  void WriteValue(const Variant& v, int depth) {
    switch (v.type()) {
      case VarType::Empty:
        out_ += "Empty";
        return;
      case VarType::Null:
        out_ += "Null";
        return;
      case VarType::Integer:
        out_ += "Integer ";
        AppendNumber(out_, v.AsInteger());
        return;
      case VarType::Long:
        out_ += "Long ";
        AppendNumber(out_, v.AsLong());
        return;
      case VarType::Byte:
        out_ += "Byte ";
        AppendNumber(out_, static_cast<int>(v.AsByte()));
        return;
      case VarType::Currency:
        out_ += "Currency ";
        AppendNumber(out_, v.AsCurrencyScaled());
        return;
      case VarType::Single:
        out_ += "Single ";
        AppendNumber(out_, static_cast<float>(v.AsDouble()));
        return;
      case VarType::Double:
        out_ += "Double ";
        AppendNumber(out_, v.AsDouble());
        return;
      case VarType::Date:
        out_ += "Date ";
        AppendNumber(out_, v.AsDouble());
        return;
      case VarType::Boolean:
        out_ += v.AsBoolean() ? "Boolean True" : "Boolean False";
        return;
      case VarType::Error: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(v.AsError()));
        out_ += "Error ";
        out_ += buffer;
        return;
      }
      case VarType::String:
        out_ += "String ";
        AppendQuoted(out_, v.AsString());
        return;
      case VarType::Array:
        WriteArray(v.AsArray(), depth);
        return;
      case VarType::Object:
        WriteObject(v.AsObject(), depth);
        return;
      case VarType::Variant:
        break;
    }
    throw ComError(kErrTypeMismatch, "Type mismatch (" + KeyText() + ": a value of type " +
                                         std::string(TypeName(v.type())) + " cannot be saved)");
  }

  void WriteArray(const SafeArray& array, int depth) {
    CheckDepth(depth + 1);
    out_ += "Array ";
    out_ += TypeName(array.element_type());
    out_ += " (";
    for (int d = 1; d <= array.dims(); ++d) {
      if (d > 1) out_ += ", ";
      AppendNumber(out_, array.LBound(d));
      out_ += " To ";
      AppendNumber(out_, array.UBound(d));
    }
    out_ += ") {\n";
    auto element = [&](const Variant& v, std::string label) {
      key_path_.back() = label;
      Indent(depth + 1);
      WriteValue(v, depth + 1);
      out_ += '\n';
    };
    std::string key = key_path_.back();
    // Bounds are read as 64-bit values: an upper bound of INT32_MAX must not wrap.
    if (array.dims() == 1) {
      for (int64_t i = array.LBound(1); i <= array.UBound(1); ++i)
        element(array.At(static_cast<int32_t>(i)), key + "(" + std::to_string(i) + ")");
    } else {
      for (int64_t i = array.LBound(1); i <= array.UBound(1); ++i)
        for (int64_t j = array.LBound(2); j <= array.UBound(2); ++j)
          element(array.At(static_cast<int32_t>(i), static_cast<int32_t>(j)),
                  key + "(" + std::to_string(i) + "," + std::to_string(j) + ")");
    }
    key_path_.back() = key;
    Indent(depth);
    out_ += '}';
  }

  void WriteObject(const std::shared_ptr<Dispatch>& object, int depth) {
    if (!object) {
      out_ += "Nothing";
      return;
    }
    if (const auto* font = dynamic_cast<const StdFont*>(object.get())) {
      CheckDepth(depth + 1);
      PropertyBag nested;
      SaveStdFont(*font, nested);
      WriteNested(kStdFontClassName, nested, depth);
      return;
    }
    const auto* persist = dynamic_cast<const PersistPropertyBag*>(object.get());
    if (persist == nullptr)
      throw ComError(kErrTypeMismatch, "Type mismatch (" + KeyText() + ": an object of class " +
                                           object->ClassName() +
                                           " cannot be saved in a property bag)");
    CheckDepth(depth + 1);
    PropertyBag nested;
    persist->SaveProperties(nested);
    WriteNested(persist->PersistClassName(), nested, depth);
  }

  void WriteNested(std::string_view class_name, const PropertyBag& nested, int depth) {
    out_ += "Object ";
    AppendQuoted(out_, class_name);
    out_ += " {\n";
    WriteEntries(nested, depth + 1);
    Indent(depth);
    out_ += '}';
  }

  void CheckDepth(int depth) {
    if (depth > kPropertyBagMaxDepth)
      throw ComError(kErrOutOfStackSpace, "Out of stack space (" + KeyText() +
                                              ": values nested deeper than " +
                                              std::to_string(kPropertyBagMaxDepth) + " levels)");
  }

  std::string KeyText() const {
    std::string path;
    for (const std::string& k : key_path_) path += (path.empty() ? "" : ".") + k;
    return "key \"" + path + "\"";
  }

  void Indent(int depth) { out_.append(static_cast<size_t>(depth) * 2, ' '); }

  std::string out_;
  std::vector<std::string> key_path_;
};

}  // namespace

std::string SerializePropertyBag(const PropertyBag& bag) {
  return Writer().Write(bag);
}

}  // namespace tabulo::platform
