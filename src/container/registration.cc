#include "container/registration.h"

#include "container/registry.h"
#include "library/library.h"
#include "library/registry_file.h"

namespace tabulo::container {

Registration Register(const std::filesystem::path& library_path,
                      const std::filesystem::path& registry, bool do_register) {
  auto lib = ComponentLibrary::Load(library_path);
  Registration result;
  result.library = lib->path();
  result.hr = do_register ? lib->RegisterServer(registry) : lib->UnregisterServer(registry);
  if (result.hr != library::kSOk || !do_register) return result;
  const std::string loaded = std::filesystem::weakly_canonical(lib->path()).string();
  for (const library::RegistryEntry& e : library::ReadRegistry(registry))
    if (e.library == loaded) result.classes.push_back(e.progid + " " + e.clsid + " " + e.library);
  return result;
}

}  // namespace tabulo::container
