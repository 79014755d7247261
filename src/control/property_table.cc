// The property table of TabuloCtl. Rows follow the automation interface's member order; the
// order of keys in a saved bag is each row's `saved.order`.
#include "control/property_table.h"

#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "control/tabulo_ctl.h"
#include "platform/values/com_error.h"
#include "sql/connection_string.h"

namespace tabulo::control {

using platform::Variant;

namespace {

constexpr char kVersion[] = "7.6.1.0";

// A value already converted to the row's kind, taken out as the setter's parameter type.
template <typename T>
T From(const Variant& v) {
  if constexpr (std::is_same_v<T, bool>) return v.AsBoolean();
  if constexpr (std::is_same_v<T, int16_t>) return v.AsInteger();
  if constexpr (std::is_same_v<T, int32_t>) return v.AsLong();
  if constexpr (std::is_same_v<T, double>) return v.AsDouble();
  if constexpr (std::is_same_v<T, std::string>) return v.AsString();
  if constexpr (std::is_same_v<T, Variant>) return v;
}

template <typename>
struct ParamOf;
template <typename A>
struct ParamOf<void (TabuloCtl::*)(A)> {
  using type = std::remove_cvref_t<A>;
};

// Accessors from member pointers: a getter and setter pair, or a field.
template <auto G>
Variant Get(TabuloCtl& c) {
  return Variant((c.*G)());
}
template <auto S>
void Set(TabuloCtl& c, const Variant& v) {
  (c.*S)(From<typename ParamOf<decltype(S)>::type>(v));
}
template <auto F>
Variant GetField(TabuloCtl& c) {
  return Variant(c.*F);
}
template <auto F>
void SetField(TabuloCtl& c, const Variant& v) {
  c.*F = From<std::remove_cvref_t<decltype(c.*F)>>(v);
}

}  // namespace

std::span<const PropertyRow> PropertyTable::Rows() {
  using enum ValueKind;
  using enum Declared;
  using enum Loaded;
  using C = TabuloCtl;
  constexpr platform::DispId kSavedOnly = platform::kDispIdUnknown;
  static constexpr PropertyRow kRows[] = {
      {Prop::SecMgr, "m_SecMgr", 0x40030020, AsIs, GetSetRef, GetField<&C::m_SecMgr>,
       [](C& c, const Variant& v) { c.m_SecMgr = v.AsObject(); }},
      {Prop::AllowUpdates, "AllowUpdates", 0x6803002C, Boolean, GetLet, Get<&C::AllowUpdates>,
       Set<&C::SetAllowUpdates>, Saved(4, false)},
      {Prop::ConnectionString, "ConnectionString", 0x6803002B, String, GetLet,
       [](C& c) {
         return Variant(sql::ComposeConnectionString(
             sql::ConnectionValues{c.DSNname(), c.Database(), c.User(), c.Password()},
             c.ServerType()));
       },
       [](C& c, const Variant& v) {
         sql::ConnectionSetters setters{[&c](const std::string& s) { c.SetDSNname(s); },
                                        [&c](const std::string& s) { c.SetUser(s); },
                                        [&c](const std::string& s) { c.SetPassword(s); },
                                        [&c](const std::string& s) { c.SetDatabase(s); }};
         sql::ApplyConnectionString(v.AsString(), setters);
       }},
      {Prop::DSNname, "DSNname", 0x6803002A, String, GetLet, Get<&C::DSNname>, Set<&C::SetDSNname>,
       Saved(5, "")},
      {Prop::Mode, "Mode", 0x68030029, Long, GetLet, Get<&C::Mode>, Set<&C::SetMode>, Saved(9, 0)},
      {Prop::Enabled, "Enabled", 0x68030028, Boolean, GetLet, Get<&C::Enabled>, Set<&C::SetEnabled>,
       Saved(2, true)},
      // A new control's empty text differs from the saving default: it is always stored.
      {Prop::RecordSource, "RecordSource", 0x68030027, String, GetLet, Get<&C::RecordSource>,
       Set<&C::SetRecordSource>, Saved(3, " ", "")},
      // Saved as its count and the Column<i> keys; three layouts are read.
      {Prop::GridColumns, "GridColumns", 0x68030026, AsIs, GetOnly, Get<&C::GridColumns>, nullptr,
       Saved(34, ColumnList, "GridColCount", "m_nColCount", "ColCount")},
      {Prop::ConfirmUpdates, "ConfirmUpdates", 0x68030025, Boolean, GetLet, Get<&C::ConfirmUpdates>,
       Set<&C::SetConfirmUpdates>, Saved(10, true)},
      {Prop::RefreshInterval, "RefreshInterval", 0x68030024, Double, GetLet,
       Get<&C::RefreshInterval>, Set<&C::SetRefreshInterval>, Saved(11, 0.0)},
      {Prop::Visible, "Visible", 0x68030023, Boolean, LetThenGet, Get<&C::Visible>,
       Set<&C::SetVisible>},
      {Prop::AutoRefresh, "AutoRefresh", 0x68030022, Boolean, GetLet, Get<&C::AutoRefresh>,
       Set<&C::SetAutoRefresh>, Saved(12, false)},
      {Prop::NumberRows, "NumberRows", 0x68030021, Long, GetOnly, Get<&C::NumberRows>, nullptr},
      {Prop::NumberColumns, "NumberColumns", 0x68030020, Long, GetOnly, Get<&C::NumberColumns>,
       nullptr},
      {Prop::Database, "Database", 0x6803001F, String, GetLet, Get<&C::Database>,
       Set<&C::SetDatabase>, Saved(6, "")},
      {Prop::ShowStatusBar, "ShowStatusBar", 0x6803001E, Boolean, GetLet, Get<&C::ShowStatusBar>,
       Set<&C::SetShowStatusBar>, Saved(19, true)},
      {Prop::User, "User", 0x6803001D, String, GetLet, Get<&C::User>, Set<&C::SetUser>,
       Saved(7, "")},
      // Loading stores the type only: the data server learns it when the control connects.
      {Prop::ServerType, "ServerType", 0x6803001C, Integer, LetThenGet, Get<&C::ServerType>,
       Set<&C::SetServerType>, Saved(36, 0), SetField<&C::m_nServerType>},
      {Prop::Password, "Password", 0x6803001B, String, GetLet, Get<&C::Password>,
       Set<&C::SetPassword>, Saved(8, "")},
      // Loading takes the name as stored, blanks included, without a notification.
      {Prop::DataTable, "DataTable", 0x6803001A, String, GetLet, Get<&C::DataTable>,
       Set<&C::SetDataTable>, Saved(37, ""), SetField<&C::m_DataTable>},
      {Prop::ActiveColumn, "ActiveColumn", 0x68030019, Long, GetOnly, Get<&C::ActiveColumn>,
       nullptr},
      {Prop::ActiveRow, "ActiveRow", 0x68030018, Long, GetOnly, Get<&C::ActiveRow>, nullptr},
      {Prop::BackColor, "BackColor", 0x68030017, Long, GetLet, Get<&C::BackColor>,
       Set<&C::SetBackColor>, Saved(13, kWhite)},
      {Prop::ForeColor, "ForeColor", 0x68030016, Long, GetLet, Get<&C::ForeColor>,
       Set<&C::SetForeColor>, Saved(14, 0)},
      // The font object itself is assigned, by reference.
      {Prop::Font, "Font", 0x68030015, AsIs, GetSetRef,
       [](C& c) { return Variant(std::static_pointer_cast<platform::Dispatch>(c.Font())); },
       [](C& c, const Variant& v) {
         auto font = std::dynamic_pointer_cast<platform::StdFont>(v.AsObject());
         if (!font) throw platform::ComError::TypeMismatch("TabuloCtl");
         c.SetFont(font);
       },
       Saved(15, DefaultValue::AmbientFont(), Font)},
      {Prop::BackStyle, "BackStyle", 0x68030014, Integer, GetLet, Get<&C::BackStyle>,
       Set<&C::SetBackStyle>, Saved(16, 0)},
      {Prop::ColIsVisibile,
       "ColIsVisibile",
       0x68030013,
       Long,
       ItemGet,
       nullptr,
       nullptr,
       {},
       nullptr,
       [](C& c, int32_t n) { return Variant(c.ColIsVisibile(n)); }},
      {Prop::ColHeader,
       "ColHeader",
       0x68030012,
       Long,
       ItemGet,
       nullptr,
       nullptr,
       {},
       nullptr,
       [](C& c, int32_t n) { return Variant(c.ColHeader(n)); }},
      {Prop::ColWidth,
       "ColWidth",
       0x68030011,
       Long,
       ItemGet,
       nullptr,
       nullptr,
       {},
       nullptr,
       [](C& c, int32_t n) { return Variant(c.ColWidth(n)); }},
      // Loading puts the scroll steps straight into the scroll bar: the control's check of one
      // against the other would refuse a pair whose first half arrives before the second.
      {Prop::LargeChange, "LargeChange", 0x68030010, Long, GetLetByRef, Get<&C::LargeChange>,
       Set<&C::SetLargeChange>, Saved(17, 20),
       [](C& c, const Variant& v) { c.ScrollBar.SetLargeChange(v.AsLong()); }},
      {Prop::SmallChange, "SmallChange", 0x6803000F, Long, GetLetByRef, Get<&C::SmallChange>,
       Set<&C::SetSmallChange>, Saved(18, 1),
       [](C& c, const Variant& v) { c.ScrollBar.SetSmallChange(v.AsLong()); }},
      {Prop::GridArray, "GridArray", 0x6803000E, AsIs, LetOnlyByRef, nullptr,
       Set<&C::SetGridArray>},
      {Prop::DBDateFormatString, "DBDateFormatString", 0x6803000D, String, GetLetByRef,
       Get<&C::DBDateFormatString>, Set<&C::SetDBDateFormatString>, Saved(20, "")},
      {Prop::AllowAccessToHiddenColumnsInScript, "AllowAccessToHiddenColumnsInScript", 0x6803000C,
       Boolean, GetLet, GetField<&C::AllowAccessToHiddenColumnsInScript>,
       SetField<&C::AllowAccessToHiddenColumnsInScript>, Saved(21, false, LayoutMarker)},
      {Prop::ClusterName, "ClusterName", 0x6803000B, String, GetLet, Get<&C::ClusterName>,
       Set<&C::SetClusterName>, Saved(22, "")},
      {Prop::LogEvent, "LogEvent", 0x6803000A, Boolean, GetLet, GetField<&C::LogEvent>,
       SetField<&C::LogEvent>, Saved(23, false)},
      {Prop::LoggingClusterName, "LoggingClusterName", 0x68030009, String, GetLet,
       GetField<&C::LoggingClusterName>, SetField<&C::LoggingClusterName>,
       Saved(24, kDefaultLoggingCluster)},
      {Prop::LogEventType, "LogEventType", 0x68030008, String, GetLet, GetField<&C::LogEventType>,
       SetField<&C::LogEventType>, Saved(25, "dbUpdate")},
      {Prop::ESignatureRequired, "ESignatureRequired", 0x68030007, Boolean, GetLet,
       GetField<&C::ESignatureRequired>, SetField<&C::ESignatureRequired>, Saved(26, false)},
      {Prop::ESignaturePrompt, "ESignaturePrompt", 0x68030006, String, GetLet,
       GetField<&C::ESignaturePrompt>, SetField<&C::ESignaturePrompt>, Saved(27, "")},
      {Prop::ESignatureReasonCodeRequired, "ESignatureReasonCodeRequired", 0x68030005, Boolean,
       GetLet, GetField<&C::ESignatureReasonCodeRequired>,
       SetField<&C::ESignatureReasonCodeRequired>, Saved(28, false)},
      {Prop::ESignatureAllowUserEnteredReasonCode, "ESignatureAllowUserEnteredReasonCode",
       0x68030004, Boolean, GetLet, GetField<&C::ESignatureAllowUserEnteredReasonCode>,
       SetField<&C::ESignatureAllowUserEnteredReasonCode>, Saved(29, false)},
      {Prop::ESignatureReasonCategory, "ESignatureReasonCategory", 0x68030003, String, GetLet,
       GetField<&C::ESignatureReasonCategory>, SetField<&C::ESignatureReasonCategory>,
       Saved(30, "")},
      {Prop::ESignatureDualSignatureRequired, "ESignatureDualSignatureRequired", 0x68030002,
       Boolean, GetLet, GetField<&C::ESignatureDualSignatureRequired>,
       SetField<&C::ESignatureDualSignatureRequired>, Saved(31, false)},
      {Prop::ESignature1CommandLevel, "ESignature1CommandLevel", 0x68030001, Long, GetLet,
       GetField<&C::ESignature1CommandLevel>, SetField<&C::ESignature1CommandLevel>, Saved(32, -1)},
      {Prop::ESignature2CommandLevel, "ESignature2CommandLevel", 0x68030000, Long, GetLet,
       GetField<&C::ESignature2CommandLevel>, SetField<&C::ESignature2CommandLevel>, Saved(33, -1)},
      // The version that wrote the bag; a loaded one is only checked for its type.
      {Prop::Version, "Version", kSavedOnly, String, None, [](C&) { return Variant(kVersion); },
       nullptr, Saved(1, "", "Unknown", Ignored)},
      // Always stored, even at zero.
      {Prop::GridOrdinalColWidth, "GridOrdinalColWidth", kSavedOnly, Integer, None,
       Get<&C::GridOrdinalColWidth>, Set<&C::SetGridOrdinalColWidth>, Saved(35, DefaultValue(), 0)},
      {Prop::DataServer, "DataServer", kSavedOnly, String, None, nullptr, nullptr,
       Saved(38, "", OlderOnly)},
  };
  static_assert(std::size(kRows) == static_cast<size_t>(Prop::kCount));
  static_assert(
      [] {
        for (size_t i = 0; i < std::size(kRows); ++i)
          if (kRows[i].prop != static_cast<Prop>(i)) return false;
        return true;
      }(),
      "rows follow the order of Prop");
  static_assert(
      [] {
        bool taken[std::size(kRows)] = {};
        size_t saved = 0;
        for (const PropertyRow& r : kRows) {
          if (r.saved.order == 0) continue;
          size_t at = static_cast<size_t>(r.saved.order) - 1;
          if (at >= std::size(kRows) || taken[at]) return false;
          taken[at] = true;
          ++saved;
        }
        for (size_t i = 0; i < saved; ++i)
          if (!taken[i]) return false;
        return true;
      }(),
      "saved orders number the saved rows from 1 without gaps");
#ifndef TABULO_SANITIZED
  // GCC does not fold a comparison of a function's address with null under the undefined
  // behaviour sanitizer; the sanitizer-free builds check the accessors at compile time.
  static_assert(
      [] {
        for (const PropertyRow& r : kRows) {
          const bool reads = r.declared == GetLet || r.declared == LetThenGet ||
                             r.declared == GetLetByRef || r.declared == GetOnly ||
                             r.declared == GetSetRef;
          const bool writes = reads ? r.declared != GetOnly : r.declared == LetOnlyByRef;
          if ((reads && !r.get) || (writes && !r.set) || (r.declared == ItemGet && !r.item))
            return false;
          const bool written =
              r.saved.order > 0 && r.saved.loaded != OlderOnly && r.saved.loaded != ColumnList;
          if ((written && !r.get) ||
              (r.saved.loaded == BySetter && r.saved.order > 0 && !r.set && !r.load))
            return false;
        }
        return true;
      }(),
      "every row has the accessors its declaration and saving use");
#endif
  return kRows;
}

std::span<const PropertyRow* const> PropertyTable::SavedRows() {
  static const std::vector<const PropertyRow*> kSaved = [] {
    std::vector<const PropertyRow*> out;
    for (const PropertyRow& r : Rows())
      if (r.saved.order > 0) {
        const size_t at = static_cast<size_t>(r.saved.order) - 1;
        if (out.size() <= at) out.resize(at + 1);
        out[at] = &r;
      }
    return out;
  }();
  return kSaved;
}

Variant PropertyTable::Value(ValueKind kind, const DefaultValue& d) {
  switch (d.type) {
    case DefaultValue::Type::Text:
      return Variant(d.text);
    case DefaultValue::Type::Number:
      switch (kind) {
        case ValueKind::Boolean:
          return Variant(d.number != 0);
        case ValueKind::Integer:
          return Variant(static_cast<int16_t>(d.number));
        case ValueKind::Long:
          return Variant(static_cast<int32_t>(d.number));
        default:
          return Variant(d.number);
      }
    default:
      return Variant();
  }
}

}  // namespace tabulo::control
