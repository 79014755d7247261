// TempStore: the folder where record sets keep their snapshot files, shared by the data
// servers of all processes on the machine.
//
// Each TempStore owns a prefix "ds-<pid>-<random>" in the folder: a lock file "<prefix>.lock",
// locked (flock) for the store's life and holding the pid, and data files "<prefix>-<n>.*".
// Opening a store first removes the files of every prefix whose lock file nobody holds: the
// leftovers of a process that crashed. Files of live processes are left alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tabulo::host::sqlite {

class TempStore {
 public:
  // Creates `folder` if needed, cleans leftovers, takes a prefix. Raises 0x80004005 when the
  // folder cannot be used.
  static std::shared_ptr<TempStore> Open(const std::filesystem::path& folder);
  ~TempStore();
  TempStore(const TempStore&) = delete;
  TempStore& operator=(const TempStore&) = delete;

  // A fresh path in the folder (the file does not exist yet).
  std::filesystem::path NewPath(const std::string& extension);
  const std::filesystem::path& folder() const { return folder_; }

 private:
  TempStore(std::filesystem::path folder, std::string prefix, int lock_fd);

  std::filesystem::path folder_;
  std::string prefix_;
  int lock_fd_;
  uint64_t next_ = 0;
};

// Removes a file of the store (and SQLite's companions of it) when destroyed.
class TempFile {
 public:
  explicit TempFile(std::filesystem::path path) : path_(std::move(path)) {}
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tabulo::host::sqlite
