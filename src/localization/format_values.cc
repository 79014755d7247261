// The formatting step on variant values: converts them to text in the user's locale.
#include "localization/format.h"

#include "platform/values/conversions.h"

namespace tabulo::localization {

std::string FormatLocalizedString(std::string_view text,
                                  const std::vector<platform::Variant>& values,
                                  const platform::Locale& locale) {
  std::vector<std::string> texts;
  texts.reserve(values.size());
  for (const platform::Variant& v : values) texts.push_back(platform::CStr(v, locale));
  return FormatLocalizedText(text, texts);
}

}  // namespace tabulo::localization
