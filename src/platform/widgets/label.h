// Label: a caption drawn with an alignment (0 left, 1 right, 2 center, as the classic
// Label); it takes no input.
#pragma once

#include <cstdint>
#include <string>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

class Label : public Widget {
 public:
  explicit Label(std::string name) : Widget(std::move(name)) {}

  const std::string& caption() const { return caption_; }
  void set_caption(std::string v) { caption_ = std::move(v); }
  int16_t alignment() const { return alignment_; }
  void set_alignment(int16_t v);  // 0..2; anything else raises 380
  bool word_wrap() const { return word_wrap_; }
  void set_word_wrap(bool v) { word_wrap_ = v; }

 private:
  std::string caption_;
  int16_t alignment_ = 0;
  bool word_wrap_ = false;
};

}  // namespace tabulo::platform
