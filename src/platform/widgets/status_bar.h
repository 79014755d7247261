// StatusBar: the common-controls status bar, docked at the bottom of its owner (the owner
// positions it). Its height is fixed at kStatusBarHeight twips, the bar's height at the
// default font; Move keeps that height whatever is asked. Panels are a 1-based collection;
// a new bar has one empty panel, as the control does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

inline constexpr double kStatusBarHeight = 315;
inline constexpr int32_t kDefaultPanelWidth = 1440;  // twips

// Panel alignments.
inline constexpr int16_t kPanelLeft = 0;
inline constexpr int16_t kPanelCenter = 1;
inline constexpr int16_t kPanelRight = 2;

class Panel {
 public:
  const std::string& text() const { return text_; }
  void set_text(std::string v) { text_ = std::move(v); }
  const std::string& key() const { return key_; }
  int32_t width() const { return width_; }
  void set_width(int32_t twips);  // negative raises 380
  bool visible() const { return visible_; }
  void set_visible(bool v) { visible_ = v; }
  int16_t alignment() const { return alignment_; }
  void set_alignment(int16_t v);  // 0..2; anything else raises 380

 private:
  friend class StatusBar;
  std::string text_;
  std::string key_;
  int32_t width_ = kDefaultPanelWidth;
  bool visible_ = true;
  int16_t alignment_ = kPanelLeft;
};

class StatusBar : public Widget {
 public:
  explicit StatusBar(std::string name);

  void Move(double left, double top, double width, double height) override;

  int32_t PanelCount() const { return static_cast<int32_t>(panels_.size()); }
  // Panels(index), 1-based; outside 1..Count raises 35600 "Index out of bounds".
  Panel& Panels(int32_t index);
  const Panel& Panels(int32_t index) const;
  // Panels("key"); an unknown key raises 35601 "Element not found".
  Panel& Panels(const std::string& key);
  // Adds a panel before `index` (1..Count+1; 0 = at the end) with an optional unique key
  // (a duplicate raises 35602 "Key is not unique in collection"). Returns it; references
  // to panels stay valid until the panel is removed.
  Panel& AddPanel(int32_t index = 0, const std::string& key = {}, const std::string& text = {});
  // Removes Panels(index); outside 1..Count raises 35600.
  void RemovePanel(int32_t index);

 private:
  void CheckIndex(int32_t index) const;
  std::vector<std::unique_ptr<Panel>> panels_;
};

}  // namespace tabulo::platform
