// The control's life in its container: creation, the new-instance values, show, the
// ambient change between design and run mode, the host's site and language, the end.
#include <algorithm>
#include <iterator>
#include <string_view>

#include "control/tabulo_ctl.h"
#include "localization/localized_string.h"
#include "localization/state.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::control {

localization::LocalizationState& TabuloCtl::shared_localization() const {
  return localization::SharedLocalization(site_);
}

using platform::ComError;

namespace {

// The characters of the ANSI code page (Windows-1252) above Latin-1's control range 0x80-0x9F.
constexpr char32_t kAnsiExtras[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x017D, 0x2018,
                                    0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
                                    0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};

char32_t DecodeUtf8(std::string_view piece) {
  const auto b = [&](size_t k) {
    return static_cast<char32_t>(static_cast<unsigned char>(piece[k]));
  };
  switch (piece.size()) {
    case 2:
      return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3:
      return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default:
      return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
  }
}

// The text as the ANSI debug output receives it: what the code page cannot hold becomes "?".
std::string AnsiText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t next = platform::Utf8Next(text, i);
    const std::string_view piece = text.substr(i, next - i);
    bool keep = false;
    if (piece.size() == 1) {
      keep = static_cast<unsigned char>(piece[0]) < 0x80;
    } else {
      const char32_t cp = DecodeUtf8(piece);
      keep = (cp >= 0xA0 && cp <= 0xFF) ||
             std::find(std::begin(kAnsiExtras), std::end(kAnsiExtras), cp) != std::end(kAnsiExtras);
    }
    if (keep) {
      out += piece;
    } else {
      out += '?';
    }
    i = next;
  }
  return out;
}

}  // namespace

TabuloCtl::TabuloCtl(platform::Container& site)
    : DispatchObject("TabuloCtl"),
      Grid("Grid"),
      ScrollBar("ScrollBar"),
      sBar("sBar"),
      txtEdit("txtEdit"),
      Timer1("Timer1", site.event_loop()),
      site_(site) {
  SetCoercionLocale(site_.UserLocale());
  // The status bar starts with one panel; the control shows two.
  while (sBar.PanelCount() < 2) sBar.AddPanel();
  Grid.SetRows(1);
  Grid.SetCols(1);
  Grid.SetFixedRows(1);
  Grid.SetFixedCols(1);
  ScrollBar.on_change = [this] { ScrollBar_Change(); };
  Timer1.on_timer = [this] { Timer1_Timer(); };
  WireEditing();
  ambient_token_ =
      site_.AddAmbientListener([this](std::string_view name) { AmbientChanged(name); });
  DeclareAutomation();
  try {
    m_bNoClusterMsgShown = false;
    shared_localization().language = 1033;
    ApplyCaptions();
    txtEdit.set_visible(false);
    ScrollBar.SetSmallChange(1);
    ScrollBar.SetLargeChange(20);
    Timer1.set_enabled(false);
    m_dtNextRefresh = Now();
    m_bEditing = false;
    m_bColumnsBuilt = false;
    m_bUserModeSet = false;
    m_bShowStatusBar = true;
    LogEvent = false;
    LoggingClusterName = kDefaultLoggingCluster;
    LogEventType = "dbUpdate";
    ESignatureRequired = false;
    ESignaturePrompt.clear();
    ESignatureReasonCodeRequired = false;
    ESignatureAllowUserEnteredReasonCode = false;
    ESignatureReasonCategory.clear();
    ESignatureDualSignatureRequired = false;
    ESignature1CommandLevel = -1;
    ESignature2CommandLevel = -1;
    m_ClusterName.clear();
    m_nColCount = 0;
    m_GridColumns.assign(1, GridColumn{});
    m_nGridOrdinalColWidth = 0;
  } catch (const ComError& e) {
    MsgBox("Tabulo: " + std::to_string(e.number()) + "\r\n" + e.description(),
           platform::kMbInformation, Str(1019));
  }
}

TabuloCtl::~TabuloCtl() {
  if (!terminated_) Terminate();
  site_.RemoveAmbientListener(ambient_token_);
  ScrollBar.on_change = nullptr;
  Timer1.on_timer = nullptr;
}

void TabuloCtl::InitNew() {
  try {
    std::shared_ptr<platform::StdFont> ambient = site_.AmbientFont();
    std::shared_ptr<platform::StdFont> font =
        ambient ? ambient->Clone() : platform::StdFont::Create();
    font->SetBold(false);
    font->SetItalic(false);
    SetFont(font);
    SetBackColor(kWhite);
    SetForeColor(0);
    SetEnabled(true);
    SetDSNname("");
    SetMode(0);
    SetBackStyle(0);
    SetShowStatusBar(true);
  } catch (const ComError&) {
    // A failing notification must not stop the container from placing the control.
  }
}

void TabuloCtl::Show() {
  try {
    sBar.Panels(1).set_text(IsInHost() ? Str(1157) : Str(1158));
  } catch (const ComError&) {
  }
  try {
    ConnectDataServer();
  } catch (const ComError&) {
  }
  try {
    SetServerStatusBarPanel();
  } catch (const ComError&) {
  }
}

void TabuloCtl::Resize(double width, double height) {
  m_dScaleWidth = std::max(0.0, width);
  m_dScaleHeight = std::max(0.0, height);
  Layout();
}

void TabuloCtl::AmbientChanged(std::string_view name) {
  if (name != "UserMode") return;
  try {
    m_bUserModeSet = true;
    Timer1.set_enabled(false);
    ConnectDataServer();
    m_lFirstRow = 0;
    ScrollBar.SetValue(0);
    if (site_.AmbientUserMode()) {
      SetupGrid(false);
      m_dtNextRefresh = Now();
      Timer1.set_interval(250);
      Timer1.set_enabled(true);
    } else {
      CaptureColumnWidths();
    }
  } catch (const ComError& e) {
    OutputDebug("AmbientChanged - " + e.description());
  }
}

void TabuloCtl::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  try {
    Timer1.set_enabled(false);
  } catch (const ComError&) {
  }
  try {
    if (m_rs && m_rs->State() == 1) m_rs->Close();
  } catch (const ComError&) {
  }
  m_rs.reset();
  // An ended control no longer follows the cluster: a later change of the active server
  // must not reconnect the process on its behalf.
  m_Mgr.reset();
  // The shared reference is emptied for every control of the process.
  shared_host().data_server.reset();
}

void TabuloCtl::SetControlSite(int32_t, std::shared_ptr<host::ControlSite> pControlSite, int32_t,
                               int32_t, int16_t, const std::string&) {
  try {
    if (!pControlSite) throw ComError::ObjectNotSet();
    m_SecMgr = pControlSite->GetService(host::kServiceSecurityManager);
    shared_host().in_host = true;
  } catch (const ComError&) {
    m_SecMgr.reset();
  }
}

void TabuloCtl::OnLanguageChange(int32_t lcid) {
  shared_localization().language = (lcid == 1031 || lcid == 1033 || lcid == 1036) ? lcid : 1033;
  ApplyCaptions();
  Refresh(false);
}

void TabuloCtl::UserModeSet() {
  m_bUserModeSet = true;
}

void TabuloCtl::OutputDebug(const std::string& msg) {
  site_.OutputDebugString(AnsiText("Tabulo: " + msg + "\r\n"));
}

bool TabuloCtl::IsInHost() const {
  if (shared_host().in_host) return true;
  try {
    // The module name is read into a buffer of 100 characters, as the host test always has.
    std::string module = platform::Utf8Left(site_.ModuleFileName(), 99);
    return platform::InStr(1, platform::UCase(module), "PANEL STUDIO") > 0;
  } catch (const ComError&) {
    return false;
  }
}

void TabuloCtl::ApplyCaptions() {
  mnuPopupCaption = Str(1059);
  mnuRefreshCaption = Str(1060);
  SetServerStatusBarPanel();
}

void TabuloCtl::Notify(Prop p) {
  site_.PropertyChanged(PropertyTable::Key(PropertyTable::Row(p)));
}

int TabuloCtl::MsgBox(const std::string& text, int32_t style, const std::string& title) {
  return site_.MsgBox(text, style, title);
}

std::string TabuloCtl::Str(int32_t id) {
  return localization::GetLocalizedString(shared_localization(), "Tabulo", id,
                                          shared_localization().language);
}

double TabuloCtl::Now() const {
  return site_.clock().NowDate();
}

}  // namespace tabulo::control
