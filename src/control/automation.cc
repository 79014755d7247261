// The control's automation interface: the properties as the property table describes them,
// the methods between them with their fixed dispatch ids, and the events of the default event
// set. Members are reached late-bound by name or by id.
#include "control/tabulo_ctl.h"

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
  // An argument converted to the type of the row's value.
  auto arg = [this](ValueKind kind, const std::vector<Variant>& a) {
    switch (kind) {
      case ValueKind::Boolean:
        return Variant(ArgBool(a, 0));
      case ValueKind::Integer:
        return Variant(ArgInt16(a, 0));
      case ValueKind::Long:
        return Variant(ArgLong(a, 0));
      case ValueKind::Double:
        return Variant(ArgDouble(a, 0));
      case ValueKind::String:
        return Variant(ArgString(a, 0));
      default:
        return a.at(0);
    }
  };
  auto declare = [&](const PropertyRow& row) {
    std::function<Variant()> get;
    if (row.get) get = [this, g = row.get] { return g(*this); };
    Setter set = row.set;
    ValueKind kind = row.kind;
    auto let = [this, set, kind, arg](const Variant& v) { set(*this, arg(kind, {v})); };
    auto let_by_ref = [this, set, kind, arg](std::vector<Variant>& a) {
      set(*this, arg(kind, a));
      return Variant();
    };
    switch (row.declared) {
      case Declared::None:
        break;
      case Declared::GetLet:
        DeclareProperty(row.name, row.id, std::move(get), let);
        break;
      case Declared::LetThenGet:
        DeclareProperty(row.name, row.id, nullptr, let);
        DeclareProperty(row.name, row.id, std::move(get), nullptr);
        break;
      case Declared::GetLetByRef:
        DeclareProperty(row.name, row.id, std::move(get), nullptr);
        DeclareMember(row.name, row.id, MemberKind::PropertyLet,
                      {P(std::string("New_") + row.name, true)}, let_by_ref);
        break;
      case Declared::GetOnly:
        DeclareProperty(row.name, row.id, std::move(get), nullptr);
        break;
      case Declared::LetOnlyByRef:
        DeclareMember(row.name, row.id, MemberKind::PropertyLet, {P("value", true)}, let_by_ref);
        break;
      case Declared::ItemGet:
        DeclareMember(row.name, row.id, MemberKind::PropertyGet, {P("nCol", true)},
                      [this, item = row.item](std::vector<Variant>& a) {
                        return item(*this, ArgLong(a, 0));
                      });
        break;
      case Declared::GetSetRef:
        DeclareObjectProperty(row.name, row.id, std::move(get),
                              [this, set](const Variant& v) { set(*this, v); });
        break;
    }
  };

  // The methods sit between the properties, where the interface lists them.
  for (const PropertyRow& row : PropertyTable::Rows()) {
    declare(row);
    if (row.prop == Prop::SecMgr) DeclareSiteMethods();
    if (row.prop == Prop::GridArray) DeclareCellMethods();
    if (row.prop == Prop::DBDateFormatString) DeclareListMethods();
  }
  DeclareEvents();
}

void TabuloCtl::DeclareSiteMethods() {
  DeclareMethod("OutputDebug", 0x6003002D, {P("msg", true)}, [this](std::vector<Variant>& a) {
    OutputDebug(ArgString(a, 0));
    return Variant();
  });
  DeclareMethod("UserModeSet", 0x60030032, {}, [this](std::vector<Variant>&) {
    UserModeSet();
    return Variant();
  });
}

void TabuloCtl::DeclareCellMethods() {
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
}

void TabuloCtl::DeclareListMethods() {
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
}

void TabuloCtl::DeclareEvents() {
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
