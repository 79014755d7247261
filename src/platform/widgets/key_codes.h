// Virtual key codes and shift-state bits of the keyboard events.
#pragma once

#include <cstdint>

namespace tabulo::platform {

inline constexpr int16_t kKeyBack = 8;
inline constexpr int16_t kKeyTab = 9;
inline constexpr int16_t kKeyReturn = 13;
inline constexpr int16_t kKeyEscape = 27;
inline constexpr int16_t kKeyPageUp = 33;
inline constexpr int16_t kKeyPageDown = 34;
inline constexpr int16_t kKeyEnd = 35;
inline constexpr int16_t kKeyHome = 36;
inline constexpr int16_t kKeyLeft = 37;
inline constexpr int16_t kKeyUp = 38;
inline constexpr int16_t kKeyRight = 39;
inline constexpr int16_t kKeyDown = 40;
inline constexpr int16_t kKeyDelete = 46;

inline constexpr int16_t kShiftMask = 1;
inline constexpr int16_t kCtrlMask = 2;
inline constexpr int16_t kAltMask = 4;

}  // namespace tabulo::platform
