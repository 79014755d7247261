// Small text helpers that know bytes only: ASCII case for command words and protocol names,
// and the JSON string form of a text for the files and lines the program writes.
#pragma once

#include <string>
#include <string_view>

namespace tabulo::platform {

// A..Z lowered; every other byte (UTF-8 sequences included) as it is.
std::string AsciiLower(std::string_view s);

// The text in double quotes with '"', '\', line feed, carriage return and tab escaped as JSON
// escapes them; with `all_controls`, the other control characters (0x00-0x1F) too, as
// "\u00XX". Other bytes, UTF-8 sequences included, as they are.
std::string QuotedText(std::string_view text, bool all_controls);
// A JSON string literal: every control character escaped.
inline std::string JsonString(std::string_view text) {
  return QuotedText(text, true);
}

}  // namespace tabulo::platform
