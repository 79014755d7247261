// The container's side of the component registry: loading a component library (a shared
// object with the entry points of library/library.h) and creating a class by its program
// identifier through the registry file that registration wrote.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "library/class_factory.h"
#include "platform/automation/dispatch.h"
#include "platform/runtime/container.h"

namespace tabulo::container {

// "Error in loading DLL": the file cannot be loaded or lacks the entry points.
inline constexpr int32_t kErrLoadingLibrary = 48;

// A loaded component library. The library stays mapped until the process ends, since
// objects it created may still be referenced by their container.
class ComponentLibrary {
 public:
  // Raises platform::ComError 48 when `path` cannot be loaded or is not a component library.
  static std::shared_ptr<ComponentLibrary> Load(const std::filesystem::path& path);
  ~ComponentLibrary();
  ComponentLibrary(const ComponentLibrary&) = delete;
  ComponentLibrary& operator=(const ComponentLibrary&) = delete;

  // The entry points' HRESULTs.
  int32_t RegisterServer(const std::filesystem::path& registry) const;
  int32_t UnregisterServer(const std::filesystem::path& registry) const;
  bool CanUnloadNow() const;
  // The factory of a program identifier; raises 429 "ActiveX component can't create object"
  // when the library does not serve it.
  library::ClassFactory& GetClassObject(std::string_view progid) const;
  const std::filesystem::path& path() const { return path_; }

 private:
  ComponentLibrary() = default;
  std::filesystem::path path_;
  void* handle_ = nullptr;
  void* get_class_object_ = nullptr;
  void* can_unload_now_ = nullptr;
  void* register_server_ = nullptr;
  void* unregister_server_ = nullptr;
};

// An object created through the registry, with the factory that made it (for its other
// interfaces) and the library that holds its code.
struct RegisteredObject {
  std::shared_ptr<platform::Dispatch> object;
  library::ClassFactory* factory = nullptr;
  std::shared_ptr<ComponentLibrary> library;
};

// Creates `progid` in `site` as a container that knows only the identifier does: the
// registry file names the library, the library's factory creates the instance. Raises
// 0x80040154 "Class not registered" for an identifier the file does not list, and the
// errors of reading the file and loading the library.
RegisteredObject CreateRegisteredObject(const std::filesystem::path& registry,
                                        std::string_view progid, platform::Container& site);

// The registry file used when none is named: $TABULO_REGISTRY, else
// $XDG_CONFIG_HOME/tabulo/registry.json, else ~/.config/tabulo/registry.json.
std::filesystem::path DefaultRegistryPath();

}  // namespace tabulo::container
