// The plain properties of the control: store, apply to the widgets, and report the change to
// the container where the property is persisted.
#include "control/tabulo_ctl.h"
#include "localization/localized_string.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

void TabuloCtl::SetDSNname(const std::string& New_DSNname) {
  try {
    m_DSNname = New_DSNname;
    Notify(Prop::DSNname);
  } catch (const ComError& e) {
    std::string text = localization::GetLocalizedString(
        shared_localization(), "Tabulo", 1128, shared_localization().language,
        {Variant("\r\n"), Variant(e.description())}, site_.UserLocale());
    MsgBox("Tabulo: " + text, platform::kMbCritical, Str(1034));
  }
}

void TabuloCtl::SetDatabase(const std::string& New_Database) {
  m_Database = New_Database;
  m_bColumnsBuilt = false;
  Notify(Prop::Database);
}

void TabuloCtl::SetUser(const std::string& New_User) {
  m_User = New_User;
  m_bColumnsBuilt = false;
  Notify(Prop::User);
}

void TabuloCtl::SetPassword(const std::string& New_Password) {
  m_Password = New_Password;
  m_bColumnsBuilt = false;
  Notify(Prop::Password);
}

void TabuloCtl::SetServerType(int16_t New_ServerType) {
  m_nServerType = New_ServerType;
  // The data server learns the new type at once, even at design time.
  ConnectDataServer();
}

void TabuloCtl::SetMode(int32_t New_Mode) {
  m_lMode = New_Mode;
  Notify(Prop::Mode);
}

void TabuloCtl::SetRecordSource(const std::string& New_RecordSource) {
  m_RecordSource = New_RecordSource;
  m_bColumnsBuilt = false;
  Notify(Prop::RecordSource);
}

void TabuloCtl::SetDataTable(const std::string& New_DataTable) {
  if (platform::Trim(New_DataTable) == platform::Trim(m_DataTable)) return;
  m_DataTable = New_DataTable;
  m_bTableChanged = true;
  Notify(Prop::DataTable);
}

void TabuloCtl::SetEnabled(bool New_Enabled) {
  m_bEnabled = New_Enabled;
  Grid.SetEnabled(New_Enabled);
  Notify(Prop::Enabled);
}

bool TabuloCtl::Visible() const {
  return Grid.visible();
}

void TabuloCtl::SetVisible(bool New_Visible) {
  Grid.set_visible(New_Visible);
}

void TabuloCtl::SetAllowUpdates(bool v) {
  m_bAllowUpdates = v;
  Notify(Prop::AllowUpdates);
}

void TabuloCtl::SetConfirmUpdates(bool v) {
  m_bConfirmUpdates = v;
  Notify(Prop::ConfirmUpdates);
}

void TabuloCtl::SetAutoRefresh(bool v) {
  m_bAutoRefresh = v;
  Timer1.set_enabled(v);
  Notify(Prop::AutoRefresh);
}

void TabuloCtl::SetRefreshInterval(double v) {
  m_dRefreshInterval = v;
  m_dtNextRefresh = Now();
  Notify(Prop::RefreshInterval);
}

void TabuloCtl::SetShowStatusBar(bool v) {
  m_bShowStatusBar = v;
  Layout();
  Notify(Prop::ShowStatusBar);
}

void TabuloCtl::SetBackStyle(int16_t v) {
  m_nBackStyle = v;
  Notify(Prop::BackStyle);
}

int32_t TabuloCtl::BackColor() const {
  return Grid.BackColor();
}

void TabuloCtl::SetBackColor(int32_t v) {
  Grid.SetBackColor(v);
  m_lBackColor = v;
  Notify(Prop::BackColor);
}

int32_t TabuloCtl::ForeColor() const {
  return Grid.ForeColor();
}

void TabuloCtl::SetForeColor(int32_t v) {
  Grid.SetForeColor(v);
  m_lForeColor = v;
  Notify(Prop::ForeColor);
}

void TabuloCtl::SetFont(std::shared_ptr<platform::StdFont> font) {
  if (!font) throw ComError::ObjectNotSet("TabuloCtl");
  // The font object itself is taken, not a copy: it is assigned by reference.
  m_Font = std::move(font);
  Grid.SetFont(
      platform::TextFont{m_Font->name(), m_Font->size(), m_Font->bold(), m_Font->italic()});
  Notify(Prop::Font);
}

void TabuloCtl::SetLargeChange(int32_t v) {
  if (v < ScrollBar.SmallChange()) {
    // The box is titled with the property's name.
    MsgBox("LargeChange should be greater than Small Change", platform::kMbCritical,
           PropertyTable::Row(Prop::LargeChange).name);
    return;
  }
  ScrollBar.SetLargeChange(v);
}

void TabuloCtl::SetSmallChange(int32_t v) {
  if (v > ScrollBar.LargeChange()) {
    MsgBox("SmallChange should be less than Large Change", platform::kMbCritical,
           PropertyTable::Row(Prop::SmallChange).name);
    return;
  }
  ScrollBar.SetSmallChange(v);
}

int32_t TabuloCtl::NumberRows() const {
  try {
    if (!m_rs) return 0;
    int64_t n = m_rs->RecordCount();
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
  } catch (const ComError&) {
    return 0;
  }
}

int32_t TabuloCtl::NumberColumns() const {
  try {
    return m_rs ? m_rs->FieldCount() : 0;
  } catch (const ComError&) {
    return 0;
  }
}

Variant TabuloCtl::GridColumns() const {
  int32_t rows = static_cast<int32_t>(m_GridColumns.size());
  platform::SafeArray a = platform::SafeArray::Matrix(rows, 6);
  for (int32_t i = 0; i < rows; ++i) {
    const GridColumn& c = m_GridColumns[static_cast<size_t>(i)];
    a.At(i, 0) = Variant(c.Name);
    a.At(i, 1) = Variant(c.Visible);
    a.At(i, 2) = Variant(c.Caption);
    a.At(i, 3) = Variant(c.Width);
    a.At(i, 4) = Variant(c.Unique);
  }
  return Variant(std::move(a));
}

void TabuloCtl::SetGridArray(const Variant& value) {
  // The old list is discarded first; an array that cannot be taken leaves the empty list
  // (the spare entry only), never a count without its descriptors.
  m_nColCount = 0;
  m_GridColumns.assign(1, GridColumn{});
  if (value.IsArray()) {
    const platform::SafeArray& a = value.AsArray();
    int32_t upper = a.UBound(1);
    if (upper < 0) throw ComError::SubscriptOutOfRange("TabuloCtl");
    if (upper > INT16_MAX) throw ComError::Overflow("TabuloCtl");
    m_nColCount = static_cast<int16_t>(upper);
    m_GridColumns.assign(static_cast<size_t>(m_nColCount) + 1, GridColumn{});
    const platform::Locale& loc = site_.UserLocale();
    for (int32_t i = 0; i < m_nColCount; ++i) {
      // Entries copied before a failing one stay; the error reaches the caller.
      GridColumn& c = m_GridColumns[static_cast<size_t>(i)];
      c.Name = platform::CStr(a.At(i, 0), loc);
      c.Visible = platform::CBool(a.At(i, 1), loc);
      c.Caption = platform::CStr(a.At(i, 2), loc);
      c.Width = platform::CInt(a.At(i, 3), loc);
      c.Unique = platform::CBool(a.At(i, 4), loc);
    }
  } else {
    m_nColCount = 0;
    m_GridColumns.assign(1, GridColumn{});
  }
  SetupGrid(false);
  Notify(Prop::GridColumns);
}

void TabuloCtl::SetDBDateFormatString(const std::string& v) {
  m_DBDateFormatString = platform::Trim(v);
}

}  // namespace tabulo::control
