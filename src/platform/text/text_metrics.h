// Text metrics: the deterministic measurement of text in twips that stands in for a
// font renderer. Every font is treated as fixed-pitch, so widths depend only on the point
// size, boldness and the number of code points, never on the machine:
//   character width = round(size x 120 / 11 x (bold ? 1.1 : 1)) twips   (8.25 pt: 90, bold 99)
//   line height     = round(size x 320 / 11) twips                      (8.25 pt: 240)
// A text of several lines (separated by LF, CR LF or CR) is as wide as its widest line and
// as high as its number of lines times the line height; the empty text is one line high.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tabulo::platform {

// A font as the widget models describe it. The defaults are the classic dialog font.
struct TextFont {
  std::string name = "MS Sans Serif";
  double size = 8.25;  // points
  bool bold = false;
  bool italic = false;

  bool operator==(const TextFont&) const = default;
};

// Twips per character of the font; a size below 0 or not finite raises ComError 380.
int32_t CharWidth(double size, bool bold);
// Twips per line of the font; a size below 0 or not finite raises ComError 380.
int32_t LineHeight(double size);

// The font name does not change the measurement (all fonts are fixed-pitch here); it is
// taken so that callers pass the whole font and a later finer model needs no new interface.
int32_t TextWidth(std::string_view font_name, double size, bool bold, std::string_view text);
int32_t TextHeight(std::string_view font_name, double size, bool bold, std::string_view text);
inline int32_t TextWidth(const TextFont& f, std::string_view text) {
  return TextWidth(f.name, f.size, f.bold, text);
}
inline int32_t TextHeight(const TextFont& f, std::string_view text) {
  return TextHeight(f.name, f.size, f.bold, text);
}

}  // namespace tabulo::platform
