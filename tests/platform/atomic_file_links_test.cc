// Replacing through symbolic links, and refusing what is not a regular file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/storage/atomic_file.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

TEST(AtomicFileLinks, WritesThroughLinksAndRefusesSpecialFiles) {
  const char* base = std::getenv("TABULO_TEST_TMP");
  const fs::path folder = fs::path(base && *base ? base : fs::temp_directory_path().string()) /
                          ("atomic-links-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "real");

  // A link to an existing file: the file is replaced, keeps its mode, the link stays a link.
  std::ofstream(folder / "real" / "saved") << "old";
  fs::permissions(folder / "real" / "saved", fs::perms(0600));
  fs::create_symlink("real/saved", folder / "link");
  ReplaceFile(folder / "link", "new");
  EXPECT_TRUE(fs::is_symlink(folder / "link"));
  EXPECT_EQ(ReadText(folder / "real" / "saved"), "new");
  EXPECT_EQ(fs::status(folder / "real" / "saved").permissions(), fs::perms(0600));

  // A link to a file not yet there (through a chain of two links) creates that file.
  fs::create_symlink("real/later", folder / "dangling");
  fs::create_symlink("dangling", folder / "chain");
  ReplaceFile(folder / "chain", "first");
  EXPECT_TRUE(fs::is_symlink(folder / "chain") && fs::is_symlink(folder / "dangling"));
  EXPECT_EQ(ReadText(folder / "real" / "later"), "first");

  // Devices, pipes and loops are refused with error 75 and left as they are.
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_symlink("loop", folder / "loop");
  for (const fs::path& target : {fs::path("/dev/null"), folder / "pipe", folder / "loop"}) {
    SCOPED_TRACE(target);
    try {
      ReplaceFile(target, "x");
      ADD_FAILURE() << "replaced";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrPathFileAccess);
      EXPECT_EQ(e.description().rfind("Path/File access error (" + target.string() + ": ", 0), 0u);
    }
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace tabulo::platform
