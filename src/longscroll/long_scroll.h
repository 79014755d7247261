// LongScroll: a vertical scroll bar whose range, value and steps are signed 32-bit
// integers, carried on the platform's 16-bit scroll bar. It keeps the 32-bit state itself,
// maps it proportionally onto the inner bar's fixed range 0..32767, and turns the inner
// bar's user movements back into 32-bit values. Known to the platform as
// "VELTRA.LongScroll".
//
// The top of the bar always stands for Min and the bottom for Max, also when Min > Max.
// Proportions are computed in double precision and rounded half to even. A movement of the
// inner bar by exactly its small or large step (1 or 10) is a step of SmallChange or
// LargeChange; any other movement is read as a thumb position.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/widgets/vscroll_bar.h"
#include "platform/widgets/widget.h"

namespace tabulo::longscroll {

inline constexpr char kLongScrollProgId[] = "VELTRA.LongScroll";

class LongScroll : public platform::Widget {
 public:
  explicit LongScroll(std::string name = "ScrollBar");
  ~LongScroll() override;

  int32_t Max() const { return m_lMax; }
  int32_t Min() const { return m_lMin; }
  int32_t SmallChange() const { return m_lSmallChange; }
  int32_t LargeChange() const { return m_lLargeChange; }
  int32_t Value() const { return m_lValue; }
  bool Enabled() const;

  // Store the bound, then move Value into the new range where the rules say so (a full
  // value assignment, raising Change); otherwise Value and the thumb stay as they are.
  void SetMax(int32_t v);
  void SetMin(int32_t v);
  // Stored as given: no check, no redraw (0 or below are accepted).
  void SetSmallChange(int32_t v) { m_lSmallChange = v; }
  void SetLargeChange(int32_t v) { m_lLargeChange = v; }
  // Clamps into the range, places the thumb and raises Change, also when the value did
  // not change. Raises ComError 6 when Max - Min does not fit a signed 32-bit integer;
  // Value then keeps its previous value.
  void SetValue(int32_t v);
  void SetEnabled(bool enabled);

  // Resizing fills the control with the inner bar.
  void Move(double left, double top, double width, double height) override;

  // Raised after every value assignment and every user movement of the inner bar.
  std::function<void()> on_change;

  // The inner 16-bit bar, for the container's user input and the renderer.
  platform::VScrollBar& InnerBar() { return *bar_; }
  const platform::VScrollBar& InnerBar() const { return *bar_; }

 private:
  void ReadBarState();
  void ApplyBarPosition();
  void SyncFromBar();
  // Thumb position for the present value (steps 4 to 6 of a value assignment).
  void PlaceThumb(double range_width);
  void RaiseChange();

  int32_t m_lMin = 0;
  int32_t m_lMax = 32767;
  int32_t m_lSmallChange = 1;
  int32_t m_lLargeChange = 10;
  int32_t m_lValue = 0;
  int16_t m_iBarValue = 0;
  int16_t m_iBarMin = 0;
  int16_t m_iBarMax = 0;
  int16_t m_iBarSmallChange = 0;
  int16_t m_iBarLargeChange = 0;
  bool m_bUpdating = false;
  std::unique_ptr<platform::VScrollBar> bar_;
};

}  // namespace tabulo::longscroll
