// Text helpers over UTF-8: code-point counting, Mid/Left/Right, blank trimming, the case
// mapping of the three supported languages, and linear-time search and replace.
#include "platform/text.h"

#include <cstring>

#include "platform/com_error.h"

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

// Finds `needle` in `hay` at or after byte `pos`, only at code-point boundaries. `pos` and
// `cp` (the code-point index of `pos`) advance to the match, which keeps a whole scan linear.
// Returns false when there is no further match.
bool FindAtBoundary(std::string_view hay, std::string_view needle, size_t& pos, int64_t& cp) {
  while (pos + needle.size() <= hay.size()) {
    const void* hit = memmem(hay.data() + pos, hay.size() - pos, needle.data(), needle.size());
    if (hit == nullptr) return false;
    const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - hay.data());
    while (pos < at) {
      pos = Utf8Next(hay, pos);
      ++cp;
    }
    if (pos == at) {
      // The match must also end on a boundary, or it would cut a code point in two.
      size_t end = at;
      while (end < at + needle.size()) end = Utf8Next(hay, end);
      if (end == at + needle.size()) return true;
      pos = Utf8Next(hay, pos);
      ++cp;
    }
    // Otherwise the match began inside a code point (only an invalid needle does that).
  }
  return false;
}

// Maps one byte-length-preserving case pair at s[i]; returns the bytes consumed (1 or 2).
// Every mapping keeps the byte length, so offsets in a mapped copy equal the original's.
size_t MapCase(std::string_view s, size_t i, bool upper, std::string& out) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    char m = s[i];
    if (upper && c >= 'a' && c <= 'z') m = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') m = static_cast<char>(c + 32);
    out.push_back(m);
    return 1;
  }
  if (i + 1 < s.size() && IsContinuation(static_cast<unsigned char>(s[i + 1]))) {
    const unsigned char d = static_cast<unsigned char>(s[i + 1]);
    if (c == 0xC3) {
      // U+00C0..U+00DE <-> U+00E0..U+00FE, except the signs U+00D7 / U+00F7; ß (U+00DF)
      // has no one-letter capital and stays.
      unsigned char m = d;
      if (upper && d >= 0xA0 && d <= 0xBE && d != 0xB7) m = static_cast<unsigned char>(d - 0x20);
      if (!upper && d >= 0x80 && d <= 0x9E && d != 0x97) m = static_cast<unsigned char>(d + 0x20);
      if (upper && d == 0xBF) {  // ÿ -> Ÿ (U+0178)
        out += "\xC5\xB8";
        return 2;
      }
      out.push_back(static_cast<char>(c));
      out.push_back(static_cast<char>(m));
      return 2;
    }
    if (c == 0xC5) {
      if (!upper && d == 0xB8) {  // Ÿ -> ÿ
        out += "\xC3\xBF";
        return 2;
      }
      unsigned char m = d;
      if (upper && d == 0x93) m = 0x92;  // œ -> Œ
      if (!upper && d == 0x92) m = 0x93;
      out.push_back(static_cast<char>(c));
      out.push_back(static_cast<char>(m));
      return 2;
    }
  }
  out.push_back(s[i]);
  return 1;
}

std::string MapCaseAll(std::string_view s, bool upper) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) i += MapCase(s, i, upper, out);
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
  return a.size() == b.size() && UCase(a) == UCase(b);
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
  return FindAtBoundary(haystack, needle, pos, cp) ? cp + 1 : 0;
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
  while (FindAtBoundary(hay, find, pos, cp)) {
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
