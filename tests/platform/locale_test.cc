// The fixed locales: separators, date order, names, and how grouped numbers read.
#include "platform/text/locale.h"

#include <gtest/gtest.h>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

const Locale& en = Locale::EnUS();
const Locale& de = Locale::DeDE();
const Locale& fr = Locale::FrFR();

TEST(Locale, FixedTablesAndLookups) {
  auto describe = [](const Locale& l) {
    const char* orders[] = {"MDY", "DMY", "YMD"};
    return std::to_string(l.lcid()) + " [" + std::string(l.decimal_separator()) + "][" +
           std::string(l.group_separator()) + "][" + std::string(l.date_separator()) + "] " +
           orders[static_cast<int>(l.date_order())] + (l.twelve_hour_clock() ? " 12h" : " 24h");
  };
  EXPECT_EQ(describe(en), "1033 [.][,][/] MDY 12h");
  EXPECT_EQ(describe(de), "1031 [,][.][.] DMY 24h");
  EXPECT_EQ(describe(fr), "1036 [,][\u00a0][/] DMY 24h");
  EXPECT_EQ(Locale::Find("de-de"), &de);
  EXPECT_EQ(Locale::Find("FR-FR"), &fr);
  EXPECT_EQ(Locale::Find("en-GB"), nullptr);
  EXPECT_EQ(Locale::Find(""), nullptr);
  EXPECT_EQ(Locale::FindByLcid(1031), &de);
  EXPECT_EQ(Locale::FindByLcid(1036), &fr);
  EXPECT_EQ(Locale::FindByLcid(2057), nullptr);
}

TEST(Locale, NamesInTheLocaleLanguage) {
  EXPECT_EQ(en.MonthName(3, false), "March");
  EXPECT_EQ(de.MonthName(3, false), "M\u00e4rz");
  EXPECT_EQ(fr.MonthName(8, false), "ao\u00fbt");
  EXPECT_EQ(de.MonthName(10, true), "Okt");
  EXPECT_EQ(en.DayName(1, false), "Sunday");
  EXPECT_EQ(de.DayName(7, false), "Samstag");
  EXPECT_EQ(fr.DayName(2, true), "lun.");
  EXPECT_NE(ErrorOf([] { en.MonthName(13, false); }), 0);
  EXPECT_NE(ErrorOf([] { en.DayName(0, false); }), 0);
  // A hand-built locale with another identifier falls back to English names.
  const Locale custom("xx-XX", 9999, ".", ",", "-", DateOrder::YMD, false);
  EXPECT_EQ(custom.MonthName(1, true), "Jan");
}

TEST(Locale, GroupingFollowsTheLocaleAndFrenchAcceptsTheSpacesPeopleType) {
  EXPECT_EQ(fr.GroupSeparatorAt("1\u00a0234", 1), 2u);
  EXPECT_EQ(fr.GroupSeparatorAt("1\u202f234", 1), 3u);
  EXPECT_EQ(fr.GroupSeparatorAt("1 234", 1), 1u);
  EXPECT_EQ(fr.GroupSeparatorAt("1.234", 1), 0u);
  EXPECT_EQ(de.GroupSeparatorAt("1 234", 1), 0u);
  EXPECT_EQ(en.GroupSeparatorAt("1,234", 1), 1u);
  // The en-US decimal point is a grouping separator in de-DE.
  const struct {
    const char* text;
    const Locale& loc;
    double value;
  } rows[] = {{"1\u00a0234,5", fr, 1234.5}, {"1\u202f234\u202f567", fr, 1234567.0},
              {"1 234,5", fr, 1234.5},      {"1.234", de, 1234.0},
              {"1.234", en, 1.234},         {"1,234", de, 1.234},
              {"1,234", en, 1234.0},        {"1.234.567,89", de, 1234567.89},
              {"-12,5", fr, -12.5}};
  for (const auto& r : rows) EXPECT_DOUBLE_EQ(CDbl(r.text, r.loc), r.value) << r.text;
  // Groups out of place are refused rather than read as some other number.
  for (const char* text : {"1.5", "12.34", "1234.567", "1..234", ".234", "1.234.", "1.23,4"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), de)) << text;
  }
  for (const char* text : {"1,23", "1,2345", ",123", "1,234,56", "1.2,345"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), en)) << text;
  }
}

}  // namespace
}  // namespace tabulo::platform
