// The registry file: what registration writes and a container reads back.
#include "library/registry_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "common/error_of.h"
#include "host/test_folder.h"
#include "platform/values/com_error.h"

namespace tabulo::library {
namespace {

using host::testing::TestFolder;

RegistryEntry Entry(std::string progid, std::string library) {
  return RegistryEntry{std::move(progid), "{0000-1}", std::move(library),
                       "VELTRA",          "{0000-2}", "1.0"};
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

TEST(RegistryFile, EntriesRoundTripSortedByIdentifierInNewFolders) {
  TestFolder folder;
  const std::filesystem::path path = folder / "deep" / "er" / "registry.json";
  std::vector<RegistryEntry> entries{Entry("VELTRA.TabuloCtl", "/lib/libtabulo.so"),
                                     Entry("Acme.Widget", "/lib/libacme.so")};
  WriteRegistry(path, entries);
  EXPECT_EQ(ReadRegistry(path), (std::vector<RegistryEntry>{entries[1], entries[0]}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
}

// Two writers registering at once, each through read-modify-write: the lock beside the file
// makes every update see the one before, so no entry is lost.
TEST(RegistryFile, ConcurrentUpdatesLoseNoEntry) {
  TestFolder folder;
  const std::filesystem::path path = folder / "registry.json";
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < 40; ++i) {
      UpdateRegistry(path, [&](std::vector<RegistryEntry>& entries) {
        PutEntry(entries, Entry(prefix + std::to_string(i), "/lib/" + prefix + ".so"));
        return true;
      });
    }
  };
  std::thread a(writer, "A.Class"), b(writer, "B.Class");
  a.join();
  b.join();
  EXPECT_EQ(ReadRegistry(path).size(), 80u);
}

TEST(RegistryFile, IdentifiersCompareWithoutCase) {
  std::vector<RegistryEntry> entries;
  PutEntry(entries, Entry("VELTRA.TabuloCtl", "/old.so"));
  PutEntry(entries, Entry("veltra.tabuloctl", "/new.so"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(FindEntry(entries, "Veltra.TabuloCtl")->library, "/new.so");
  EXPECT_FALSE(FindEntry(entries, "VELTRA.LongScroll").has_value());
  EXPECT_FALSE(RemoveEntry(entries, "VELTRA.Other"));
  EXPECT_TRUE(RemoveEntry(entries, "VELTRA.tabuloctl"));
  EXPECT_TRUE(entries.empty());
}

TEST(RegistryFile, DamagedFilesAreRefusedWithTheReadError) {
  TestFolder folder;
  const std::filesystem::path path = folder / "registry.json";
  // clang-format off
  const char* damaged[] = {
      "{ not json", "[1, 2]", R"({"format": 2, "classes": {}})", R"({"classes": {}})",
      R"({"format": 1})", R"({"format": 1, "classes": {"A.B": "text"}})",
      R"({"format": 1, "classes": {"A.B": {"clsid": "{1}"}}})",
      R"({"format": 1, "classes": {"A.B": {"clsid": "{1}", "library": 5}}})"};
  // clang-format on
  for (const char* text : damaged) {
    WriteText(path, text);
    EXPECT_EQ(test_support::ErrorOf([&] { ReadRegistry(path); }), kErrRegistryRead) << text;
  }
  WriteText(path, R"({"format": 1, "classes": {"A.B": {"clsid": "{1}", "library": "/x.so"}}})");
  std::vector<RegistryEntry> read = ReadRegistry(path);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].library, "/x.so");
  EXPECT_EQ(read[0].typelib, "");
}

TEST(RegistryFile, AnUnwritablePlaceRaisesTheWriteError) {
  TestFolder folder;
  // The registry's path is taken by a folder.
  std::filesystem::create_directories(folder / "taken");
  EXPECT_EQ(
      test_support::ErrorOf([&] { WriteRegistry(folder / "taken", {Entry("A.B", "/x.so")}); }),
      kErrRegistryWrite);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "taken"));
}

}  // namespace
}  // namespace tabulo::library
