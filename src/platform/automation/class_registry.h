// The class registry: creates automation objects by programmatic identifier, as the
// component platform does for CreateObject. Hosts register the classes they provide (the
// resource store, the control itself when the library registers); a name nobody
// registered raises 429 "ActiveX component can't create object".
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/dispatch.h"

namespace tabulo::platform {

using ClassFactory = std::function<std::shared_ptr<Dispatch>()>;

// Program identifiers compare case-insensitively. Registering a name again replaces the
// factory. The registry is process-wide, as the platform's own is.
void RegisterClass(std::string progid, ClassFactory factory);
void UnregisterClass(std::string_view progid);
bool IsClassRegistered(std::string_view progid);
// Raises 429 when the name is not registered or the factory yields no object; a factory's
// own ComError passes through unchanged.
std::shared_ptr<Dispatch> CreateObject(std::string_view progid);

}  // namespace tabulo::platform
