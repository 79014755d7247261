// Control files: atomic write and checked read of a control's property bag.
#include "container/control_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/storage/atomic_file.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using platform::ComError;

ComError FileError(const std::filesystem::path& path, const std::string& what, int err) {
  return ComError(platform::kErrPathFileAccess, "Path/File access error (" + path.string() + ": " +
                                                    what + ": " + std::strerror(err) + ")");
}

}  // namespace

void WriteControlFile(const std::filesystem::path& path, const platform::PropertyBag& bag) {
  std::string text;
  try {
    text = platform::SerializePropertyBag(bag);
  } catch (const ComError& e) {
    throw ComError(e.number(), path.string() + ": " + e.description(), e.source());
  }
  platform::ReplaceFile(path, text);
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

void SaveControlFile(control::TabuloCtl& ctl, const std::filesystem::path& path) {
  platform::PropertyBag bag;
  ctl.WriteProperties(bag);
  WriteControlFile(path, bag);
}

void LoadControlFile(const std::filesystem::path& path, control::TabuloCtl& ctl) {
  platform::PropertyBag bag = ReadControlFile(path);
  ctl.ReadProperties(bag);
}

}  // namespace tabulo::container
