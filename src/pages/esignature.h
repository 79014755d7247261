// eSignature: the page of the electronic-signature settings. It reads the control's eight
// signature properties on its first paint, lists the reason categories of the host's
// security manager, keeps the dependent fields enabled as the settings require, checks the
// command levels as they are typed, and writes the eight properties back when applied.
#pragma once

#include <memory>
#include <string>

#include "control/tabulo_ctl.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/property_page.h"
#include "platform/widgets/text_box.h"

namespace tabulo::pages {

class eSignature : public platform::PropertyPage {
 public:
  explicit eSignature(platform::Container& site);

  void Initialize() override;
  void Paint() override;
  void ApplyChanges() override;

  platform::Frame frm1{"frm1"}, frm2{"frm2"}, frm3{"frm3"};
  platform::CheckBox chkESignatureRequired{"chkESignatureRequired"},
      chkDualSignatureRequired{"chkDualSignatureRequired"},
      chkESignatureReasonCodeRequired{"chkESignatureReasonCodeRequired"},
      chkAllowUserEnteredReasonCode{"chkAllowUserEnteredReasonCode"};
  platform::Label lblESignaturePrompt{"lblESignaturePrompt"},
      lblReasonCategory{"lblReasonCategory"}, lblCommandLevel1{"lblCommandLevel1"},
      lblCommandLevel2{"lblCommandLevel2"};
  platform::TextBox txtESignaturePrompt{"txtESignaturePrompt"},
      txtCommandLevel1{"txtCommandLevel1"}, txtCommandLevel2{"txtCommandLevel2"};
  platform::ComboBox cboReasonCategory{"cboReasonCategory", platform::kComboDropDownList};

 private:
  void Load();
  void FillReasonCategories();
  void UpdateEnabledState();
  void LevelCheck(const platform::TextBox& box);
  void MarkChangedUnlessLoading();
  // The level a box holds: -1 when empty; raises for a text that is not a 16-bit number.
  int32_t LevelOf(const platform::TextBox& box);

  std::shared_ptr<control::TabuloCtl> m_oControl;
  bool m_bFirstPaint = false;
  bool m_bLoading = false;
};

}  // namespace tabulo::pages
