// The registry file: what registration writes and a container reads back.
#include "library/registry_file.h"

#include <gtest/gtest.h>

#include <fstream>

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

int32_t ReadErrorOf(const std::filesystem::path& path) {
  try {
    ReadRegistry(path);
  } catch (const platform::ComError& e) {
    return e.number();
  }
  return 0;
}

TEST(RegistryFile, AMissingFileHasNoEntries) {
  TestFolder folder;
  EXPECT_TRUE(ReadRegistry(folder / "none.json").empty());
}

TEST(RegistryFile, EntriesRoundTripSortedByIdentifierInNewFolders) {
  TestFolder folder;
  const std::filesystem::path path = folder / "deep" / "er" / "registry.json";
  std::vector<RegistryEntry> entries{Entry("VELTRA.TabuloCtl", "/lib/libtabulo.so"),
                                     Entry("Acme.Widget", "/lib/libacme.so")};
  WriteRegistry(path, entries);
  std::vector<RegistryEntry> read = ReadRegistry(path);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], entries[1]);
  EXPECT_EQ(read[1], entries[0]);
  EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
}

TEST(RegistryFile, IdentifiersCompareWithoutCase) {
  std::vector<RegistryEntry> entries;
  PutEntry(entries, Entry("VELTRA.TabuloCtl", "/old.so"));
  PutEntry(entries, Entry("veltra.tabuloctl", "/new.so"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].library, "/new.so");
  ASSERT_TRUE(FindEntry(entries, "VELTRA.TABULOCTL").has_value());
  EXPECT_EQ(FindEntry(entries, "Veltra.TabuloCtl")->library, "/new.so");
  EXPECT_FALSE(FindEntry(entries, "VELTRA.LongScroll").has_value());
  EXPECT_FALSE(RemoveEntry(entries, "VELTRA.Other"));
  EXPECT_TRUE(RemoveEntry(entries, "VELTRA.tabuloctl"));
  EXPECT_TRUE(entries.empty());
}

TEST(RegistryFile, DamagedFilesAreRefusedWithTheReadError) {
  TestFolder folder;
  const std::filesystem::path path = folder / "registry.json";
  const char* damaged[] = {
      "{ not json",
      "[1, 2]",
      R"({"format": 2, "classes": {}})",
      R"({"classes": {}})",
      R"({"format": 1})",
      R"({"format": 1, "classes": {"A.B": "text"}})",
      R"({"format": 1, "classes": {"A.B": {"clsid": "{1}"}}})",
      R"({"format": 1, "classes": {"A.B": {"clsid": "{1}", "library": 5}}})",
  };
  for (const char* text : damaged) {
    WriteText(path, text);
    EXPECT_EQ(ReadErrorOf(path), kErrRegistryRead) << text;
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
  try {
    WriteRegistry(folder / "taken", {Entry("A.B", "/x.so")});
    FAIL() << "no error";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), kErrRegistryWrite);
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder / "taken"));
}

}  // namespace
}  // namespace tabulo::library
