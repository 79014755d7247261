// The general page (usr_control_properties.h).
#include "pages/usr_control_properties.h"

#include <cmath>
#include <functional>
#include <initializer_list>

#include "control/tabulo_ctl.h"
#include "localization/page_switch.h"
#include "pages/page_support.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::pages {
namespace {

using platform::ComError;
using platform::Variant;

constexpr int32_t kMaxInterval = 2147483647;
constexpr double kScreenPixelsPerInch = 96;

void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (const ComError&) {
  }
}

int16_t Tick(bool v) {
  return v ? platform::kChecked : platform::kUnchecked;
}

}  // namespace

UsrControlProperties::UsrControlProperties(platform::Container& site)
    : PropertyPage("UsrControlProperties", site) {
  platform::EventLoop& loop = site.event_loop();
  btnFont = std::make_unique<platform::CommandButton>("btnFont", loop);
  btnBackColor = std::make_unique<platform::CommandButton>("btnBackColor", loop);
  btnForeColor = std::make_unique<platform::CommandButton>("btnForeColor", loop);
  for (auto* b : {btnFont.get(), btnBackColor.get(), btnForeColor.get()}) b->set_caption("...");
  txtEventType.set_max_length(16);
  txtEventType.set_text("dbUpdate");
  cboLoggingCluster.set_text(control::kDefaultLoggingCluster);
  updnRefreshInterval.set_max(kMaxInterval);
  for (platform::Widget* w : std::initializer_list<platform::Widget*>{&frmGridProperties,
                                                                      &chkAllowUpdate,
                                                                      &chkConfirmUpdate,
                                                                      &chkLogChanges,
                                                                      &lblEventType,
                                                                      &txtEventType,
                                                                      &lblLoggingCluster,
                                                                      &cboLoggingCluster,
                                                                      &chkAutoRefresh,
                                                                      &lblRefreshInterval,
                                                                      &txtRefreshInterval,
                                                                      &updnRefreshInterval,
                                                                      &Frame2,
                                                                      &lblFont,
                                                                      btnFont.get(),
                                                                      &lblBackColor,
                                                                      btnBackColor.get(),
                                                                      &lblForeColor,
                                                                      btnForeColor.get(),
                                                                      &chkDisplayStatusBar})
    AddWidget(*w);
  Arrange(
      {{&frmGridProperties, 120, 60, 6660, 2220},  {&chkAllowUpdate, 240, 330, 3720, 285},
       {&chkConfirmUpdate, 240, 660, 3720, 285},   {&chkLogChanges, 240, 990, 3720, 285},
       {&lblEventType, 480, 1380, 1560, 240},      {&txtEventType, 2100, 1350, 1860, 285},
       {&lblLoggingCluster, 480, 1740, 1560, 240}, {&cboLoggingCluster, 2100, 1710, 2400, 315},
       {&chkAutoRefresh, 4560, 330, 2100, 285},    {&lblRefreshInterval, 4800, 690, 1860, 240},
       {&txtRefreshInterval, 4800, 960, 960, 285}, {&updnRefreshInterval, 5760, 960, 255, 285},
       {&Frame2, 120, 2400, 6660, 1500},           {&lblFont, 240, 2730, 1800, 240},
       {btnFont.get(), 2100, 2700, 480, 285},      {&lblBackColor, 240, 3090, 1800, 240},
       {btnBackColor.get(), 2100, 3060, 480, 285}, {&lblForeColor, 240, 3450, 1800, 240},
       {btnForeColor.get(), 2100, 3420, 480, 285}, {&chkDisplayStatusBar, 120, 4080, 3720, 285}});

  for (platform::CheckBox* c : {&chkAllowUpdate, &chkLogChanges})
    c->on_click = [this] {
      UpdateEnabling();
      MarkChangedUnlessLoading();
    };
  chkAutoRefresh.on_click = [this] {
    UpdateEnabling();
    if (Ticked(chkAutoRefresh.value())) txtRefreshInterval.SetFocus();
    MarkChangedUnlessLoading();
  };
  for (platform::CheckBox* c : {&chkConfirmUpdate, &chkDisplayStatusBar})
    c->on_click = [this] { MarkChangedUnlessLoading(); };
  txtRefreshInterval.on_key_press = [](int16_t& key) {
    if (key < '0' || key > '9') key = 0;
  };
  txtRefreshInterval.on_change = [this] { IntervalChanged(); };
  updnRefreshInterval.on_change = [this] {
    txtRefreshInterval.set_text(std::to_string(updnRefreshInterval.value()));
  };
  btnBackColor->on_click = [this] { ChooseColor(back_color_); };
  btnForeColor->on_click = [this] { ChooseColor(fore_color_); };
  btnFont->on_click = [this] { ChooseFont(); };
}

void UsrControlProperties::Initialize() {
  set_caption(PageText(*this, 1135));
  frmGridProperties.set_caption(PageText(*this, 1144));
  chkAllowUpdate.set_caption(PageText(*this, 1085));
  chkConfirmUpdate.set_caption(PageText(*this, 1076));
  chkLogChanges.set_caption(PageText(*this, 1175));
  lblEventType.set_caption(PageText(*this, 1177));
  lblLoggingCluster.set_caption(PageText(*this, 1176));
  chkAutoRefresh.set_caption(PageText(*this, 1072));
  lblRefreshInterval.set_caption(PageText(*this, 1088));
  Frame2.set_caption(PageText(*this, 1082));
  lblFont.set_caption(PageText(*this, 1080));
  lblBackColor.set_caption(PageText(*this, 1079));
  lblForeColor.set_caption(PageText(*this, 1081));
  chkDisplayStatusBar.set_caption(PageText(*this, 1172));
  load_pending_ = true;
}

void UsrControlProperties::Paint() {
  localization::ApplyOnPageSwitch(localization::SharedLocalization(site()), site().event_loop(), 0);
  ctl_ = EditedControl(*this);
  if (!load_pending_ || !ctl_) return;
  load_pending_ = false;
  loading_ = true;
  Load();
  loading_ = false;
}

void UsrControlProperties::Load() {
  control::TabuloCtl& c = *ctl_;
  Step([&] {
    font_ = c.Font();
    fore_color_ = c.ForeColor();
    back_color_ = c.BackColor();
  });
  Step([&] {
    chkAllowUpdate.set_value(Tick(c.AllowUpdates()));
    chkConfirmUpdate.set_enabled(c.AllowUpdates());
  });
  Step([&] {
    chkLogChanges.set_value(Tick(c.LogEvent));
    txtEventType.set_text(c.LogEventType);
  });
  Step([&] { FillLoggingClusters(c.LoggingClusterName); });
  Step([&] {
    chkConfirmUpdate.set_value(Tick(c.ConfirmUpdates()));
    chkAutoRefresh.set_value(Tick(c.AutoRefresh()));
    chkDisplayStatusBar.set_value(Tick(c.ShowStatusBar()));
  });
  Step([&] {
    for (platform::Widget* w : std::initializer_list<platform::Widget*>{
             &txtRefreshInterval, &lblRefreshInterval, &updnRefreshInterval})
      w->set_enabled(c.AutoRefresh());
  });
  Step([&] {
    txtRefreshInterval.set_text(
        platform::CStr(Variant(c.RefreshInterval() / 1000), site().UserLocale()));
  });
  UpdateEnabling();
}

void UsrControlProperties::FillLoggingClusters(const std::string& name) {
  ctl_->OutputDebug("FillCboLoggingCluster(" + name + ")");
  bool data_table_servers = false;
  Variant names;
  const int16_t n = ctl_->GetClusterNames(data_table_servers, names);
  if (!ctl_->GetAssociatedLoggingClusterName().empty())
    cboLoggingCluster.AddItem(control::kDefaultLoggingCluster);
  bool found = false;
  for (int16_t i = 0; i < n; ++i) {
    const std::string cluster = names.AsArray().At(i).AsString();
    cboLoggingCluster.AddItem(cluster);
    if (cluster != name) continue;
    cboLoggingCluster.set_list_index(cboLoggingCluster.list_count() - 1);
    found = true;
  }
  if (found) return;
  ctl_->OutputDebug("bFound=False");
  if (cboLoggingCluster.list_count() > 0) cboLoggingCluster.set_list_index(0);
}

void UsrControlProperties::UpdateEnabling() {
  const bool updates = Ticked(chkAllowUpdate.value());
  const bool logging = updates && Ticked(chkLogChanges.value());
  const bool refresh = Ticked(chkAutoRefresh.value());
  chkConfirmUpdate.set_enabled(updates);
  chkLogChanges.set_enabled(updates);
  for (platform::Widget* w : std::initializer_list<platform::Widget*>{
           &txtEventType, &lblEventType, &cboLoggingCluster, &lblLoggingCluster})
    w->set_enabled(logging);
  for (platform::Widget* w : std::initializer_list<platform::Widget*>{
           &txtRefreshInterval, &lblRefreshInterval, &updnRefreshInterval})
    w->set_enabled(refresh);
  txtEventType.set_back_color(FieldColor(logging));
  cboLoggingCluster.set_back_color(FieldColor(logging));
  txtRefreshInterval.set_back_color(FieldColor(refresh));
  MarkChangedUnlessLoading();
}

void UsrControlProperties::IntervalChanged() {
  const std::string text = txtRefreshInterval.text();
  if (text.empty()) {
    txtRefreshInterval.set_text("0");
    return;
  }
  try {
    updnRefreshInterval.set_value(platform::CLng(Variant(text), site().UserLocale()));
    txtRefreshInterval.set_text(std::to_string(updnRefreshInterval.value()));
  } catch (const ComError& e) {
    txtRefreshInterval.set_text(e.number() == platform::kErrOverflow ? "2147483647" : "0");
  }
  MarkChangedUnlessLoading();
}

void UsrControlProperties::ChooseColor(int32_t& color) {
  try {
    if (std::optional<int32_t> chosen = site().ChooseColor(color)) color = *chosen;
  } catch (const ComError&) {
  }
  SetChanged(true);
}

void UsrControlProperties::ChooseFont() {
  try {
    if (!font_) throw ComError::ObjectNotSet("UsrControlProperties");
    platform::LogFontRecord record;
    record.height =
        -static_cast<int32_t>(platform::RoundHalfEven(font_->size() * kScreenPixelsPerInch / 72));
    record.weight = font_->weight();
    record.italic = font_->italic() ? 1 : 0;
    record.underline = font_->underline() ? 1 : 0;
    record.strike_out = font_->strikethrough() ? 1 : 0;
    record.charset = font_->charset();
    record.face_name = font_->name().substr(0, 31);
    record.point_size = static_cast<int32_t>(platform::RoundHalfEven(font_->size() * 10));
    if (site().ChooseFontW(record)) {
      font_->SetWeight(record.weight);
      font_->SetBold(record.weight >= platform::StdFont::kWeightBold);
      // The chooser reports a set flag as any non-zero value.
      font_->SetItalic(record.italic != 0);
      font_->SetUnderline(record.underline != 0);
      font_->SetStrikethrough(record.strike_out != 0);
      font_->SetName(record.face_name.substr(0, record.face_name.find('\0')));
      font_->SetSize(record.point_size / 10.0);
      font_->SetCharset(record.charset);
    }
  } catch (const ComError&) {
  }
  SetChanged(true);
}

void UsrControlProperties::ApplyChanges() {
  if (!ctl_) ctl_ = EditedControl(*this);
  if (!ctl_) return;
  control::TabuloCtl& c = *ctl_;
  c.OutputDebug("UsrControlProperties.ApplyChanges()");
  Step([&] { c.UserModeSet(); });
  Step([&] { c.SetFont(font_); });
  Step([&] { c.SetForeColor(fore_color_); });
  Step([&] { c.SetBackColor(back_color_); });
  Step([&] { c.SetAllowUpdates(Ticked(chkAllowUpdate.value())); });
  Step([&] { c.SetConfirmUpdates(Ticked(chkConfirmUpdate.value())); });
  Step([&] { c.LogEvent = Ticked(chkLogChanges.value()); });
  Step([&] { c.LogEventType = txtEventType.text(); });
  Step([&] { c.LoggingClusterName = cboLoggingCluster.text(); });
  Step([&] { c.SetAutoRefresh(Ticked(chkAutoRefresh.value())); });
  Step([&] { c.SetShowStatusBar(Ticked(chkDisplayStatusBar.value())); });
  // In milliseconds as a double: the largest interval fits without overflow.
  Step([&] { c.SetRefreshInterval(static_cast<double>(updnRefreshInterval.value()) * 1000.0); });
  SetChanged(false);
}

void UsrControlProperties::MarkChangedUnlessLoading() {
  if (!loading_) SetChanged(true);
}

}  // namespace tabulo::pages
