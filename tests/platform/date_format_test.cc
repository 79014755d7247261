// Formatting dates with pattern tokens: one table of date, pattern, locale and text.
#include <gtest/gtest.h>

#include <cmath>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

const Locale& en = Locale::EnUS();
const Locale& de = Locale::DeDE();
const Locale& fr = Locale::FrFR();

TEST(FormatDate, PatternsInEachLocale) {
  // Sunday, 1 March 2009, 14:05:09, and Tuesday, 7 July 2009, 03:04:05.
  const double sun = DateSerial(2009, 3, 1) + TimeSerial(14, 5, 9);
  const double tue = DateSerial(2009, 7, 7) + TimeSerial(3, 4, 5);
  const double jan1 = DateSerial(2009, 1, 1), dec31 = DateSerial(2009, 12, 31);
  const struct {
    double date;
    const char* pattern;
    const Locale& loc;
    const char* text;
  } rows[] = {
      // clang-format off
      {sun, "yyyy", en, "2009"}, {sun, "yy", en, "09"},
      {sun, "y", en, "60"},  // day of the year
      {sun, "m", en, "3"}, {sun, "mm", en, "03"}, {sun, "mmm", en, "Mar"},
      {sun, "mmmm", en, "March"},
      {tue, "d", en, "7"}, {tue, "dd", en, "07"}, {sun, "ddd", en, "Sun"},
      {sun, "dddd", en, "Sunday"}, {tue, "dddd", en, "Tuesday"},
      // Time tokens, letters in any case.
      {tue, "h", en, "3"}, {tue, "hh", en, "03"}, {tue, "n", en, "4"}, {tue, "nn", en, "04"},
      {tue, "s", en, "5"}, {tue, "ss", en, "05"}, {sun, "hh:nn:ss", en, "14:05:09"},
      {sun, "HH:NN:SS", en, "14:05:09"},
      // AM/PM switches to the twelve-hour clock; quoted it is text.
      {sun, "h:nn AM/PM", de, "2:05 PM"}, {sun, "hh:nn am/pm", en, "02:05 pm"},
      {tue, "h AM/PM", en, "3 AM"}, {tue, "h a/p", en, "3 a"}, {sun, "h A/P", en, "2 P"},
      {jan1, "h AM/PM", en, "12 AM"}, {jan1 + 0.5, "h AM/PM", en, "12 PM"},
      {sun, "h", en, "14"}, {sun, "h \"AM/PM\"", en, "14 AM/PM"},
      // "m" after hours or before seconds is minutes.
      {sun, "hh:mm", en, "14:05"}, {sun, "h:m", en, "14:5"}, {tue, "mm:ss", en, "04:05"},
      {tue, "mm/dd hh:mm", en, "07/07 03:04"},
      {sun, "yyyy-mm-dd hh:nn:ss", de, "2009-03-01 14:05:09"},
      {sun, "yyyy-mm-dd hh:mm:ss", de, "2009-03-01 14:05:09"},
      // "/" and ":" are the locale's separators; other characters and escapes are copied.
      {sun, "dd/mm/yyyy", de, "01.03.2009"}, {sun, "dd/mm/yyyy", fr, "01/03/2009"},
      {sun, "m/d/yy", en, "3/1/09"}, {sun, "yyyy-mm-dd", de, "2009-03-01"},
      {sun, "hh:nn", de, "14:05"}, {sun, "\"Day\" d \"of\" mmmm", en, "Day 1 of March"},
      {sun, "\\d\\a\\y d", en, "day 1"}, {sun, "\\\u00e4 d", en, "\u00e4 1"},
      {sun, "yyyy_mm_dd (T)", en, "2009_03_01 (T)"},
      {sun, "\"unterminated d", en, "unterminated d"},
      {sun, "", en, ""}, {sun, "ddddd", de, "01.03.2009"}, {sun, "ddddd", en, "3/1/2009"},
      // Names in the locale's language.
      {sun, "dddd, d. mmmm yyyy", de, "Sonntag, 1. M\u00e4rz 2009"},
      {sun, "ddd d mmm", de, "So 1 Mrz"},
      {sun, "dddd d mmmm yyyy", fr, "dimanche 1 mars 2009"},
      {DateSerial(2009, 8, 4), "ddd d mmm", fr, "mar. 4 ao\u00fbt"},
      // Seconds are rounded first; 14:05 with the usual representation error shows 14:05:00.
      {dec31 + 86399.6 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "2010-01-01 00:00:00"},
      {dec31 + 86399.4 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "2009-12-31 23:59:59"},
      {39873.0 + 50700.0 / 86400.0, "hh:nn:ss", en, "14:05:00"},
      // Before the epoch the fraction still counts forward from the day's start.
      {-1.25, "yyyy-mm-dd hh:nn", en, "1899-12-29 06:00"},
      {-1.75, "yyyy-mm-dd hh:nn", en, "1899-12-29 18:00"},
      {-0.25, "yyyy-mm-dd hh:nn", en, "1899-12-30 06:00"}, {-2.0, "dddd", en, "Thursday"},
      {DateSerial(1753, 1, 1), "yyyy-mm-dd", en, "1753-01-01"},
      {-657434.0, "yyyy-mm-dd dddd", en, "0100-01-01 Friday"},
      // The last second of day -1 rounds forward to day 0, not back to day -2.
      {-1.0 - 86399.7 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "1899-12-30 00:00:00"},
      {2958465.0 + 86399.0 / 86400.0, "yyyy-mm-dd hh:nn:ss", en, "9999-12-31 23:59:59"}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(FormatDate(r.date, r.pattern, r.loc), r.text) << r.pattern;
}

TEST(FormatDate, OutsideTheRangeIsOverflow) {
  // 9999-12-31 23:59:59.6 would round into year 10000.
  for (double d : {2958466.0, -657435.0, 1e308, std::nan(""), 2958465.0 + 86399.6 / 86400.0}) {
    EXPECT_EQ(ErrorOf([&] { FormatDate(d, "yyyy", en); }), kErrOverflow) << d;
  }
}

}  // namespace
}  // namespace tabulo::platform
