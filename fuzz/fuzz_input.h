// Helpers shared by the fuzz targets: picking a type code, a locale and a date format from
// the first bytes of the input, and a failure that libFuzzer reports with its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/text/locale.h"
#include "sql/ado_types.h"

namespace tabulo::fuzz {

// Every code with a rule of its own, and a few without one.
inline constexpr int32_t kTypes[] = {sql::adEmpty,
                                     sql::adSmallInt,
                                     sql::adInteger,
                                     sql::adSingle,
                                     sql::adDouble,
                                     sql::adCurrency,
                                     sql::adDate,
                                     sql::adBSTR,
                                     sql::adIDispatch,
                                     sql::adError,
                                     sql::adBoolean,
                                     sql::adVariant,
                                     sql::adIUnknown,
                                     sql::adDecimal,
                                     sql::adTinyInt,
                                     sql::adUnsignedTinyInt,
                                     sql::adUnsignedSmallInt,
                                     sql::adUnsignedInt,
                                     sql::adBigInt,
                                     sql::adUnsignedBigInt,
                                     sql::adFileTime,
                                     sql::adGUID,
                                     sql::adBinary,
                                     sql::adChar,
                                     sql::adWChar,
                                     sql::adNumeric,
                                     sql::adUserDefined,
                                     sql::adDBDate,
                                     sql::adDBTime,
                                     sql::adDBTimeStamp,
                                     sql::adChapter,
                                     sql::adPropVariant,
                                     sql::adVarNumeric,
                                     sql::adVarChar,
                                     sql::adLongVarChar,
                                     sql::adVarWChar,
                                     sql::adLongVarWChar,
                                     sql::adVarBinary,
                                     sql::adLongVarBinary,
                                     -1,
                                     999};

inline int32_t TypeFromByte(uint8_t b) {
  return kTypes[b % (sizeof kTypes / sizeof kTypes[0])];
}

inline const platform::Locale& LocaleFromByte(uint8_t b) {
  switch (b % 3) {
    case 0:
      return platform::Locale::EnUS();
    case 1:
      return platform::Locale::DeDE();
    default:
      return platform::Locale::FrFR();
  }
}

inline std::string_view DateFormatFromByte(uint8_t b) {
  static constexpr std::string_view kFormats[] = {"", "", "yyyy-mm-dd hh:nn:ss", "dd/mm/yyyy",
                                                  "hh:nn"};
  return kFormats[b % (sizeof kFormats / sizeof kFormats[0])];
}

// A broken property: stop here so libFuzzer keeps the input.
[[noreturn]] inline void Broken() {
  std::abort();
}

}  // namespace tabulo::fuzz
