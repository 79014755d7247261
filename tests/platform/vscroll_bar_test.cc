#include "platform/widgets/vscroll_bar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/values/com_error.h"
#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {
namespace {

using Events = std::vector<std::string>;

// Records "change:<value>" and "scroll:<value>" in order.
class VScrollBarTest : public ::testing::Test {
 protected:
  VScrollBarTest() {
    bar_.on_change = [this] { Record("change:"); };
    bar_.on_scroll = [this] { Record("scroll:"); };
    bar_.set_max(100);
    bar_.set_small_change(1);
    bar_.set_large_change(10);
  }
  void Record(const char* what) {
    std::string entry(what);
    entry.append(std::to_string(bar_.value()));
    log_.push_back(entry);
  }
  std::vector<std::string> Take() { return std::exchange(log_, {}); }

  VScrollBar bar_{"vsbRows"};
  std::vector<std::string> log_;
};

TEST_F(VScrollBarTest, ProgramChangesRaiseChangeOnlyWhenTheValueMoves) {
  bar_.set_value(42);
  bar_.set_value(42);
  bar_.set_value(0);
  EXPECT_EQ(Take(), (Events{"change:42", "change:0"}));
}

TEST_F(VScrollBarTest, ValueOutsideTheRangeRaises380AndKeepsTheValue) {
  bar_.set_value(5);
  Take();
  for (int16_t bad : {int16_t{-1}, int16_t{101}}) {
    try {
      bar_.set_value(bad);
      FAIL() << "expected 380 for " << bad;
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrInvalidPropertyValue);
    }
  }
  EXPECT_EQ(bar_.value(), 5);
  EXPECT_TRUE(Take().empty());
}

TEST_F(VScrollBarTest, ArrowsMoveBySmallChangeAndStopAtTheEnds) {
  bar_.set_small_change(3);
  bar_.ClickDownArrow();
  bar_.ClickUpArrow();
  bar_.ClickUpArrow();  // already at Min: nothing happens
  bar_.set_value(98);
  bar_.ClickDownArrow();  // cut short at Max
  bar_.ClickDownArrow();
  EXPECT_EQ(Take(), (Events{"change:3", "change:0", "change:98", "change:100"}));
}

TEST_F(VScrollBarTest, TroughMovesByLargeChangeAndStopsAtTheEnds) {
  bar_.set_value(15);
  bar_.ClickTroughAbove();
  bar_.ClickTroughAbove();  // cut short at 0
  bar_.ClickTroughAbove();
  bar_.set_value(95);
  bar_.ClickTroughBelow();
  bar_.ClickTroughBelow();
  EXPECT_EQ(Take(), (Events{"change:15", "change:5", "change:0", "change:95", "change:100"}));
}

TEST_F(VScrollBarTest, DragRaisesScrollForEachPositionThenChange) {
  bar_.DragThumb({10, 20, 20, 150, 30});
  // The repeated 20 does not move the thumb; 150 is held at Max.
  EXPECT_EQ(Take(), (Events{"scroll:10", "scroll:20", "scroll:100", "change:30"}));
  bar_.DragThumb({40, 30});  // back where it began: no Change
  EXPECT_EQ(Take(), (Events{"scroll:40"}));
  bar_.DragThumb({});
  EXPECT_TRUE(Take().empty());
}

TEST_F(VScrollBarTest, DisabledBarIgnoresTheUserButNotTheProgram) {
  bar_.set_enabled(false);
  bar_.ClickDownArrow();
  bar_.ClickTroughBelow();
  bar_.DragThumb({50});
  EXPECT_EQ(bar_.value(), 0);
  bar_.set_value(7);
  EXPECT_EQ(Take(), (Events{"change:7"}));
}

TEST_F(VScrollBarTest, NarrowingTheRangeMovesTheValueInside) {
  bar_.set_value(80);
  bar_.set_max(50);
  EXPECT_EQ(bar_.value(), 50);
  bar_.set_min(60);  // Min above Max is allowed
  EXPECT_EQ(bar_.value(), 50);
  bar_.set_min(40);
  bar_.set_max(45);
  EXPECT_EQ(Take(), (Events{"change:80", "change:50", "change:45"}));
}

TEST_F(VScrollBarTest, ReversedRangeKeepsMinAtTheTop) {
  bar_.set_min(100);
  bar_.set_max(0);
  bar_.set_value(50);
  Take();
  bar_.ClickDownArrow();  // toward Max, which is the smaller number
  EXPECT_EQ(bar_.value(), 49);
  bar_.ClickTroughAbove();  // toward Min
  EXPECT_EQ(bar_.value(), 59);
  bar_.set_value(95);
  bar_.ClickTroughAbove();
  EXPECT_EQ(bar_.value(), 100);
  EXPECT_EQ(Take(), (Events{"change:49", "change:59", "change:95", "change:100"}));
}

TEST_F(VScrollBarTest, FullSixteenBitRangeDoesNotOverflow) {
  bar_.set_min(-32768);
  bar_.set_max(32767);
  bar_.set_large_change(32767);
  bar_.set_value(32000);
  bar_.ClickTroughBelow();
  EXPECT_EQ(bar_.value(), 32767);
  bar_.set_value(-32000);
  bar_.ClickTroughAbove();
  EXPECT_EQ(bar_.value(), -32768);
}

TEST_F(VScrollBarTest, ChangesBelowOneAreRefused) {
  EXPECT_THROW(bar_.set_small_change(0), ComError);
  EXPECT_THROW(bar_.set_large_change(-5), ComError);
  EXPECT_EQ(bar_.small_change(), 1);
  EXPECT_EQ(bar_.large_change(), 10);
}

}  // namespace
}  // namespace tabulo::platform
