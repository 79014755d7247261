// Text cells: fitting UTF-8 texts into fixed character slots for the terminal renderer.
// Widths are counted in code points, so "Möchten" is 7 characters wide like "Mochten".
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
// Control characters (tab, line feed, ...) become blanks so that a cell stays on its line.
std::string OneLine(std::string_view s);
// Exactly `width` code points: the text padded as aligned, or cut with kCutMark at the end
// when longer. A width below 1 gives the empty string.
std::string Fit(std::string_view s, int64_t width, HAlign align = HAlign::kLeft);
// Whether general alignment treats the text as a number (right-aligned): an optional sign,
// digits with at most one '.' or ',' and an optional exponent.
bool LooksNumeric(std::string_view s);

}  // namespace tabulo::view
