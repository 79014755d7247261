// The class factories of the library: TabuloCtl, created in its container as a new instance.
#include "library/classes.h"

#include <atomic>

#include "control/host_interfaces.h"
#include "control/tabulo_ctl.h"
#include "pages/column_properties.h"
#include "pages/dsn_selection.h"
#include "pages/esignature.h"
#include "pages/usr_control_properties.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::library {
namespace {

// Instances handed out and not yet destroyed: the library's lock count, process-wide as the
// library itself is.
std::atomic<int> g_live_instances{0};

class TabuloCtlFactory : public ClassFactory {
 public:
  std::string ProgId() const override { return std::string(kTypeLibraryName) + ".TabuloCtl"; }
  std::string ClassId() const override { return kTabuloCtlClassId; }

  std::shared_ptr<platform::Dispatch> CreateInstance(platform::Container& site) override {
    auto ctl = std::shared_ptr<control::TabuloCtl>(new control::TabuloCtl(site),
                                                   [](control::TabuloCtl* p) {
                                                     delete p;
                                                     g_live_instances.fetch_sub(1);
                                                   });
    g_live_instances.fetch_add(1);
    ctl->InitNew();
    return ctl;
  }

  std::shared_ptr<platform::Dispatch> QueryInterface(
      const std::shared_ptr<platform::Dispatch>& instance,
      std::string_view interface_name) override {
    auto ctl = std::dynamic_pointer_cast<control::TabuloCtl>(instance);
    if (!ctl) throw platform::ComError::TypeMismatch("TabuloCtl");
    return control::QueryHostInterface(ctl, interface_name);
  }
};

// A property page class: the container's property-page mechanism creates its pages in the
// container that shows them.
template <class Page>
class PageFactory : public ClassFactory {
 public:
  PageFactory(std::string name, std::string class_id)
      : name_(std::move(name)), class_id_(std::move(class_id)) {}
  std::string ProgId() const override { return std::string(kTypeLibraryName) + "." + name_; }
  std::string ClassId() const override { return class_id_; }

  std::shared_ptr<platform::Dispatch> CreateInstance(platform::Container& site) override {
    auto page = std::shared_ptr<Page>(new Page(site), [](Page* p) {
      delete p;
      g_live_instances.fetch_sub(1);
    });
    g_live_instances.fetch_add(1);
    return page;
  }

  std::shared_ptr<platform::Dispatch> QueryInterface(
      const std::shared_ptr<platform::Dispatch>& instance,
      std::string_view interface_name) override {
    if (!std::dynamic_pointer_cast<Page>(instance) ||
        !platform::EqualsIgnoreCase(interface_name, "_" + name_))
      throw platform::ComError(430,
                               "Class does not support Automation or does not support "
                               "expected interface",
                               ProgId());
    return instance;
  }

 private:
  std::string name_, class_id_;
};

}  // namespace

const std::vector<ClassFactory*>& CreatableClasses() {
  // The factories, and the list of them, live as long as the library (never destroyed, so an
  // instance released during the program's exit still finds its factory); the pages in the
  // order the control names them.
  static const std::vector<ClassFactory*>* const classes = new std::vector<ClassFactory*>{
      new TabuloCtlFactory,
      new PageFactory<pages::UsrControlProperties>("UsrControlProperties",
                                                   kUsrControlPropertiesClassId),
      new PageFactory<pages::DSNSelection>("DSNSelection", kDSNSelectionClassId),
      new PageFactory<pages::ColumnProperties>("ColumnProperties", kColumnPropertiesClassId),
      new PageFactory<pages::eSignature>("eSignature", keSignatureClassId)};
  return *classes;
}

ClassFactory* FindClass(std::string_view progid) {
  for (ClassFactory* f : CreatableClasses())
    if (platform::EqualsIgnoreCase(f->ProgId(), progid)) return f;
  return nullptr;
}

int LiveInstances() {
  return g_live_instances.load();
}

}  // namespace tabulo::library
