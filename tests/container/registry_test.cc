// The shared library as a container meets it: registered into a registry file, then the
// control created by its identifier alone through that file and called late-bound.
#include <gtest/gtest.h>

#include <fstream>

#include "common/error_of.h"
#include "container/registry.h"
#include "host/test_folder.h"
#include "library/library.h"
#include "library/registry_file.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
using test_support::ErrorOf;
namespace {

using host::testing::TestFolder;
using platform::InvokeKind;
using platform::Variant;

TEST(SharedLibrary, RegisteredControlIsCreatedByIdentifierAndAnswersLateBound) {
  TestFolder folder;
  const std::filesystem::path registry = folder / "registry.json";
  auto lib = ComponentLibrary::Load(TABULO_SHARED_LIBRARY);
  ASSERT_EQ(lib->RegisterServer(registry), library::kSOk);
  // (The entry's canonical library path is in the command-line test's `tabulo register`.)

  platform::HeadlessContainer container;
  RegisteredObject created = CreateRegisteredObject(registry, "veltra.TABULOCTL", container);
  ASSERT_NE(created.object, nullptr);
  EXPECT_EQ(created.object->ClassName(), "TabuloCtl");
  EXPECT_FALSE(created.library->CanUnloadNow());

  std::vector<Variant> put{Variant("Orders")};
  created.object->Invoke(0x6803001A, InvokeKind::PropertyPut, put);
  EXPECT_EQ(created.object->Get("DataTable"), Variant("Orders"));
  // Errors raised inside the library reach the caller with their numbers.
  EXPECT_EQ(ErrorOf([&] { created.object->Call("NoSuchMember"); }), 438);
  created.object.reset();
  EXPECT_TRUE(created.library->CanUnloadNow());

  ASSERT_EQ(lib->UnregisterServer(registry), library::kSOk);
  EXPECT_EQ(ErrorOf([&] { CreateRegisteredObject(registry, "VELTRA.TabuloCtl", container); }),
            library::kErrClassNotRegistered);
}

TEST(SharedLibrary, UnknownClassesAndFilesThatAreNoComponentLibraryCreateNothing) {
  TestFolder folder;
  platform::HeadlessContainer container;
  EXPECT_EQ(ErrorOf([&] {
              ComponentLibrary::Load(TABULO_SHARED_LIBRARY)->GetClassObject("VELTRA.LongScroll");
            }),
            429);
  const std::filesystem::path bogus = folder / "libbogus.so";
  std::ofstream(bogus) << "not a shared object";
  // A registry entry pointing at a file that is no shared object: a load error, not a crash.
  library::WriteRegistry(
      folder / "registry.json",
      {library::RegistryEntry{"VELTRA.TabuloCtl", "{X}", bogus.string(), "", "", ""}});
  EXPECT_EQ(ErrorOf([&] {
              CreateRegisteredObject(folder / "registry.json", "VELTRA.TabuloCtl", container);
            }),
            kErrLoadingLibrary);
}

}  // namespace
}  // namespace tabulo::container
