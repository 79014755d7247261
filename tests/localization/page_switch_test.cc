// Tests of ApplyOnPageSwitch: leaving the data source page clicks its apply button once.
#include "localization/page_switch.h"

#include <gtest/gtest.h>

#include <vector>

#include "localization/state.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"

namespace tabulo::localization {
namespace {

class PageSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLocalizationState(); }
  void TearDown() override { ResetLocalizationState(); }

  platform::WindowHandle MakeButton(std::vector<uint32_t>& received) {
    return loop_.CreateWindowHandle(
        [&received](uint32_t msg, int64_t, int64_t) { received.push_back(msg); });
  }

  platform::VirtualClock clock_;
  platform::EventLoop loop_{clock_};
};

using Messages = std::vector<uint32_t>;

TEST_F(PageSwitchTest, LeavingTheDataSourcePageClicksApplyOnceAndTheHandlerHasRun) {
  Messages clicks;
  bool applied = false;
  const platform::WindowHandle apply =
      loop_.CreateWindowHandle([&](uint32_t msg, int64_t, int64_t) {
        clicks.push_back(msg);
        applied |= msg == platform::kWmLButtonUp;
      });
  ApplyOnPageSwitch(loop_, apply);  // the data source page is painted
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(g_ApplyButtonWindow, apply);
  ApplyOnPageSwitch(loop_, 0);  // another page is painted
  EXPECT_TRUE(applied);         // by the time the call returns
  ApplyOnPageSwitch(loop_, 0);  // and painted again
  EXPECT_EQ(clicks, (Messages{platform::kWmLButtonDown, platform::kWmLButtonUp}));
  EXPECT_EQ(g_ApplyButtonWindow, 0);
}

TEST_F(PageSwitchTest, SamePageRepaintedDoesNothingAndAnotherDataSourcePageClicksThePrevious) {
  Messages first_clicks, second_clicks;
  const platform::WindowHandle first = MakeButton(first_clicks);
  const platform::WindowHandle second = MakeButton(second_clicks);
  int pending_ran = 0;
  loop_.Post([&] { ++pending_ran; });
  ApplyOnPageSwitch(loop_, 0);  // nothing remembered and 0 given: equal
  EXPECT_EQ(pending_ran, 0);
  ApplyOnPageSwitch(loop_, first);  // different: pending messages run, nothing is clicked
  EXPECT_EQ(pending_ran, 1);
  ApplyOnPageSwitch(loop_, first);
  EXPECT_TRUE(first_clicks.empty());
  ApplyOnPageSwitch(loop_, second);
  EXPECT_EQ(first_clicks.size(), 2u);
  EXPECT_TRUE(second_clicks.empty());
  EXPECT_EQ(g_ApplyButtonWindow, second);
}

}  // namespace
}  // namespace tabulo::localization
