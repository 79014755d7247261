// Lookup of the texts the control shows, by module name and number: the resource store
// first, then the built-in table in the user-interface language, then a visible
// "<id> Not Found". No lookup ever raises to its caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "localization/state.h"
#include "platform/text/locale.h"
#include "platform/values/variant.h"

namespace tabulo::localization {

// The program identifier the resource store is created by.
inline constexpr std::string_view kResourceStoreProgId = "DEVOZUZUDAROZOR.ZRResources.1";

// Looks up `id` for `module`, creating the store of `state` on the first lookup. `language`
// is handed to the store by reference (the control passes state.language); the built-in table
// ignores it and follows the user-interface language. With values, the text is formatted
// (FormatLocalizedString, values converted in `locale`); without, it comes back as found, escapes
// and markers untouched. A value that cannot be converted makes the result empty.
std::string GetLocalizedString(LocalizationState& state, std::string_view module, int32_t id,
                               int32_t& language, const std::vector<platform::Variant>& values,
                               const platform::Locale& locale);
// The same with no values.
std::string GetLocalizedString(LocalizationState& state, std::string_view module, int32_t id,
                               int32_t& language);

// The lookup of property pages and dialogs: language 0 (whatever the store writes back is
// dropped), and always formatted with no values, so escapes are converted and any "%s"
// marker is removed.
std::string GetDialogString(LocalizationState& state, std::string_view module, int32_t id,
                            const platform::Locale& locale);

}  // namespace tabulo::localization
