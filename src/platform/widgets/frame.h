// Frame: a captioned border that groups other widgets; the owner places them inside it.
#pragma once

#include <string>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

class Frame : public Widget {
 public:
  explicit Frame(std::string name) : Widget(std::move(name)) {}

  const std::string& caption() const { return caption_; }
  void set_caption(std::string v) { caption_ = std::move(v); }

 private:
  std::string caption_;
};

}  // namespace tabulo::platform
