// PropertyPage: a design-time page of a control, as the platform's property-page mechanism
// hosts it. The container's property sheet creates the page, hands it the controls it edits
// (SelectedControls), and raises its four events: Initialize once, Paint each time the page
// is shown, ApplyChanges when the sheet applies, Terminate when the sheet closes. The page
// sets Changed when it holds something to apply.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/runtime/container.h"
#include "platform/widgets/form.h"

namespace tabulo::platform {

class PropertyPage : public DispatchObject, public Form {
 public:
  Container& site() { return site_; }
  bool Changed() const { return changed_; }
  void SetChanged(bool v) { changed_ = v; }

  const std::vector<std::shared_ptr<Dispatch>>& SelectedControls() const { return selected_; }
  void SetSelectedControls(std::vector<std::shared_ptr<Dispatch>> controls) {
    selected_ = std::move(controls);
  }

  virtual void Initialize() {}
  virtual void Paint() {}
  virtual void ApplyChanges() {}
  virtual void Terminate() {}

 protected:
  // Declares Changed as an automation property of the page's interface.
  PropertyPage(std::string class_name, Container& site);

 private:
  Container& site_;
  bool changed_ = false;
  std::vector<std::shared_ptr<Dispatch>> selected_;
};

}  // namespace tabulo::platform
