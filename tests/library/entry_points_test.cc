// The library's entry points linked into the caller: class factories by identifier, the
// unload answer, and registration into a registry file.
#include <gtest/gtest.h>

#include <fstream>

#include "host/test_folder.h"
#include "library/classes.h"
#include "library/library.h"
#include "library/registry_file.h"
#include "platform/runtime/headless_container.h"

namespace tabulo::library {
namespace {

using host::testing::TestFolder;

TEST(EntryPoints, TheControlsFactoryIsFoundByItsIdentifierInAnyCase) {
  ClassFactory* factory = nullptr;
  ASSERT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", &factory), kSOk);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->ProgId(), "VELTRA.TabuloCtl");
  EXPECT_EQ(factory->ClassId(), kTabuloCtlClassId);
  ClassFactory* again = nullptr;
  ASSERT_EQ(TabuloGetClassObject("veltra.tabuloctl", &again), kSOk);
  EXPECT_EQ(again, factory);
}

TEST(EntryPoints, IdentifiersTheLibraryDoesNotServeAreNotAvailable) {
  // The internal scroll bar is not creatable; the property pages have no class yet.
  for (const char* progid : {"VELTRA.LongScroll", "VELTRA.DSNSelection", "TabuloCtl", ""}) {
    ClassFactory* factory = reinterpret_cast<ClassFactory*>(1);
    EXPECT_EQ(TabuloGetClassObject(progid, &factory), kClassNotAvailable) << progid;
    EXPECT_EQ(factory, nullptr);
  }
  ClassFactory* factory = nullptr;
  EXPECT_EQ(TabuloGetClassObject(nullptr, &factory), kEPointer);
  EXPECT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", nullptr), kEPointer);
}

TEST(EntryPoints, InstancesHoldTheLibraryLoaded) {
  platform::HeadlessContainer container;
  ClassFactory* factory = nullptr;
  ASSERT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", &factory), kSOk);
  EXPECT_EQ(TabuloCanUnloadNow(), kSOk);
  auto first = factory->CreateInstance(container);
  auto second = factory->CreateInstance(container);
  EXPECT_EQ(first->ClassName(), "TabuloCtl");
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(TabuloCanUnloadNow(), kSFalse);
  first.reset();
  EXPECT_EQ(TabuloCanUnloadNow(), kSFalse);
  second.reset();
  EXPECT_EQ(TabuloCanUnloadNow(), kSOk);
}

TEST(EntryPoints, ANewInstanceHasTheNewInstanceValuesAndItsHostInterfaces) {
  platform::HeadlessContainer container;
  ClassFactory* factory = nullptr;
  ASSERT_EQ(TabuloGetClassObject("VELTRA.TabuloCtl", &factory), kSOk);
  auto ctl = factory->CreateInstance(container);
  EXPECT_EQ(ctl->Get("LogEventType"), platform::Variant("dbUpdate"));
  auto host_control = factory->QueryInterface(ctl, "IHostControl");
  EXPECT_EQ(host_control->ClassName(), "IHostControl");
  auto language = factory->QueryInterface(ctl, "IHostControlLanguageChangeAuto");
  EXPECT_NO_THROW(language->GetIdOfName("OnLanguageChange"));
  // An object the factory did not make has none of its interfaces.
  EXPECT_THROW(factory->QueryInterface(host_control, "IHostControl"), platform::ComError);
}

TEST(EntryPoints, RegistrationWritesTheClassesAndKeepsOtherLibraries) {
  TestFolder folder;
  const std::filesystem::path path = folder / "registry.json";
  WriteRegistry(path, {RegistryEntry{"Acme.Widget", "{A}", "/lib/libacme.so", "", "", ""}});
  ASSERT_EQ(TabuloRegisterServer(path.c_str()), kSOk);
  std::vector<RegistryEntry> entries = ReadRegistry(path);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].progid, "Acme.Widget");
  const RegistryEntry& ours = entries[1];
  EXPECT_EQ(ours.progid, "VELTRA.TabuloCtl");
  EXPECT_EQ(ours.clsid, kTabuloCtlClassId);
  EXPECT_EQ(ours.typelib, "VELTRA");
  EXPECT_EQ(ours.typelib_id, kTypeLibraryId);
  // Linked in, the library's code lives in this test program.
  EXPECT_TRUE(std::filesystem::path(ours.library).is_absolute());
  EXPECT_TRUE(std::filesystem::exists(ours.library));

  // Registering twice leaves one entry.
  ASSERT_EQ(TabuloRegisterServer(path.c_str()), kSOk);
  EXPECT_EQ(ReadRegistry(path).size(), 2u);

  ASSERT_EQ(TabuloUnregisterServer(path.c_str()), kSOk);
  entries = ReadRegistry(path);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].progid, "Acme.Widget");
}

TEST(EntryPoints, RegistrationFailuresAreReportedAndLeaveTheFileAsItWas) {
  TestFolder folder;
  const std::filesystem::path path = folder / "registry.json";
  std::ofstream(path) << "{ damaged";
  EXPECT_EQ(TabuloRegisterServer(path.c_str()), kSelfRegClass);
  EXPECT_EQ(TabuloUnregisterServer(path.c_str()), kSelfRegClass);
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "{ damaged");
  EXPECT_EQ(TabuloRegisterServer(nullptr), kEPointer);
  EXPECT_EQ(TabuloUnregisterServer(nullptr), kEPointer);
  // Nothing registered, nothing to remove: no file appears.
  const std::filesystem::path fresh = folder / "fresh.json";
  EXPECT_EQ(TabuloUnregisterServer(fresh.c_str()), kSOk);
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace tabulo::library
