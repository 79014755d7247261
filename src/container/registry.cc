// Loading component libraries and creating classes through the registry file (registry.h).
#include "container/registry.h"

#include <dlfcn.h>

#include <cstdlib>

#include "library/library.h"
#include "library/registry_file.h"
#include "platform/automation/class_registry.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

platform::ComError LoadError(const std::filesystem::path& path, const std::string& why) {
  return platform::ComError(kErrLoadingLibrary,
                            "Error in loading DLL " + path.string() + ": " + why, "tabulo");
}

template <typename Fn>
Fn As(void* symbol) {
  return reinterpret_cast<Fn>(symbol);
}

}  // namespace

std::shared_ptr<ComponentLibrary> ComponentLibrary::Load(const std::filesystem::path& path) {
  // Never unmapped: the container may hold objects and callbacks of the library until exit.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    const char* why = dlerror();
    throw LoadError(path, why ? why : "dlopen failed");
  }
  std::shared_ptr<ComponentLibrary> lib(new ComponentLibrary);
  lib->path_ = path;
  lib->handle_ = handle;
  lib->get_class_object_ = dlsym(handle, library::kGetClassObjectSymbol);
  lib->can_unload_now_ = dlsym(handle, library::kCanUnloadNowSymbol);
  lib->register_server_ = dlsym(handle, library::kRegisterServerSymbol);
  lib->unregister_server_ = dlsym(handle, library::kUnregisterServerSymbol);
  if (!lib->get_class_object_ || !lib->can_unload_now_ || !lib->register_server_ ||
      !lib->unregister_server_)
    throw LoadError(path, "not a component library (entry points missing)");
  return lib;
}

ComponentLibrary::~ComponentLibrary() {
  if (handle_) dlclose(handle_);
}

int32_t ComponentLibrary::RegisterServer(const std::filesystem::path& registry) const {
  return As<library::RegisterServerFn>(register_server_)(registry.c_str());
}

int32_t ComponentLibrary::UnregisterServer(const std::filesystem::path& registry) const {
  return As<library::RegisterServerFn>(unregister_server_)(registry.c_str());
}

bool ComponentLibrary::CanUnloadNow() const {
  return As<library::CanUnloadNowFn>(can_unload_now_)() == library::kSOk;
}

library::ClassFactory& ComponentLibrary::GetClassObject(std::string_view progid) const {
  library::ClassFactory* factory = nullptr;
  const std::string id(progid);
  int32_t hr = As<library::GetClassObjectFn>(get_class_object_)(id.c_str(), &factory);
  if (hr != library::kSOk || !factory) throw platform::ComError::CantCreateObject(id);
  return *factory;
}

RegisteredObject CreateRegisteredObject(const std::filesystem::path& registry,
                                        std::string_view progid, platform::Container& site) {
  std::optional<library::RegistryEntry> entry =
      library::FindEntry(library::ReadRegistry(registry), progid);
  if (!entry)
    throw platform::ComError(library::kErrClassNotRegistered, "Class not registered",
                             std::string(progid));
  RegisteredObject out;
  out.library = ComponentLibrary::Load(entry->library);
  out.factory = &out.library->GetClassObject(entry->progid);
  out.object = out.factory->CreateInstance(site);
  if (!out.object) throw platform::ComError::CantCreateObject(std::string(progid));
  return out;
}

std::filesystem::path DefaultRegistryPath() {
  if (const char* explicit_path = std::getenv("TABULO_REGISTRY"); explicit_path && *explicit_path)
    return explicit_path;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::filesystem::path(config) / "tabulo" / "registry.json";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".config" / "tabulo" / "registry.json";
  return "tabulo-registry.json";
}

}  // namespace tabulo::container
