// Calendar arithmetic behind the date serials (days since 1899-12-30, time as the fraction;
// before that day the integer part is negative and the fraction still counts forward).
// Internal to the platform library; callers use conversions.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/locale.h"

namespace tabulo::platform::date_calc {

inline constexpr int64_t kFirstDay = -657434;  // 0100-01-01
inline constexpr int64_t kLastDay = 2958465;   // 9999-12-31

// Whether a serial lies in 0100-01-01 00:00 .. 9999-12-31 23:59:59.999 (NaN does not).
bool InRange(double serial);

bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month);
// Day number of a proleptic Gregorian date (no validation; any month/day numbers in range).
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day);
int Weekday(int64_t days);  // 1 = Sunday .. 7 = Saturday
int DayOfYear(int64_t days);

// The serial of a day number and a time of day (0 <= time < 1), in the classic encoding.
double Compose(int64_t day, double time);
// Day number and time of day rounded to whole `unit_ms` milliseconds (a carry past midnight
// moves to the next day). Requires InRange(serial).
void Decompose(double serial, int64_t unit_ms, int64_t& day, int64_t& ms_of_day);

// Reads a date or time text (the forms are listed in date_parse.cc); false when it is none.
bool ParseDate(std::string_view text, const Locale& loc, double& serial);

// The locale's general date text (what CStr writes): short date, a blank, long time; the date
// alone when the time is midnight; the time alone on day 0. Raises 6 outside the range.
std::string GeneralDate(double serial, const Locale& loc);

}  // namespace tabulo::platform::date_calc
