// The widget models' property errors.
#include "platform/widgets/widget_errors.h"

#include <utility>

namespace tabulo::platform {

ComError InvalidPropertyArrayIndex(std::string source) {
  return ComError(kErrInvalidPropertyArrayIndex, "Invalid property array index", std::move(source));
}

ComError PropertyReadOnly(const std::string& property, std::string source) {
  return ComError(kErrPropertyReadOnly, "'" + property + "' property is read-only",
                  std::move(source));
}

ComError IndexOutOfBounds(std::string source) {
  return ComError(kErrIndexOutOfBounds, "Index out of bounds", std::move(source));
}

}  // namespace tabulo::platform
