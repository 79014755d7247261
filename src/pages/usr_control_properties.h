// UsrControlProperties: the general page. Updates, their confirmation and logging, the
// automatic refresh and its interval, the status bar, and the grid's font and colours; read
// on the first paint, written back when applied (every step on its own: a failing one is
// skipped). The font object is the control's own, changed in place by the font chooser.
#pragma once

#include <memory>
#include <string>

#include "control/tabulo_ctl.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/property_page.h"
#include "platform/widgets/std_font.h"
#include "platform/widgets/text_box.h"
#include "platform/widgets/up_down.h"

namespace tabulo::pages {

class UsrControlProperties : public platform::PropertyPage {
 public:
  explicit UsrControlProperties(platform::Container& site);

  void Initialize() override;
  void Paint() override;
  void ApplyChanges() override;

  platform::Frame frmGridProperties{"frmGridProperties"};
  platform::CheckBox chkAllowUpdate{"chkAllowUpdate"}, chkConfirmUpdate{"chkConfirmUpdate"},
      chkLogChanges{"chkLogChanges"};
  platform::Label lblEventType{"lblEventType"};
  platform::TextBox txtEventType{"txtEventType"};
  platform::Label lblLoggingCluster{"lblLoggingCluster"};
  platform::ComboBox cboLoggingCluster{"cboLoggingCluster", platform::kComboDropDown};
  platform::CheckBox chkAutoRefresh{"chkAutoRefresh"};
  platform::Label lblRefreshInterval{"lblRefreshInterval"};
  platform::TextBox txtRefreshInterval{"txtRefreshInterval"};
  platform::UpDown updnRefreshInterval{"updnRefreshInterval"};
  platform::Frame Frame2{"Frame2"};
  platform::Label lblFont{"lblFont"}, lblBackColor{"lblBackColor"}, lblForeColor{"lblForeColor"};
  std::unique_ptr<platform::CommandButton> btnFont, btnBackColor, btnForeColor;
  platform::CheckBox chkDisplayStatusBar{"chkDisplayStatusBar"};

  // The page's font (the control's own object) and colours.
  const std::shared_ptr<platform::StdFont>& font() const { return font_; }
  int32_t fore_color() const { return fore_color_; }
  int32_t back_color() const { return back_color_; }

 private:
  void Load();
  void FillLoggingClusters(const std::string& name);
  void UpdateEnabling();
  void IntervalChanged();
  void ChooseColor(int32_t& color);
  void ChooseFont();
  void MarkChangedUnlessLoading();

  std::shared_ptr<control::TabuloCtl> ctl_;
  std::shared_ptr<platform::StdFont> font_;
  int32_t fore_color_ = 0;
  int32_t back_color_ = 0;
  bool load_pending_ = false;
  bool loading_ = false;
};

}  // namespace tabulo::pages
