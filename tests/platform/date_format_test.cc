#include <gtest/gtest.h>

#include <cmath>

#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::platform {
namespace {

const Locale& en = Locale::EnUS();
const Locale& de = Locale::DeDE();
const Locale& fr = Locale::FrFR();

// Sunday, 1 March 2009, 14:05:09.
const double kSunday = DateSerial(2009, 3, 1) + TimeSerial(14, 5, 9);
// Tuesday, 7 July 2009, 03:04:05.
const double kMorning = DateSerial(2009, 7, 7) + TimeSerial(3, 4, 5);

TEST(FormatDate, YearMonthDayTokens) {
  EXPECT_EQ(FormatDate(kSunday, "yyyy", en), "2009");
  EXPECT_EQ(FormatDate(kSunday, "yy", en), "09");
  EXPECT_EQ(FormatDate(kSunday, "y", en), "60");  // day of the year
  EXPECT_EQ(FormatDate(kSunday, "m", en), "3");
  EXPECT_EQ(FormatDate(kSunday, "mm", en), "03");
  EXPECT_EQ(FormatDate(kSunday, "mmm", en), "Mar");
  EXPECT_EQ(FormatDate(kSunday, "mmmm", en), "March");
  EXPECT_EQ(FormatDate(kMorning, "d", en), "7");
  EXPECT_EQ(FormatDate(kMorning, "dd", en), "07");
  EXPECT_EQ(FormatDate(kSunday, "ddd", en), "Sun");
  EXPECT_EQ(FormatDate(kSunday, "dddd", en), "Sunday");
  EXPECT_EQ(FormatDate(kMorning, "dddd", en), "Tuesday");
}

TEST(FormatDate, TimeTokens) {
  EXPECT_EQ(FormatDate(kMorning, "h", en), "3");
  EXPECT_EQ(FormatDate(kMorning, "hh", en), "03");
  EXPECT_EQ(FormatDate(kMorning, "n", en), "4");
  EXPECT_EQ(FormatDate(kMorning, "nn", en), "04");
  EXPECT_EQ(FormatDate(kMorning, "s", en), "5");
  EXPECT_EQ(FormatDate(kMorning, "ss", en), "05");
  EXPECT_EQ(FormatDate(kSunday, "hh:nn:ss", en), "14:05:09");
  EXPECT_EQ(FormatDate(kSunday, "HH:NN:SS", en), "14:05:09");  // letters in any case
}

TEST(FormatDate, AmPmSwitchesToTheTwelveHourClock) {
  EXPECT_EQ(FormatDate(kSunday, "h:nn AM/PM", de), "2:05 PM");
  EXPECT_EQ(FormatDate(kSunday, "hh:nn am/pm", en), "02:05 pm");
  EXPECT_EQ(FormatDate(kMorning, "h AM/PM", en), "3 AM");
  EXPECT_EQ(FormatDate(kMorning, "h a/p", en), "3 a");
  EXPECT_EQ(FormatDate(kSunday, "h A/P", en), "2 P");
  EXPECT_EQ(FormatDate(DateSerial(2009, 1, 1), "h AM/PM", en), "12 AM");
  EXPECT_EQ(FormatDate(DateSerial(2009, 1, 1) + 0.5, "h AM/PM", en), "12 PM");
  EXPECT_EQ(FormatDate(kSunday, "h", en), "14");  // no marker: 24-hour clock
  // A quoted "AM/PM" is text and does not switch the clock.
  EXPECT_EQ(FormatDate(kSunday, "h \"AM/PM\"", en), "14 AM/PM");
}

TEST(FormatDate, MAfterHoursOrBeforeSecondsIsMinutes) {
  EXPECT_EQ(FormatDate(kSunday, "hh:mm", en), "14:05");
  EXPECT_EQ(FormatDate(kSunday, "h:m", en), "14:5");
  EXPECT_EQ(FormatDate(kMorning, "mm:ss", en), "04:05");
  EXPECT_EQ(FormatDate(kMorning, "mm/dd hh:mm", en), "07/07 03:04");
  EXPECT_EQ(FormatDate(kSunday, "yyyy-mm-dd hh:nn:ss", de), "2009-03-01 14:05:09");
  EXPECT_EQ(FormatDate(kSunday, "yyyy-mm-dd hh:mm:ss", de), "2009-03-01 14:05:09");
}

TEST(FormatDate, SeparatorsAndLiterals) {
  EXPECT_EQ(FormatDate(kSunday, "dd/mm/yyyy", de), "01.03.2009");
  EXPECT_EQ(FormatDate(kSunday, "dd/mm/yyyy", fr), "01/03/2009");
  EXPECT_EQ(FormatDate(kSunday, "m/d/yy", en), "3/1/09");
  EXPECT_EQ(FormatDate(kSunday, "yyyy-mm-dd", de), "2009-03-01");  // "-" is kept
  EXPECT_EQ(FormatDate(kSunday, "hh:nn", de), "14:05");
  EXPECT_EQ(FormatDate(kSunday, "\"Day\" d \"of\" mmmm", en), "Day 1 of March");
  EXPECT_EQ(FormatDate(kSunday, "\\d\\a\\y d", en), "day 1");
  EXPECT_EQ(FormatDate(kSunday, "\\\u00e4 d", en), "\u00e4 1");
  EXPECT_EQ(FormatDate(kSunday, "yyyy_mm_dd (T)", en), "2009_03_01 (T)");
  EXPECT_EQ(FormatDate(kSunday, "\"unterminated d", en), "unterminated d");
  EXPECT_EQ(FormatDate(kSunday, "", en), "");
  EXPECT_EQ(FormatDate(kSunday, "ddddd", de), "01.03.2009");
  EXPECT_EQ(FormatDate(kSunday, "ddddd", en), "3/1/2009");
}

TEST(FormatDate, NamesInTheLocaleLanguage) {
  EXPECT_EQ(FormatDate(kSunday, "dddd, d. mmmm yyyy", de), "Sonntag, 1. M\u00e4rz 2009");
  EXPECT_EQ(FormatDate(kSunday, "ddd d mmm", de), "So 1 Mrz");
  EXPECT_EQ(FormatDate(kSunday, "dddd d mmmm yyyy", fr), "dimanche 1 mars 2009");
  EXPECT_EQ(FormatDate(DateSerial(2009, 8, 4), "ddd d mmm", fr), "mar. 4 ao\u00fbt");
}

TEST(FormatDate, SecondsAreRoundedFirst) {
  const double almost_midnight = DateSerial(2009, 12, 31) + (86399.6 / 86400.0);
  EXPECT_EQ(FormatDate(almost_midnight, "yyyy-mm-dd hh:nn:ss", en), "2010-01-01 00:00:00");
  const double below_half = DateSerial(2009, 12, 31) + (86399.4 / 86400.0);
  EXPECT_EQ(FormatDate(below_half, "yyyy-mm-dd hh:nn:ss", en), "2009-12-31 23:59:59");
  // 14:05 stored with the usual representation error still shows 14:05:00.
  EXPECT_EQ(FormatDate(39873.0 + 50700.0 / 86400.0, "hh:nn:ss", en), "14:05:00");
}

TEST(FormatDate, DatesBeforeTheEpoch) {
  EXPECT_EQ(FormatDate(-1.25, "yyyy-mm-dd hh:nn", en), "1899-12-29 06:00");
  EXPECT_EQ(FormatDate(-1.75, "yyyy-mm-dd hh:nn", en), "1899-12-29 18:00");
  EXPECT_EQ(FormatDate(-0.25, "yyyy-mm-dd hh:nn", en), "1899-12-30 06:00");
  EXPECT_EQ(FormatDate(-2.0, "dddd", en), "Thursday");
  EXPECT_EQ(FormatDate(DateSerial(1753, 1, 1), "yyyy-mm-dd", en), "1753-01-01");
  EXPECT_EQ(FormatDate(-657434.0, "yyyy-mm-dd dddd", en), "0100-01-01 Friday");
  // The last second of day -1 rounds forward to day 0, not back to day -2.
  EXPECT_EQ(FormatDate(-1.0 - 86399.7 / 86400.0, "yyyy-mm-dd hh:nn:ss", en), "1899-12-30 00:00:00");
}

TEST(FormatDate, OutsideTheRangeIsOverflow) {
  for (double d : {2958466.0, -657435.0, 1e308, std::nan("")}) {
    try {
      FormatDate(d, "yyyy", en);
      ADD_FAILURE() << d;
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrOverflow);
    }
  }
  // 9999-12-31 23:59:59.6 would round into year 10000.
  EXPECT_THROW(FormatDate(2958465.0 + 86399.6 / 86400.0, "yyyy", en), ComError);
  EXPECT_EQ(FormatDate(2958465.0 + 86399.0 / 86400.0, "yyyy-mm-dd hh:nn:ss", en),
            "9999-12-31 23:59:59");
}

}  // namespace
}  // namespace tabulo::platform
