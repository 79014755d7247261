// CheckBox: a caption and a three-state Value (0 unchecked, 1 checked, 2 grayed). Click
// follows every change of Value, by the program or the user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

inline constexpr int16_t kUnchecked = 0;
inline constexpr int16_t kChecked = 1;
inline constexpr int16_t kGrayed = 2;

class CheckBox : public Widget {
 public:
  explicit CheckBox(std::string name);

  const std::string& caption() const { return caption_; }
  void set_caption(std::string v) { caption_ = std::move(v); }

  int16_t value() const { return value_; }
  // 0, 1 or 2; anything else raises 380.
  void set_value(int16_t v);

  // The user clicks the box: checked becomes unchecked, unchecked and grayed become
  // checked. A disabled box ignores it.
  void UserClick();

  std::function<void()> on_click;

 private:
  std::string caption_;
  int16_t value_ = kUnchecked;
};

}  // namespace tabulo::platform
