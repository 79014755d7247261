// VScrollBar: the platform's 16-bit vertical scroll bar. Value runs from Min (top) to Max
// (bottom); Min may exceed Max, the top is still Min. Change follows every change of Value,
// by the program or the user; Scroll follows each thumb position while it is dragged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

class VScrollBar : public Widget {
 public:
  explicit VScrollBar(std::string name);

  int16_t min() const { return min_; }
  int16_t max() const { return max_; }
  int16_t value() const { return value_; }
  int16_t small_change() const { return small_change_; }
  int16_t large_change() const { return large_change_; }

  // Min and Max move Value into the new range (raising Change when it moves).
  void set_min(int16_t v);
  void set_max(int16_t v);
  // Outside Min..Max raises 380. Setting the value it already has raises nothing.
  void set_value(int16_t v);
  // 1..32767; anything else raises 380.
  void set_small_change(int16_t v);
  void set_large_change(int16_t v);

  // User actions; a disabled bar ignores them. Arrows move by SmallChange, the trough by
  // LargeChange, toward Min (up) or Max (down), cut short at the ends; nothing is raised
  // when the value is already at that end.
  void ClickUpArrow();
  void ClickDownArrow();
  void ClickTroughAbove();
  void ClickTroughBelow();
  // The thumb dragged through `positions` (each clamped into the range): Scroll for every
  // position but the last that moves the value, then Change at the last one unless the drag
  // ended where it began.
  void DragThumb(const std::vector<int16_t>& positions);

  std::function<void()> on_change;
  std::function<void()> on_scroll;

 private:
  int32_t Lowest() const;
  int32_t Highest() const;
  int16_t Clamp(int32_t v) const;
  // Moves toward Max (steps > 0) or Min (steps < 0).
  void Step(int32_t amount);
  void SetAndNotify(int16_t v);
  void KeepValueInRange();

  int16_t min_ = 0;
  int16_t max_ = 32767;
  int16_t value_ = 0;
  int16_t small_change_ = 1;
  int16_t large_change_ = 1;
};

}  // namespace tabulo::platform
