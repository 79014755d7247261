// The property errors the widget models raise, with their classic numbers and texts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/values/com_error.h"
// 380 "Invalid property value" (kErrInvalidPropertyValue, InvalidPropertyValue) lives with
// the automation objects; the widgets raise the same error.
#include "platform/automation/dispatch_object.h"

namespace tabulo::platform {

inline constexpr int32_t kErrInvalidPropertyArrayIndex = 381;
inline constexpr int32_t kErrPropertyReadOnly = 383;
// The common controls' collections (status bar panels) report a bad index with this number.
inline constexpr int32_t kErrIndexOutOfBounds = 35600;
inline constexpr int32_t kErrElementNotFound = 35601;
inline constexpr int32_t kErrKeyNotUnique = 35602;

// 381 "Invalid property array index".
ComError InvalidPropertyArrayIndex(std::string source);
// 383 "'<property>' property is read-only".
ComError PropertyReadOnly(const std::string& property, std::string source);
// 35600 "Index out of bounds".
ComError IndexOutOfBounds(std::string source);

}  // namespace tabulo::platform
