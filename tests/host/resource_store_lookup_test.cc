// The real resource store behind the lookup: its texts override the built-in table, and a
// store file that cannot be loaded leaves the table in charge.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/resource_store.h"
#include "localization/localized_string.h"
#include "localization/state.h"
#include "platform/automation/class_registry.h"
#include "platform/text/locale.h"
#include "platform/text/ui_language.h"

namespace tabulo::host {
namespace {

namespace fs = std::filesystem;

std::string WriteStoreFile(const std::string& content) {
  const char* root = std::getenv("TABULO_TEST_TMP");
  fs::path dir = fs::path(root ? root : fs::temp_directory_path().string()) / "resource_lookup";
  fs::create_directories(dir);
  fs::path path =
      dir / (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

class ResourceStoreLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    localization::ResetLocalizationState();
    platform::UnregisterClass(localization::kResourceStoreProgId);
    platform::SetUserInterfaceLanguage(1033);
  }
};

TEST_F(ResourceStoreLookupTest, StoreTextsOverrideTheTableInTheControlsLanguage) {
  RegisterResourceStore(
      WriteStoreFile("Tabulo 1093 1031 = Fehler (Speicher)\n"
                     "Tabulo 1093 1033 = Error (store)\n"
                     "Tabulo 1210 0 = Signature\\nrequired\n"
                     "Tabulo 1060 1033 = \\s\\s\\s\n"));
  int32_t& language = localization::g_Language;
  language = 1031;
  EXPECT_EQ(localization::GetLocalizedString("Tabulo", 1093, language), "Fehler (Speicher)");
  language = 1036;  // no French entry: the store answers in English
  EXPECT_EQ(localization::GetLocalizedString("Tabulo", 1093, language), "Error (store)");
  EXPECT_EQ(localization::GetLocalizedString("Tabulo", 1060, language), "1060 Not Found");
  EXPECT_EQ(localization::GetLocalizedString("Tabulo", 1004, language), "1004 Not Found");
  EXPECT_EQ(localization::GetDialogString("Tabulo", 1210, platform::Locale::EnUS()),
            "Signature\r\nrequired");
  EXPECT_EQ(localization::GetDialogString("VELTRA", 1210, platform::Locale::EnUS()),
            "1210 Not Found");
}

TEST_F(ResourceStoreLookupTest, DialogsGetTheUserInterfaceLanguage) {
  RegisterResourceStore(WriteStoreFile("Tabulo 1211 1031 = Grund\nTabulo 1211 1033 = Reason\n"));
  platform::SetUserInterfaceLanguage(1031);
  EXPECT_EQ(localization::GetDialogString("Tabulo", 1211, platform::Locale::DeDE()), "Grund");
  EXPECT_EQ(localization::GetDialogString("Tabulo", 1004, platform::Locale::DeDE()),
            "1004 Not Found");
}

TEST_F(ResourceStoreLookupTest, MalformedStoreFileLeavesTheBuiltInTable) {
  RegisterResourceStore(WriteStoreFile("Tabulo 1093 1033 = Error (store)\nTabulo 1094 1033\n"));
  platform::SetUserInterfaceLanguage(1036);
  EXPECT_EQ(localization::GetLocalizedString("Tabulo", 1093, localization::g_Language), "Erreur");
  EXPECT_TRUE(localization::g_ResourceStoreTried);
  EXPECT_EQ(localization::g_ResourceStore, nullptr);
}

}  // namespace
}  // namespace tabulo::host
