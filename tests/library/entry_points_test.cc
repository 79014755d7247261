// The library's entry points linked into the caller: class factories by identifier, the
// unload answer, and registration into a registry file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/test_folder.h"
#include "library/classes.h"
#include "library/library.h"
#include "library/registry_file.h"
#include "platform/runtime/headless_container.h"

namespace tabulo::library {
namespace {

using host::testing::TestFolder;

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
  const std::filesystem::path path = folder / "registry.json";
  std::ofstream(path) << "{ damaged";
  EXPECT_EQ(TabuloRegisterServer(path.c_str()), kSelfRegClass);
  EXPECT_EQ(TabuloUnregisterServer(path.c_str()), kSelfRegClass);
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(), "{ damaged");
  EXPECT_EQ(TabuloRegisterServer(nullptr), kEPointer);
  EXPECT_EQ(TabuloUnregisterServer(nullptr), kEPointer);
  // Nothing registered, nothing to remove: no file appears.
  const std::filesystem::path fresh = folder / "fresh.json";
  EXPECT_EQ(TabuloUnregisterServer(fresh.c_str()), kSOk);
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace tabulo::library
