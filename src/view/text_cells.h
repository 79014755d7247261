// Text cells: fitting UTF-8 texts into fixed character slots for the terminal renderer.
// Widths are display widths, the columns a terminal gives a text: "Möchten" is 7 wide like
// "Mochten", "日本" is 4, an accent written as a combining mark adds nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tabulo::view {

enum class HAlign { kLeft, kCenter, kRight };

// The mark that ends a text cut to fit its slot.
inline constexpr std::string_view kCutMark = "…";

int64_t CodePoints(std::string_view s);
// The first `n` code points of s.
std::string FirstCodePoints(std::string_view s, int64_t n);
// Control characters are shown as escapes (platform::VisibleText: \n, \t, \x1B ...) so that a
// cell stays on its line and cannot move the terminal's cursor.
std::string OneLine(std::string_view s);
// The terminal columns the text takes, counted by user-perceived character: East Asian wide
// characters and emoji take 2, a base character with its combining marks 1. A mark with no
// base (it would join the border before it) and each byte of invalid UTF-8 take 1.
int64_t DisplayWidth(std::string_view s);
// Exactly `width` columns: the text padded as aligned, or cut with kCutMark at the end
// when wider (never inside a character and its marks; a wide character that no longer fits
// leaves a blank). A width below 1 gives the empty string.
std::string Fit(std::string_view s, int64_t width, HAlign align = HAlign::kLeft);
// Whether general alignment treats the text as a number (right-aligned): an optional sign,
// digits with at most one '.' or ',' and an optional exponent.
bool LooksNumeric(std::string_view s);
// Whether the text reads as a number, so that cutting it would show another number: what
// LooksNumeric accepts, and also digits in groups ("1,234,567.89", "1.234,5", "12 345")
// and a closing '%'.
bool IsNumberText(std::string_view s);

}  // namespace tabulo::view
