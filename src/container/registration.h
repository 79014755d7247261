// `tabulo register` / `tabulo unregister`: a component library is loaded and writes its
// classes into, or removes them from, the registry file, as a registration tool has it do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tabulo::container {

struct Registration {
  std::filesystem::path library;  // the path the library was loaded from
  int32_t hr = 0;                 // the entry point's HRESULT
  bool ok() const { return hr == 0; }
  // Registering: what the file now lists of this library's classes, "progid clsid library".
  std::vector<std::string> classes;
};

// Loads `library_path` and calls its DllRegisterServer (or DllUnregisterServer) on
// `registry`. Raises platform::ComError when the library cannot be loaded or the file read.
Registration Register(const std::filesystem::path& library_path,
                      const std::filesystem::path& registry, bool do_register);

}  // namespace tabulo::container
