// Whole renderings of a small control: alignment by type, nulls, the empty rows below a short
// result, and the status bar, as the operator sees them.
#include "hosted_control.h"
#include "view/control_scene.h"

namespace tabulo::control::testing {
namespace {

class RenderingTest : public HostedControlTest {
 protected:
  void SetUp() override { InstallDefaultHost(); }
};

TEST_F(RenderingTest, ShortResultWithNullsAndPaddedText) {
  std::filesystem::path path = folder_ / "parts.db";
  TestDb(path).Exec(
      "CREATE TABLE P(Part VARCHAR(8), Qty INTEGER);"
      "INSERT INTO P VALUES(' bolt  ', 12), ('nut', NULL), (NULL, 7)");
  host::HostConfig config = host::DefaultHostConfig("TESTBOX");
  config.data_sources["parts"] = path.string();
  InstallHost(config);
  TabuloCtl& ctl = NewControl();
  ctl.Resize(4800, 1440 + platform::kStatusBarHeight);  // a header and 4 data rows
  ctl.SetDSNname("parts");
  ctl.SetRecordSource("SELECT Part, Qty FROM P ORDER BY rowid");
  EnterRunMode();
  ASSERT_EQ(ctl.NumberRows(), 3);
  EXPECT_EQ(view::RenderControl(ctl),
            "        |     Part     |     Qty      |▲\n"
            "--------+--------------+--------------+█\n"
            "       1|bolt          |            12|░\n"
            "       2|nut           |              |░\n"
            "       3|              |             7|░\n"
            "        |              |              |▼\n"
            "Browsing: @parts    |Connected@TESTBOX   \n");
}

}  // namespace
}  // namespace tabulo::control::testing
