// The general page: first paint, enabling, the interval text rule, the colour and font
// choosers, and applying in order (the wide interval and the chooser's style flags).
#include <gtest/gtest.h>

#include "page_fixture.h"
#include "pages/usr_control_properties.h"

namespace tabulo::pages::testing {
namespace {

using platform::DialogAnswer;
using platform::Variant;
using UsrControlPropertiesTest = PageTest;

TEST_F(UsrControlPropertiesTest, FirstPaintReadsTheControlAndMarksNothing) {
  ctl().SetAllowUpdates(true);
  ctl().LogEvent = true;
  ctl().LogEventType = "edit";
  ctl().LoggingClusterName = "Local Logging";
  ctl().SetAutoRefresh(true);
  ctl().SetRefreshInterval(1500);
  UsrControlProperties& page = Show<UsrControlProperties>();
  EXPECT_EQ(page.caption(), "General");
  EXPECT_EQ(page.chkAllowUpdate.value(), 1);
  EXPECT_EQ(page.chkLogChanges.value(), 1);
  EXPECT_EQ(page.txtEventType.text(), "edit");
  EXPECT_EQ(page.cboLoggingCluster.list_count(), 2);  // the coordinator's entry first
  EXPECT_EQ(page.cboLoggingCluster.text(), "Local Logging");
  EXPECT_TRUE(page.txtEventType.enabled());
  EXPECT_EQ(page.font(), ctl().Font());  // the control's own object
  EXPECT_FALSE(page.Changed());
  EXPECT_EQ(Debug(), (std::vector<std::string>{"FillCboLoggingCluster(Local Logging)"}));
}

TEST_F(UsrControlPropertiesTest, EnablingFollowsTheCheckBoxes) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  struct Row {
    int16_t allow, log, refresh;
    bool confirm, event_type, interval;
  };
  for (const Row& r : {Row{0, 1, 0, false, false, false}, Row{1, 0, 1, true, false, true},
                       Row{1, 1, 0, true, true, false}}) {
    SCOPED_TRACE(r.allow * 100 + r.log * 10 + r.refresh);
    page.chkAllowUpdate.set_value(r.allow);
    page.chkLogChanges.set_value(r.log);
    page.chkAutoRefresh.set_value(r.refresh);
    EXPECT_EQ(page.chkConfirmUpdate.enabled(), r.confirm);
    EXPECT_EQ(page.txtEventType.enabled(), r.event_type);
    EXPECT_EQ(page.cboLoggingCluster.enabled(), r.event_type);
    EXPECT_EQ(page.txtEventType.back_color(), FieldColor(r.event_type));
    EXPECT_EQ(page.txtRefreshInterval.enabled(), r.interval);
    EXPECT_EQ(page.updnRefreshInterval.enabled(), r.interval);
  }
  EXPECT_TRUE(page.Changed());
}

TEST_F(UsrControlPropertiesTest, IntervalTextIsNormalised) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  page.chkAutoRefresh.set_value(1);
  // Letters and a number past the 32-bit limit are in the design_general acceptance script.
  const std::pair<std::string, std::string> rows[] = {
      {"", "0"}, {"7.5", "8"}, {"-3", "0"}, {"2147483647", "2147483647"}};
  for (const auto& [typed, shown] : rows) {
    SCOPED_TRACE(typed);
    page.txtRefreshInterval.set_text(typed);
    EXPECT_EQ(page.txtRefreshInterval.text(), shown);
  }
  // Typing keeps digits only.
  page.txtRefreshInterval.set_text("1");
  page.txtRefreshInterval.set_sel_start(1);
  page.txtRefreshInterval.TypeText("x2");
  EXPECT_EQ(page.txtRefreshInterval.text(), "12");
}

// Every property in order, the debug line first. (The colour chosen and an interval beyond
// 2,147,483 s, written in a wide type, are in the design_general acceptance script.)
TEST_F(UsrControlPropertiesTest, ApplyWritesEveryProperty) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  Debug();
  page.chkAllowUpdate.UserClick();
  page.chkConfirmUpdate.UserClick();
  page.chkAutoRefresh.UserClick();
  page.chkDisplayStatusBar.UserClick();
  sheet().Apply();
  EXPECT_EQ(Debug(), (std::vector<std::string>{"UsrControlProperties.ApplyChanges()"}));
  EXPECT_TRUE(ctl().AllowUpdates());
  EXPECT_TRUE(ctl().ConfirmUpdates());
  EXPECT_TRUE(ctl().AutoRefresh());
  EXPECT_FALSE(ctl().ShowStatusBar());
  EXPECT_EQ(ctl().LoggingClusterName, "From Same Coordinator");
  EXPECT_FALSE(page.Changed());
}

// The chooser's answer comes back onto the control's font; a flag reported as 255 counts as
// set. A cancelled chooser still marks the page changed.
TEST_F(UsrControlPropertiesTest, FontChooserSetsTheFontInPlace) {
  UsrControlProperties& page = Show<UsrControlProperties>();
  std::string face("Courier New\0junk", 16);
  box().QueueDialogAnswer(DialogAnswer::Ok(
      Variant(int32_t{1}),
      {Variant(int32_t{700}), Variant(int32_t{255}), Variant(int32_t{0}), Variant(int32_t{255}),
       Variant(face), Variant(int32_t{120}), Variant(int32_t{0})}));
  page.btnFont->UserClick();
  const platform::StdFont& f = *ctl().Font();
  EXPECT_EQ(f.name(), "Courier New");
  EXPECT_EQ(f.size(), 12);
  EXPECT_TRUE(f.bold());
  EXPECT_TRUE(f.italic());
  EXPECT_FALSE(f.underline());
  EXPECT_TRUE(f.strikethrough());
  EXPECT_TRUE(page.Changed());
  EXPECT_EQ(box().dialogs().back().args[5], Variant(int32_t{82}));  // 8.25 pt in tenths
  page.SetChanged(false);
  page.btnBackColor->UserClick();  // nothing queued: cancelled
  EXPECT_TRUE(page.Changed());
  EXPECT_EQ(page.back_color(), ctl().BackColor());
}

}  // namespace
}  // namespace tabulo::pages::testing
