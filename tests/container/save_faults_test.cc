// Faults swept through saving a control file: the Nth step of the replacement fails, for every
// N until a save goes through; each failed save raises 75 and leaves the folder as it was,
// and the save that goes through loads back as the same control.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "container/control_file.h"
#include "control/hosted_control.h"
#include "control/persisted_properties.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using control::TabuloCtl;

// What a sweep compares after each step: the folder's entries with their kind, mode and
// contents, so a changed, replaced or left-over file shows.
std::string FolderState(const std::filesystem::path& folder) {
  std::ostringstream state;
  std::vector<std::filesystem::path> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    entries.push_back(entry.path());
  std::sort(entries.begin(), entries.end());
  for (const auto& path : entries) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    state << path.filename().string() << " " << std::oct << (st.st_mode & 0170777) << " ";
    if (S_ISLNK(st.st_mode))
      state << "-> " << std::filesystem::read_symlink(path).string();
    else
      state << std::hash<std::string>()(platform::ReadWholeFile(path).bytes);
    state << "\n";
  }
  return state.str();
}

class SaveFaultsTest : public control::testing::HostedControlTest {};

TEST_F(SaveFaultsTest, EveryStepOfASaveFailsCleanly) {
  TabuloCtl& ctl = NewControl();
  control::testing::SetEveryPersistedProperty(ctl);
  struct Target {
    const char* name;
    std::function<std::filesystem::path(const std::filesystem::path& folder)> make;
  };
  const Target targets[] = {
      {"absent", [](const auto& folder) { return folder / "new.tab"; }},
      {"existing 0640",
       [](const auto& folder) {
         std::ofstream(folder / "old.tab") << "the old file\n";
         std::filesystem::permissions(folder / "old.tab", std::filesystem::perms(0640));
         return folder / "old.tab";
       }},
      {"symbolic link",
       [](const auto& folder) {
         std::ofstream(folder / "real.tab") << "the linked file\n";
         std::filesystem::create_symlink("real.tab", folder / "link.tab");
         return folder / "link.tab";
       }},
  };
  for (const Target& target : targets) {
    SCOPED_TRACE(target.name);
    const std::filesystem::path folder = folder_ / target.name;
    std::filesystem::create_directory(folder);
    const std::filesystem::path path = target.make(folder);
    const std::string before = FolderState(folder);
    int failed = 0;
    for (int n = 1;; ++n) {
      int steps = 0;
      std::string error;
      try {
        SaveControlFile(ctl, path, [&](platform::ReplaceStep) { return ++steps == n; });
      } catch (const platform::ComError& e) {
        error = std::to_string(e.number()) + ": " + e.description();
      }
      if (steps < n) {  // no step failed: the save went through
        EXPECT_EQ(error, "");
        break;
      }
      ++failed;
      SCOPED_TRACE("step " + std::to_string(n));
      EXPECT_EQ(error.rfind("75: Path/File access error (" + path.string() + ": ", 0), 0u) << error;
      EXPECT_NE(error.find("Input/output error"), std::string::npos) << error;
      EXPECT_EQ(FolderState(folder), before);
    }
    EXPECT_EQ(failed, 4);  // create, write, sync, rename
    // The link stays a link; an existing file keeps its owner's access, but the control holds
    // a password, so the group's is taken away.
    EXPECT_EQ(std::filesystem::is_symlink(path), path.filename() == "link.tab");
    if (path.filename() == "old.tab") {
      EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
    }
    // Loaded into a control as opening a display creates it.
    TabuloCtl& loaded = BareControl();
    LoadControlFile(path, loaded);
    control::testing::ExpectSamePersistedProperties(ctl, loaded);
    EXPECT_EQ(MessageCount(), 0u);
    // Saving the loaded control gives the same file, byte for byte.
    SaveControlFile(loaded, folder / "again.tab");
    EXPECT_EQ(platform::ReadWholeFile(folder / "again.tab").bytes,
              platform::ReadWholeFile(path).bytes);
  }
}

}  // namespace
}  // namespace tabulo::container
