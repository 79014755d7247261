// The snapshot folder and its files are private to the user who made them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/error_of.h"
#include "host/data_server.h"
#include "host/sqlite/temp_store.h"
#include "test_folder.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;

// Whether opening a store at `place` is refused with 0x80004005.
bool Refused(const fs::path& place) {
  return static_cast<uint32_t>(test_support::ErrorOf([&] { TempStore::Open(place); })) ==
         kErrSourceUnusable;
}

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(TempStorePrivate, FolderIsTheUsersOwnAndFilesAreOwnerOnly) {
  testing::TestFolder folder;
  // A new folder is made 0700; one made wider by its owner is narrowed; files are 0600.
  const fs::path fresh = folder / "fresh", wide = folder / "wide";
  fs::create_directories(wide);
  fs::permissions(wide, fs::perms(0777));
  for (const fs::path& place : {fresh, wide}) {
    auto store = TempStore::Open(place);
    EXPECT_EQ(ModeOf(place), 0700u);
    const fs::path file = store->NewPath(".snap");
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(fs::file_size(file), 0u);
  }

  // A link planted where the folder should be, or another user's folder, is not used.
  fs::create_symlink(wide, folder / "planted");
  EXPECT_TRUE(Refused(folder / "planted"));
  if (::geteuid() == 0) {
    const fs::path foreign = folder / "foreign";
    fs::create_directories(foreign);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_TRUE(Refused(foreign));
  }
}

TEST(TempStorePrivate, DefaultFolderIsPerUser) {
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
