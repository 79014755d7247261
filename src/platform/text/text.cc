// Text helpers over UTF-8: code-point counting, Mid/Left/Right, blank trimming, the case
// mapping of the three supported languages, and linear-time search and replace.
#include "platform/text/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

bool IsContinuation(unsigned char c) {
  return c >= 0x80 && c <= 0xBF;
}

// Byte offset of the 0-based code point `index`, or s.size() when s has fewer.
size_t ByteOffsetOf(std::string_view s, int64_t index) {
  size_t pos = 0;
  while (index > 0 && pos < s.size()) {
    pos = Utf8Next(s, pos);
    --index;
  }
  return pos;
}

// Knuth-Morris-Pratt search: linear in haystack plus needle whatever the input (memmem is
// linear in glibc but quadratic under the address sanitizer's interceptor).
class Finder {
 public:
  explicit Finder(std::string_view needle) : needle_(needle), fail_(needle.size(), 0) {
    for (size_t i = 1, k = 0; i < needle.size(); ++i) {
      while (k > 0 && needle[i] != needle[k]) k = fail_[k - 1];
      if (needle[i] == needle[k]) ++k;
      fail_[i] = k;
    }
  }

  // Byte offset of the first match at or after `from`, or npos.
  size_t Find(std::string_view hay, size_t from) const {
    const size_t m = needle_.size();
    for (size_t i = from, k = 0; i < hay.size(); ++i) {
      if (k == 0) {  // nothing matched yet: jump to the next candidate first byte
        const void* hit = std::memchr(hay.data() + i, needle_[0], hay.size() - i);
        if (hit == nullptr) return std::string_view::npos;
        i = static_cast<size_t>(static_cast<const char*>(hit) - hay.data());
      }
      while (k > 0 && hay[i] != needle_[k]) k = fail_[k - 1];
      if (hay[i] == needle_[k] && ++k == m) return i + 1 - m;
    }
    return std::string_view::npos;
  }

 private:
  std::string_view needle_;
  std::vector<size_t> fail_;
};

// Finds the needle in `hay` at or after byte `pos`, only at code-point boundaries. `pos` and
// `cp` (the code-point index of `pos`) advance to the match, which keeps a whole scan linear.
// Returns false when there is no further match.
bool FindAtBoundary(std::string_view hay, const Finder& finder, size_t needle_size, size_t& pos,
                    int64_t& cp) {
  while (pos + needle_size <= hay.size()) {
    const size_t at = finder.Find(hay, pos);
    if (at == std::string_view::npos) return false;
    while (pos < at) {
      pos = Utf8Next(hay, pos);
      ++cp;
    }
    if (pos == at) {
      // The match must also end on a boundary, or it would cut a code point in two.
      size_t end = at;
      while (end < at + needle_size) end = Utf8Next(hay, end);
      if (end == at + needle_size) return true;
      pos = Utf8Next(hay, pos);
      ++cp;
    }
    // Otherwise the match began inside a code point (only an invalid needle does that).
  }
  return false;
}

// Maps the case of `s` in place. Every mapping keeps the byte length (ASCII to ASCII, a
// two-byte letter to a two-byte letter), so offsets in a mapped copy equal the original's.
void MapCaseInPlace(std::string& s, bool upper) {
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (upper && c >= 'a' && c <= 'z') s[i] = static_cast<char>(c - 32);
      if (!upper && c >= 'A' && c <= 'Z') s[i] = static_cast<char>(c + 32);
      continue;
    }
    if (i + 1 >= n || !IsContinuation(static_cast<unsigned char>(s[i + 1]))) continue;
    const unsigned char d = static_cast<unsigned char>(s[i + 1]);
    if (c == 0xC3) {
      // U+00C0..U+00DE <-> U+00E0..U+00FE, except the signs U+00D7 / U+00F7; ß (U+00DF)
      // has no one-letter capital and stays.
      if (upper && d >= 0xA0 && d <= 0xBE && d != 0xB7) s[i + 1] = static_cast<char>(d - 0x20);
      if (!upper && d >= 0x80 && d <= 0x9E && d != 0x97) s[i + 1] = static_cast<char>(d + 0x20);
      if (upper && d == 0xBF) s.replace(i, 2, "\xC5\xB8");  // ÿ -> Ÿ (U+0178)
    } else if (c == 0xC5) {
      if (!upper && d == 0xB8) s.replace(i, 2, "\xC3\xBF");        // Ÿ -> ÿ
      if (upper && d == 0x93) s[i + 1] = static_cast<char>(0x92);  // œ -> Œ
      if (!upper && d == 0x92) s[i + 1] = static_cast<char>(0x93);
    }
    ++i;  // the second byte of the pair is done
  }
}

std::string MapCaseAll(std::string_view s, bool upper) {
  std::string out(s);
  MapCaseInPlace(out, upper);
  return out;
}

}  // namespace

size_t Utf8Next(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return i + 1;
  size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return i + 1;
  }
  if (len > s.size() - i) return i + 1;
  const unsigned char second = static_cast<unsigned char>(s[i + 1]);
  if (second < lo || second > hi) return i + 1;
  for (size_t k = 2; k < len; ++k) {
    if (!IsContinuation(static_cast<unsigned char>(s[i + k]))) return i + 1;
  }
  return i + len;
}

int64_t Utf8Length(std::string_view s) {
  int64_t n = 0;
  for (size_t i = 0; i < s.size(); i = Utf8Next(s, i)) ++n;
  return n;
}

std::string Utf8Mid(std::string_view s, int64_t start, int64_t count) {
  if (start < 1) throw ComError::InvalidProcedureCall("Mid");
  const size_t begin = ByteOffsetOf(s, start - 1);
  if (count < 0) return std::string(s.substr(begin));
  const size_t end = begin + ByteOffsetOf(s.substr(begin), count);
  return std::string(s.substr(begin, end - begin));
}

std::string Utf8Left(std::string_view s, int64_t count) {
  if (count < 0) throw ComError::InvalidProcedureCall("Left");
  return std::string(s.substr(0, ByteOffsetOf(s, count)));
}

std::string Utf8Right(std::string_view s, int64_t count) {
  if (count < 0) throw ComError::InvalidProcedureCall("Right");
  const int64_t len = Utf8Length(s);
  if (count >= len) return std::string(s);
  return std::string(s.substr(ByteOffsetOf(s, len - count)));
}

std::string LTrim(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

std::string RTrim(std::string_view s) {
  const size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

std::string Trim(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return std::string();
  const size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::string UCase(std::string_view s) {
  return MapCaseAll(s, true);
}
std::string LCase(std::string_view s) {
  return MapCaseAll(s, false);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return UCase(a) == UCase(b);
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

int64_t InStr(int64_t start, std::string_view haystack, std::string_view needle, bool ignore_case) {
  if (start < 1) throw ComError::InvalidProcedureCall("InStr");
  if (haystack.empty()) return 0;
  size_t pos = ByteOffsetOf(haystack, start - 1);
  if (pos >= haystack.size()) return 0;
  if (needle.empty()) return start;
  std::string hay_upper, needle_upper;
  if (ignore_case) {
    hay_upper = UCase(haystack);
    needle_upper = UCase(needle);
    haystack = hay_upper;
    needle = needle_upper;
  }
  int64_t cp = start - 1;
  return FindAtBoundary(haystack, Finder(needle), needle.size(), pos, cp) ? cp + 1 : 0;
}

std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view with,
                       bool ignore_case) {
  if (find.empty()) return std::string(s);
  std::string s_upper, find_upper;
  std::string_view hay = s;
  if (ignore_case) {
    s_upper = UCase(s);
    find_upper = UCase(find);
    hay = s_upper;
    find = find_upper;
  }
  std::string out;
  out.reserve(s.size());
  size_t copied = 0, pos = 0;
  int64_t cp = 0;
  const Finder finder(find);
  while (FindAtBoundary(hay, finder, find.size(), pos, cp)) {
    out.append(s.substr(copied, pos - copied));
    out.append(with);
    const size_t end = pos + find.size();  // a boundary, as FindAtBoundary checked
    while (pos < end) {
      pos = Utf8Next(hay, pos);
      ++cp;
    }
    copied = pos;
  }
  out.append(s.substr(copied));
  return out;
}

}  // namespace tabulo::platform
