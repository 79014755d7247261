// The container's control files: a control saved with the display that holds it, as the text
// form of its property bag (platform/property_bag_format.h), and loaded again when the
// display is opened.
//
// Saving replaces the file atomically (platform/storage/atomic_file.h), so a failed save
// leaves the old file as it was (`fault` makes a step of the replacement fail, for tests that
// sweep faults through a save). Errors name the file: 75 "Path/File access error" for a file
// that cannot be written or read, 53 "File not found", and the bag format's 321 for a text
// that cannot be parsed. A file that holds a password is made readable by its owner only
// (0600 for a new file), whatever mode the file it replaces had.
#pragma once

#include <filesystem>

#include "control/tabulo_ctl.h"
#include "platform/storage/atomic_file.h"
#include "platform/storage/property_bag.h"

namespace tabulo::container {

inline constexpr int32_t kErrFileNotFound = 53;

void WriteControlFile(const std::filesystem::path& path, const platform::PropertyBag& bag,
                      const platform::ReplaceFault& fault = nullptr);
// The bag's origin is the file's name as given.
platform::PropertyBag ReadControlFile(const std::filesystem::path& path);

// The control's save handler into a bag, written to `path`.
void SaveControlFile(control::TabuloCtl& ctl, const std::filesystem::path& path,
                     const platform::ReplaceFault& fault = nullptr);
// Reads `path` and hands the bag to the control's load handler, as opening a display does
// for a control just created. A file that cannot be read or parsed raises before the control
// is touched; errors in single values are shown by the control and loading goes on.
void LoadControlFile(const std::filesystem::path& path, control::TabuloCtl& ctl);

}  // namespace tabulo::container
