// Tests of the built-in string table: completeness, exact non-ASCII texts, language choice.
#include "localization/string_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tabulo::localization {
namespace {

TEST(StringTable, HoldsTheSixtyIdsInThreeLanguages) {
  const std::set<int32_t> expected = {
      1004, 1005, 1009, 1013, 1019, 1030, 1034, 1036, 1048, 1059, 1060, 1072, 1076, 1079, 1080,
      1081, 1082, 1085, 1088, 1092, 1093, 1094, 1096, 1100, 1101, 1102, 1103, 1104, 1128, 1135,
      1136, 1137, 1142, 1143, 1144, 1150, 1151, 1152, 1153, 1154, 1155, 1156, 1157, 1158, 1163,
      1164, 1165, 1166, 1167, 1168, 1169, 1170, 1171, 1172,
      // Refusals of values that are not of the column's type.
      1300, 1301, 1302, 1303, 1304, 1305};
  ASSERT_EQ(expected.size(), 60u);
  std::set<int32_t> ids;
  int32_t previous = 0;
  for (const StringTableEntry& e : BuiltInStrings()) {
    EXPECT_GT(e.id, previous) << "table must be sorted for the binary search";
    previous = e.id;
    ids.insert(e.id);
    EXPECT_FALSE(e.german.empty()) << e.id;
    EXPECT_FALSE(e.english.empty()) << e.id;
    EXPECT_FALSE(e.french.empty()) << e.id;
  }
  EXPECT_EQ(ids, expected);
}

// German texts are read exactly by the listing's test and the languages acceptance script.
TEST(StringTable, ReadsEachLanguageExactlyAndEnglishForOthers) {
  const struct {
    int32_t id, language;
    const char* text;
  } rows[] = {// clang-format off
      {1004, 1031, "Abbrechen"}, {1004, 1033, "Cancel"}, {1004, 1036, "Annuler"},
      {1004, 1040, "Cancel"},  // Italian is not carried
      {1004, 0, "Cancel"}, {1172, 1033, "Display Status Bar"},  // the last entry
      {1048, 1036, "Etes-vous s\xC3\xBBr de vouloir mettre \xC3\xA0 jour vos enregistrements de "
                   "base de donn\xC3\xA9" "es ?"},
      {1142, 1036, "\xC3\x89num\xC3\xA9rez les Tableaux"}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(BuiltInString(r.id, r.language), r.text) << r.id;
  for (int32_t id : {0, -1, 1003, 1006, 1173, 1175, 1201, 1210, 1221}) {
    EXPECT_TRUE(BuiltInString(id, 1033).empty()) << id;
  }
  EXPECT_EQ(TableLanguage(2055), 1033);  // Swiss German is another language
}

TEST(StringTable, QueryBuilderHelpKeepsItsWording) {
  const std::string fr(BuiltInString(1166, 1036));
  EXPECT_NE(fr.find("Vous pouvez utiliser  les boutons 'haut/bas'"), std::string::npos);
  EXPECT_EQ(fr.find("   "), std::string::npos);
  const std::string de(BuiltInString(1166, 1031));
  EXPECT_NE(de.find("Sie k\xC3\xB6nnen die 'Auf' und 'Ab' - Tasten verwenden"), std::string::npos);
  const std::string en(BuiltInString(1166, 1033));
  EXPECT_EQ(en.find("  "), std::string::npos);
}

TEST(StringTable, ListsEveryIdOnePerLine) {
  const std::string listing = ListStringTable();
  EXPECT_TRUE(listing.starts_with("Id\t1031\t1033\t1036\n"));
  EXPECT_NE(listing.find("\n1102\tPa\xC3\x9Fwort:\tPassword:\tMot de passe:\n"), std::string::npos);
  size_t lines = 0;
  for (char c : listing) lines += c == '\n';
  EXPECT_EQ(lines, 61u);
  EXPECT_EQ(listing.back(), '\n');
}

}  // namespace
}  // namespace tabulo::localization
