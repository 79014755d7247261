// The host interfaces of the control as automation objects (host_interfaces.h).
#include "control/host_interfaces.h"

#include "platform/automation/dispatch_object.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::control {

using platform::ComError;
using platform::Param;
using platform::Variant;

namespace {

// A site given as an automation object: its services are read through GetService.
class AutomationControlSite : public host::ControlSite {
 public:
  explicit AutomationControlSite(std::shared_ptr<platform::Dispatch> site)
      : site_(std::move(site)) {}
  std::shared_ptr<platform::Dispatch> GetService(int32_t number) override {
    Variant service = site_->Call("GetService", {Variant(number)});
    if (service.IsEmpty()) return nullptr;
    if (!service.IsObject()) throw ComError::TypeMismatch("IHostControl");
    return service.AsObject();
  }

 private:
  std::shared_ptr<platform::Dispatch> site_;
};

class HostControl : public platform::DispatchObject {
 public:
  explicit HostControl(std::shared_ptr<TabuloCtl> ctl)
      : DispatchObject(kIHostControl), ctl_(std::move(ctl)) {
    DeclareMethod("SetControlSite", kDispIdSetControlSite,
                  {Param{"lControlID"}, Param{"pControlSite"}, Param{"lcidPresentationLanguage"},
                   Param{"lcidProjectLanguage"}, Param{"iProjectRole"}, Param{"bstrUsername"}},
                  [this](std::vector<Variant>& a) {
                    std::shared_ptr<host::ControlSite> site;
                    if (std::shared_ptr<platform::Dispatch> obj = ArgObject(a, 1)) {
                      site = std::dynamic_pointer_cast<host::ControlSite>(obj);
                      if (!site) site = std::make_shared<AutomationControlSite>(std::move(obj));
                    }
                    ctl_->SetControlSite(ArgLong(a, 0), std::move(site), ArgLong(a, 2),
                                         ArgLong(a, 3), ArgInt16(a, 4), ArgString(a, 5));
                    return Variant();
                  });
  }

 private:
  std::shared_ptr<TabuloCtl> ctl_;
};

class HostControlLanguageChange : public platform::DispatchObject {
 public:
  explicit HostControlLanguageChange(std::shared_ptr<TabuloCtl> ctl)
      : DispatchObject(kIHostControlLanguageChangeAuto), ctl_(std::move(ctl)) {
    DeclareMethod("OnLanguageChange", kDispIdOnLanguageChange, {Param{"lcid"}},
                  [this](std::vector<Variant>& a) {
                    ctl_->OnLanguageChange(ArgLong(a, 0));
                    return Variant();
                  });
  }

 private:
  std::shared_ptr<TabuloCtl> ctl_;
};

}  // namespace

std::shared_ptr<platform::Dispatch> QueryHostInterface(const std::shared_ptr<TabuloCtl>& ctl,
                                                       std::string_view interface_name) {
  if (!ctl) throw ComError::ObjectNotSet("TabuloCtl");
  const std::string name = platform::UCase(interface_name);
  if (name == platform::UCase(kIHostControl)) return std::make_shared<HostControl>(ctl);
  if (name == platform::UCase(kIHostControlLanguageChangeAuto))
    return std::make_shared<HostControlLanguageChange>(ctl);
  if (name == "_TABULOCTL") return ctl;
  throw ComError(430, "Class does not support Automation or does not support expected interface",
                 "TabuloCtl");
}

}  // namespace tabulo::control
