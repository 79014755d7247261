// Tests of the file-backed resource store: the file format, its errors, the language choice
// and the automation member the lookup calls.
#include "host/resource_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "localization/localized_string.h"
#include "platform/automation/class_registry.h"
#include "platform/text/ui_language.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

namespace fs = std::filesystem;
using platform::ComError;
using platform::Variant;

fs::path TestDir() {
  const char* root = std::getenv("TABULO_TEST_TMP");
  fs::path dir = fs::path(root ? root : fs::temp_directory_path().string()) / "resource_store" /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::create_directories(dir);
  return dir;
}

std::string WriteFile(const std::string& name, const std::string& content) {
  fs::path path = TestDir() / name;
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

// The ComError that `parse` raises for `content`.
ComError ParseError(const std::string& content) {
  try {
    ResourceStore::Parse(content, "texts.txt");
  } catch (const ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for: " << content;
  return ComError(0, "");
}

class ResourceStoreTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetUserInterfaceLanguage(1033);
    platform::UnregisterClass(localization::kResourceStoreProgId);
  }
};

TEST_F(ResourceStoreTest, ParsesEntriesCommentsAndEscapes) {
  auto store = ResourceStore::Parse(
      "\xEF\xBB\xBF# comment\n"
      "\n"
      "   # indented comment\n"
      "Tabulo 1210 1033 = Signature required  \r\n"
      "tabulo\t1211\t1031\t=\tPa\xC3\x9Fwort \\s\n"
      "VELTRA 1094 0 =Line one\\nLine two\\tTab \\\\ a=b\n"
      "Tabulo 1093 1033 = \\s\\s\\s",
      "texts.txt");
  EXPECT_EQ(store->size(), 4u);
  EXPECT_EQ(store->Find("Tabulo", 1210, 1033), "Signature required");
  EXPECT_EQ(store->Find("TABULO", 1211, 1031), "Pa\xC3\x9Fwort  ");
  EXPECT_EQ(store->Find("veltra", 1094, 1036), "Line one\\nLine two\\tTab \\ a=b");
  EXPECT_EQ(store->Find("Tabulo", 1093, 1033), "   ");
  EXPECT_EQ(store->Find("VELTRA", 1210, 1033), "");  // modules are kept apart
  EXPECT_EQ(store->Find("Tabulo", 1212, 1033), "");
}

TEST_F(ResourceStoreTest, PrefersTheAskedLanguageThenAnyThenEnglish) {
  auto store = ResourceStore::Parse(
      "M 1 1031 = eins\nM 1 0 = any\nM 1 1033 = one\n"
      "M 2 1033 = two\n"
      "M 3 1036 = trois\n",
      "t");
  EXPECT_EQ(store->Find("M", 1, 1031), "eins");
  EXPECT_EQ(store->Find("M", 1, 1036), "any");
  EXPECT_EQ(store->Find("M", 1, 1033), "one");
  EXPECT_EQ(store->Find("M", 2, 1031), "two");
  EXPECT_EQ(store->Find("M", 3, 1031), "");
}

TEST_F(ResourceStoreTest, LanguageZeroFollowsTheUserInterface) {
  auto store = ResourceStore::Parse("M 1 1031 = eins\nM 1 1033 = one\nM 2 1036 = deux\n", "t");
  EXPECT_EQ(store->Find("M", 1, 0), "one");
  platform::SetUserInterfaceLanguage(1031);
  EXPECT_EQ(store->Find("M", 1, 0), "eins");
  platform::SetUserInterfaceLanguage(1036);
  EXPECT_EQ(store->Find("M", 1, 0), "one");  // no French entry: English
  EXPECT_EQ(store->Find("M", 2, 0), "deux");
  platform::SetUserInterfaceLanguage(1040);  // not carried: read as English
  EXPECT_EQ(store->Find("M", 2, 0), "");
}

TEST_F(ResourceStoreTest, MalformedLinesNameFileAndLine) {
  ComError e = ParseError("# ok\nTabulo 1210 1033 Signature\n");
  EXPECT_EQ(e.number(), kErrResourceFileFormat);
  EXPECT_EQ(e.description(), "texts.txt, line 2: expected \"=\"");

  struct Case {
    std::string content;
    std::string description;
  };
  const Case cases[] = {
      {"Tabulo x12 1033 = a", "texts.txt, line 1: the id is not a 32-bit decimal number: \"x12\""},
      {"\nTabulo 12 en = a",
       "texts.txt, line 2: the language is not a 32-bit decimal number: \"en\""},
      {"Tabulo 99999999999 1033 = a",
       "texts.txt, line 1: the id is not a 32-bit decimal number: \"99999999999\""},
      {"Tabulo 12 -1 = a", "texts.txt, line 1: the language must not be negative"},
      {"Tabulo 12 = a", "texts.txt, line 1: expected <module> <id> <language> before \"=\""},
      {"A 1 1033 = ok\r\nA 2 1033 = trailing \\",
       "texts.txt, line 2: unterminated escape \"\\\" at the end of the line"},
      {"A 1 1033 = \\q", "texts.txt, line 1: unknown escape \"\\q\""},
      {"A 1 1033 = ok\nA 2 1033 = bad \xC3(\n",
       "texts.txt, line 2: invalid UTF-8 byte at column 16"},
      {"A 1 1033 = \xED\xA0\x80", "texts.txt, line 1: invalid UTF-8 byte at column 12"},
      {"A 1 1033 = \xC0\xAF", "texts.txt, line 1: invalid UTF-8 byte at column 12"},
      {"A 1 1033 = x\n# c\na 1 1033 = y",
       "texts.txt, line 3: duplicate entry for a 1 1033 (first on line 1)"},
  };
  for (const Case& c : cases) {
    ComError err = ParseError(c.content);
    EXPECT_EQ(err.number(), kErrResourceFileFormat) << c.content;
    EXPECT_EQ(err.description(), c.description) << c.content;
  }
}

TEST_F(ResourceStoreTest, LoadsAFileAndReportsUnreadableOnes) {
  const std::string path = WriteFile("ok.txt", "Tabulo 1201 1033 = Query Builder...\n");
  EXPECT_EQ(ResourceStore::Load(path)->Find("Tabulo", 1201, 1033), "Query Builder...");

  const std::string missing = (TestDir() / "missing.txt").string();
  try {
    ResourceStore::Load(missing);
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrResourceFileNotFound);
    EXPECT_NE(e.description().find(missing), std::string::npos);
  }
  try {
    ResourceStore::Load(TestDir().string());
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrResourceFileAccess);
  }
  const std::string bad = WriteFile("bad.txt", "A 1 1033 = a\nA 2 1033 b\n");
  try {
    ResourceStore::Load(bad);
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(e.description(), bad + ", line 2: expected \"=\"");
  }
}

TEST_F(ResourceStoreTest, GetModuleStringFillsItsOutputArgument) {
  auto store = ResourceStore::Parse("Tabulo 1210 1031 = Unterschrift\n", "t");
  std::vector<Variant> args{Variant("Tabulo"), Variant(int32_t{1210}), Variant(int32_t{1031}),
                            Variant("stale")};
  store->Invoke(store->GetIdOfName("getmodulestring"), platform::InvokeKind::Method, args);
  EXPECT_EQ(args[3], Variant("Unterschrift"));
  EXPECT_EQ(args[2], Variant(int32_t{1031}));  // the language comes back unchanged

  args[1] = Variant(int16_t{1211});  // an Integer id is as good as a Long
  store->Invoke(1, platform::InvokeKind::PropertyGet, args);
  EXPECT_EQ(args[3], Variant(""));
}

TEST_F(ResourceStoreTest, GetModuleStringRefusesMisuse) {
  auto store = ResourceStore::Parse("", "t");
  auto number_of = [&](std::vector<Variant> args, platform::InvokeKind kind) {
    try {
      store->Invoke(1, kind, args);
    } catch (const ComError& e) {
      return e.number();
    }
    return 0;
  };
  const Variant out("");
  using K = platform::InvokeKind;
  EXPECT_EQ(number_of({Variant("M"), Variant(int32_t{1}), Variant(int32_t{0})}, K::Method), 450);
  EXPECT_EQ(number_of({Variant("M"), Variant("1"), Variant(int32_t{0}), out}, K::Method), 13);
  EXPECT_EQ(
      number_of({Variant(int32_t{5}), Variant(int32_t{1}), Variant(int32_t{0}), out}, K::Method),
      13);
  EXPECT_EQ(
      number_of({Variant("M"), Variant(int32_t{1}), Variant(int32_t{0}), out}, K::PropertyPut),
      450);
  EXPECT_EQ(number_of({Variant("M"), Variant(int32_t{1}), Variant(int32_t{0}), out}, K::Method), 0);
  try {
    store->GetIdOfName("GetString");
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), 438);
  }
}

TEST_F(ResourceStoreTest, RegisteredClassLoadsTheFileWhenCreated) {
  const std::string path = WriteFile("store.txt", "Tabulo 1175 0 = Grid lines\n");
  RegisterResourceStore(path);
  auto obj = platform::CreateObject("devozuzudarozor.zrresources.1");
  EXPECT_EQ(obj->ClassName(), "ZRResources");
  EXPECT_EQ(obj->Call("GetModuleString", {Variant("Tabulo"), Variant(int32_t{1175}),
                                          Variant(int32_t{1036}), Variant("")}),
            Variant());
  std::vector<Variant> args{Variant("Tabulo"), Variant(int32_t{1175}), Variant(int32_t{1036}),
                            Variant("")};
  obj->Invoke(obj->GetIdOfName("GetModuleString"), platform::InvokeKind::Method, args);
  EXPECT_EQ(args[3], Variant("Grid lines"));

  WriteFile("store.txt", "Tabulo 1175 0 Grid lines\n");  // broken after registration
  try {
    platform::CreateObject(localization::kResourceStoreProgId);
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrResourceFileFormat);
    EXPECT_EQ(e.description(), path + ", line 1: expected \"=\"");
  }
}

}  // namespace
}  // namespace tabulo::host
