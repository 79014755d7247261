// Bounded whole-file reads.
#include "platform/storage/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tabulo::platform {
namespace {

std::string LimitText(uintmax_t limit) {
  if (limit >= (1u << 20) && limit % (1u << 20) == 0) return std::to_string(limit >> 20) + " MiB";
  return std::to_string(limit) + " bytes";
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

WholeFile ReadWholeFile(const std::filesystem::path& path, uintmax_t limit) {
  WholeFile result;
  // Non-blocking, so that opening a pipe without a writer does not wait.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    result.fault = std::string("cannot open it: ") + std::strerror(errno);
    return result;
  }
  result.opened = true;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    result.fault = std::string("cannot read it: ") + std::strerror(errno);
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.fault = S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file";
    return result;
  }
  const std::string too_large = "larger than " + LimitText(limit);
  if (static_cast<uintmax_t>(st.st_size) > limit) {
    result.fault = too_large;
    return result;
  }
  result.bytes.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result.fault = std::string("cannot read it: ") + std::strerror(errno);
      result.bytes.clear();
      return result;
    }
    if (result.bytes.size() + static_cast<size_t>(n) > limit) {
      result.fault = too_large;
      result.bytes.clear();
      return result;
    }
    result.bytes.append(buffer, static_cast<size_t>(n));
  }
  return result;
}

}  // namespace tabulo::platform
