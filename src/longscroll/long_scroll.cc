#include "longscroll/long_scroll.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::longscroll {
namespace {

constexpr int16_t kBarMin = 0;
constexpr int16_t kBarMax = 32767;
constexpr int16_t kBarSmall = 1;
constexpr int16_t kBarLarge = 10;
constexpr double kDefaultWidth = 255;  // twips, the platform's standard bar width

// Sets a flag for the duration of a scope, also when the scope is left by an error.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }

 private:
  bool& flag_;
};

int32_t ClampToInt32(double x) {
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(x);
}

int16_t ClampToBar(double x) {
  if (x > kBarMax) return kBarMax;
  if (x < -32768.0) return -32768;
  return static_cast<int16_t>(x);
}

}  // namespace

LongScroll::LongScroll(std::string name)
    : Widget(std::move(name)), bar_(std::make_unique<platform::VScrollBar>("ScrollBar")) {
  bar_->set_min(kBarMin);
  bar_->set_max(kBarMax);
  bar_->set_small_change(kBarSmall);
  bar_->set_large_change(kBarLarge);
  {
    FlagScope updating(m_bUpdating);
    bar_->set_value(0);
  }
  bar_->on_change = [this] { SyncFromBar(); };
  bar_->on_scroll = [this] { SyncFromBar(); };
  Move(0, 0, kDefaultWidth, 1200);
}

LongScroll::~LongScroll() {
  bar_->on_change = nullptr;
  bar_->on_scroll = nullptr;
}

bool LongScroll::Enabled() const {
  return bar_->enabled();
}

void LongScroll::SetEnabled(bool enabled) {
  bar_->set_enabled(enabled);
}

void LongScroll::Move(double left, double top, double width, double height) {
  Widget::Move(left, top, width, height);
  bar_->Move(0, 0, width, height);
}

void LongScroll::ReadBarState() {
  m_iBarValue = bar_->value();
  m_iBarMin = bar_->min();
  m_iBarMax = bar_->max();
  m_iBarSmallChange = bar_->small_change();
  m_iBarLargeChange = bar_->large_change();
}

void LongScroll::PlaceThumb(double range_width) {
  double r = std::fabs(static_cast<double>(m_iBarMax) - m_iBarMin);
  double lo = std::min(m_lMin, m_lMax);
  double f = range_width == 0 ? 0.0 : std::fabs(static_cast<double>(m_lValue) - lo) / range_width;
  double position = m_lMin <= m_lMax ? r * f + m_iBarMin : m_iBarMax - r * f;
  m_iBarValue = ClampToBar(platform::RoundHalfEven(position));
}

void LongScroll::SetValue(int32_t v) {
  ReadBarState();
  int32_t lo = std::min(m_lMin, m_lMax);
  int32_t hi = std::max(m_lMin, m_lMax);
  int64_t clamped = std::clamp(v, lo, hi);
  int64_t width = static_cast<int64_t>(m_lMax) - m_lMin;
  // The range width must be a signed 32-bit value, and so must its absolute value.
  if (width > INT32_MAX || width <= INT32_MIN) throw platform::ComError::Overflow("LongScroll");
  m_lValue = static_cast<int32_t>(clamped);
  PlaceThumb(static_cast<double>(std::llabs(width)));
  ApplyBarPosition();
  RaiseChange();
}

void LongScroll::SetMax(int32_t v) {
  m_lMax = v;
  if (m_lMin < v) {
    if (m_lValue > v) SetValue(v);
  } else if (m_lMin > v) {
    if (m_lValue > m_lMin) SetValue(m_lMin);
  } else if (m_lValue != v) {
    SetValue(v);
  }
}

void LongScroll::SetMin(int32_t v) {
  m_lMin = v;
  if (v < m_lMax) {
    if (m_lValue < v) SetValue(v);
  } else if (v > m_lMax) {
    if (m_lValue < m_lMax) SetValue(v);
  } else if (m_lValue != v) {
    SetValue(v);
  }
}

void LongScroll::ApplyBarPosition() {
  // The thumb reaches an end of the bar only when the value is exactly at that end.
  if (m_iBarValue == m_iBarMin && m_lValue > m_lMin) {
    m_iBarValue = static_cast<int16_t>(m_iBarMin + 1);
  } else if (m_iBarValue == m_iBarMax && m_lValue < m_lMax) {
    m_iBarValue = static_cast<int16_t>(m_iBarMax - 1);
  }
  FlagScope updating(m_bUpdating);
  bar_->set_value(m_iBarValue);
}

void LongScroll::SyncFromBar() {
  if (m_bUpdating) return;
  int32_t d = static_cast<int32_t>(bar_->value()) - m_iBarValue;
  ReadBarState();
  if (m_lMin > m_lMax) d = -d;
  int64_t lo = std::min(m_lMin, m_lMax);
  int64_t hi = std::max(m_lMin, m_lMax);
  // Computed in 64 bits: a user movement never fails, even on a range too wide for a
  // 32-bit width.
  double range_width = static_cast<double>(hi - lo);
  int32_t magnitude = std::abs(d);
  if (magnitude != m_iBarLargeChange && magnitude != m_iBarSmallChange) {
    double r = std::fabs(static_cast<double>(m_iBarMax) - m_iBarMin);
    double f = r == 0 ? 0.0 : std::fabs(static_cast<double>(m_iBarValue) - m_iBarMin) / r;
    double v = m_lMin <= m_lMax ? range_width * f + static_cast<double>(lo)
                                : static_cast<double>(hi) - range_width * f;
    m_lValue = ClampToInt32(platform::RoundHalfEven(v));
  } else {
    int64_t step = magnitude == m_iBarLargeChange ? m_lLargeChange : m_lSmallChange;
    if (d < 0) step = -step;
    m_lValue = static_cast<int32_t>(std::clamp<int64_t>(int64_t{m_lValue} + step, lo, hi));
    PlaceThumb(range_width);
  }
  ApplyBarPosition();
  RaiseChange();
}

void LongScroll::RaiseChange() {
  if (on_change) on_change();
}

}  // namespace tabulo::longscroll
