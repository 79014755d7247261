// Control characters written visibly, so that a text printed to a terminal cannot move the
// cursor, clear the screen or fake an output line.
#pragma once

#include <string>
#include <string_view>

namespace tabulo::platform {

// Whether VisibleText changes `text`: a control character or a byte of invalid UTF-8.
bool HasControlCharacters(std::string_view text);

// Line feed, carriage return and tab as \n \r \t; other C0 controls and DEL as \xHH; a C1
// control (U+0080..U+009F, two bytes in UTF-8) as the \xHH of its two bytes; each byte that is
// not part of well-formed UTF-8 (a stray continuation byte, a cut or overlong sequence, a
// surrogate, beyond U+10FFFF) as its \xHH, so that no terminal reads it as the start of a
// control. Everything else, other UTF-8 and backslashes included, stays byte for byte.
std::string VisibleText(std::string_view text);

}  // namespace tabulo::platform
