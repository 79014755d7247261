// The library's entry points linked into the caller (class factories by identifier, the
// unload answer, registration) and the registry file they write and a container reads back.
#include <gtest/gtest.h>

#include <thread>

#include "common/error_of.h"
#include "host/test_folder.h"
#include "library/classes.h"
#include "library/library.h"
#include "library/registry_file.h"
#include "platform/runtime/headless_container.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::library {
namespace {

using host::testing::TestFolder;

RegistryEntry Entry(std::string progid, std::string library) {
  return RegistryEntry{std::move(progid), "{0000-1}", std::move(library),
                       "VELTRA",          "{0000-2}", "1.0"};
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

// (An entry found whatever the case: registry_test.cc; none to remove: the failures below.)
TEST(RegistryFile, AnEntryIsReplacedWhateverTheIdentifiersCase) {
  std::vector<RegistryEntry> entries;
  PutEntry(entries, Entry("VELTRA.TabuloCtl", "/old.so"));
  PutEntry(entries, Entry("veltra.tabuloctl", "/new.so"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].library, "/new.so");
}

TEST(RegistryFile, DamagedFilesAreRefusedWithTheReadError) {
  TestFolder folder;
  // clang-format off
  const char* damaged[] = {
      "{ not json", "[1, 2]", R"({"format": 2, "classes": {}})", R"({"classes": {}})",
      R"({"format": 1})", R"({"format": 1, "classes": {"A.B": "text"}})",
      R"({"format": 1, "classes": {"A.B": {"clsid": "{1}"}}})",
      R"({"format": 1, "classes": {"A.B": {"clsid": "{1}", "library": 5}}})"};
  // clang-format on
  for (const char* text : damaged) {
    const std::string path = folder.Write("registry.json", text);
    EXPECT_EQ(test_support::ErrorOf([&] { ReadRegistry(path); }), kErrRegistryRead) << text;
  }
  std::vector<RegistryEntry> read = ReadRegistry(
      folder.Write("registry.json",
                   R"({"format": 1, "classes": {"A.B": {"clsid": "{1}", "library": "/x.so"}}})"));
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

TEST(EntryPoints, TheControlsFactoryIsFoundByItsIdentifierInAnyCaseAndNoOtherIs) {
  ClassFactory* factory = nullptr;
  ASSERT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", &factory), kSOk);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->ProgId(), "VELTRA.TabuloCtl");
  EXPECT_EQ(factory->ClassId(), kTabuloCtlClassId);
  ClassFactory* again = nullptr;
  ASSERT_EQ(TabuloGetClassObject("veltra.tabuloctl", &again), kSOk);
  EXPECT_EQ(again, factory);

  // The internal scroll bar is not creatable.
  for (const char* progid : {"VELTRA.LongScroll", "VELTRA.frmQueryBuilder", "TabuloCtl", ""}) {
    ClassFactory* none = reinterpret_cast<ClassFactory*>(1);
    EXPECT_EQ(TabuloGetClassObject(progid, &none), kClassNotAvailable) << progid;
    EXPECT_EQ(none, nullptr);
  }
  EXPECT_EQ(TabuloGetClassObject(nullptr, &factory), kEPointer);
  EXPECT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", nullptr), kEPointer);
}

// Instances hold the library loaded; each has the new-instance values and its host
// interfaces.
TEST(EntryPoints, InstancesHoldTheLibraryLoadedAndHaveTheirHostInterfaces) {
  platform::HeadlessContainer container;
  ClassFactory* factory = nullptr;
  ASSERT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", &factory), kSOk);
  EXPECT_EQ(TabuloCanUnloadNow(), kSOk);
  auto first = factory->CreateInstance(container);
  auto second = factory->CreateInstance(container);
  EXPECT_EQ(TabuloCanUnloadNow(), kSFalse);
  first.reset();
  EXPECT_EQ(TabuloCanUnloadNow(), kSFalse);
  EXPECT_EQ(second->Get("LogEventType"), platform::Variant("dbUpdate"));
  auto host_control = factory->QueryInterface(second, "IHostControl");
  EXPECT_EQ(host_control->ClassName(), "IHostControl");
  // An object the factory did not make has none of its interfaces.
  EXPECT_THROW(factory->QueryInterface(host_control, "IHostControl"), platform::ComError);
  second.reset();
  host_control.reset();
  EXPECT_EQ(TabuloCanUnloadNow(), kSOk);
}

TEST(EntryPoints, RegistrationWritesTheClassesAndKeepsOtherLibraries) {
  TestFolder folder;
  const std::filesystem::path path = folder / "registry.json";
  WriteRegistry(path, {RegistryEntry{"Acme.Widget", "{A}", "/lib/libacme.so", "", "", ""}});
  ASSERT_EQ(TabuloRegisterServer(path.c_str()), kSOk);
  std::vector<RegistryEntry> entries = ReadRegistry(path);
  ASSERT_EQ(entries.size(), 6u);  // sorted: Acme, then the pages around TabuloCtl
  EXPECT_EQ(entries[0].progid, "Acme.Widget");
  // Linked in, the library's code lives in this test program (its path: registry_test.cc).
  EXPECT_EQ(entries[4], (RegistryEntry{"VELTRA.TabuloCtl", kTabuloCtlClassId, entries[4].library,
                                       "VELTRA", kTypeLibraryId, kTypeLibraryVersion}));
  EXPECT_EQ(entries[2].progid, "VELTRA.DSNSelection");
  EXPECT_EQ(entries[2].clsid, kDSNSelectionClassId);

  ASSERT_EQ(TabuloUnregisterServer(path.c_str()), kSOk);
  EXPECT_EQ(ReadRegistry(path), std::vector<RegistryEntry>{entries[0]});
}

TEST(EntryPoints, RegistrationFailuresAreReportedAndLeaveTheFileAsItWas) {
  TestFolder folder;
  const std::string path = folder.Write("registry.json", "{ damaged");
  EXPECT_EQ(TabuloRegisterServer(path.c_str()), kSelfRegClass);
  EXPECT_EQ(TabuloUnregisterServer(path.c_str()), kSelfRegClass);
  EXPECT_EQ(platform::ReadWholeFile(path).bytes, "{ damaged");
  EXPECT_EQ(TabuloRegisterServer(nullptr), kEPointer);
  EXPECT_EQ(TabuloUnregisterServer(nullptr), kEPointer);
  // Nothing registered, nothing to remove: no file appears.
  const std::filesystem::path fresh = folder / "fresh.json";
  EXPECT_EQ(TabuloUnregisterServer(fresh.c_str()), kSOk);
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace tabulo::library
