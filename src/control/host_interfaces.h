// The host's two interfaces on the control, IHostControl and IHostControlLanguageChangeAuto,
// as automation objects of their own: the host obtains one from the control by interface
// name, as it would query a component for an interface, and calls it late-bound. Each holds
// a reference to the control it belongs to.
//
//   IHostControl                    0x60010000 SetControlSite(lControlID, pControlSite,
//                                      lcidPresentationLanguage, lcidProjectLanguage,
//                                      iProjectRole, bstrUsername)
//   IHostControlLanguageChangeAuto  0x60010000 OnLanguageChange(lcid)
//
// pControlSite is an object: either a host::ControlSite of this process, or any automation
// object with a GetService(number) member that returns the service object.
#pragma once

#include <memory>
#include <string_view>

#include "control/tabulo_ctl.h"
#include "platform/automation/dispatch.h"

namespace tabulo::control {

inline constexpr char kIHostControl[] = "IHostControl";
inline constexpr char kIHostControlLanguageChangeAuto[] = "IHostControlLanguageChangeAuto";
inline constexpr platform::DispId kDispIdSetControlSite = 0x60010000;
inline constexpr platform::DispId kDispIdOnLanguageChange = 0x60010000;

// The named interface of `ctl` ("IHostControl", "IHostControlLanguageChangeAuto", or the
// default "_TabuloCtl", which is the control itself); names compare case-insensitively.
// Raises 430 "Class does not support Automation or does not support expected interface" for
// any other name, and 91 when there is no control.
std::shared_ptr<platform::Dispatch> QueryHostInterface(const std::shared_ptr<TabuloCtl>& ctl,
                                                       std::string_view interface_name);

}  // namespace tabulo::control
