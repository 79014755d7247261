// The formatting step of a lookup: numbered markers ("%s1", "%s2", ...), the escapes "\n"
// and "\t", then sequential markers ("%s"). Every search ignores letter case and starts at
// the first character of the text as it stands after the previous replacement.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/locale.h"
#include "platform/values/variant.h"

namespace tabulo::localization {

// A formatted text longer than this raises ComError 7, so that a replacement that keeps
// producing new matches cannot exhaust memory.
inline constexpr size_t kMaxFormattedBytes = 4 * 1024 * 1024;
// ReplaceAllText gives up (ComError 7) after this many replacements of one call.
inline constexpr size_t kMaxReplacements = 1024 * 1024;

// Replaces the first occurrence of `find` in the current text by `with`, again and again,
// until none is left; a match may span the edge of an earlier replacement ("aabb" with "ab"
// -> "a" becomes "aa"). An empty `find` leaves the text as it is. Raises ComError 5 when
// `with` itself holds `find` (the loop would never end) and 7 past kMaxFormattedBytes or
// kMaxReplacements.
std::string ReplaceAllText(std::string_view text, std::string_view find, std::string_view with);

// For i from 1 to the number of values: the first occurrence of "%s" followed by i in
// decimal becomes values[i - 1]. Later occurrences of the same marker stay.
std::string FillNumberedMarkers(std::string_view text, const std::vector<std::string>& values);

// While the text holds "%s": its first occurrence becomes the next value (the first, then
// the second, ...), or nothing once the values are used up. A "%s" inside an inserted value
// is filled in turn.
std::string FillSequentialMarkers(std::string_view text, const std::vector<std::string>& values);

// The whole formatting step on values already converted to text: FillNumberedMarkers,
// "\n" -> CR LF, "\t" -> tab, FillSequentialMarkers.
std::string FormatLocalizedText(std::string_view text, const std::vector<std::string>& values);

// The same with values converted by platform::CStr in `locale` first (values numbered
// from 1 in the order given). A value that cannot be converted raises its ComError.
std::string FormatLocalizedString(std::string_view text,
                                  const std::vector<platform::Variant>& values,
                                  const platform::Locale& locale);

}  // namespace tabulo::localization
