// TempStore: leftovers of dead processes are removed at start, files of live stores are kept.
#include "host/sqlite/temp_store.h"

#include <gtest/gtest.h>

#include "test_folder.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;

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

TEST_F(TempStoreTest, KeepsTheFilesOfLiveStoresAndRemovesItsOwnOnDestruction) {
  auto first = TempStore::Open(snap_);
  const fs::path first_file = first->NewPath(".snap");
  std::ofstream(first_file) << "x";
  auto second = TempStore::Open(snap_);  // cleans at start: must not take `first` for dead
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

TEST_F(TempStoreTest, TempFileRemovesItsFileAndCompanionsAndAFileIsNoFolder) {
  folder_.Write("x.snap", "x");
  folder_.Write("x.snap-journal", "x");
  { TempFile file(folder_ / "x.snap"); }
  EXPECT_FALSE(fs::exists(folder_ / "x.snap"));
  EXPECT_FALSE(fs::exists(folder_ / "x.snap-journal"));
  folder_.Write("file", "x");
  const platform::ComError e = testing::Raised([&] { TempStore::Open(folder_ / "file"); });
  EXPECT_EQ(e.code(), 0x80004005u);
  EXPECT_NE(e.description().find("file"), std::string::npos);
}

}  // namespace
}  // namespace tabulo::host::sqlite
