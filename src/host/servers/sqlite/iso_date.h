// Parsing of ISO date and time texts as SQLite stores them into Date variant values (days since
// 1899-12-30, the time of day as the fraction).
#pragma once

#include <optional>
#include <string_view>

namespace tabulo::host::sqlite {

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fff]]" (a 'T' may stand for the blank), years
// 100..9999. Nothing else: a text that does not parse yields nullopt.
std::optional<double> ParseIsoDateTime(std::string_view text);
// "hh:mm[:ss[.fff]]", or a full date-time (its time of day is kept with its date).
std::optional<double> ParseIsoTime(std::string_view text);

}  // namespace tabulo::host::sqlite
