// TempStore: lock files, leftovers, file names.
#include "host/servers/sqlite/temp_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <random>
#include <system_error>
#include <vector>

#include "host/data_server.h"
#include "platform/values/com_error.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockExtension = ".lock";

// True when nobody holds the lock file (its owner is gone). A lock file still being set up
// (empty: its owner locks it before writing the pid) counts as held.
bool Abandoned(const fs::path& lock) {
  std::error_code ec;
  if (fs::file_size(lock, ec) == 0 || ec) return false;
  int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

platform::ComError Unusable(const std::string& what, const fs::path& folder) {
  return platform::ComError(kErrSourceUnusable,
                            "The folder for temporary snapshots " + what + ": " + folder.string(),
                            "DataServer");
}

// Makes `folder` (0700 when new) and checks that it is this user's own real folder; access
// wider than the owner's is narrowed, as the owner may.
void MakePrivateFolder(const fs::path& folder) {
  std::error_code ec;
  if (folder.has_parent_path()) fs::create_directories(folder.parent_path(), ec);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw Unusable(std::string("cannot be created (") + std::strerror(errno) + ")", folder);
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    throw Unusable(std::string("cannot be examined (") + std::strerror(errno) + ")", folder);
  }
  if (S_ISLNK(st.st_mode)) throw Unusable("is a symbolic link, not a folder", folder);
  if (!S_ISDIR(st.st_mode)) throw Unusable("is not a folder", folder);
  if (st.st_uid != ::geteuid()) {
    throw Unusable("belongs to another user (uid " + std::to_string(st.st_uid) +
                       "); it must be this user's own",
                   folder);
  }
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    throw Unusable(std::string("cannot be made private (") + std::strerror(errno) + ")", folder);
  }
  // The owner's own folder may still be closed to writing (mode 0500, a read-only mount).
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    throw Unusable(std::string("cannot be written (") + std::strerror(errno) + ")", folder);
  }
}

void RemoveLeftovers(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> locks;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const fs::path& p = entry.path();
    if (p.extension() == kLockExtension && p.filename().string().starts_with("ds-")) {
      locks.push_back(p);
    }
  }
  for (const auto& lock : locks) {
    if (!Abandoned(lock)) continue;
    const std::string stem = lock.stem().string() + "-";
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (entry.path().filename().string().starts_with(stem)) fs::remove(entry.path(), ec);
    }
    fs::remove(lock, ec);
  }
}

}  // namespace

fs::path TempStore::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return fs::path(runtime) / "tabulo-snapshots";
  return fs::temp_directory_path() / ("tabulo-snapshots-" + std::to_string(::geteuid()));
}

std::shared_ptr<TempStore> TempStore::Open(const fs::path& given) {
  const fs::path folder = given.empty() ? DefaultFolder() : given;
  std::error_code ec;
  MakePrivateFolder(folder);
  RemoveLeftovers(folder);

  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
    std::string prefix = "ds-" + std::to_string(::getpid()) + "-" + suffix;
    fs::path lock = folder / (prefix + kLockExtension);
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) {
      throw Unusable(std::string("has no room for a lock file (") + std::strerror(errno) + ")",
                     folder);
    }
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      continue;
    }
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::write(fd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
      ::close(fd);
      fs::remove(lock, ec);
      break;
    }
    return std::shared_ptr<TempStore>(new TempStore(folder, prefix, fd));
  }
  throw Unusable("has no room for a lock file", folder);
}

TempStore::TempStore(fs::path folder, std::string prefix, int lock_fd)
    : folder_(std::move(folder)), prefix_(std::move(prefix)), lock_fd_(lock_fd) {}

TempStore::~TempStore() {
  std::error_code ec;
  const std::string stem = prefix_ + "-";
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    if (entry.path().filename().string().starts_with(stem)) fs::remove(entry.path(), ec);
  }
  fs::remove(folder_ / (prefix_ + kLockExtension), ec);
  ::close(lock_fd_);
}

fs::path TempStore::NewPath(const std::string& extension) {
  fs::path path = folder_ / (prefix_ + "-" + std::to_string(next_++) + extension);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == ENOSPC || errno == EDQUOT)) {
    throw platform::ComError(kErrDiskFull,
                             "The disk holding the temporary snapshots is full (" +
                                 std::string(std::strerror(errno)) + "): " + folder_.string(),
                             "DataServer");
  }
  if (fd < 0)
    throw Unusable(std::string("has no room for a file (") + std::strerror(errno) + ")", folder_);
  ::close(fd);
  return path;
}

TempFile::~TempFile() {
  std::error_code ec;
  for (const char* companion : {"", "-journal", "-wal", "-shm"}) {
    fs::remove(fs::path(path_.string() + companion), ec);
  }
}

}  // namespace tabulo::host::sqlite
