#include "pages/page_support.h"

#include "localization/localized_string.h"

namespace tabulo::pages {

std::shared_ptr<control::TabuloCtl> EditedControl(const platform::PropertyPage& page) {
  if (page.SelectedControls().empty()) return nullptr;
  return std::dynamic_pointer_cast<control::TabuloCtl>(page.SelectedControls().front());
}

std::string PageText(platform::PropertyPage& page, int32_t id) {
  return localization::GetDialogString(localization::SharedLocalization(page.site()), "Tabulo", id,
                                       page.site().UserLocale());
}

bool Ticked(int16_t value) {
  return value != 0;
}

void Arrange(std::initializer_list<Placement> places) {
  for (const Placement& p : places) p.widget->Move(p.left, p.top, p.width, p.height);
}

}  // namespace tabulo::pages
