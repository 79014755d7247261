// Files replaced whole (a fault at any step leaves the old file and no temporary behind, links
// are written through, places that cannot be replaced raise 75) and files read whole.
#include "platform/storage/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <stdexcept>

#include "host/test_folder.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

class AtomicFileTest : public ::testing::Test {
 protected:
  host::testing::TestFolder dir_;
  const fs::path& folder_ = dir_.path();
};

// A fault in each step of ReplaceFile, with the target kept whole, its mode, links and no
// temporary left, is the container's save sweep; here the callback form: a callback that
// writes, one that throws after writing, and its failed write.
TEST_F(AtomicFileTest, ACallbackReplacesWholeOrLeavesTheTargetAndNoTemporaryBehind) {
  const struct {
    const char* name;
    bool fault, throws;
  } cases[] = {{"writes", false, false}, {"throws", false, true}, {"write fails", true, false}};
  const fs::path target = folder_ / "target";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(target, std::ios::binary | std::ios::trunc) << "old";
    fs::permissions(target, fs::perms(0640));
    std::string error = "none";
    try {
      ReplaceFileWith(
          target,
          [&](const fs::path& temporary) {
            EXPECT_EQ(temporary.parent_path(), folder_);
            EXPECT_TRUE(fs::exists(temporary));
            std::ofstream(temporary, std::ios::binary) << "new";
            if (c.throws) throw std::runtime_error("disk on fire");
          },
          [&](ReplaceStep step) { return c.fault && step == ReplaceStep::Write; });
    } catch (const ComError& e) {
      error = std::to_string(e.number()) + ": " + e.description();
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    EXPECT_EQ(ReadWholeFile(target).bytes, c.fault || c.throws ? "old" : "new");
    EXPECT_EQ(Entries(folder_), std::set<std::string>{"target"});
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    if (c.fault) {
      EXPECT_EQ(error.rfind("75: Path/File access error (" + target.string() + ": ", 0), 0u);
      EXPECT_NE(error.find(": Input/output error)"), std::string::npos) << error;
    } else {
      EXPECT_EQ(error, c.throws ? "disk on fire" : "none");
    }
  }
}

TEST_F(AtomicFileTest, WritesThroughLinksNewFilesTakeTheUmaskAndUnreplaceablePlacesRaise75) {
  const fs::path& folder = folder_;
  const mode_t mask = ::umask(027);
  ReplaceFile(folder / "fresh", "x");
  ::umask(mask);
  EXPECT_EQ(ReadWholeFile(folder / "fresh").bytes, "x");
  EXPECT_EQ(fs::status(folder / "fresh").permissions(), fs::perms(0640));

  // A link to an existing file: the file keeps its mode (that the link stays a link and the
  // file takes the text is the container's save sweep).
  fs::create_directories(folder / "real");
  std::ofstream(folder / "real" / "saved") << "old";
  fs::permissions(folder / "real" / "saved", fs::perms(0600));
  fs::create_symlink("real/saved", folder / "link");
  ReplaceFile(folder / "link", "new");
  EXPECT_EQ(fs::status(folder / "real" / "saved").permissions(), fs::perms(0600));

  // A link to a file not yet there (through a chain of two links) creates that file.
  fs::create_symlink("real/later", folder / "dangling");
  fs::create_symlink("dangling", folder / "chain");
  ReplaceFile(folder / "chain", "first");
  EXPECT_TRUE(fs::is_symlink(folder / "chain") && fs::is_symlink(folder / "dangling"));
  EXPECT_EQ(ReadWholeFile(folder / "real" / "later").bytes, "first");

  // Folders, missing folders, devices, pipes and loops are refused with error 75 and left as
  // they are.
  fs::create_directories(folder / "taken" / "inside");
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_symlink("loop", folder / "loop");
  for (const fs::path& target : {folder / "taken", folder / "missing" / "file",
                                 fs::path("/dev/null"), folder / "pipe", folder / "loop"}) {
    SCOPED_TRACE(target);
    try {
      ReplaceFile(target, "x");
      ADD_FAILURE() << "replaced";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrPathFileAccess);
      EXPECT_EQ(e.description().rfind("Path/File access error (" + target.string() + ": ", 0), 0u);
    }
  }
  EXPECT_TRUE(fs::is_directory(folder / "taken" / "inside"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
  EXPECT_EQ(Entries(folder), (std::set<std::string>{"fresh", "real", "link", "dangling", "chain",
                                                    "taken", "pipe", "loop"}));
}

// A device (/dev/zero) is the control file and host configuration tests' row.
TEST_F(AtomicFileTest, OnlyRegularFilesWithinTheLimitAreReadWhole) {
  dir_.Write("ten", "0123456789");
  ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
  struct {
    fs::path path;
    uintmax_t limit;
    std::string bytes, fault;
    bool opened;
  } const cases[] = {
      {folder_ / "ten", 10, "0123456789", "", true},
      {folder_ / "ten", 9, "", "larger than 9 bytes", true},
      {folder_ / "fifo", kWholeFileLimit, "", "not a regular file", true},
      {folder_, kWholeFileLimit, "", "a folder, not a file", true},
      {folder_ / "none", kWholeFileLimit, "", "cannot open it: No such file", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string() + " limit " + std::to_string(c.limit));
    const WholeFile file = ReadWholeFile(c.path, c.limit);
    EXPECT_EQ(file.bytes, c.bytes);
    EXPECT_EQ(file.fault.rfind(c.fault, 0), 0u) << file.fault;
    EXPECT_EQ(file.fault.empty(), c.fault.empty());
    EXPECT_EQ(file.opened, c.opened);
  }
}

}  // namespace
}  // namespace tabulo::platform
