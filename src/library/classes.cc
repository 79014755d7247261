// The class factories of the library: TabuloCtl, created in its container as a new instance.
#include "library/classes.h"

#include <atomic>

#include "control/host_interfaces.h"
#include "control/tabulo_ctl.h"
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

}  // namespace

const std::vector<ClassFactory*>& CreatableClasses() {
  static TabuloCtlFactory* tabulo_ctl = new TabuloCtlFactory;  // lives as long as the library
  static const std::vector<ClassFactory*> classes{tabulo_ctl};
  return classes;
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
