// What tells that a database file was written while it was read: its size and its
// modification time (an immutable read is only good while both stay as they were).
#pragma once

#include <cstdint>
#include <filesystem>

namespace tabulo::host::sqlite {

struct FileStamp {
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written;
  bool operator==(const FileStamp&) const = default;
};

inline FileStamp StampOf(const std::filesystem::path& path) {
  std::error_code ec;
  return {std::filesystem::file_size(path, ec), std::filesystem::last_write_time(path, ec)};
}

}  // namespace tabulo::host::sqlite
