// Atomic file replacement: the new contents go to a temporary file with a unique name beside
// the target, are synced to disk and renamed over the target, and the folder is synced so
// that the rename itself survives a crash. A reader sees the old file or the new one, never
// half of either; two writers at once cannot write into each other's temporary file; and
// any failure removes the temporary file and leaves the target as it was.
//
// The replacement keeps the mode of a target that exists; a new target gets the mode a
// newly created file gets (0666 less the process's umask). A symbolic link is written
// through (the file it names is replaced, the link stays); a target that exists and is not
// a regular file (a device such as /dev/null, a folder) is refused.
//
// Failures raise platform::ComError 75 "Path/File access error (TARGET: what: reason)".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace tabulo::platform {

inline constexpr int32_t kErrPathFileAccess = 75;

// The steps of a replacement, named for fault injection in tests.
enum class ReplaceStep { Create, Write, Sync, Rename };
// Returns true to make the step fail as a full or broken disk would (EIO).
using ReplaceFault = std::function<bool(ReplaceStep)>;

// Who may read the new file: as the target (or a new file) would allow, or its owner only
// (group and other access taken away, e.g. for a file that holds a password; the temporary
// file is never readable by others, so the secret is not either, not even for a moment).
enum class FileAccess { AsTarget, OwnerOnly };

// Replaces `target` with `bytes`.
void ReplaceFile(const std::filesystem::path& target, std::string_view bytes,
                 const ReplaceFault& fault = nullptr, FileAccess access = FileAccess::AsTarget);

// Replaces `target` with the file `write` makes at the temporary path it is handed (which
// exists, empty, when it is called), e.g. a database that a library opens, fills and closes
// there. An exception from `write` removes the temporary file and propagates as it is.
void ReplaceFileWith(const std::filesystem::path& target,
                     const std::function<void(const std::filesystem::path& temporary)>& write,
                     const ReplaceFault& fault = nullptr);

}  // namespace tabulo::platform
