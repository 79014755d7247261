// TempStore: leftovers of dead processes are removed at start, files of live stores are kept.
#include "host/sqlite/temp_store.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/values/com_error.h"
#include "test_folder.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using testing::TestFolder;

void Touch(const fs::path& p, const std::string& content = "x") {
  std::ofstream(p) << content;
}

TEST(TempStore, RemovesLeftoversOfACrashedProcessAtStart) {
  TestFolder folder;
  const fs::path snap = folder / "snap";
  fs::create_directories(snap);
  // What a crashed process leaves: a lock file nobody holds and its data files.
  Touch(snap / "ds-999999-dead.lock", "999999\n");
  Touch(snap / "ds-999999-dead-0.snap");
  Touch(snap / "ds-999999-dead-1.rows");
  Touch(snap / "unrelated.txt");
  // A lock file still being set up (empty) is not taken for a leftover.
  Touch(snap / "ds-1-new.lock", "");
  Touch(snap / "ds-1-new-0.snap");

  auto store = TempStore::Open(snap);
  EXPECT_FALSE(fs::exists(snap / "ds-999999-dead.lock"));
  EXPECT_FALSE(fs::exists(snap / "ds-999999-dead-0.snap"));
  EXPECT_FALSE(fs::exists(snap / "ds-999999-dead-1.rows"));
  EXPECT_TRUE(fs::exists(snap / "unrelated.txt"));
  EXPECT_TRUE(fs::exists(snap / "ds-1-new-0.snap"));
}

TEST(TempStore, KeepsTheFilesOfLiveStoresAndRemovesItsOwnOnDestruction) {
  TestFolder folder;
  const fs::path snap = folder / "snap";
  auto first = TempStore::Open(snap);
  fs::path first_file = first->NewPath(".snap");
  Touch(first_file);
  {
    auto second = TempStore::Open(snap);  // cleans at start: must not take `first` for dead
    EXPECT_TRUE(fs::exists(first_file));
    fs::path second_file = second->NewPath(".rows");
    EXPECT_NE(second_file, first_file);
    Touch(second_file);
    second.reset();
    EXPECT_FALSE(fs::exists(second_file));
  }
  EXPECT_TRUE(fs::exists(first_file));
  first.reset();
  EXPECT_TRUE(fs::is_empty(snap));
}

TEST(TempStore, TempFileRemovesItsFileAndCompanions) {
  TestFolder folder;
  const fs::path path = folder / "x.snap";
  Touch(path);
  Touch(folder / "x.snap-journal");
  { TempFile file(path); }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(folder / "x.snap-journal"));
}

TEST(TempStore, RefusesAFolderThatIsAFile) {
  TestFolder folder;
  Touch(folder / "file");
  try {
    TempStore::Open(folder / "file");
    ADD_FAILURE() << "no error";
  } catch (const tabulo::platform::ComError& e) {
    EXPECT_EQ(e.code(), 0x80004005u);
    EXPECT_NE(e.description().find("file"), std::string::npos);
  }
}

}  // namespace
}  // namespace tabulo::host::sqlite
