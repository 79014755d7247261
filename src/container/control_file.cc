// Control files: atomic write and checked read of a control's property bag.
#include "container/control_file.h"

#include "platform/storage/atomic_file.h"
#include "platform/storage/property_bag_format.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
using platform::ComError;

void WriteControlFile(const std::filesystem::path& path, const platform::PropertyBag& bag,
                      const platform::ReplaceFault& fault) {
  std::string text;
  try {
    text = platform::SerializePropertyBag(bag);
  } catch (const ComError& e) {
    throw ComError(e.number(), path.string() + ": " + e.description(), e.source());
  }
  // The password is stored in clear: only its owner may read a file that holds one.
  const bool secret = bag.Contains("Password");
  platform::ReplaceFile(path, text, fault,
                        secret ? platform::FileAccess::OwnerOnly : platform::FileAccess::AsTarget);
}

platform::PropertyBag ReadControlFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw ComError(kErrFileNotFound, "File not found (" + path.string() + ")");
  const platform::WholeFile file = platform::ReadWholeFile(path);
  if (!file.fault.empty()) {
    throw ComError(platform::kErrPathFileAccess,
                   "Path/File access error (" + path.string() + ": " + file.fault + ")");
  }
  return platform::ParsePropertyBag(file.bytes, path.string(), nullptr);
}

void SaveControlFile(control::TabuloCtl& ctl, const std::filesystem::path& path,
                     const platform::ReplaceFault& fault) {
  platform::PropertyBag bag;
  ctl.WriteProperties(bag);
  WriteControlFile(path, bag, fault);
}

void LoadControlFile(const std::filesystem::path& path, control::TabuloCtl& ctl) {
  platform::PropertyBag bag = ReadControlFile(path);
  ctl.ReadProperties(bag);
}

}  // namespace tabulo::container
