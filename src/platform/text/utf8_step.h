// Utf8Step: the byte length of the UTF-8 code point that starts at a position, for code
// that walks text code point by code point (measuring, cutting, padding). A byte that does
// not start a well-formed sequence counts as one code point of its own.
#pragma once

#include <cstddef>
#include <string_view>

namespace tabulo::platform {

inline size_t Utf8Step(std::string_view s, size_t i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  if (len <= 1 || i + len > s.size()) return 1;
  for (size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return len;
}

}  // namespace tabulo::platform
