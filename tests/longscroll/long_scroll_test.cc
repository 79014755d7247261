// LongScroll: the 32-bit state, where the 16-bit thumb goes, steps, drags, bounds and errors.
#include "longscroll/long_scroll.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/error_of.h"

namespace tabulo::longscroll {
namespace {

class LongScrollTest : public ::testing::Test {
 protected:
  LongScrollTest() {
    bar.on_change = [this] { ++changes; };
  }
  int16_t Thumb() const { return bar.InnerBar().value(); }
  // Value and thumb after `act`, as one pair to compare.
  std::vector<int32_t> After(const std::function<void()>& act) {
    act();
    return {bar.Value(), Thumb()};
  }
  std::function<void()> Set(int32_t v) {
    return [this, v] { bar.SetValue(v); };
  }

  LongScroll bar;
  platform::VScrollBar& inner = bar.InnerBar();
  int changes = 0;
};

using Pair = std::vector<int32_t>;

TEST_F(LongScrollTest, DefaultsAndTheInnerBarFillingTheControl) {
  EXPECT_EQ((std::vector<int32_t>{bar.Min(), bar.Max(), bar.Value(), bar.SmallChange(),
                                  bar.LargeChange(), Thumb(), inner.min(), inner.max(), changes}),
            (std::vector<int32_t>{0, 32767, 0, 1, 10, 0, 0, 32767, 0}));
  bar.Move(4000, 0, 255, 3000);
  EXPECT_EQ((std::vector<double>{inner.left(), inner.top(), inner.width(), inner.height()}),
            (std::vector<double>{0, 0, 255, 3000}));
}

TEST_F(LongScrollTest, ThumbReachesAnEndOnlyAtThatEndAndEverySetRaisesChange) {
  bar.SetMax(1000000);
  EXPECT_EQ(After(Set(500000)), (Pair{500000, 16384}));  // 16383.5 rounds to even
  EXPECT_EQ(After(Set(1)), (Pair{1, 1}));
  EXPECT_EQ(After(Set(999999)), (Pair{999999, 32766}));
  EXPECT_EQ(After(Set(1000000)), (Pair{1000000, 32767}));
  EXPECT_EQ(After(Set(0)), (Pair{0, 0}));
  bar.SetMax(100);
  EXPECT_EQ(After(Set(250)), (Pair{100, 32767}));  // outside: the nearer end
  EXPECT_EQ(After(Set(-7)), (Pair{0, 0}));
  EXPECT_EQ(After(Set(0)), (Pair{0, 0}));  // the same value again
  EXPECT_EQ(changes, 8);
}

TEST_F(LongScrollTest, ArrowTroughAndDragMovements) {
  bar.SetMax(1000000);
  bar.SetValue(500000);
  bar.SetLargeChange(1000);
  changes = 0;
  EXPECT_EQ(After([&] { inner.ClickDownArrow(); }), (Pair{500001, 16384}));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(After([&] { inner.ClickTroughBelow(); }), (Pair{501001, 16416}));
  EXPECT_EQ(After([&] { inner.ClickUpArrow(); }), (Pair{501000, 16416}));
  EXPECT_EQ(After([&] { inner.ClickTroughAbove(); }), (Pair{500000, 16384}));
  EXPECT_EQ(changes, 4);
  bar.SetMax(10000000);
  changes = 0;
  EXPECT_EQ(After([&] { inner.DragThumb({100, 16384, 32767}); }), (Pair{10000000, 32767}));
  EXPECT_GE(changes, 3);
  // 16384 / 32767 of ten million, rounded.
  EXPECT_EQ(After([&] { inner.DragThumb({16384}); }), (Pair{5000153, 16384}));
  // A zero step moves nothing and snaps the thumb back.
  bar.SetSmallChange(0);
  EXPECT_EQ(After([&] { inner.ClickDownArrow(); }), (Pair{5000153, 16384}));
}

TEST_F(LongScrollTest, InvertedRangeHasMinAtTheTopEqualBoundsKeepTheThumbThere) {
  bar.SetMax(0);
  bar.SetMin(100);
  EXPECT_EQ(After(Set(100)), (Pair{100, 0}));
  EXPECT_EQ(After(Set(0)), (Pair{0, 32767}));
  bar.SetValue(100);
  bar.SetSmallChange(3);
  EXPECT_EQ(After([&] { inner.ClickDownArrow(); }), (Pair{97, 983}));
  bar.SetMax(5);
  bar.SetMin(5);
  changes = 0;
  EXPECT_EQ(After([] {}), (Pair{5, 0}));
  EXPECT_EQ(After([&] { inner.ClickDownArrow(); }), (Pair{5, 0}));
  EXPECT_EQ(changes, 1);
}

TEST_F(LongScrollTest, SettingTheBoundsMovesTheValueOnlyWhenTheRulesSay) {
  bar.SetMax(1000);
  bar.SetValue(500);
  changes = 0;
  struct Step {
    bool max;  // SetMax, else SetMin
    int32_t bound, value, changes;
  };
  const Step steps[] = {
      {true, 2000, 500, 0},  // value inside: nothing
      {true, 300, 300, 1},   // min below the new max, value above it: value := new max
      {false, 400, 300, 1},  // new min above max, value not below max: nothing
      {false, 350, 300, 1},  //
      {true, 250, 300, 1},   // min above the new max, value not above min: nothing
      {false, 0, 300, 1},    //
      {true, 100, 100, 2},   // min below the new max, value above: value := 100
      {true, -10, 0, 3},     // min above the new max, value above min: value := min
      {false, -10, -10, 4},  // min equal to max, value differs: value := -10
      {true, -10, -10, 4}};  // equal and the value already there: nothing
  for (const Step& s : steps) {
    s.max ? bar.SetMax(s.bound) : bar.SetMin(s.bound);
    EXPECT_EQ((Pair{bar.Value(), changes}), (Pair{s.value, s.changes})) << s.bound;
  }
}

TEST_F(LongScrollTest, RangeTooWideForThirtyTwoBitsIsAnOverflowForTheProgramOnly) {
  bar.SetMin(-2000000000);
  // Value 0 lies inside: no assignment, no error yet.
  EXPECT_EQ(test_support::ErrorOf([&] { bar.SetMax(2000000000); }), 0);
  changes = 0;
  EXPECT_EQ(test_support::ErrorOf([&] { bar.SetValue(7); }), platform::kErrOverflow);
  EXPECT_EQ((Pair{bar.Value(), changes}), (Pair{0, 0}));
  inner.DragThumb({32767});  // a user movement never fails
  EXPECT_EQ(bar.Value(), 2000000000);
}

}  // namespace
}  // namespace tabulo::longscroll
