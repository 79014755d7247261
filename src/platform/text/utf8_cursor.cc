// UTF-8 decoding for code-point positions.
#include "platform/text/utf8_cursor.h"

namespace tabulo::platform {

uint32_t DecodeCodePoint(std::string_view s, size_t pos, size_t* length) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  size_t n = b0 < 0x80           ? 1
             : (b0 >> 5) == 0x6  ? 2
             : (b0 >> 4) == 0xE  ? 3
             : (b0 >> 3) == 0x1E ? 4
                                 : 0;
  if (n == 0 || pos + n > s.size()) {
    *length = 1;
    return b0;
  }
  uint32_t cp = n == 1 ? b0 : n == 2 ? (b0 & 0x1F) : n == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      *length = 1;
      return b0;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  *length = n;
  return cp;
}

std::vector<size_t> CodePointOffsets(std::string_view s) {
  std::vector<size_t> offsets;
  size_t pos = 0;
  while (pos < s.size()) {
    offsets.push_back(pos);
    size_t len = 1;
    DecodeCodePoint(s, pos, &len);
    pos += len;
  }
  offsets.push_back(s.size());
  return offsets;
}

std::string EncodeCodePoint(uint32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | ((cp >> 18) & 0x07));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace tabulo::platform
