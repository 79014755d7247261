// UpDown: the spin buttons. Value runs between Min and Max (Min may exceed Max); UpClick
// moves it by Increment toward Max and DownClick toward Min; a step past an end stops at
// that end or, with Wrap, jumps to the other end. Change follows every change of Value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

class UpDown : public Widget {
 public:
  explicit UpDown(std::string name);

  int32_t value() const { return value_; }
  // Clamped into Min..Max.
  void set_value(int32_t v);
  int32_t min() const { return min_; }
  int32_t max() const { return max_; }
  // Min and Max move Value into the new range (raising Change when it moves).
  void set_min(int32_t v);
  void set_max(int32_t v);
  int32_t increment() const { return increment_; }
  void set_increment(int32_t v);  // negative raises 380
  bool wrap() const { return wrap_; }
  void set_wrap(bool v) { wrap_ = v; }

  // User clicks; a disabled control ignores them.
  void UpClick();
  void DownClick();

  std::function<void()> on_change;

 private:
  int64_t Lowest() const;
  int64_t Highest() const;
  void Step(int64_t toward_max);
  void SetAndNotify(int32_t v);

  int32_t value_ = 0;
  int32_t min_ = 0;
  int32_t max_ = 10;
  int32_t increment_ = 1;
  bool wrap_ = false;
};

}  // namespace tabulo::platform
