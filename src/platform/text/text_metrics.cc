// Text metrics: fixed-pitch measurement of UTF-8 text in twips.
#include "platform/text/text_metrics.h"

#include <algorithm>
#include <cmath>

#include "platform/text/utf8_step.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

// Sizes beyond this would overflow 32-bit twips for even short texts.
constexpr double kMaxFontSize = 2048;

void CheckSize(double size) {
  if (!std::isfinite(size) || size < 0 || size > kMaxFontSize) {
    throw ComError(380, "Invalid property value", "TextMetrics");
  }
}

// Code points per line.
template <typename Fn>
void ForEachLineLength(std::string_view text, Fn fn) {
  int64_t count = 0;
  for (size_t i = 0; i < text.size();) {
    char b = text[i];
    if (b == '\r' || b == '\n') {
      fn(count);
      count = 0;
      i += (b == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      continue;
    }
    ++count;
    i += Utf8Step(text, i);
  }
  fn(count);
}

int32_t Clamp32(double v) {
  return static_cast<int32_t>(std::min<double>(v, 2147483647.0));
}

}  // namespace

int32_t CharWidth(double size, bool bold) {
  CheckSize(size);
  return static_cast<int32_t>(std::lround(size * 120.0 / 11.0 * (bold ? 1.1 : 1.0)));
}

int32_t LineHeight(double size) {
  CheckSize(size);
  return static_cast<int32_t>(std::lround(size * 320.0 / 11.0));
}

int32_t TextWidth(std::string_view /*font_name*/, double size, bool bold, std::string_view text) {
  int32_t per_char = CharWidth(size, bold);
  int64_t widest = 0;
  ForEachLineLength(text, [&](int64_t n) { widest = std::max(widest, n); });
  return Clamp32(static_cast<double>(widest) * per_char);
}

int32_t TextHeight(std::string_view /*font_name*/, double size, bool /*bold*/,
                   std::string_view text) {
  int32_t per_line = LineHeight(size);
  int64_t lines = 0;
  ForEachLineLength(text, [&](int64_t) { ++lines; });
  return Clamp32(static_cast<double>(lines) * per_line);
}

}  // namespace tabulo::platform
