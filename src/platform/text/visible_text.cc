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

// The length of the well-formed UTF-8 sequence of two to four bytes that starts at i, or 0
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, past U+10FFFF).
size_t MultiByteLength(std::string_view text, size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
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
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsC0OrDel(c) || IsC1At(text, i)) return true;
    if (c >= 0x80) {
      const size_t length = MultiByteLength(text, i);
      if (length == 0) return true;
      i += length - 1;
    }
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
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const size_t length = MultiByteLength(text, i); length > 0) {
      out.append(text.substr(i, length));
      i += length - 1;
    } else {
      AppendHex(out, c);
    }
  }
  return out;
}

}  // namespace tabulo::platform
