// Atomic file replacement (atomic_file.h).
#include "platform/storage/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

ComError FileError(const std::filesystem::path& target, const std::string& what, int err) {
  return ComError(kErrPathFileAccess, "Path/File access error (" + target.string() + ": " + what +
                                          ": " + std::strerror(err) + ")");
}

// The process's umask, read without changing it (umask(2) can only set it, which would race
// with other threads creating files).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtol(&line[6], nullptr, 8));
  }
  return 022;
}

// The mode the replacement gets: the target's own, or that of a new file.
mode_t ModeFor(const std::filesystem::path& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  return 0666 & ~CurrentUmask();
}

// The file a replacement writes: a symbolic link is followed to the file it names (which
// may not exist yet), so the link stays a link; anything that exists and is not a regular
// file (a device, a folder, a pipe) is refused rather than replaced by one.
std::filesystem::path ResolveTarget(const std::filesystem::path& target) {
  std::filesystem::path path = target;
  for (int links = 0; links < 40; ++links) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return path;
      throw FileError(target, "cannot examine it", errno);
    }
    if (S_ISREG(st.st_mode)) return path;
    if (!S_ISLNK(st.st_mode)) {
      throw ComError(kErrPathFileAccess,
                     "Path/File access error (" + target.string() + ": not a regular file)");
    }
    std::error_code error;
    std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) throw FileError(target, "cannot read the link", error.value());
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  throw FileError(target, "cannot follow the link", ELOOP);
}

// The temporary file of one replacement; removed unless it was renamed over the target.
class Replacement {
 public:
  Replacement(const std::filesystem::path& target, const ReplaceFault& fault,
              FileAccess access = FileAccess::AsTarget)
      : reported_(target),
        target_(ResolveTarget(target)),
        fault_(fault),
        access_(access),
        name_(target_.string() + ".tmp-XXXXXX") {}
  ~Replacement() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !renamed_) ::unlink(name_.c_str());
  }

  void Create() {
    if (!Injected(ReplaceStep::Create)) {
      fd_ = ::mkstemp(name_.data());
      created_ = fd_ >= 0;
      // mkstemp makes the file 0600; the replacement must not change who may read it.
      const mode_t mode = ModeFor(target_) & (access_ == FileAccess::OwnerOnly ? 07700 : 07777);
      if (created_ && ::fchmod(fd_, mode) == 0) return;
    }
    throw FileError(reported_, "cannot create a temporary file beside it", errno);
  }
  void Write(std::string_view bytes) {
    if (Injected(ReplaceStep::Write)) throw FileError(reported_, "cannot write", errno);
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw FileError(reported_, "cannot write", errno);
      done += static_cast<size_t>(n);
    }
  }
  // Hands the file to `write` by its name, then reopens what it made for the sync.
  void WriteWith(const std::function<void(const std::filesystem::path&)>& write) {
    if (Injected(ReplaceStep::Write)) throw FileError(reported_, "cannot write", errno);
    ::close(fd_);
    fd_ = -1;
    write(std::filesystem::path(name_));
    fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw FileError(reported_, "cannot reopen what was written", errno);
  }
  void SyncAndClose() {
    bool ok = !Injected(ReplaceStep::Sync) && ::fsync(fd_) == 0;
    int err = errno;
    if (::close(fd_) != 0 && ok) {
      ok = false;
      err = errno;
    }
    fd_ = -1;
    if (!ok) throw FileError(reported_, "cannot sync", err);
  }
  void RenameOverTarget() {
    renamed_ = !Injected(ReplaceStep::Rename) && ::rename(name_.c_str(), target_.c_str()) == 0;
    if (!renamed_) throw FileError(reported_, "cannot replace the file", errno);
    SyncFolder();
  }

 private:
  bool Injected(ReplaceStep step) const {
    if (!fault_ || !fault_(step)) return false;
    errno = EIO;
    return true;
  }
  // A folder that cannot be opened for the sync (some file systems) does not fail a
  // replacement already in place.
  void SyncFolder() const {
    std::filesystem::path folder = target_.parent_path();
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  }

  const std::filesystem::path& reported_;  // the path the caller named, for messages
  const std::filesystem::path target_;     // the file actually replaced
  const ReplaceFault& fault_;
  const FileAccess access_;
  std::string name_;
  int fd_ = -1;
  bool created_ = false;
  bool renamed_ = false;
};

}  // namespace

void ReplaceFile(const std::filesystem::path& target, std::string_view bytes,
                 const ReplaceFault& fault, FileAccess access) {
  Replacement replacement(target, fault, access);
  replacement.Create();
  replacement.Write(bytes);
  replacement.SyncAndClose();
  replacement.RenameOverTarget();
}

void ReplaceFileWith(const std::filesystem::path& target,
                     const std::function<void(const std::filesystem::path& temporary)>& write,
                     const ReplaceFault& fault) {
  Replacement replacement(target, fault);
  replacement.Create();
  replacement.WriteWith(write);
  replacement.SyncAndClose();
  replacement.RenameOverTarget();
}

}  // namespace tabulo::platform
