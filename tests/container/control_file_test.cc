#include "container/control_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "control/hosted_control.h"
#include "control/persisted_properties.h"
#include "platform/automation/dispatch_object.h"
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

TEST_F(ControlFileTest, FilesThatCannotBeReadAreRefusedBeforeTheControlIsTouched) {
  WriteText(File("truncated.tab"), "TabuloPropertyBag 2\nRecordSource = String \"x\"\n");
  std::filesystem::create_directory(File("folder.tab"));
  TabuloCtl& ctl = BareControl();
  EXPECT_EQ(ErrorOf([&] { LoadControlFile(File("truncated.tab"), ctl); }),
            "321: " + File("truncated.tab").string() +
                ", line 2: unexpected end of text: missing the \"End\" line (truncated)");
  const std::string error = ErrorOf([&] { LoadControlFile(File("folder.tab"), ctl); });
  EXPECT_EQ(error.rfind("75: Path/File access error (" + File("folder.tab").string() + ": ", 0), 0u)
      << error;
  EXPECT_EQ(ctl.RecordSource(), "");
  EXPECT_EQ(ctl.Font(), nullptr);
  EXPECT_EQ(MessageCount(), 0u);
}

// An automation object that cannot be saved in a property bag.
struct Plain : platform::DispatchObject {
  Plain() : DispatchObject("Plain") {}
};

TEST_F(ControlFileTest, AFailedSaveNamesTheFileAndLeavesWhatWasThere) {
  WriteText(File("form.tab"), "the old file\n");
  platform::PropertyBag unsaveable;
  unsaveable.Store("Mode", platform::Variant(int32_t{1}));
  unsaveable.Store("Odd", platform::Variant(std::shared_ptr<platform::Dispatch>(new Plain)));
  std::string raised = ErrorOf([&] { WriteControlFile(File("form.tab"), unsaveable); });
  EXPECT_EQ(raised.rfind("13: " + File("form.tab").string() + ": Type mismatch (key \"Odd\"", 0),
            0u)
      << raised;
  EXPECT_EQ(ReadText(File("form.tab")), "the old file\n");
}

TEST(ControlFileRead, ADeviceIsRefusedInsteadOfRead) {
  try {
    ReadControlFile("/dev/zero");
    ADD_FAILURE() << "no error";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.description(), "Path/File access error (/dev/zero: not a regular file)");
  }
}

}  // namespace
}  // namespace tabulo::container
