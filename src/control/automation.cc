// The control's automation interface: every member with its fixed dispatch id, and the
// events of its default event set. Members are reached late-bound by name or by id.
#include "control/tabulo_ctl.h"
#include "platform/values/com_error.h"
#include "sql/connection_string.h"

namespace tabulo::control {

using platform::MemberKind;
using platform::Param;
using platform::Variant;

namespace {

Param P(std::string name, bool by_ref = false, bool optional = false) {
  return Param{std::move(name), optional, by_ref};
}

}  // namespace

void TabuloCtl::DeclareAutomation() {
  // Plain properties: get and let with one value.
  auto prop = [this](const char* name, platform::DispId id, std::function<Variant()> get,
                     std::function<void(const std::vector<Variant>&)> let) {
    DeclareProperty(name, id, std::move(get),
                    let ? std::function<void(const Variant&)>(
                              [let](const Variant& v) { let(std::vector<Variant>{v}); })
                        : nullptr);
  };
  auto str = [this](const std::vector<Variant>& a) { return ArgString(a, 0); };
  auto boolean = [this](const std::vector<Variant>& a) { return ArgBool(a, 0); };
  auto i16 = [this](const std::vector<Variant>& a) { return ArgInt16(a, 0); };
  auto i32 = [this](const std::vector<Variant>& a) { return ArgLong(a, 0); };
  // A setter declared before its getter: the interface lists the let first.
  auto let_first = [this](const char* name, platform::DispId id, std::function<Variant()> get,
                          std::function<void(const Variant&)> let) {
    DeclareProperty(name, id, nullptr, std::move(let));
    DeclareProperty(name, id, std::move(get), nullptr);
  };
  // A property whose setter takes its value by reference.
  auto let_by_ref = [this](const char* name, platform::DispId id, std::function<Variant()> get,
                           std::function<void(const std::vector<Variant>&)> let) {
    DeclareProperty(name, id, std::move(get), nullptr);
    DeclareMember(name, id, MemberKind::PropertyLet, {P(std::string("New_") + name, true)},
                  [let = std::move(let)](std::vector<Variant>& a) {
                    let(a);
                    return Variant();
                  });
  };

  DeclareObjectProperty(
      "m_SecMgr", 0x40030020, [this] { return Variant(m_SecMgr); },
      [this](const Variant& v) { m_SecMgr = v.AsObject(); });
  DeclareMethod("OutputDebug", 0x6003002D, {P("msg", true)}, [this](std::vector<Variant>& a) {
    OutputDebug(ArgString(a, 0));
    return Variant();
  });
  DeclareMethod("UserModeSet", 0x60030032, {}, [this](std::vector<Variant>&) {
    UserModeSet();
    return Variant();
  });
  prop(
      "AllowUpdates", 0x6803002C, [this] { return Variant(AllowUpdates()); },
      [=, this](auto& a) { SetAllowUpdates(boolean(a)); });
  prop(
      "ConnectionString", 0x6803002B,
      [this] {
        return Variant(sql::ComposeConnectionString(
            sql::ConnectionValues{m_DSNname, m_Database, m_User, m_Password}, m_nServerType));
      },
      [=, this](auto& a) {
        sql::ConnectionSetters setters{[this](const std::string& v) { SetDSNname(v); },
                                       [this](const std::string& v) { SetUser(v); },
                                       [this](const std::string& v) { SetPassword(v); },
                                       [this](const std::string& v) { SetDatabase(v); }};
        sql::ApplyConnectionString(str(a), setters);
      });
  prop(
      "DSNname", 0x6803002A, [this] { return Variant(DSNname()); },
      [=, this](auto& a) { SetDSNname(str(a)); });
  prop(
      "Mode", 0x68030029, [this] { return Variant(Mode()); },
      [=, this](auto& a) { SetMode(i32(a)); });
  prop(
      "Enabled", 0x68030028, [this] { return Variant(Enabled()); },
      [=, this](auto& a) { SetEnabled(boolean(a)); });
  prop(
      "RecordSource", 0x68030027, [this] { return Variant(RecordSource()); },
      [=, this](auto& a) { SetRecordSource(str(a)); });
  prop(
      "GridColumns", 0x68030026, [this] { return GridColumns(); }, nullptr);
  prop(
      "ConfirmUpdates", 0x68030025, [this] { return Variant(ConfirmUpdates()); },
      [=, this](auto& a) { SetConfirmUpdates(boolean(a)); });
  prop(
      "RefreshInterval", 0x68030024, [this] { return Variant(RefreshInterval()); },
      [this](auto& a) { SetRefreshInterval(ArgDouble(a, 0)); });
  let_first(
      "Visible", 0x68030023, [this] { return Variant(Visible()); },
      [this](const Variant& v) { SetVisible(ArgBool({v}, 0)); });
  prop(
      "AutoRefresh", 0x68030022, [this] { return Variant(AutoRefresh()); },
      [=, this](auto& a) { SetAutoRefresh(boolean(a)); });
  prop(
      "NumberRows", 0x68030021, [this] { return Variant(NumberRows()); }, nullptr);
  prop(
      "NumberColumns", 0x68030020, [this] { return Variant(NumberColumns()); }, nullptr);
  prop(
      "Database", 0x6803001F, [this] { return Variant(Database()); },
      [=, this](auto& a) { SetDatabase(str(a)); });
  prop(
      "ShowStatusBar", 0x6803001E, [this] { return Variant(ShowStatusBar()); },
      [=, this](auto& a) { SetShowStatusBar(boolean(a)); });
  prop(
      "User", 0x6803001D, [this] { return Variant(User()); },
      [=, this](auto& a) { SetUser(str(a)); });
  let_first(
      "ServerType", 0x6803001C, [this] { return Variant(ServerType()); },
      [this](const Variant& v) { SetServerType(ArgInt16({v}, 0)); });
  prop(
      "Password", 0x6803001B, [this] { return Variant(Password()); },
      [=, this](auto& a) { SetPassword(str(a)); });
  prop(
      "DataTable", 0x6803001A, [this] { return Variant(DataTable()); },
      [=, this](auto& a) { SetDataTable(str(a)); });
  prop(
      "ActiveColumn", 0x68030019, [this] { return Variant(ActiveColumn()); }, nullptr);
  prop(
      "ActiveRow", 0x68030018, [this] { return Variant(ActiveRow()); }, nullptr);
  prop(
      "BackColor", 0x68030017, [this] { return Variant(BackColor()); },
      [=, this](auto& a) { SetBackColor(i32(a)); });
  prop(
      "ForeColor", 0x68030016, [this] { return Variant(ForeColor()); },
      [=, this](auto& a) { SetForeColor(i32(a)); });
  DeclareObjectProperty(
      "Font", 0x68030015,
      [this] { return Variant(std::static_pointer_cast<platform::Dispatch>(m_Font)); },
      [this](const Variant& v) {
        auto font = std::dynamic_pointer_cast<platform::StdFont>(v.AsObject());
        if (!font) throw platform::ComError::TypeMismatch("TabuloCtl");
        SetFont(font);
      });
  prop(
      "BackStyle", 0x68030014, [this] { return Variant(BackStyle()); },
      [=, this](auto& a) { SetBackStyle(i16(a)); });
  DeclareMember("ColIsVisibile", 0x68030013, MemberKind::PropertyGet, {P("nCol", true)},
                [this](std::vector<Variant>& a) { return Variant(ColIsVisibile(ArgLong(a, 0))); });
  DeclareMember("ColHeader", 0x68030012, MemberKind::PropertyGet, {P("nCol", true)},
                [this](std::vector<Variant>& a) { return Variant(ColHeader(ArgLong(a, 0))); });
  DeclareMember("ColWidth", 0x68030011, MemberKind::PropertyGet, {P("nCol", true)},
                [this](std::vector<Variant>& a) { return Variant(ColWidth(ArgLong(a, 0))); });
  let_by_ref(
      "LargeChange", 0x68030010, [this] { return Variant(LargeChange()); },
      [=, this](auto& a) { SetLargeChange(i32(a)); });
  let_by_ref(
      "SmallChange", 0x6803000F, [this] { return Variant(SmallChange()); },
      [=, this](auto& a) { SetSmallChange(i32(a)); });
  DeclareMember("GridArray", 0x6803000E, MemberKind::PropertyLet, {P("value", true)},
                [this](std::vector<Variant>& a) {
                  SetGridArray(a.at(0));
                  return Variant();
                });
  DeclareMethod("GetCellName", 0x60030040, {P("nCol")},
                [this](std::vector<Variant>& a) { return Variant(GetCellName(ArgLong(a, 0))); });
  DeclareMethod("GetCellText", 0x60030041, {P("Row"), P("Column")},
                [this](std::vector<Variant>& a) {
                  return Variant(GetCellText(ArgLong(a, 0), ArgLong(a, 1)));
                });
  DeclareMethod("SetCellText", 0x60030042, {P("Row"), P("Column"), P("Value")},
                [this](std::vector<Variant>& a) {
                  return Variant(SetCellText(ArgLong(a, 0), ArgLong(a, 1), ArgString(a, 2)));
                });
  let_by_ref(
      "DBDateFormatString", 0x6803000D, [this] { return Variant(DBDateFormatString()); },
      [=, this](auto& a) { SetDBDateFormatString(str(a)); });
  DeclareMethod("Refresh", 0x6003005A, {P("MoveToTop", true, true)},
                [this](std::vector<Variant>& a) {
                  Refresh(HasArg(a, 0) ? ArgBool(a, 0) : false);
                  return Variant();
                });
  DeclareMethod("HideColumn", 0x6003005B, {P("colNumber")}, [this](std::vector<Variant>& a) {
    HideColumn(ArgInt16(a, 0));
    return Variant();
  });
  DeclareMethod("GetClusterNames", 0x6003005F, {P("bDataTableServer", true), P("Names", true)},
                [this](std::vector<Variant>& a) {
                  bool data = ArgBool(a, 0);
                  int16_t n = GetClusterNames(data, a.at(1));
                  a[0] = Variant(data);
                  return Variant(n);
                });
  DeclareMethod("GetAssociatedLoggingClusterName", 0x60030060, {}, [this](std::vector<Variant>&) {
    return Variant(GetAssociatedLoggingClusterName());
  });
  DeclareMethod("SetServerStatusBarPanel", 0x60030068, {}, [this](std::vector<Variant>&) {
    SetServerStatusBarPanel();
    return Variant();
  });
  prop(
      "AllowAccessToHiddenColumnsInScript", 0x6803000C,
      [this] { return Variant(AllowAccessToHiddenColumnsInScript); },
      [=, this](auto& a) { AllowAccessToHiddenColumnsInScript = boolean(a); });
  prop(
      "ClusterName", 0x6803000B, [this] { return Variant(ClusterName()); },
      [=, this](auto& a) { SetClusterName(str(a)); });
  prop(
      "LogEvent", 0x6803000A, [this] { return Variant(LogEvent); },
      [=, this](auto& a) { LogEvent = boolean(a); });
  prop(
      "LoggingClusterName", 0x68030009, [this] { return Variant(LoggingClusterName); },
      [=, this](auto& a) { LoggingClusterName = str(a); });
  prop(
      "LogEventType", 0x68030008, [this] { return Variant(LogEventType); },
      [=, this](auto& a) { LogEventType = str(a); });
  prop(
      "ESignatureRequired", 0x68030007, [this] { return Variant(ESignatureRequired); },
      [=, this](auto& a) { ESignatureRequired = boolean(a); });
  prop(
      "ESignaturePrompt", 0x68030006, [this] { return Variant(ESignaturePrompt); },
      [=, this](auto& a) { ESignaturePrompt = str(a); });
  prop(
      "ESignatureReasonCodeRequired", 0x68030005,
      [this] { return Variant(ESignatureReasonCodeRequired); },
      [=, this](auto& a) { ESignatureReasonCodeRequired = boolean(a); });
  prop(
      "ESignatureAllowUserEnteredReasonCode", 0x68030004,
      [this] { return Variant(ESignatureAllowUserEnteredReasonCode); },
      [=, this](auto& a) { ESignatureAllowUserEnteredReasonCode = boolean(a); });
  prop(
      "ESignatureReasonCategory", 0x68030003, [this] { return Variant(ESignatureReasonCategory); },
      [=, this](auto& a) { ESignatureReasonCategory = str(a); });
  prop(
      "ESignatureDualSignatureRequired", 0x68030002,
      [this] { return Variant(ESignatureDualSignatureRequired); },
      [=, this](auto& a) { ESignatureDualSignatureRequired = boolean(a); });
  prop(
      "ESignature1CommandLevel", 0x68030001, [this] { return Variant(ESignature1CommandLevel); },
      [=, this](auto& a) { ESignature1CommandLevel = i32(a); });
  prop(
      "ESignature2CommandLevel", 0x68030000, [this] { return Variant(ESignature2CommandLevel); },
      [=, this](auto& a) { ESignature2CommandLevel = i32(a); });

  // Every event parameter is by reference except the first four of Click.
  auto ref = [](std::initializer_list<const char*> names) {
    std::vector<Param> out;
    for (const char* n : names) out.push_back(P(n, true));
    return out;
  };
  DeclareEvent("Click", 1, {P("Pane"), P("Row"), P("Column"), P("ClickPos"), P("Status", true)});
  DeclareEvent("DblClick", 2, std::vector<Param>{});
  DeclareEvent("MouseDown", 3, ref({"Button", "Shift", "X", "Y"}));
  DeclareEvent("MouseMove", 4, ref({"Button", "Shift", "X", "Y"}));
  DeclareEvent("MouseUp", 5, ref({"Button", "Shift", "X", "Y"}));
  DeclareEvent("KeyDown", 6, ref({"KeyCode", "Shift"}));
  DeclareEvent("KeyPress", 7, ref({"KeyAscii"}));
  DeclareEvent("KeyUp", 8, ref({"KeyCode", "Shift"}));
  DeclareEvent("CellValueChanged", 9, ref({"Row", "col"}));
}

}  // namespace tabulo::control
