// The exported entry points of the component library (library.h).
#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "library/classes.h"
#include "library/library.h"
#include "library/registry_file.h"
#include "platform/values/com_error.h"

namespace tabulo::library {
namespace {

// The file this code was loaded from: the shared library when a container loaded it.
std::string ThisLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&TabuloRegisterServer), &info) == 0 || !info.dli_fname)
    throw platform::ComError(kSelfRegClass, "The library cannot tell its own path", "Tabulo");
  std::error_code ec;
  std::filesystem::path path = std::filesystem::weakly_canonical(info.dli_fname, ec);
  if (ec) path = std::filesystem::absolute(info.dli_fname);
  return path.string();
}

}  // namespace
}  // namespace tabulo::library

using namespace tabulo::library;

extern "C" __attribute__((visibility("default"))) int32_t TabuloGetClassObject(
    const char* progid, ClassFactory** factory) {
  if (!factory) return kEPointer;
  *factory = nullptr;
  if (!progid) return kEPointer;
  ClassFactory* found = FindClass(progid);
  if (!found) return kClassNotAvailable;
  *factory = found;
  return kSOk;
}

extern "C" __attribute__((visibility("default"))) int32_t TabuloCanUnloadNow() {
  return LiveInstances() == 0 ? kSOk : kSFalse;
}

extern "C" __attribute__((visibility("default"))) int32_t TabuloRegisterServer(
    const char* registry_path) {
  if (!registry_path) return kEPointer;
  try {
    const std::string library = ThisLibraryPath();
    UpdateRegistry(registry_path, [&](std::vector<RegistryEntry>& entries) {
      for (ClassFactory* f : CreatableClasses()) {
        PutEntry(entries, RegistryEntry{f->ProgId(), f->ClassId(), library, kTypeLibraryName,
                                        kTypeLibraryId, kTypeLibraryVersion});
      }
      return true;
    });
    return kSOk;
  } catch (...) {
    // Nothing may cross the C boundary; the result says it failed.
    return kSelfRegClass;
  }
}

extern "C" __attribute__((visibility("default"))) int32_t TabuloUnregisterServer(
    const char* registry_path) {
  if (!registry_path) return kEPointer;
  try {
    // No file holds none of our classes: nothing to remove, and no folder or lock to create.
    std::error_code ec;
    if (!std::filesystem::exists(registry_path, ec)) return kSOk;
    UpdateRegistry(registry_path, [](std::vector<RegistryEntry>& entries) {
      bool changed = false;
      for (ClassFactory* f : CreatableClasses()) changed |= RemoveEntry(entries, f->ProgId());
      return changed;
    });
    return kSOk;
  } catch (...) {
    return kSelfRegClass;
  }
}
