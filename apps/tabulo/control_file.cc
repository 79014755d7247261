// Control files: atomic write and checked read of a control's property bag.
#include "control_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace tabulo::app {
namespace {

using platform::ComError;

ComError FileError(const std::filesystem::path& path, const std::string& what, int err) {
  return ComError(kErrPathFileAccess, "Path/File access error (" + path.string() + ": " + what +
                                          ": " + std::strerror(err) + ")");
}

// The temporary file of a save; removed unless it was renamed over the target.
class TempFile {
 public:
  explicit TempFile(const std::filesystem::path& target) : name_(target.string() + ".tmp-XXXXXX") {}
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !renamed_) ::unlink(name_.c_str());
  }
  bool Create() {
    fd_ = ::mkstemp(name_.data());
    created_ = fd_ >= 0;
    return created_;
  }
  bool WriteAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  bool SyncAndClose() {
    bool ok = ::fsync(fd_) == 0;
    int err = errno;
    if (::close(fd_) != 0 && ok) {
      ok = false;
      err = errno;
    }
    fd_ = -1;
    errno = err;
    return ok;
  }
  bool RenameOver(const std::filesystem::path& target) {
    renamed_ = ::rename(name_.c_str(), target.c_str()) == 0;
    return renamed_;
  }

 private:
  std::string name_;
  int fd_ = -1;
  bool created_ = false;
  bool renamed_ = false;
};

// Syncs the folder so that the rename itself survives a crash; a folder that cannot be
// opened for that (some file systems) does not fail a save already in place.
void SyncFolder(const std::filesystem::path& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void WriteControlFile(const std::filesystem::path& path, const platform::PropertyBag& bag,
                      const SaveFault& fault) {
  std::string text;
  try {
    text = platform::SerializePropertyBag(bag);
  } catch (const ComError& e) {
    throw ComError(e.number(), path.string() + ": " + e.description(), e.source());
  }
  auto failed = [&](SaveStep step) {
    if (fault && fault(step)) {
      errno = EIO;
      return true;
    }
    return false;
  };
  TempFile temp(path);
  if (failed(SaveStep::Create) || !temp.Create())
    throw FileError(path, "cannot create a temporary file beside it", errno);
  if (failed(SaveStep::Write) || !temp.WriteAll(text)) throw FileError(path, "cannot write", errno);
  if (failed(SaveStep::Sync) || !temp.SyncAndClose()) throw FileError(path, "cannot sync", errno);
  if (failed(SaveStep::Rename) || !temp.RenameOver(path))
    throw FileError(path, "cannot replace the file", errno);
  SyncFolder(path.parent_path());
}

platform::PropertyBag ReadControlFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw ComError(kErrFileNotFound, "File not found (" + path.string() + ")");
  if (std::filesystem::is_directory(path, ec)) throw FileError(path, "cannot read", EISDIR);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError(path, "cannot open", errno);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw FileError(path, "cannot read", errno);
  return platform::ParsePropertyBag(text.str(), path.string(), nullptr);
}

void SaveControlFile(control::TabuloCtl& ctl, const std::filesystem::path& path,
                     const SaveFault& fault) {
  platform::PropertyBag bag;
  ctl.WriteProperties(bag);
  WriteControlFile(path, bag, fault);
}

void LoadControlFile(const std::filesystem::path& path, control::TabuloCtl& ctl) {
  platform::PropertyBag bag = ReadControlFile(path);
  ctl.ReadProperties(bag);
}

}  // namespace tabulo::app
