// Control characters written visibly, so that a text printed to a terminal cannot move the
// cursor, clear the screen or fake an output line.
#pragma once

#include <string>
#include <string_view>

namespace tabulo::platform {

// Whether VisibleText changes `text`.
bool HasControlCharacters(std::string_view text);

// Line feed, carriage return and tab as \n \r \t; other C0 controls and DEL as \xHH; a C1
// control (U+0080..U+009F, two bytes in UTF-8) as the \xHH of its two bytes. Everything else,
// other UTF-8 and backslashes included, stays byte for byte.
std::string VisibleText(std::string_view text);

}  // namespace tabulo::platform
