#include "platform/text/locale.h"

#include <gtest/gtest.h>

#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::platform {
namespace {

TEST(Locale, FixedTables) {
  const Locale& en = Locale::EnUS();
  EXPECT_EQ(en.lcid(), 1033);
  EXPECT_EQ(en.decimal_separator(), ".");
  EXPECT_EQ(en.group_separator(), ",");
  EXPECT_EQ(en.date_separator(), "/");
  EXPECT_EQ(en.date_order(), DateOrder::MDY);
  EXPECT_TRUE(en.twelve_hour_clock());

  const Locale& de = Locale::DeDE();
  EXPECT_EQ(de.lcid(), 1031);
  EXPECT_EQ(de.decimal_separator(), ",");
  EXPECT_EQ(de.group_separator(), ".");
  EXPECT_EQ(de.date_separator(), ".");
  EXPECT_EQ(de.date_order(), DateOrder::DMY);
  EXPECT_FALSE(de.twelve_hour_clock());

  const Locale& fr = Locale::FrFR();
  EXPECT_EQ(fr.lcid(), 1036);
  EXPECT_EQ(fr.decimal_separator(), ",");
  EXPECT_EQ(fr.group_separator(), "\u00a0");
  EXPECT_EQ(fr.date_separator(), "/");
  EXPECT_EQ(fr.date_order(), DateOrder::DMY);
  EXPECT_FALSE(fr.twelve_hour_clock());
}

TEST(Locale, FindsByNameAndIdentifier) {
  EXPECT_EQ(Locale::Find("de-de"), &Locale::DeDE());
  EXPECT_EQ(Locale::Find("FR-FR"), &Locale::FrFR());
  EXPECT_EQ(Locale::Find("en-US"), &Locale::EnUS());
  EXPECT_EQ(Locale::Find("en-GB"), nullptr);
  EXPECT_EQ(Locale::Find(""), nullptr);
  EXPECT_EQ(Locale::FindByLcid(1031), &Locale::DeDE());
  EXPECT_EQ(Locale::FindByLcid(1036), &Locale::FrFR());
  EXPECT_EQ(Locale::FindByLcid(1033), &Locale::EnUS());
  EXPECT_EQ(Locale::FindByLcid(2057), nullptr);
}

TEST(Locale, NamesInTheLocaleLanguage) {
  EXPECT_EQ(Locale::EnUS().MonthName(3, false), "March");
  EXPECT_EQ(Locale::DeDE().MonthName(3, false), "M\u00e4rz");
  EXPECT_EQ(Locale::FrFR().MonthName(8, false), "ao\u00fbt");
  EXPECT_EQ(Locale::DeDE().MonthName(10, true), "Okt");
  EXPECT_EQ(Locale::EnUS().DayName(1, false), "Sunday");
  EXPECT_EQ(Locale::DeDE().DayName(7, false), "Samstag");
  EXPECT_EQ(Locale::FrFR().DayName(2, true), "lun.");
  EXPECT_THROW(Locale::EnUS().MonthName(13, false), ComError);
  EXPECT_THROW(Locale::EnUS().DayName(0, false), ComError);
  // A hand-built locale with another identifier falls back to English names.
  const Locale custom("xx-XX", 9999, ".", ",", "-", DateOrder::YMD, false);
  EXPECT_EQ(custom.MonthName(1, true), "Jan");
}

TEST(Locale, FrenchGroupingAcceptsTheSpacesPeopleType) {
  const Locale& fr = Locale::FrFR();
  EXPECT_EQ(fr.GroupSeparatorAt("1\u00a0234", 1), 2u);
  EXPECT_EQ(fr.GroupSeparatorAt("1\u202f234", 1), 3u);
  EXPECT_EQ(fr.GroupSeparatorAt("1 234", 1), 1u);
  EXPECT_EQ(fr.GroupSeparatorAt("1.234", 1), 0u);
  EXPECT_EQ(Locale::DeDE().GroupSeparatorAt("1 234", 1), 0u);
  EXPECT_EQ(Locale::EnUS().GroupSeparatorAt("1,234", 1), 1u);

  EXPECT_DOUBLE_EQ(CDbl("1\u00a0234,5", fr), 1234.5);
  EXPECT_DOUBLE_EQ(CDbl("1\u202f234\u202f567", fr), 1234567.0);
  EXPECT_DOUBLE_EQ(CDbl("1 234,5", fr), 1234.5);
}

TEST(Locale, GroupingFollowsTheLocale) {
  // The en-US decimal point is a grouping separator in de-DE.
  EXPECT_DOUBLE_EQ(CDbl("1.234", Locale::DeDE()), 1234.0);
  EXPECT_DOUBLE_EQ(CDbl("1.234", Locale::EnUS()), 1.234);
  EXPECT_DOUBLE_EQ(CDbl("1,234", Locale::DeDE()), 1.234);
  EXPECT_DOUBLE_EQ(CDbl("1,234", Locale::EnUS()), 1234.0);
  EXPECT_DOUBLE_EQ(CDbl("1.234.567,89", Locale::DeDE()), 1234567.89);
  EXPECT_DOUBLE_EQ(CDbl("-12,5", Locale::FrFR()), -12.5);
  // Groups out of place are refused rather than read as some other number.
  for (const char* text : {"1.5", "12.34", "1234.567", "1..234", ".234", "1.234.", "1.23,4"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), Locale::DeDE())) << text;
  }
  for (const char* text : {"1,23", "1,2345", ",123", "1,234,56", "1.2,345"}) {
    EXPECT_FALSE(IsNumeric(Variant(text), Locale::EnUS())) << text;
  }
}

}  // namespace
}  // namespace tabulo::platform
