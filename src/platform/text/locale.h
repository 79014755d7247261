// Locale: the user's regional settings that text conversions follow (decimal and grouping
// separators, the order of day, month and year, the time format). The user's locale is an
// explicit setting of the container, handed down to whoever converts; nothing here reads
// the process locale or the environment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabulo::platform {

enum class DateOrder { MDY, DMY, YMD };

class Locale {
 public:
  static const Locale& EnUS();  // 1033: 1,234.5   3/1/2009 2:05:00 PM
  static const Locale& DeDE();  // 1031: 1.234,5   01.03.2009 14:05:00
  static const Locale& FrFR();  // 1036: 1 234,5   01/03/2009 14:05:00
  // "en-US", "de-DE", "fr-FR" (case-insensitive); nullptr for any other name.
  static const Locale* Find(std::string_view name);
  // 1033, 1031, 1036; nullptr for any other identifier.
  static const Locale* FindByLcid(int32_t lcid);

  std::string_view name() const { return name_; }
  int32_t lcid() const { return lcid_; }
  std::string_view decimal_separator() const { return decimal_; }
  std::string_view group_separator() const { return group_; }
  std::string_view date_separator() const { return date_sep_; }
  DateOrder date_order() const { return order_; }
  bool twelve_hour_clock() const { return twelve_hour_; }

  // Names in the locale's language: month 1..12, weekday 1..7 with 1 = Sunday (English for
  // a locale built by hand with another identifier). A number out of range raises 5.
  std::string_view MonthName(int month, bool abbreviated) const;
  std::string_view DayName(int weekday, bool abbreviated) const;
  // The byte length of a grouping separator that starts at text[i] when reading numbers, or
  // 0: the one written, plus U+202F and a plain blank where the written one is the no-break
  // space (U+00A0), since people type those.
  size_t GroupSeparatorAt(std::string_view text, size_t i) const;

  Locale(std::string name, int32_t lcid, std::string decimal, std::string group,
         std::string date_sep, DateOrder order, bool twelve_hour)
      : name_(std::move(name)),
        lcid_(lcid),
        decimal_(std::move(decimal)),
        group_(std::move(group)),
        date_sep_(std::move(date_sep)),
        order_(order),
        twelve_hour_(twelve_hour) {}

 private:
  std::string name_;
  int32_t lcid_;
  std::string decimal_;
  std::string group_;
  std::string date_sep_;
  DateOrder order_;
  bool twelve_hour_;
};

}  // namespace tabulo::platform
