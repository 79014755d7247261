// The container's registry file: which library serves which program identifier. A JSON
// text, keys in a stable order:
//
//   {
//     "format": 1,
//     "classes": {
//       "VELTRA.TabuloCtl": {
//         "clsid": "{...}", "library": "/abs/path/libtabulo.so",
//         "typelib": "VELTRA", "typelib_id": "{...}", "version": "1.0"
//       }
//     }
//   }
//
// Program identifiers compare case-insensitively; a write keeps the entries of other
// libraries as they were.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::library {

inline constexpr int kRegistryFormat = 1;
// REGDB_E_READREGDB, REGDB_E_WRITEREGDB, REGDB_E_CLASSNOTREG.
inline constexpr int32_t kErrRegistryRead = static_cast<int32_t>(0x80040150);
inline constexpr int32_t kErrRegistryWrite = static_cast<int32_t>(0x80040151);
inline constexpr int32_t kErrClassNotRegistered = static_cast<int32_t>(0x80040154);

struct RegistryEntry {
  std::string progid;
  std::string clsid;
  std::string library;  // absolute path of the shared library
  std::string typelib;
  std::string typelib_id;
  std::string version;

  bool operator==(const RegistryEntry&) const = default;
};

// The entries of the file, sorted by identifier; a missing file has none. Raises
// platform::ComError kErrRegistryRead when the file cannot be read or is not a registry file.
std::vector<RegistryEntry> ReadRegistry(const std::filesystem::path& path);
// Replaces the file with `entries` atomically (platform/storage/atomic_file.h: a reader never
// sees half a file); creates missing folders. Raises kErrRegistryWrite.
void WriteRegistry(const std::filesystem::path& path, const std::vector<RegistryEntry>& entries);
// Reads the file, lets `change` edit its entries and writes them back when it returns true,
// holding an exclusive lock on the file PATH.lock beside it all along, so that two processes
// registering at once never lose each other's entries. Raises as ReadRegistry and
// WriteRegistry do, and kErrRegistryWrite when the lock cannot be taken.
void UpdateRegistry(const std::filesystem::path& path,
                    const std::function<bool(std::vector<RegistryEntry>&)>& change);

// The entry of an identifier, if any.
std::optional<RegistryEntry> FindEntry(const std::vector<RegistryEntry>& entries,
                                       std::string_view progid);
// Adds `entry`, replacing one of the same identifier.
void PutEntry(std::vector<RegistryEntry>& entries, RegistryEntry entry);
// Removes the entry of an identifier; false when there was none.
bool RemoveEntry(std::vector<RegistryEntry>& entries, std::string_view progid);

}  // namespace tabulo::library
