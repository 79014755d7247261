// Text cells: code-point counting, cutting and padding for the terminal renderer.
#include "view/text_cells.h"

#include <cctype>

#include "platform/text/utf8_step.h"

namespace tabulo::view {

using platform::Utf8Step;

int64_t CodePoints(std::string_view s) {
  int64_t n = 0;
  for (size_t i = 0; i < s.size(); i += Utf8Step(s, i)) ++n;
  return n;
}

std::string FirstCodePoints(std::string_view s, int64_t n) {
  size_t i = 0;
  for (int64_t k = 0; k < n && i < s.size(); ++k) i += Utf8Step(s, i);
  return std::string(s.substr(0, i));
}

std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& ch : out) {
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
  }
  return out;
}

std::string Fit(std::string_view s, int64_t width, HAlign align) {
  if (width < 1) return {};
  int64_t len = CodePoints(s);
  if (len > width) return FirstCodePoints(s, width - 1) + std::string(kCutMark);
  int64_t spare = width - len;
  int64_t before = align == HAlign::kLeft ? 0 : align == HAlign::kRight ? spare : spare / 2;
  std::string out(static_cast<size_t>(before), ' ');
  out += s;
  out.append(static_cast<size_t>(spare - before), ' ');
  return out;
}

bool LooksNumeric(std::string_view s) {
  size_t i = 0;
  auto digits = [&] {
    size_t start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    return i > start;
  };
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  if (!digits()) return false;
  if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
    ++i;
    if (!digits()) return false;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == s.size();
}

}  // namespace tabulo::view
