#include "platform/automation/class_registry.h"

#include <map>
#include <mutex>

#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

struct Registry {
  std::mutex mu;
  std::map<std::string, ClassFactory> factories;
};

Registry& TheRegistry() {
  static Registry* r = new Registry;  // never destroyed: objects may be created during exit
  return *r;
}

}  // namespace

void RegisterClass(std::string progid, ClassFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mu);
  r.factories[UCase(progid)] = std::move(factory);
}

void UnregisterClass(std::string_view progid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mu);
  r.factories.erase(UCase(progid));
}

bool IsClassRegistered(std::string_view progid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mu);
  return r.factories.count(UCase(progid)) > 0;
}

std::shared_ptr<Dispatch> CreateObject(std::string_view progid) {
  ClassFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mu);
    auto it = r.factories.find(UCase(progid));
    if (it != r.factories.end()) factory = it->second;
  }
  if (!factory) throw ComError::CantCreateObject();
  std::shared_ptr<Dispatch> obj = factory();
  if (!obj) throw ComError::CantCreateObject();
  return obj;
}

}  // namespace tabulo::platform
