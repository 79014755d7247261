#include "platform/class_registry.h"

#include <map>
#include <mutex>

#include "platform/com_error.h"

namespace tabulo::platform {
namespace {

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

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
  r.factories[Fold(progid)] = std::move(factory);
}

void UnregisterClass(std::string_view progid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mu);
  r.factories.erase(Fold(progid));
}

bool IsClassRegistered(std::string_view progid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mu);
  return r.factories.count(Fold(progid)) > 0;
}

std::shared_ptr<Dispatch> CreateObject(std::string_view progid) {
  ClassFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mu);
    auto it = r.factories.find(Fold(progid));
    if (it != r.factories.end()) factory = it->second;
  }
  if (!factory) throw ComError(kErrCantCreateObject, "ActiveX component can't create object");
  std::shared_ptr<Dispatch> obj = factory();
  if (!obj) throw ComError(kErrCantCreateObject, "ActiveX component can't create object");
  return obj;
}

}  // namespace tabulo::platform
