// Visible control characters.
#include "platform/text/visible_text.h"

namespace tabulo::platform {
namespace {

bool IsC0OrDel(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// A C1 control in UTF-8: 0xC2 followed by 0x80..0x9F.
bool IsC1At(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

void AppendHex(std::string& out, unsigned char c) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[c >> 4];
  out += kDigits[c & 0xF];
}

}  // namespace

bool HasControlCharacters(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsC0OrDel(static_cast<unsigned char>(text[i])) || IsC1At(text, i)) return true;
  }
  return false;
}

std::string VisibleText(std::string_view text) {
  if (!HasControlCharacters(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (IsC0OrDel(c)) {
      AppendHex(out, c);
    } else if (IsC1At(text, i)) {
      AppendHex(out, c);
      AppendHex(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace tabulo::platform
