// Files read whole are bounded regular files; control characters are written visibly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/test_folder.h"
#include "platform/storage/whole_file.h"
#include "platform/text/visible_text.h"

namespace tabulo::platform {
namespace {

namespace fs = std::filesystem;

// A device (/dev/zero) is the control file and host configuration tests' row.
TEST(WholeFile, OnlyRegularFilesWithinTheLimitAreRead) {
  const host::testing::TestFolder folder;
  const fs::path& dir = folder.path();
  folder.Write("ten", "0123456789");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  struct {
    fs::path path;
    uintmax_t limit;
    std::string bytes, fault;
    bool opened;
  } const cases[] = {{dir / "ten", 10, "0123456789", "", true},
                     {dir / "ten", 9, "", "larger than 9 bytes", true},
                     {dir / "fifo", kWholeFileLimit, "", "not a regular file", true},
                     {dir, kWholeFileLimit, "", "a folder, not a file", true},
                     {dir / "none", kWholeFileLimit, "", "cannot open it: No such file", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string() + " limit " + std::to_string(c.limit));
    const WholeFile file = ReadWholeFile(c.path, c.limit);
    EXPECT_EQ(file.bytes, c.bytes);
    EXPECT_EQ(file.fault.rfind(c.fault, 0), 0u) << file.fault;
    EXPECT_EQ(file.fault.empty(), c.fault.empty());
    EXPECT_EQ(file.opened, c.opened);
  }
}

// Tabs, line ends, escapes and DEL are the script value tests' rows; here the range edges.
TEST(VisibleText, ControlCharactersAreEscapedAndEverythingElseKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"Straße 日本 \xc2\xa0 back\\slash", "Straße 日本 \xc2\xa0 back\\slash"},
      {std::string("nul\0", 4) + "\x1f\x7f", "nul\\x00\\x1F\\x7F"},
      {"\xc2\x9b"
       "1m \xc2\x80",
       "\\xC2\\x9B1m \\xC2\\x80"}};
  for (const auto& [text, shown] : cases) {
    SCOPED_TRACE(shown);
    EXPECT_EQ(VisibleText(text), shown);
    EXPECT_EQ(HasControlCharacters(text), text != shown);
  }
}

}  // namespace
}  // namespace tabulo::platform
