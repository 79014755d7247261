// Text cells: display widths, cutting and padding for the terminal renderer.
#include "view/text_cells.h"

#include <utf8proc.h>

#include <algorithm>
#include <cctype>

#include "platform/text/utf8_step.h"
#include "platform/text/visible_text.h"

namespace tabulo::view {
namespace {

using platform::Utf8Step;

constexpr int32_t kVariationSelectorEmoji = 0xFE0F;

bool IsRegionalIndicator(int32_t cp) {
  return cp >= 0x1F1E6 && cp <= 0x1F1FF;
}

// One user-perceived character: its bytes and the columns a terminal gives it.
struct Cluster {
  std::string_view bytes;
  int64_t width = 0;
};

// Steps through s one cluster at a time.
class Clusters {
 public:
  explicit Clusters(std::string_view s) : s_(s) {}

  bool Next(Cluster& out) {
    if (pos_ >= s_.size()) return false;
    size_t start = pos_;
    int32_t cp = 0;
    if (!Decode(cp)) {  // an invalid byte stands alone
      out = {s_.substr(start, 1), 1};
      pos_ = start + 1;
      return true;
    }
    int64_t width = utf8proc_charwidth(cp);
    bool emoji = IsRegionalIndicator(cp);
    int32_t state = 0, prev = cp;
    for (size_t next = pos_; next < s_.size(); next = pos_) {
      int32_t following = 0;
      if (!Decode(following) || utf8proc_grapheme_break_stateful(prev, following, &state)) {
        pos_ = next;
        break;
      }
      width = std::max<int64_t>(width, utf8proc_charwidth(following));
      emoji |= following == kVariationSelectorEmoji || IsRegionalIndicator(following);
      prev = following;
    }
    if (emoji) width = 2;  // flags and emoji presentation take two columns on terminals
    out = {s_.substr(start, pos_ - start), std::max<int64_t>(width, 1)};
    return true;
  }

 private:
  // Decodes the code point at pos_ and steps past it; false (pos_ unchanged) when invalid.
  bool Decode(int32_t& cp) {
    auto* p = reinterpret_cast<const utf8proc_uint8_t*>(s_.data() + pos_);
    utf8proc_ssize_t n = utf8proc_iterate(p, static_cast<utf8proc_ssize_t>(s_.size() - pos_), &cp);
    if (n <= 0) return false;
    pos_ += static_cast<size_t>(n);
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
};

// The cluster as drawn: a mark without a base gets a blank to sit on.
void AppendDrawn(std::string& out, const Cluster& c) {
  int32_t cp = 0;
  auto* p = reinterpret_cast<const utf8proc_uint8_t*>(c.bytes.data());
  if (utf8proc_iterate(p, static_cast<utf8proc_ssize_t>(c.bytes.size()), &cp) > 0 &&
      utf8proc_charwidth(cp) == 0)
    out.push_back(' ');
  out.append(c.bytes);
}

// Digits in groups of any size, each separator between two digits; returns the end.
size_t GroupedDigits(std::string_view s, size_t i) {
  size_t start = i;
  while (i < s.size()) {
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      ++i;
    } else if (i > start && (s[i] == ',' || s[i] == '.' || s[i] == ' ' || s[i] == '\'') &&
               i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

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
  return platform::VisibleText(s);
}

int64_t DisplayWidth(std::string_view s) {
  int64_t width = 0;
  Clusters clusters(s);
  for (Cluster c; clusters.Next(c);) width += c.width;
  return width;
}

std::string Fit(std::string_view s, int64_t width, HAlign align) {
  if (width < 1) return {};
  std::string drawn;
  int64_t used = 0;
  Clusters clusters(s);
  for (Cluster c; clusters.Next(c);) {
    if (used + c.width > width) {
      // Cut: keep what fits before the mark, then blanks up to the width.
      Clusters again(s);
      drawn.clear();
      used = 0;
      for (Cluster k; again.Next(k) && used + k.width <= width - 1; used += k.width)
        AppendDrawn(drawn, k);
      drawn += kCutMark;
      drawn.append(static_cast<size_t>(width - 1 - used), ' ');
      return drawn;
    }
    AppendDrawn(drawn, c);
    used += c.width;
  }
  int64_t spare = width - used;
  int64_t before = align == HAlign::kLeft ? 0 : align == HAlign::kRight ? spare : spare / 2;
  std::string out(static_cast<size_t>(before), ' ');
  out += drawn;
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

bool IsNumberText(std::string_view s) {
  if (LooksNumeric(s)) return true;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t start = i;
  i = GroupedDigits(s, i);
  if (i == start) return false;
  if (i < s.size() && s[i] == '%') ++i;
  return i == s.size();
}

}  // namespace tabulo::view
