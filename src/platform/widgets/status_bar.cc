// The status bar model and its panels.
#include "platform/widgets/status_bar.h"

#include <utility>

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

void Panel::set_width(int32_t twips) {
  if (twips < 0) throw ComError::InvalidPropertyValue("Panel");
  width_ = twips;
}

void Panel::set_alignment(int16_t v) {
  if (v < kPanelLeft || v > kPanelRight) throw ComError::InvalidPropertyValue("Panel");
  alignment_ = v;
}

StatusBar::StatusBar(std::string name) : Widget(std::move(name)) {
  panels_.push_back(std::make_unique<Panel>());
  Widget::Move(0, 0, 0, kStatusBarHeight);
}

void StatusBar::Move(double left, double top, double width, double /*height*/) {
  Widget::Move(left, top, width, kStatusBarHeight);
}

void StatusBar::CheckIndex(int32_t index) const {
  if (index < 1 || index > PanelCount()) throw IndexOutOfBounds(name());
}

Panel& StatusBar::Panels(int32_t index) {
  CheckIndex(index);
  return *panels_[index - 1];
}

const Panel& StatusBar::Panels(int32_t index) const {
  CheckIndex(index);
  return *panels_[index - 1];
}

Panel& StatusBar::Panels(const std::string& key) {
  for (auto& p : panels_) {
    if (!key.empty() && p->key_ == key) return *p;
  }
  throw ComError(kErrElementNotFound, "Element not found", name());
}

Panel& StatusBar::AddPanel(int32_t index, const std::string& key, const std::string& text) {
  if (index == 0) index = PanelCount() + 1;
  if (index < 1 || index > PanelCount() + 1) throw IndexOutOfBounds(name());
  if (!key.empty()) {
    for (const auto& p : panels_) {
      if (p->key_ == key) {
        throw ComError(kErrKeyNotUnique, "Key is not unique in collection", name());
      }
    }
  }
  auto panel = std::make_unique<Panel>();
  panel->key_ = key;
  panel->text_ = text;
  Panel& added = *panel;
  panels_.insert(panels_.begin() + (index - 1), std::move(panel));
  return added;
}

void StatusBar::RemovePanel(int32_t index) {
  CheckIndex(index);
  panels_.erase(panels_.begin() + (index - 1));
}

}  // namespace tabulo::platform
