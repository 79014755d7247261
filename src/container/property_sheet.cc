// The container's property sheet (property_sheet.h).
#include "container/property_sheet.h"

#include "library/classes.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::container {

PropertySheet::PropertySheet(platform::Container& site,
                             std::shared_ptr<control::TabuloCtl> control) {
  for (const std::string& progid : control::TabuloCtl::PropertyPages()) {
    library::ClassFactory* factory = library::FindClass(progid);
    auto page =
        factory ? std::dynamic_pointer_cast<platform::PropertyPage>(factory->CreateInstance(site))
                : nullptr;
    if (!page) {
      throw platform::ComError(platform::kErrCantCreateObject,
                               "ActiveX component can't create object", progid);
    }
    page->SetSelectedControls({control});
    page->Initialize();
    pages_.push_back(std::move(page));
  }
}

PropertySheet::~PropertySheet() {
  Close();
}

platform::PropertyPage* PropertySheet::FindPage(std::string_view name) {
  for (auto& page : pages_)
    if (platform::EqualsIgnoreCase(page->ClassName(), name)) return page.get();
  return nullptr;
}

void PropertySheet::Show(platform::PropertyPage& page) {
  if (current_ != nullptr && current_ != &page) current_->set_shown(false);
  current_ = &page;
  page.set_shown(true);
  page.Paint();
}

void PropertySheet::Apply() {
  for (auto& page : pages_)
    if (page->Changed()) page->ApplyChanges();
}

void PropertySheet::Close() {
  current_ = nullptr;
  for (auto& page : pages_) {
    page->Terminate();
    page->SetSelectedControls({});
  }
  pages_.clear();
}

}  // namespace tabulo::container
