// The fixed locale tables (en-US, de-DE, fr-FR) and their month and day names.
#include "platform/text/locale.h"

#include <array>

#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

struct Names {
  std::array<std::string_view, 12> months, months_abbr;
  std::array<std::string_view, 7> days, days_abbr;  // Sunday first
};

constexpr Names kEnglish = {
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"},
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
    {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
};

constexpr Names kGerman = {
    {"Januar", "Februar", "M\u00e4rz", "April", "Mai", "Juni", "Juli", "August", "September",
     "Oktober", "November", "Dezember"},
    {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
    {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
    {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
};

constexpr Names kFrench = {
    {"janvier", "f\u00e9vrier", "mars", "avril", "mai", "juin", "juillet", "ao\u00fbt", "septembre",
     "octobre", "novembre", "d\u00e9cembre"},
    {"janv.", "f\u00e9vr.", "mars", "avr.", "mai", "juin", "juil.", "ao\u00fbt", "sept.", "oct.",
     "nov.", "d\u00e9c."},
    {"dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi"},
    {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."},
};

const Names& NamesFor(int32_t lcid) {
  switch (lcid) {
    case 1031:
      return kGerman;
    case 1036:
      return kFrench;
    default:
      return kEnglish;
  }
}

constexpr std::string_view kNoBreakSpace = "\u00a0";
constexpr std::string_view kNarrowNoBreakSpace = "\u202f";

}  // namespace

const Locale& Locale::EnUS() {
  static const Locale loc("en-US", 1033, ".", ",", "/", DateOrder::MDY, true);
  return loc;
}

const Locale& Locale::DeDE() {
  static const Locale loc("de-DE", 1031, ",", ".", ".", DateOrder::DMY, false);
  return loc;
}

const Locale& Locale::FrFR() {
  static const Locale loc("fr-FR", 1036, ",", std::string(kNoBreakSpace), "/", DateOrder::DMY,
                          false);
  return loc;
}

const Locale* Locale::Find(std::string_view name) {
  for (const Locale* loc : {&EnUS(), &DeDE(), &FrFR()}) {
    if (EqualsIgnoreCase(name, loc->name())) return loc;
  }
  return nullptr;
}

const Locale* Locale::FindByLcid(int32_t lcid) {
  for (const Locale* loc : {&EnUS(), &DeDE(), &FrFR()}) {
    if (loc->lcid() == lcid) return loc;
  }
  return nullptr;
}

std::string_view Locale::MonthName(int month, bool abbreviated) const {
  if (month < 1 || month > 12) throw ComError::InvalidProcedureCall("MonthName");
  const Names& n = NamesFor(lcid_);
  return abbreviated ? n.months_abbr[month - 1] : n.months[month - 1];
}

std::string_view Locale::DayName(int weekday, bool abbreviated) const {
  if (weekday < 1 || weekday > 7) throw ComError::InvalidProcedureCall("WeekdayName");
  const Names& n = NamesFor(lcid_);
  return abbreviated ? n.days_abbr[weekday - 1] : n.days[weekday - 1];
}

size_t Locale::GroupSeparatorAt(std::string_view text, size_t i) const {
  const std::string_view rest = text.substr(i);
  if (!group_.empty() && rest.starts_with(group_)) return group_.size();
  if (group_ == kNoBreakSpace) {
    if (rest.starts_with(kNarrowNoBreakSpace)) return kNarrowNoBreakSpace.size();
    if (rest.starts_with(' ')) return 1;
  }
  return 0;
}

}  // namespace tabulo::platform
