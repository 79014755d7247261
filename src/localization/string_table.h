// The built-in string table: the texts the control carries itself, by number and language,
// used when no resource store knows a number.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tabulo::localization {

inline constexpr int32_t kLanguageGerman = 1031;
inline constexpr int32_t kLanguageEnglish = 1033;
inline constexpr int32_t kLanguageFrench = 1036;

struct StringTableEntry {
  int32_t id;
  std::string_view german;   // 1031
  std::string_view english;  // 1033
  std::string_view french;   // 1036
};

// Every entry, sorted by id.
std::span<const StringTableEntry> BuiltInStrings();

// The language the table is read in for a user-interface language: German, English and
// French as they are, every other language English.
int32_t TableLanguage(int32_t ui_language);

// The text of `id` in `language` (mapped by TableLanguage); empty when the table lacks the id.
std::string_view BuiltInString(int32_t id, int32_t language);

// The whole table for printing: a header line "Id\t1031\t1033\t1036", then one line per id
// with its three texts separated by tabs, each line ending in "\n".
std::string ListStringTable();

}  // namespace tabulo::localization
