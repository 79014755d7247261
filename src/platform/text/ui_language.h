// The user-interface language of the process, as the operating system's setting is: one
// value for every component. The container sets it (from its environment or an option);
// components read it, e.g. to pick the language of their built-in texts.
#pragma once

#include <cstdint>

namespace tabulo::platform {

inline constexpr int32_t kDefaultUserInterfaceLanguage = 1033;

// The language identifier last set, 1033 until then. Any identifier is kept as given;
// readers decide what to do with a language they do not carry.
int32_t UserInterfaceLanguage();
// Raises ComError 5 for an identifier that is not positive.
void SetUserInterfaceLanguage(int32_t lcid);

}  // namespace tabulo::platform
