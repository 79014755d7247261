// The snapshot store: its folder and files are private to the user who made them, leftovers
// of dead processes are removed at start, files of live stores are kept.
#include "host/sqlite/temp_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/error_of.h"
#include "host/data_server.h"
#include "test_folder.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class TempStoreTest : public ::testing::Test {
 protected:
  // Which of `names` exist in the store folder, as "1" and "0".
  std::string Exist(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += fs::exists(snap_ / n) ? "1" : "0";
    return out;
  }
  testing::TestFolder folder_;
  fs::path snap_ = folder_ / "snap";
};

TEST_F(TempStoreTest, RemovesLeftoversOfACrashedProcessAtStart) {
  fs::create_directories(snap_);
  // What a crashed process leaves: a lock file nobody holds and its data files; a lock file
  // still being set up (empty) is not taken for a leftover.
  const std::pair<std::string, std::string> files[] = {{"ds-999999-dead.lock", "999999\n"},
                                                       {"ds-999999-dead-0.snap", "x"},
                                                       {"ds-999999-dead-1.rows", "x"},
                                                       {"unrelated.txt", "x"},
                                                       {"ds-1-new.lock", ""},
                                                       {"ds-1-new-0.snap", "x"}};
  for (const auto& [name, content] : files) folder_.Write("snap/" + name, content);
  auto store = TempStore::Open(snap_);
  EXPECT_EQ(Exist({"ds-999999-dead.lock", "ds-999999-dead-0.snap", "ds-999999-dead-1.rows",
                   "unrelated.txt", "ds-1-new-0.snap"}),
            "00011");
}

// A new folder is made 0700, one made wider by its owner is narrowed; files are 0600.
TEST_F(TempStoreTest, KeepsTheFilesOfLiveStoresPrivateAndRemovesItsOwnOnDestruction) {
  auto first = TempStore::Open(snap_);
  EXPECT_EQ(ModeOf(snap_), 0700u);
  const fs::path first_file = first->NewPath(".snap");
  EXPECT_EQ(ModeOf(first_file), 0600u);
  EXPECT_EQ(fs::file_size(first_file), 0u);
  std::ofstream(first_file) << "x";
  fs::permissions(snap_, fs::perms(0777));
  auto second = TempStore::Open(snap_);  // cleans at start: must not take `first` for dead
  EXPECT_EQ(ModeOf(snap_), 0700u);
  EXPECT_TRUE(fs::exists(first_file));
  const fs::path second_file = second->NewPath(".rows");
  EXPECT_NE(second_file, first_file);
  std::ofstream(second_file) << "x";
  second.reset();
  EXPECT_FALSE(fs::exists(second_file));
  EXPECT_TRUE(fs::exists(first_file));
  first.reset();
  EXPECT_TRUE(fs::is_empty(snap_));
}

// Whether opening a store at `place` is refused with 0x80004005.
bool Refused(const fs::path& place) {
  return static_cast<uint32_t>(test_support::ErrorOf([&] { TempStore::Open(place); })) ==
         kErrSourceUnusable;
}

TEST_F(TempStoreTest, TempFileRemovesItsCompanionsAndOnlyAPrivateFolderIsUsed) {
  folder_.Write("x.snap", "x");
  folder_.Write("x.snap-journal", "x");
  { TempFile file(folder_ / "x.snap"); }
  EXPECT_FALSE(fs::exists(folder_ / "x.snap"));
  EXPECT_FALSE(fs::exists(folder_ / "x.snap-journal"));
  folder_.Write("file", "x");
  const platform::ComError e = testing::Raised([&] { TempStore::Open(folder_ / "file"); });
  EXPECT_EQ(e.code(), 0x80004005u);
  EXPECT_NE(e.description().find("file"), std::string::npos);
  // A link planted where the folder should be, or another user's folder, is not used.
  fs::create_directories(snap_);
  fs::create_symlink(snap_, folder_ / "planted");
  EXPECT_TRUE(Refused(folder_ / "planted"));
  if (::geteuid() == 0) {
    const fs::path foreign = folder_ / "foreign";
    fs::create_directories(foreign);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_TRUE(Refused(foreign));
  }
}

TEST(TempStore, DefaultFolderIsPerUser) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string restore = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(TempStore::DefaultFolder(), fs::path("/run/user/4242/tabulo-snapshots"));
  ::setenv("XDG_RUNTIME_DIR", "relative", 1);
  EXPECT_EQ(TempStore::DefaultFolder(),
            fs::temp_directory_path() / ("tabulo-snapshots-" + std::to_string(::geteuid())));
  if (saved) ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
  if (!saved) ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace tabulo::host::sqlite
