#include "container/control_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "control/hosted_control.h"
#include "control/persisted_properties.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using control::TabuloCtl;
using platform::ComError;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The error a call raises, as "number: description".
template <typename Call>
std::string ErrorOf(Call call) {
  try {
    call();
  } catch (const ComError& e) {
    return std::to_string(e.number()) + ": " + e.description();
  }
  return "no error";
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ControlFileTest : public control::testing::HostedControlTest {
 protected:
  // A control as opening a display creates it, before its file is loaded.
  TabuloCtl& BareControl() {
    auto ctl = std::make_unique<TabuloCtl>(container_);
    ctl->Resize(kWidth, kHeight);
    controls_.push_back(std::move(ctl));
    return *controls_.back();
  }

  std::filesystem::path File(const std::string& name) const { return folder_ / name; }
};

TEST_F(ControlFileTest, EveryPropertyComesBackFromTheFile) {
  TabuloCtl& saved = NewControl();
  control::testing::SetEveryPersistedProperty(saved);
  std::filesystem::path path = File("form.tab");
  SaveControlFile(saved, path);

  TabuloCtl& loaded = BareControl();
  LoadControlFile(path, loaded);
  control::testing::ExpectSamePersistedProperties(saved, loaded);
  EXPECT_EQ(MessageCount(), 0u);
  // Saving the loaded control gives the same file, byte for byte.
  std::filesystem::path again = File("again.tab");
  SaveControlFile(loaded, again);
  EXPECT_EQ(ReadText(again), ReadText(path));
}

TEST_F(ControlFileTest, FileIsVersionedTextInTheOrderWritten) {
  TabuloCtl& ctl = NewControl();
  ctl.SetRecordSource("SELECT *\nFROM Orders");
  std::filesystem::path path = File("form.tab");
  SaveControlFile(ctl, path);
  std::string text = ReadText(path);
  EXPECT_EQ(text.rfind("TabuloPropertyBag 2\n"
                       "Version = String \"7.6.1.0\"\n"
                       "RecordSource = String \"SELECT *\\nFROM Orders\"\n"
                       "ConfirmUpdates = Boolean False\n"
                       "Font = Object \"StdFont\" {\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("GridColCount = Integer 0\nGridOrdinalColWidth = Integer "),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 4), "End\n");
}

// Each file is refused with its error ('*' stands for any text) before the control is
// touched.
TEST_F(ControlFileTest, FilesThatCannotBeReadAreRefusedBeforeTheControlIsTouched) {
  TabuloCtl& saved = NewControl();
  control::testing::SetEveryPersistedProperty(saved);
  SaveControlFile(saved, File("good.tab"));
  std::string text = ReadText(File("good.tab"));
  WriteText(File("truncated.tab"), text.substr(0, text.find("Column1Name")));
  WriteText(File("newer.tab"), "TabuloPropertyBag 3\nMode = Long 1\nEnd\n");
  std::filesystem::create_directory(File("folder.tab"));
  const std::pair<const char*, std::string> cases[] = {
      {"missing.tab", "53: File not found (" + File("missing.tab").string() + ")"},
      {"truncated.tab",
       "321: " + File("truncated.tab").string() +
           ", line *: unexpected end of text: missing the \"End\" line (truncated)"},
      {"newer.tab", "321: " + File("newer.tab").string() +
                        ", line 1: format version 3 is newer than this program reads (2)"},
      {"folder.tab", "75: Path/File access error (" + File("folder.tab").string() + ": *)"}};
  TabuloCtl& ctl = BareControl();
  for (const auto& [name, pattern] : cases) {
    std::string error = ErrorOf([&] { LoadControlFile(File(name), ctl); });
    const size_t star = std::min(pattern.find('*'), pattern.size());
    EXPECT_TRUE(error.starts_with(pattern.substr(0, star)) &&
                error.ends_with(pattern.substr(std::min(star + 1, pattern.size()))) &&
                (star < pattern.size() || error == pattern))
        << error;
  }
  EXPECT_EQ(ctl.RecordSource(), "");
  EXPECT_EQ(ctl.Font(), nullptr);
  EXPECT_EQ(MessageCount(), 0u);
}

// An object that cannot be saved in a property bag.
class Unsaveable : public platform::Dispatch {
 public:
  std::string ClassName() const override { return "Unsaveable"; }
  platform::DispId GetIdOfName(std::string_view) const override { throw ComError::NotSupported(); }
  platform::Variant Invoke(platform::DispId, platform::InvokeKind,
                           std::vector<platform::Variant>&) override {
    throw ComError::NotSupported();
  }
};

// A save that fails leaves what was there and no temporary file, and names the file.
TEST_F(ControlFileTest, FailedSavesLeaveWhatWasThere) {
  std::filesystem::create_directory(File("folder.tab"));
  WriteText(File("folder.tab") / "inside", "kept");
  WriteText(File("form.tab"), "the old file\n");
  platform::PropertyBag unsaveable;
  unsaveable.Store("Mode", platform::Variant(int32_t{1}));
  unsaveable.Store("Odd", platform::Variant(std::shared_ptr<platform::Dispatch>(new Unsaveable)));
  TabuloCtl& ctl = NewControl();
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { SaveControlFile(ctl, File("folder.tab")); },
       "75: Path/File access error (" + File("folder.tab").string() + ": cannot replace"},
      {[&] { SaveControlFile(ctl, File("no such folder") / "form.tab"); },
       "75: Path/File access error (" + (File("no such folder") / "form.tab").string() + ": "},
      {[&] { WriteControlFile(File("form.tab"), unsaveable); },
       "13: " + File("form.tab").string() + ": Type mismatch (key \"Odd\""}};
  for (const auto& [save, error] : cases) {
    std::string raised = ErrorOf(save);
    EXPECT_EQ(raised.rfind(error, 0), 0u) << raised;
  }
  EXPECT_EQ(ReadText(File("folder.tab") / "inside"), "kept");
  EXPECT_EQ(ReadText(File("form.tab")), "the old file\n");
  EXPECT_EQ(FolderEntries(folder_.path()), (std::vector<std::string>{"folder.tab", "form.tab"}));
}

}  // namespace
}  // namespace tabulo::container
