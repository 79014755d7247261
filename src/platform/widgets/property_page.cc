#include "platform/widgets/property_page.h"

#include "platform/values/conversions.h"

namespace tabulo::platform {

PropertyPage::PropertyPage(std::string class_name, Container& site)
    : DispatchObject(std::move(class_name)), site_(site) {
  DeclareProperty(
      "Changed", 1, [this] { return Variant(changed_); },
      [this](const Variant& v) { changed_ = CBool(v, coercion_locale()); });
}

}  // namespace tabulo::platform
