// Helpers shared by the fuzz targets: picking a type code, a locale and a date format from
// the first bytes of the input, and a failure that libFuzzer reports with its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/field_types.h"
#include "platform/text/locale.h"

namespace tabulo::fuzz {

// Every code with a rule of its own, and a few without one.
inline constexpr int32_t kTypes[] = {host::adEmpty,
                                     host::adSmallInt,
                                     host::adInteger,
                                     host::adSingle,
                                     host::adDouble,
                                     host::adCurrency,
                                     host::adDate,
                                     host::adBSTR,
                                     host::adIDispatch,
                                     host::adError,
                                     host::adBoolean,
                                     host::adVariant,
                                     host::adIUnknown,
                                     host::adDecimal,
                                     host::adTinyInt,
                                     host::adUnsignedTinyInt,
                                     host::adUnsignedSmallInt,
                                     host::adUnsignedInt,
                                     host::adBigInt,
                                     host::adUnsignedBigInt,
                                     host::adFileTime,
                                     host::adGUID,
                                     host::adBinary,
                                     host::adChar,
                                     host::adWChar,
                                     host::adNumeric,
                                     host::adUserDefined,
                                     host::adDBDate,
                                     host::adDBTime,
                                     host::adDBTimeStamp,
                                     host::adChapter,
                                     host::adPropVariant,
                                     host::adVarNumeric,
                                     host::adVarChar,
                                     host::adLongVarChar,
                                     host::adVarWChar,
                                     host::adLongVarWChar,
                                     host::adVarBinary,
                                     host::adLongVarBinary,
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
