// TempStore: the folder where record sets keep their snapshot files, shared by the data
// servers of one user's processes on the machine.
//
// The folder is private: created 0700, used only when it is a real folder (not a link)
// owned by this user, its access narrowed to the owner when it was wider; its files are
// created 0600 before SQLite opens them (SQLite keeps an existing file's mode and gives its
// journals the same). Snapshots hold copies of databases that other users may not read.
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
  // Creates `folder` (empty: DefaultFolder()) if needed, cleans leftovers, takes a prefix.
  // Raises 0x80004005 when the folder cannot be used (not a folder, a link, another user's).
  static std::shared_ptr<TempStore> Open(const std::filesystem::path& folder);
  // This user's default folder: $XDG_RUNTIME_DIR/tabulo-snapshots when that variable names
  // an absolute path, else <system temp>/tabulo-snapshots-<uid>.
  static std::filesystem::path DefaultFolder();
  ~TempStore();
  TempStore(const TempStore&) = delete;
  TempStore& operator=(const TempStore&) = delete;

  // A fresh, empty file in the folder, readable and writable by this user only. Raises
  // 0x80004005 when it cannot be created.
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
