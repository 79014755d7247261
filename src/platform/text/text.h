// Text helpers over UTF-8 strings with the classic semantics: lengths and positions in
// code points (not bytes), trimming of blanks (character 32 only), case-insensitive
// comparison and search for the letters of the three supported languages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabulo::platform {

// Byte index just past the code point that starts at byte i (i < s.size()). A well-formed
// sequence is taken whole; any other byte (a stray continuation, a truncated or overlong
// sequence) is one code point of its own.
size_t Utf8Next(std::string_view s, size_t i);
// Number of code points; an invalid byte counts as one code point.
int64_t Utf8Length(std::string_view s);
// Mid$: `count` code points from the 1-based code-point position `start`; count < 0 = to the end.
// start < 1 raises 5; a start beyond the end gives "". Left/Right raise 5 for count < 0.
std::string Utf8Mid(std::string_view s, int64_t start, int64_t count = -1);
std::string Utf8Left(std::string_view s, int64_t count);
std::string Utf8Right(std::string_view s, int64_t count);

std::string Trim(std::string_view s);  // blanks (32) at both ends
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);

std::string UCase(std::string_view s);  // ASCII and Latin-1 supplement letters (ä -> Ä, é -> É)
std::string LCase(std::string_view s);

// Case-insensitive (UCase) equality and search; InStr returns the 1-based code-point
// position of the first match at or after `start`, or 0. start < 1 raises 5; an empty
// haystack or a start beyond its end gives 0; an empty needle gives `start`.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Equality folding ASCII letters only, as SQL engines compare keywords and identifiers.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
int64_t InStr(int64_t start, std::string_view haystack, std::string_view needle,
              bool ignore_case = false);
// Replaces every occurrence (left to right, non-overlapping); an empty `find` leaves s as it is.
std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view with,
                       bool ignore_case = false);

}  // namespace tabulo::platform
