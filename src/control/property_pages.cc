// The property pages the control names for the container's property sheet.
#include "control/tabulo_ctl.h"

namespace tabulo::control {

const std::vector<std::string>& TabuloCtl::PropertyPages() {
  static const std::vector<std::string> pages{"VELTRA.UsrControlProperties", "VELTRA.DSNSelection",
                                              "VELTRA.ColumnProperties", "VELTRA.eSignature"};
  return pages;
}

}  // namespace tabulo::control
