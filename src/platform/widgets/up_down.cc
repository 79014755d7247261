// The spin buttons model.
#include "platform/widgets/up_down.h"

#include <algorithm>
#include <utility>

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

UpDown::UpDown(std::string name) : Widget(std::move(name)) {}

int64_t UpDown::Lowest() const {
  return std::min(min_, max_);
}
int64_t UpDown::Highest() const {
  return std::max(min_, max_);
}

void UpDown::SetAndNotify(int32_t v) {
  if (v == value_) return;
  value_ = v;
  if (on_change) on_change();
}

void UpDown::set_value(int32_t v) {
  SetAndNotify(static_cast<int32_t>(std::clamp<int64_t>(v, Lowest(), Highest())));
}

void UpDown::set_min(int32_t v) {
  min_ = v;
  set_value(value_);
}

void UpDown::set_max(int32_t v) {
  max_ = v;
  set_value(value_);
}

void UpDown::set_increment(int32_t v) {
  if (v < 0) throw ComError::InvalidPropertyValue(name());
  increment_ = v;
}

void UpDown::Step(int64_t toward_max) {
  if (!enabled()) return;
  const int64_t direction = max_ >= min_ ? 1 : -1;
  // 64-bit so that a step past either end of the 32-bit range cannot overflow.
  int64_t next = int64_t{value_} + direction * toward_max * increment_;
  if (next > Highest()) {
    next = wrap_ ? Lowest() : Highest();
  } else if (next < Lowest()) {
    next = wrap_ ? Highest() : Lowest();
  }
  SetAndNotify(static_cast<int32_t>(next));
}

void UpDown::UpClick() {
  Step(1);
}
void UpDown::DownClick() {
  Step(-1);
}

}  // namespace tabulo::platform
