// Code-point positions in UTF-8 strings, for the edit models: an invalid byte counts as one
// code point, as everywhere in the platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::platform {

// Byte offset of every code point, plus the end: size() - 1 code points.
std::vector<size_t> CodePointOffsets(std::string_view s);
// The code point starting at byte `pos` and its length in bytes (an invalid byte: itself, 1).
uint32_t DecodeCodePoint(std::string_view s, size_t pos, size_t* length);
std::string EncodeCodePoint(uint32_t cp);

}  // namespace tabulo::platform
