// A class factory of the component library: creates instances of one creatable class,
// sited in a container, and hands out the other interfaces an instance implements.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/dispatch.h"
#include "platform/runtime/container.h"

namespace tabulo::library {

class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  // "VELTRA.TabuloCtl".
  virtual std::string ProgId() const = 0;
  // The class identifier, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
  virtual std::string ClassId() const = 0;
  // A new instance in `site`, which must outlive it. While any instance lives, the library
  // cannot be unloaded.
  virtual std::shared_ptr<platform::Dispatch> CreateInstance(platform::Container& site) = 0;
  // Another interface of an instance this factory created, by interface name; raises 430
  // when the instance has no such interface.
  virtual std::shared_ptr<platform::Dispatch> QueryInterface(
      const std::shared_ptr<platform::Dispatch>& instance, std::string_view interface_name) = 0;
};

}  // namespace tabulo::library
