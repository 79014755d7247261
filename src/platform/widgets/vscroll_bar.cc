// The 16-bit vertical scroll bar model.
#include "platform/widgets/vscroll_bar.h"

#include <algorithm>
#include <utility>

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

VScrollBar::VScrollBar(std::string name) : Widget(std::move(name)) {}

int32_t VScrollBar::Lowest() const {
  return std::min(min_, max_);
}
int32_t VScrollBar::Highest() const {
  return std::max(min_, max_);
}

int16_t VScrollBar::Clamp(int32_t v) const {
  return static_cast<int16_t>(std::clamp(v, Lowest(), Highest()));
}

void VScrollBar::SetAndNotify(int16_t v) {
  if (v == value_) return;
  value_ = v;
  if (on_change) on_change();
}

void VScrollBar::KeepValueInRange() {
  SetAndNotify(Clamp(value_));
}

void VScrollBar::set_min(int16_t v) {
  min_ = v;
  KeepValueInRange();
}

void VScrollBar::set_max(int16_t v) {
  max_ = v;
  KeepValueInRange();
}

void VScrollBar::set_value(int16_t v) {
  if (v < Lowest() || v > Highest()) throw ComError::InvalidPropertyValue(name());
  SetAndNotify(v);
}

void VScrollBar::set_small_change(int16_t v) {
  if (v < 1) throw ComError::InvalidPropertyValue(name());
  small_change_ = v;
}

void VScrollBar::set_large_change(int16_t v) {
  if (v < 1) throw ComError::InvalidPropertyValue(name());
  large_change_ = v;
}

void VScrollBar::Step(int32_t amount) {
  if (!enabled()) return;
  // Toward Max is upward in value when Min <= Max and downward when the range is reversed.
  const int32_t direction = max_ >= min_ ? 1 : -1;
  SetAndNotify(Clamp(int32_t{value_} + direction * amount));
}

void VScrollBar::ClickUpArrow() {
  Step(-int32_t{small_change_});
}
void VScrollBar::ClickDownArrow() {
  Step(small_change_);
}
void VScrollBar::ClickTroughAbove() {
  Step(-int32_t{large_change_});
}
void VScrollBar::ClickTroughBelow() {
  Step(large_change_);
}

void VScrollBar::DragThumb(const std::vector<int16_t>& positions) {
  if (!enabled() || positions.empty()) return;
  const int16_t before = value_;
  for (size_t i = 0; i + 1 < positions.size(); ++i) {
    const int16_t p = Clamp(positions[i]);
    if (p == value_) continue;
    value_ = p;
    if (on_scroll) on_scroll();
  }
  value_ = Clamp(positions.back());
  if (value_ != before && on_change) on_change();
}

}  // namespace tabulo::platform
