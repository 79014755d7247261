// Case folding for the case-insensitive searches of the formatting step: ASCII and the
// Latin-1 letters of the three languages (ä/Ä, é/É, ...). Folding never changes the length
// in bytes, so a position found in the folded copy is the same position in the original.
#pragma once

#include <string>
#include <string_view>

namespace tabulo::localization {

// Upper-cases ASCII letters and the two-byte Latin-1 lower-case letters (U+00E0..U+00FE
// except U+00F7); every other byte, valid UTF-8 or not, is copied unchanged.
std::string FoldCase(std::string_view s);

}  // namespace tabulo::localization
