// The eSignature page (esignature.h).
#include "pages/esignature.h"

#include <functional>

#include "localization/page_switch.h"
#include "pages/page_support.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::pages {
namespace {

using platform::ComError;
using platform::Variant;

constexpr char kLevelMessage[] = "Command Level must be between 0 and 63";

// Runs one step; a failed step is left out and the next one runs.
void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (const ComError&) {
  }
}

}  // namespace

eSignature::eSignature(platform::Container& site) : PropertyPage("eSignature", site) {
  for (platform::Widget* w : std::initializer_list<platform::Widget*>{
           &frm1, &chkESignatureRequired, &chkDualSignatureRequired, &lblESignaturePrompt,
           &txtESignaturePrompt, &frm2, &chkESignatureReasonCodeRequired,
           &chkAllowUserEnteredReasonCode, &lblReasonCategory, &cboReasonCategory, &frm3,
           &lblCommandLevel1, &txtCommandLevel1, &lblCommandLevel2, &txtCommandLevel2})
    AddWidget(*w);
  Arrange({{&frm1, 120, 60, 6660, 1680},
           {&chkESignatureRequired, 240, 360, 4800, 285},
           {&chkDualSignatureRequired, 240, 690, 4800, 285},
           {&lblESignaturePrompt, 240, 1110, 2100, 240},
           {&txtESignaturePrompt, 2400, 1080, 4260, 285},
           {&frm2, 120, 1860, 6660, 1440},
           {&chkESignatureReasonCodeRequired, 240, 2160, 4800, 285},
           {&chkAllowUserEnteredReasonCode, 240, 2490, 4800, 285},
           {&lblReasonCategory, 240, 2880, 2100, 240},
           {&cboReasonCategory, 2400, 2850, 3000, 315},
           {&frm3, 120, 3420, 6660, 900},
           {&lblCommandLevel1, 240, 3780, 2160, 240},
           {&txtCommandLevel1, 2460, 3750, 720, 285},
           {&lblCommandLevel2, 3540, 3780, 2160, 240},
           {&txtCommandLevel2, 5760, 3750, 720, 285}});
  for (platform::CheckBox* c :
       {&chkESignatureRequired, &chkDualSignatureRequired, &chkESignatureReasonCodeRequired})
    c->on_click = [this] {
      UpdateEnabledState();
      MarkChangedUnlessLoading();
    };
  chkAllowUserEnteredReasonCode.on_click = [this] { MarkChangedUnlessLoading(); };
  cboReasonCategory.on_click = [this] { MarkChangedUnlessLoading(); };
  txtESignaturePrompt.on_change = [this] { MarkChangedUnlessLoading(); };
  for (platform::TextBox* t : {&txtCommandLevel1, &txtCommandLevel2})
    t->on_change = [this, t] {
      MarkChangedUnlessLoading();
      LevelCheck(*t);
    };
}

void eSignature::Initialize() {
  set_caption(PageText(*this, 1210));
  frm1.set_caption(PageText(*this, 1211));
  chkESignatureRequired.set_caption(PageText(*this, 1212));
  chkDualSignatureRequired.set_caption(PageText(*this, 1213));
  lblESignaturePrompt.set_caption(PageText(*this, 1214));
  frm2.set_caption(PageText(*this, 1215));
  chkAllowUserEnteredReasonCode.set_caption(PageText(*this, 1216));
  chkESignatureReasonCodeRequired.set_caption(PageText(*this, 1217));
  lblReasonCategory.set_caption(PageText(*this, 1218));
  frm3.set_caption(PageText(*this, 1219));
  lblCommandLevel2.set_caption(PageText(*this, 1220));
  lblCommandLevel1.set_caption(PageText(*this, 1221));
  m_bLoading = false;
  m_bFirstPaint = true;
}

void eSignature::Paint() {
  localization::ApplyOnPageSwitch(localization::SharedLocalization(site()), site().event_loop(), 0);
  m_oControl = EditedControl(*this);
  if (!m_bFirstPaint || !m_oControl) return;
  m_bFirstPaint = false;
  m_bLoading = true;
  Load();
  m_bLoading = false;
}

void eSignature::Load() {
  control::TabuloCtl& c = *m_oControl;
  chkESignatureRequired.set_value(c.ESignatureRequired ? 1 : 0);
  chkDualSignatureRequired.set_value(c.ESignatureDualSignatureRequired ? 1 : 0);
  chkESignatureReasonCodeRequired.set_value(c.ESignatureReasonCodeRequired ? 1 : 0);
  chkAllowUserEnteredReasonCode.set_value(c.ESignatureAllowUserEnteredReasonCode ? 1 : 0);
  txtESignaturePrompt.set_text(c.ESignaturePrompt);
  auto level_text = [](int32_t level) { return level < 0 ? "" : std::to_string(level); };
  txtCommandLevel1.set_text(level_text(c.ESignature1CommandLevel));
  txtCommandLevel2.set_text(level_text(c.ESignature2CommandLevel));
  UpdateEnabledState();
  FillReasonCategories();
}

void eSignature::FillReasonCategories() {
  try {
    std::shared_ptr<platform::Dispatch> manager = m_oControl->Get("m_SecMgr").AsObject();
    if (!manager) throw ComError::ObjectNotSet("eSignature");
    std::vector<Variant> none;
    Variant categories = manager->Invoke(manager->GetIdOfName("GetReasonCategories"),
                                         platform::InvokeKind::Method, none);
    const platform::SafeArray& a = categories.AsArray();
    m_oControl->OutputDebug("Num ReasonCategories = " +
                            std::to_string(a.UBound(1) - a.LBound(1) + 1));
    const platform::Locale& loc = site().UserLocale();
    for (int32_t i = a.LBound(1); i <= a.UBound(1); ++i)
      cboReasonCategory.AddItem(platform::CStr(a.At(i), loc));
    for (int32_t i = 0; i < cboReasonCategory.list_count(); ++i)
      if (cboReasonCategory.list(i) == m_oControl->ESignatureReasonCategory)
        cboReasonCategory.set_list_index(i);
  } catch (const ComError& e) {
    // The rest of the page stays usable; the designer learns why the list is empty.
    m_oControl->OutputDebug("ReasonCategories unavailable: " + e.description());
    site().MsgBox(
        "The reason categories could not be read from the security manager: " + e.description(),
        platform::kMbExclamation, "");
  }
}

void eSignature::UpdateEnabledState() {
  const bool signature = Ticked(chkESignatureRequired.value());
  const bool dual = signature && Ticked(chkDualSignatureRequired.value());
  const bool reason = signature && Ticked(chkESignatureReasonCodeRequired.value());
  for (platform::Widget* w : std::initializer_list<platform::Widget*>{
           &chkDualSignatureRequired, &txtESignaturePrompt, &lblESignaturePrompt, &frm2,
           &chkESignatureReasonCodeRequired, &frm3, &txtCommandLevel1, &lblCommandLevel1})
    w->set_enabled(signature);
  for (platform::Widget* w : std::initializer_list<platform::Widget*>{
           &chkAllowUserEnteredReasonCode, &cboReasonCategory, &lblReasonCategory})
    w->set_enabled(reason);
  txtCommandLevel2.set_enabled(dual);
  lblCommandLevel2.set_enabled(dual);
  txtESignaturePrompt.set_back_color(FieldColor(signature));
  cboReasonCategory.set_back_color(FieldColor(reason));
  txtCommandLevel1.set_back_color(FieldColor(signature));
  txtCommandLevel2.set_back_color(FieldColor(dual));
}

void eSignature::LevelCheck(const platform::TextBox& box) {
  const std::string text = platform::Trim(box.text());
  if (text.empty()) return;
  double value = 0;
  try {
    value = platform::RoundHalfEven(platform::CDbl(Variant(text), site().UserLocale()));
  } catch (const ComError&) {
    // Not a number (a lone minus sign while typing one): applying leaves the level as it was.
    return;
  }
  if (value < 0 || value > 63) site().MsgBox(kLevelMessage, platform::kMbOkOnly, "");
}

int32_t eSignature::LevelOf(const platform::TextBox& box) {
  const std::string text = platform::Trim(box.text());
  if (text.empty()) return -1;
  return platform::CInt(Variant(text), site().UserLocale());
}

void eSignature::ApplyChanges() {
  if (!m_oControl) m_oControl = EditedControl(*this);
  if (!m_oControl) return;
  control::TabuloCtl& c = *m_oControl;
  c.ESignatureRequired = Ticked(chkESignatureRequired.value());
  c.ESignatureDualSignatureRequired = Ticked(chkDualSignatureRequired.value());
  c.ESignatureReasonCodeRequired = Ticked(chkESignatureReasonCodeRequired.value());
  c.ESignatureAllowUserEnteredReasonCode = Ticked(chkAllowUserEnteredReasonCode.value());
  // A stored category the list does not offer (no security manager here) stays stored.
  if (cboReasonCategory.list_index() >= 0) c.ESignatureReasonCategory = cboReasonCategory.text();
  c.ESignaturePrompt = txtESignaturePrompt.text();
  Step([&] { c.ESignature1CommandLevel = LevelOf(txtCommandLevel1); });
  Step([&] { c.ESignature2CommandLevel = LevelOf(txtCommandLevel2); });
  SetChanged(false);
}

void eSignature::MarkChangedUnlessLoading() {
  if (!m_bLoading) SetChanged(true);
}

}  // namespace tabulo::pages
