// What the four property pages share: the edited control, the texts of their captions and
// the system colours of enabled and disabled fields.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "control/tabulo_ctl.h"
#include "platform/widgets/property_page.h"

namespace tabulo::pages {

// System colours (an index with the top bit set).
inline constexpr int32_t kSysWindowBackground = static_cast<int32_t>(0x80000005);
inline constexpr int32_t kSysInactiveBorder = static_cast<int32_t>(0x8000000B);
inline constexpr int32_t kSysInactiveCaptionText = static_cast<int32_t>(0x80000013);

// The window background when `enabled`, else the inactive caption text colour.
inline int32_t FieldColor(bool enabled) {
  return enabled ? kSysWindowBackground : kSysInactiveCaptionText;
}

// Item 0 of the page's selected controls, when it is a TabuloCtl; null otherwise.
std::shared_ptr<control::TabuloCtl> EditedControl(const platform::PropertyPage& page);

// A caption of the pages: the lookup for module "Tabulo" in the site's locale.
std::string PageText(platform::PropertyPage& page, int32_t id);

// A widget's place on its page, in twips: the page is drawn as the form it describes (the
// browser and the terminal lay it out from these), on a client area 6900 wide and 4800 high.
struct Placement {
  platform::Widget* widget;
  double left, top, width, height;
};
void Arrange(std::initializer_list<Placement> places);

// Whether a check box counts as ticked.
bool Ticked(int16_t value);

}  // namespace tabulo::pages
