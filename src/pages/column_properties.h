// ColumnProperties: the column page. It shows the control's column list as a four-column
// grid (name, visible, caption, width), edits a cell in place with a text box or a
// True/False list, and writes the list back through GridArray, after which the control
// refreshes. The list is read again whenever the control's statement changed since.
#pragma once

#include <memory>
#include <string>

#include "control/tabulo_ctl.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/property_page.h"
#include "platform/widgets/text_box.h"

namespace tabulo::pages {

inline constexpr int32_t kVisibleColor = 0x00FF00;  // RGB(0, 255, 0)
inline constexpr int32_t kHiddenColor = 0x0000FF;   // RGB(255, 0, 0)

class ColumnProperties : public platform::PropertyPage {
 public:
  explicit ColumnProperties(platform::Container& site);

  void Initialize() override;
  void Paint() override;
  void ApplyChanges() override;

  platform::FlexGrid Grid{"Grid"};
  platform::TextBox txtEdit{"txtEdit"};
  platform::ComboBox cmbBool{"cmbBool", platform::kComboDropDownList};

 private:
  void RebuildGrid();
  void LoadColumns();
  void OpenEditor();
  void Commit();

  std::shared_ptr<control::TabuloCtl> ctl_;
  std::string remembered_source_;
  bool reload_ = false;
  bool busy_ = false;
  bool editing_ = false;
};

}  // namespace tabulo::pages
