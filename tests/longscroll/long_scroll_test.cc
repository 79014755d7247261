#include "longscroll/long_scroll.h"

#include <gtest/gtest.h>

#include "platform/values/com_error.h"

namespace tabulo::longscroll {
namespace {

class LongScrollTest : public ::testing::Test {
 protected:
  LongScrollTest() {
    bar.on_change = [this] { ++changes; };
  }
  int16_t Thumb() const { return bar.InnerBar().value(); }

  LongScroll bar;
  int changes = 0;
};

TEST_F(LongScrollTest, Defaults) {
  EXPECT_EQ(bar.Min(), 0);
  EXPECT_EQ(bar.Max(), 32767);
  EXPECT_EQ(bar.Value(), 0);
  EXPECT_EQ(bar.SmallChange(), 1);
  EXPECT_EQ(bar.LargeChange(), 10);
  EXPECT_EQ(Thumb(), 0);
  EXPECT_EQ(bar.InnerBar().min(), 0);
  EXPECT_EQ(bar.InnerBar().max(), 32767);
  EXPECT_EQ(changes, 0);
}

TEST_F(LongScrollTest, ThumbReachesAnEndOnlyAtThatEnd) {
  bar.SetMax(1000000);
  bar.SetValue(500000);
  EXPECT_EQ(Thumb(), 16384);  // 16383.5 rounds to even
  bar.SetValue(1);
  EXPECT_EQ(Thumb(), 1);
  bar.SetValue(999999);
  EXPECT_EQ(Thumb(), 32766);
  bar.SetValue(1000000);
  EXPECT_EQ(Thumb(), 32767);
  bar.SetValue(0);
  EXPECT_EQ(Thumb(), 0);
  EXPECT_EQ(changes, 5);
}

TEST_F(LongScrollTest, ValuesOutsideTheRangeStoreTheNearerEnd) {
  bar.SetMax(100);
  bar.SetValue(250);
  EXPECT_EQ(bar.Value(), 100);
  bar.SetValue(-7);
  EXPECT_EQ(bar.Value(), 0);
  // The same value again still raises Change.
  bar.SetValue(0);
  EXPECT_EQ(changes, 3);
}

TEST_F(LongScrollTest, ArrowAndTroughClicksStepBySmallAndLargeChange) {
  bar.SetMax(1000000);
  bar.SetValue(500000);
  bar.SetLargeChange(1000);
  changes = 0;
  bar.InnerBar().ClickDownArrow();
  EXPECT_EQ(bar.Value(), 500001);
  EXPECT_EQ(changes, 1);
  bar.InnerBar().ClickTroughBelow();
  EXPECT_EQ(bar.Value(), 501001);
  bar.InnerBar().ClickUpArrow();
  EXPECT_EQ(bar.Value(), 501000);
  bar.InnerBar().ClickTroughAbove();
  EXPECT_EQ(bar.Value(), 500000);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(Thumb(), 16384);
}

TEST_F(LongScrollTest, DraggingTheThumbFollowsItProportionally) {
  bar.SetMax(10000000);
  changes = 0;
  bar.InnerBar().DragThumb({100, 16384, 32767});
  EXPECT_EQ(bar.Value(), 10000000);
  EXPECT_EQ(Thumb(), 32767);
  EXPECT_GE(changes, 3);
  bar.InnerBar().DragThumb({16384});
  // 16384 / 32767 of ten million, rounded.
  EXPECT_EQ(bar.Value(), 5000153);
  EXPECT_EQ(Thumb(), 16384);
}

TEST_F(LongScrollTest, InvertedRangeHasMinAtTheTop) {
  bar.SetMax(0);
  bar.SetMin(100);
  bar.SetValue(100);
  EXPECT_EQ(Thumb(), 0);
  bar.SetValue(0);
  EXPECT_EQ(Thumb(), 32767);
  bar.SetValue(100);
  bar.SetSmallChange(3);
  bar.InnerBar().ClickDownArrow();
  EXPECT_EQ(bar.Value(), 97);
}

TEST_F(LongScrollTest, SettingTheBoundsMovesTheValueOnlyWhenTheRulesSay) {
  bar.SetMax(1000);
  bar.SetValue(500);
  changes = 0;
  bar.SetMax(2000);  // value inside: nothing
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(bar.Value(), 500);
  bar.SetMax(300);  // min below the new max, value above it: value := new max
  EXPECT_EQ(bar.Value(), 300);
  EXPECT_EQ(changes, 1);
  bar.SetMin(400);  // new min above max, value not below max: nothing
  EXPECT_EQ(bar.Value(), 300);
  EXPECT_EQ(changes, 1);
  bar.SetMin(350);
  bar.SetMax(250);  // min above the new max, value not above min: nothing
  EXPECT_EQ(bar.Value(), 300);
  EXPECT_EQ(changes, 1);
  bar.SetMin(0);
  bar.SetMax(100);  // min below the new max, value above: value := 100
  EXPECT_EQ(bar.Value(), 100);
  bar.SetMax(-10);  // min above the new max, value above min: value := min (0)
  EXPECT_EQ(bar.Value(), 0);
  bar.SetMin(-10);  // min equal to max, value differs: value := -10
  EXPECT_EQ(bar.Value(), -10);
  bar.SetMax(-10);  // equal and the value already there: nothing
  EXPECT_EQ(changes, 4);
}

TEST_F(LongScrollTest, EqualBoundsKeepTheThumbAtTheTop) {
  bar.SetMax(5);
  bar.SetMin(5);
  EXPECT_EQ(bar.Value(), 5);
  EXPECT_EQ(Thumb(), 0);
  changes = 0;
  bar.InnerBar().ClickDownArrow();
  EXPECT_EQ(bar.Value(), 5);
  EXPECT_EQ(Thumb(), 0);
  EXPECT_EQ(changes, 1);
}

TEST_F(LongScrollTest, RangeTooWideForThirtyTwoBitsIsAnOverflow) {
  bar.SetMin(-2000000000);
  try {
    bar.SetMax(2000000000);  // value 0 lies inside: no assignment, no error yet
  } catch (const platform::ComError&) {
    FAIL() << "no assignment should happen";
  }
  changes = 0;
  try {
    bar.SetValue(7);
    FAIL() << "expected overflow";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrOverflow);
  }
  EXPECT_EQ(bar.Value(), 0);
  EXPECT_EQ(changes, 0);
  // A user movement on such a range never fails.
  bar.InnerBar().DragThumb({32767});
  EXPECT_EQ(bar.Value(), 2000000000);
}

TEST_F(LongScrollTest, ZeroStepsMoveNothingAndSnapTheThumbBack) {
  bar.SetMax(1000);
  bar.SetValue(500);
  int16_t before = Thumb();
  bar.SetSmallChange(0);
  bar.InnerBar().ClickDownArrow();
  EXPECT_EQ(bar.Value(), 500);
  EXPECT_EQ(Thumb(), before);
}

TEST_F(LongScrollTest, ResizeFillsTheControlWithTheInnerBar) {
  bar.Move(4000, 0, 255, 3000);
  EXPECT_EQ(bar.InnerBar().left(), 0);
  EXPECT_EQ(bar.InnerBar().top(), 0);
  EXPECT_EQ(bar.InnerBar().width(), 255);
  EXPECT_EQ(bar.InnerBar().height(), 3000);
}

}  // namespace
}  // namespace tabulo::longscroll
