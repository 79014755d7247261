// Reading a file whole, bounded: what is read whole into memory (host configuration, control
// files) must be a regular file of a sensible size, so that a device such as /dev/zero, a
// pipe that never ends or a huge file is refused instead of filling the memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tabulo::platform {

inline constexpr uintmax_t kWholeFileLimit = uintmax_t{16} << 20;

struct WholeFile {
  std::string bytes;
  // Empty when the file was read; else why not, as a phrase ("larger than 16 MiB", "not a
  // regular file", "cannot open it: No such file or directory").
  std::string fault;
  // Whether the file could be opened at all.
  bool opened = false;
};

// Reads `path` whole when it is a regular file of at most `limit` bytes (a file that grows
// past the limit while it is read is refused too). A pipe is neither waited for nor read.
WholeFile ReadWholeFile(const std::filesystem::path& path, uintmax_t limit = kWholeFileLimit);

}  // namespace tabulo::platform
