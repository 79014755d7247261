// PropertySheet: the container's window of a control's property pages. It creates the pages
// the control names (through the library's class factories), hands each the control as its
// selected control and initialises it, shows one page at a time (each showing paints it),
// applies the pages that hold changes, and ends them all when it closes (without applying).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/tabulo_ctl.h"
#include "platform/runtime/container.h"
#include "platform/widgets/property_page.h"

namespace tabulo::container {

class PropertySheet {
 public:
  // Creates and initialises the control's pages; none is shown yet. A page class the library
  // does not serve raises platform::ComError 429.
  PropertySheet(platform::Container& site, std::shared_ptr<control::TabuloCtl> control);
  // Closes the sheet.
  ~PropertySheet();
  PropertySheet(const PropertySheet&) = delete;
  PropertySheet& operator=(const PropertySheet&) = delete;

  size_t page_count() const { return pages_.size(); }
  platform::PropertyPage& page(size_t index) { return *pages_.at(index); }
  // The page of that class name (without regard to case), or null.
  platform::PropertyPage* FindPage(std::string_view name);
  // The page shown; null before the first Show.
  platform::PropertyPage* current() { return current_; }

  // Shows (and paints) the page, as clicking its tab does; showing the page that is already
  // shown paints it again.
  void Show(platform::PropertyPage& page);
  // The sheet's Apply button: ApplyChanges on every page whose Changed is set, in tab order.
  void Apply();
  // Ends every page without applying; the sheet shows nothing afterwards.
  void Close();
  bool closed() const { return pages_.empty(); }

 private:
  std::vector<std::shared_ptr<platform::PropertyPage>> pages_;
  platform::PropertyPage* current_ = nullptr;
};

}  // namespace tabulo::container
