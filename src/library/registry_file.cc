// Reading and writing the container's registry file (registry_file.h).
#include "library/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/storage/atomic_file.h"
#include "platform/storage/whole_file.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::library {
namespace {

using nlohmann::json;

platform::ComError ReadError(const std::filesystem::path& path, const std::string& why) {
  return platform::ComError(
      kErrRegistryRead, "Could not read the registry file " + path.string() + ": " + why, "Tabulo");
}

platform::ComError WriteError(const std::filesystem::path& path, const std::string& why) {
  return platform::ComError(kErrRegistryWrite,
                            "Could not write the registry file " + path.string() + ": " + why,
                            "Tabulo");
}

std::string Field(const json& entry, const char* key, const std::filesystem::path& path,
                  const std::string& progid, bool required) {
  auto it = entry.find(key);
  if (it == entry.end()) {
    if (required) throw ReadError(path, progid + " has no \"" + key + "\"");
    return {};
  }
  if (!it->is_string()) throw ReadError(path, progid + ": \"" + key + "\" is not a text");
  return it->get<std::string>();
}

void SortEntries(std::vector<RegistryEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const RegistryEntry& a, const RegistryEntry& b) {
    return platform::UCase(a.progid) < platform::UCase(b.progid);
  });
}

}  // namespace

std::vector<RegistryEntry> ReadRegistry(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return {};
  // Read bounded, as every file read whole: a device or a runaway file is refused.
  const platform::WholeFile file = platform::ReadWholeFile(path);
  if (!file.fault.empty()) throw ReadError(path, file.fault);
  json doc = json::parse(file.bytes, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded() || !doc.is_object()) throw ReadError(path, "not a JSON object");
  auto format = doc.find("format");
  if (format == doc.end() || !format->is_number_integer() || format->get<int>() != kRegistryFormat)
    throw ReadError(path, "unknown format (expected \"format\": 1)");
  auto classes = doc.find("classes");
  if (classes == doc.end() || !classes->is_object())
    throw ReadError(path, "\"classes\" is missing or not an object");
  std::vector<RegistryEntry> out;
  for (auto it = classes->begin(); it != classes->end(); ++it) {
    if (!it.value().is_object()) throw ReadError(path, it.key() + " is not an object");
    const json& e = it.value();
    out.push_back(RegistryEntry{
        it.key(), Field(e, "clsid", path, it.key(), true),
        Field(e, "library", path, it.key(), true), Field(e, "typelib", path, it.key(), false),
        Field(e, "typelib_id", path, it.key(), false), Field(e, "version", path, it.key(), false)});
  }
  SortEntries(out);
  return out;
}

void WriteRegistry(const std::filesystem::path& path, const std::vector<RegistryEntry>& entries) {
  json classes = json::object();
  for (const RegistryEntry& e : entries) {
    if (e.progid.empty()) throw WriteError(path, "an entry has no program identifier");
    classes[e.progid] = json{{"clsid", e.clsid},
                             {"library", e.library},
                             {"typelib", e.typelib},
                             {"typelib_id", e.typelib_id},
                             {"version", e.version}};
  }
  json doc{{"format", kRegistryFormat}, {"classes", classes}};
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) throw WriteError(path, ec.message());
  try {
    platform::ReplaceFile(path, doc.dump(2) + "\n");
  } catch (const platform::ComError& e) {
    throw WriteError(path, e.description());
  }
}

void UpdateRegistry(const std::filesystem::path& path,
                    const std::function<bool(std::vector<RegistryEntry>&)>& change) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) throw WriteError(path, ec.message());
  // The lock is a file of its own: the registry file itself is replaced by each write, so a
  // lock on it would be a lock on a file that is no longer there.
  std::filesystem::path lock_path = path;
  lock_path += ".lock";
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    throw WriteError(path, "cannot open " + lock_path.string() + ": " + std::strerror(errno));
  struct Unlock {
    int fd;
    ~Unlock() { ::close(fd); }  // closing releases the lock
  } unlock{fd};
  int locked = ::flock(fd, LOCK_EX);
  while (locked != 0 && errno == EINTR) locked = ::flock(fd, LOCK_EX);
  if (locked != 0)
    throw WriteError(path, "cannot lock " + lock_path.string() + ": " + std::strerror(errno));
  std::vector<RegistryEntry> entries = ReadRegistry(path);
  if (change(entries)) WriteRegistry(path, entries);
}

std::optional<RegistryEntry> FindEntry(const std::vector<RegistryEntry>& entries,
                                       std::string_view progid) {
  for (const RegistryEntry& e : entries)
    if (platform::EqualsIgnoreCase(e.progid, progid)) return e;
  return std::nullopt;
}

void PutEntry(std::vector<RegistryEntry>& entries, RegistryEntry entry) {
  RemoveEntry(entries, entry.progid);
  entries.push_back(std::move(entry));
  SortEntries(entries);
}

bool RemoveEntry(std::vector<RegistryEntry>& entries, std::string_view progid) {
  auto it = std::remove_if(entries.begin(), entries.end(), [&](const RegistryEntry& e) {
    return platform::EqualsIgnoreCase(e.progid, progid);
  });
  const bool removed = it != entries.end();
  entries.erase(it, entries.end());
  return removed;
}

}  // namespace tabulo::library
