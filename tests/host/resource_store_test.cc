// The file-backed resource store: the file format, its errors, the language choice, the
// automation member the lookup calls, and the lookup itself with the store registered.
#include "host/resource_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "common/error_of.h"
#include "localization/localized_string.h"
#include "platform/automation/class_registry.h"
#include "platform/text/locale.h"
#include "platform/text/ui_language.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using platform::Variant;
using testing::Raised;

class ResourceStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    platform::UnregisterClass(localization::kResourceStoreProgId);
    platform::SetUserInterfaceLanguage(1033);
  }
  // GetModuleString's argument list, its output text last.
  static std::vector<Variant> Args(Variant id, int32_t language = 0) {
    return {Variant("Tabulo"), std::move(id), Variant(language), Variant("stale")};
  }

  testing::TestFolder folder_;
  localization::LocalizationState state_;  // a fresh process's
};

TEST_F(ResourceStoreTest, ParsesEntriesCommentsAndEscapes) {
  auto store = ResourceStore::Parse(
      "\xEF\xBB\xBF# comment\n\n   # indented comment\n"
      "Tabulo 1210 1033 = Signature required  \r\n"
      "tabulo\t1211\t1031\t=\tPa\xC3\x9Fwort \\s\n"
      "VELTRA 1094 0 =Line one\\nLine two\\tTab \\\\ a=b\n"
      "Tabulo 1093 1033 = \\s\\s\\s",
      "texts.txt");
  EXPECT_EQ(store->size(), 4u);
  const std::tuple<const char*, int32_t, int32_t, const char*> cases[] = {
      {"Tabulo", 1210, 1033, "Signature required"},
      {"TABULO", 1211, 1031, "Pa\xC3\x9Fwort  "},
      {"veltra", 1094, 1036, "Line one\\nLine two\\tTab \\ a=b"},
      {"Tabulo", 1093, 1033, "   "},
      {"VELTRA", 1210, 1033, ""},  // modules are kept apart
      {"Tabulo", 1212, 1033, ""}};
  for (const auto& [module, id, language, text] : cases)
    EXPECT_EQ(store->Find(module, id, language), text) << module << id;
}

TEST_F(ResourceStoreTest, PrefersTheAskedLanguageThenAnyThenEnglishAndZeroIsTheUsers) {
  auto store = ResourceStore::Parse(
      "M 1 1031 = eins\nM 1 0 = any\nM 1 1033 = one\nM 2 1033 = two\nM 3 1036 = trois\n", "t");
  EXPECT_EQ(store->Find("M", 1, 1031) + store->Find("M", 1, 1036) + store->Find("M", 1, 1033) +
                store->Find("M", 2, 1031) + store->Find("M", 3, 1031),
            "einsanyonetwo");
  store = ResourceStore::Parse("M 1 1031 = eins\nM 1 1033 = one\nM 2 1036 = deux\n", "t");
  std::string seen;
  // No French entry is English; 1040 is not carried and read as English.
  for (int32_t ui : {1033, 1031, 1036, 1040}) {
    platform::SetUserInterfaceLanguage(ui);
    seen += store->Find("M", 1, 0) + "/" + store->Find("M", 2, 0) + " ";
  }
  EXPECT_EQ(seen, "one/ eins/ one/deux one/ ");
}

TEST_F(ResourceStoreTest, MalformedLinesNameFileAndLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"# ok\nTabulo 1210 1033 Signature\n", "line 2: expected \"=\""},
      {"Tabulo x12 1033 = a", "line 1: the id is not a 32-bit decimal number: \"x12\""},
      {"\nTabulo 12 en = a", "line 2: the language is not a 32-bit decimal number: \"en\""},
      {"Tabulo 99999999999 1033 = a",
       "line 1: the id is not a 32-bit decimal number: \"99999999999\""},
      {"Tabulo 12 -1 = a", "line 1: the language must not be negative"},
      {"Tabulo 12 = a", "line 1: expected <module> <id> <language> before \"=\""},
      {"A 1 1033 = ok\r\nA 2 1033 = trailing \\",
       "line 2: unterminated escape \"\\\" at the end of the line"},
      {"A 1 1033 = \\q", "line 1: unknown escape \"\\q\""},
      {"A 1 1033 = ok\nA 2 1033 = bad \xC3(\n", "line 2: invalid UTF-8 byte at column 16"},
      {"A 1 1033 = \xED\xA0\x80", "line 1: invalid UTF-8 byte at column 12"},
      {"A 1 1033 = \xC0\xAF", "line 1: invalid UTF-8 byte at column 12"},
      {"A 1 1033 = x\n# c\na 1 1033 = y",
       "line 3: duplicate entry for a 1 1033 (first on line 1)"}};
  for (const auto& [content, description] : cases) {
    const platform::ComError e = Raised([&] { ResourceStore::Parse(content, "texts.txt"); });
    EXPECT_EQ(e.number(), kErrResourceFileFormat) << content;
    EXPECT_EQ(e.description(), "texts.txt, " + description) << content;
  }
}

TEST_F(ResourceStoreTest, LoadsAFileAndReportsUnreadableOnes) {
  const std::string path = folder_.Write("ok.txt", "Tabulo 1201 1033 = Query Builder...\n");
  EXPECT_EQ(ResourceStore::Load(path)->Find("Tabulo", 1201, 1033), "Query Builder...");
  const std::string missing = (folder_ / "missing.txt").string();
  const platform::ComError e = Raised([&] { ResourceStore::Load(missing); });
  EXPECT_EQ(e.number(), kErrResourceFileNotFound);
  EXPECT_NE(e.description().find(missing), std::string::npos);
  EXPECT_EQ(Raised([&] { ResourceStore::Load(folder_.path().string()); }).number(),
            kErrResourceFileAccess);
  const std::string bad = folder_.Write("bad.txt", "A 1 1033 = a\nA 2 1033 b\n");
  EXPECT_EQ(Raised([&] { ResourceStore::Load(bad); }).description(),
            bad + ", line 2: expected \"=\"");
}

TEST_F(ResourceStoreTest, GetModuleStringFillsItsOutputArgumentAndRefusesMisuse) {
  auto store = ResourceStore::Parse("Tabulo 1210 1031 = Unterschrift\n", "t");
  std::vector<Variant> args = Args(Variant(int32_t{1210}), 1031);
  store->Invoke(store->GetIdOfName("getmodulestring"), platform::InvokeKind::Method, args);
  // The text comes back, the language unchanged.
  EXPECT_EQ(args, (std::vector<Variant>{Variant("Tabulo"), Variant(int32_t{1210}),
                                        Variant(int32_t{1031}), Variant("Unterschrift")}));
  args[1] = Variant(int16_t{1211});  // an Integer id is as good as a Long
  store->Invoke(1, platform::InvokeKind::PropertyGet, args);
  EXPECT_EQ(args[3], Variant(""));
  using K = platform::InvokeKind;
  std::vector<Variant> three = Args(Variant(int32_t{1})), bad_module = three;
  three.pop_back();
  bad_module[0] = Variant(int32_t{5});
  const std::tuple<std::vector<Variant>, K, int32_t> cases[] = {
      {three, K::Method, 450},
      {Args(Variant("1")), K::Method, 13},
      {bad_module, K::Method, 13},
      {Args(Variant(int32_t{1})), K::PropertyPut, 450},
      {Args(Variant(int32_t{1})), K::Method, 0}};
  for (auto [call_args, kind, number] : cases)
    EXPECT_EQ(test_support::ErrorOf([&] { store->Invoke(1, kind, call_args); }), number);
  EXPECT_EQ(Raised([&] { store->GetIdOfName("GetString"); }).number(), 438);
}

TEST_F(ResourceStoreTest, RegisteredClassLoadsTheFileWhenCreated) {
  const std::string path = folder_.Write("store.txt", "Tabulo 1175 0 = Grid lines\n");
  RegisterResourceStore(path);
  auto obj = platform::CreateObject("devozuzudarozor.zrresources.1");
  EXPECT_EQ(obj->ClassName(), "ZRResources");
  EXPECT_EQ(obj->Call("GetModuleString", Args(Variant(int32_t{1175}), 1036)), Variant());
  std::vector<Variant> args = Args(Variant(int32_t{1175}), 1036);
  obj->Invoke(obj->GetIdOfName("GetModuleString"), platform::InvokeKind::Method, args);
  EXPECT_EQ(args[3], Variant("Grid lines"));
  folder_.Write("store.txt", "Tabulo 1175 0 Grid lines\n");  // broken after registration
  const platform::ComError e =
      Raised([] { platform::CreateObject(localization::kResourceStoreProgId); });
  EXPECT_EQ(e.number(), kErrResourceFileFormat);
  EXPECT_EQ(e.description(), path + ", line 1: expected \"=\"");
}

// The lookup consults the registered store before the built-in table, in the control's
// language, and a blank text of the store is no text (the lookup's own tests use a fake store).
TEST_F(ResourceStoreTest, StoreTextsOverrideTheTableInTheControlsLanguage) {
  RegisterResourceStore(folder_.Write("l.txt",
                                      "Tabulo 1093 1031 = Fehler (Speicher)\n"
                                      "Tabulo 1093 1033 = Error (store)\n"
                                      "Tabulo 1060 1033 = \\s\\s\\s\n"));
  int32_t& language = state_.language;
  language = 1031;
  EXPECT_EQ(localization::GetLocalizedString(state_, "Tabulo", 1093, language),
            "Fehler (Speicher)");
  language = 1033;
  EXPECT_EQ(localization::GetLocalizedString(state_, "Tabulo", 1060, language), "1060 Not Found");
  EXPECT_EQ(localization::GetDialogString(state_, "Tabulo", 1004, platform::Locale::EnUS()),
            "1004 Not Found");
}

}  // namespace
}  // namespace tabulo::host

namespace tabulo::host {
namespace {

// The texts installed with the program: every caption the built-in table lacks, in the three
// languages, the English ones as the pages were designed.
TEST_F(ResourceStoreTest, ShippedFileHoldsTheDesignTextsInThreeLanguages) {
  const std::string path =
      (std::filesystem::path(TABULO_SOURCE_DIR) / "share" / "tabulo" / "resources.txt").string();
  auto store = ResourceStore::Load(path);
  const std::map<int32_t, std::string> english = {{1175, "Log Updates"},
                                                  {1176, "Logging Cluster"},
                                                  {1177, "Event Type"},
                                                  {1201, "DizuvAdar Cluster"},
                                                  {1210, "eSignature"},
                                                  {1211, "  eSignature Confirmation  "},
                                                  {1212, "eSignature Confirmation Required"},
                                                  {1213, "Dual eSignature Required"},
                                                  {1214, "eSignature Prompt"},
                                                  {1215, "  Operator Selected Reason Code  "},
                                                  {1216, "Allow User Entered Reason Code"},
                                                  {1217, "Reason Code Required"},
                                                  {1218, "Reason Category"},
                                                  {1219, "  Required Command Levels  "},
                                                  {1220, "eSignature 2"},
                                                  {1221, "eSignature 1"}};
  EXPECT_EQ(store->size(), english.size() * 3);
  for (const auto& [id, text] : english) {
    SCOPED_TRACE(id);
    EXPECT_EQ(store->Find("Tabulo", id, 1033), text);
    for (int32_t language : {1031, 1036}) {
      const std::string translated = store->Find("Tabulo", id, language);
      EXPECT_NE(translated, text) << language;
      // Frames keep their blanks at either end, as in English.
      EXPECT_EQ(translated.starts_with("  "), text.starts_with("  ")) << language;
      EXPECT_EQ(translated.ends_with("  "), text.ends_with("  ")) << language;
    }
  }
  EXPECT_EQ(store->Find("Tabulo", 1175, 1031), "Änderungen protokollieren");
  EXPECT_EQ(store->Find("Tabulo", 1175, 1036), "Journaliser les modifications");
}

// A deferring store adds its texts and leaves every other id to the built-in table, in the
// table's language; the plain store answers those with no text.
TEST_F(ResourceStoreTest, DeferringStoreLeavesOtherIdsToTheTable) {
  const std::string path = folder_.Write("d.txt",
                                         "Tabulo 1210 1033 = eSignature\n"
                                         "Tabulo 1210 1031 = E-Signatur\n");
  platform::SetUserInterfaceLanguage(1031);
  const std::string table_1135 =
      localization::GetDialogString(state_, "Tabulo", 1135, platform::Locale::EnUS());
  ASSERT_NE(table_1135.find_first_not_of(' '), std::string::npos);
  ASSERT_EQ(table_1135.find("Not Found"), std::string::npos);
  state_ = {};

  RegisterResourceStore(path, true);
  const platform::Locale& en = platform::Locale::EnUS();
  EXPECT_EQ(localization::GetDialogString(state_, "Tabulo", 1210, en), "E-Signatur");
  EXPECT_EQ(localization::GetDialogString(state_, "Tabulo", 1135, en), table_1135);
  EXPECT_EQ(localization::GetDialogString(state_, "Tabulo", 1211, en), "1211 Not Found");
  std::vector<Variant> args = Args(Variant(int32_t{1135}), 1031);
  auto store = platform::CreateObject(localization::kResourceStoreProgId);
  EXPECT_EQ(test_support::ErrorOf([&] {
              store->Invoke(store->GetIdOfName("GetModuleString"), platform::InvokeKind::Method,
                            args);
            }),
            kErrResourceUnknownId);

  state_ = {};
  RegisterResourceStore(path, false);
  EXPECT_EQ(localization::GetDialogString(state_, "Tabulo", 1210, en), "E-Signatur");
  EXPECT_EQ(localization::GetDialogString(state_, "Tabulo", 1135, en), "1135 Not Found");
}

}  // namespace
}  // namespace tabulo::host
