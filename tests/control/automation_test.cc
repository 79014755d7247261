// The control's automation interface as a late-bound caller sees it, against the published
// table of members and events, and the host's two interfaces.
#include <gmock/gmock.h>

#include <span>
#include <sstream>

#include "common/error_of.h"
#include "control/host_interfaces.h"
#include "edit_fixture.h"
#include "platform/values/com_error.h"
#include "platform/widgets/std_font.h"

namespace tabulo::control::testing {
namespace {

using platform::ComError;
using platform::DispId;
using platform::InvokeKind;
using platform::MemberInfo;
using platform::MemberKind;
using platform::Variant;
using platform::VarType;
using test_support::ErrorOf;

// _TabuloCtl in slot order, as published: each member's id and name, then its kinds in
// listing order with the passing of each parameter ("r" by reference, "v" by value, "?"
// optional; a let's last parameter is the assigned value). A writable property has two values
// of the interface's type for the round trip, and whether its let reports the change to the
// container under its name.
struct Member {
  uint32_t id;
  const char* name;
  const char* kinds;
  Variant first = {};
  Variant second = {};
  bool notifies = false;
};
constexpr bool kNotifies = true;

// clang-format off
const Member kInterface[] = {
    {0x40030020, "m_SecMgr", "get() set(v)"},
    {0x6003002D, "OutputDebug", "method(r)"},
    {0x60030032, "UserModeSet", "method()"},
    {0x6803002C, "AllowUpdates", "get() let(v)", true, false, kNotifies},
    {0x6803002B, "ConnectionString", "get() let(v)"},
    {0x6803002A, "DSNname", "get() let(v)", "one.db", "two.db", kNotifies},
    {0x68030029, "Mode", "get() let(v)", int32_t{3}, int32_t{16}, kNotifies},
    {0x68030028, "Enabled", "get() let(v)", false, true, kNotifies},
    {0x68030027, "RecordSource", "get() let(v)", "SELECT 1", "SELECT 2", kNotifies},
    {0x68030026, "GridColumns", "get()"},
    {0x68030025, "ConfirmUpdates", "get() let(v)", true, false, kNotifies},
    {0x68030024, "RefreshInterval", "get() let(v)", 2.5, 10.0, kNotifies},
    {0x68030023, "Visible", "let(v) get()", false, true},
    {0x68030022, "AutoRefresh", "get() let(v)", true, false, kNotifies},
    {0x68030021, "NumberRows", "get()"},
    {0x68030020, "NumberColumns", "get()"},
    {0x6803001F, "Database", "get() let(v)", "main", "other", kNotifies},
    {0x6803001E, "ShowStatusBar", "get() let(v)", false, true, kNotifies},
    {0x6803001D, "User", "get() let(v)", "ann", "bob", kNotifies},
    {0x6803001C, "ServerType", "let(v) get()", int16_t{1}, int16_t{0}},
    {0x6803001B, "Password", "get() let(v)", "pw1", "pw2", kNotifies},
    {0x6803001A, "DataTable", "get() let(v)", "Orders", "Lines", kNotifies},
    {0x68030019, "ActiveColumn", "get()"},
    {0x68030018, "ActiveRow", "get()"},
    {0x68030017, "BackColor", "get() let(v)", int32_t{0x00FF00}, static_cast<int32_t>(0x80000005),
     kNotifies},
    {0x68030016, "ForeColor", "get() let(v)", int32_t{0x0000FF}, int32_t{0}, kNotifies},
    {0x68030015, "Font", "get() set(v)"},
    {0x68030014, "BackStyle", "get() let(v)", int16_t{1}, int16_t{0}, kNotifies},
    {0x68030013, "ColIsVisibile", "get(r)"},
    {0x68030012, "ColHeader", "get(r)"},
    {0x68030011, "ColWidth", "get(r)"},
    {0x68030010, "LargeChange", "get() let(r)", int32_t{30}, int32_t{25}},
    {0x6803000F, "SmallChange", "get() let(r)", int32_t{3}, int32_t{2}},
    {0x6803000E, "GridArray", "let(r)"},
    {0x60030040, "GetCellName", "method(v)"},
    {0x60030041, "GetCellText", "method(vv)"},
    {0x60030042, "SetCellText", "method(vvv)"},
    {0x6803000D, "DBDateFormatString", "get() let(r)", "yyyy-mm-dd", "dd.mm.yyyy"},
    {0x6003005A, "Refresh", "method(r?)"},
    {0x6003005B, "HideColumn", "method(v)"},
    {0x6003005F, "GetClusterNames", "method(rr)"},
    {0x60030060, "GetAssociatedLoggingClusterName", "method()"},
    {0x60030068, "SetServerStatusBarPanel", "method()"},
    {0x6803000C, "AllowAccessToHiddenColumnsInScript", "get() let(v)", true, false},
    {0x6803000B, "ClusterName", "get() let(v)", "North", "South"},
    {0x6803000A, "LogEvent", "get() let(v)", true, false},
    {0x68030009, "LoggingClusterName", "get() let(v)", "Log1", "Log2"},
    {0x68030008, "LogEventType", "get() let(v)", "dbInsert", "dbUpdate"},
    {0x68030007, "ESignatureRequired", "get() let(v)", true, false},
    {0x68030006, "ESignaturePrompt", "get() let(v)", "Sign", "Again"},
    {0x68030005, "ESignatureReasonCodeRequired", "get() let(v)", true, false},
    {0x68030004, "ESignatureAllowUserEnteredReasonCode", "get() let(v)", true, false},
    {0x68030003, "ESignatureReasonCategory", "get() let(v)", "Quality", "Batch"},
    {0x68030002, "ESignatureDualSignatureRequired", "get() let(v)", true, false},
    {0x68030001, "ESignature1CommandLevel", "get() let(v)", int32_t{5}, int32_t{-1}},
    {0x68030000, "ESignature2CommandLevel", "get() let(v)", int32_t{7}, int32_t{-1}},
};

// __TabuloCtl: every parameter by reference except Click's first four.
const Member kEvents[] = {
    {1, "Click", "event(vvvvr)"}, {2, "DblClick", "event()"}, {3, "MouseDown", "event(rrrr)"},
    {4, "MouseMove", "event(rrrr)"}, {5, "MouseUp", "event(rrrr)"}, {6, "KeyDown", "event(rr)"},
    {7, "KeyPress", "event(r)"}, {8, "KeyUp", "event(rr)"}, {9, "CellValueChanged", "event(rr)"},
};
// clang-format on

Variant Object(std::shared_ptr<platform::StdFont> object) {
  return Variant(std::static_pointer_cast<platform::Dispatch>(object));
}

// One line per member kind, "id name kind(passing)", as the contract lists them or as the
// control declares them.
std::vector<std::string> Listing(std::span<const Member> members) {
  std::vector<std::string> out;
  for (const Member& m : members) {
    std::istringstream kinds(m.kinds);
    for (std::string k; kinds >> k;) out.push_back(std::to_string(m.id) + " " + m.name + " " + k);
  }
  return out;
}
std::vector<std::string> Listing(const std::vector<MemberInfo>& members) {
  std::vector<std::string> out;
  for (const MemberInfo& m : members) {
    std::string passing;
    for (const platform::Param& p : m.params)
      passing += std::string(p.by_ref ? "r" : "v") + (p.optional ? "?" : "");
    out.push_back(std::to_string(static_cast<uint32_t>(m.id)) + " " + m.name + " " +
                  std::string(platform::MemberKindName(m.kind)) + "(" + passing + ")");
  }
  return out;
}

class AutomationTest : public DefaultHostTest {
 protected:
  // A call by name is the call by the id the listing test finds for the name (InvokeByName is
  // GetIdOfName and Invoke), so each member is called one way or the other.
  static Variant ById(TabuloCtl& ctl, uint32_t id, InvokeKind kind,
                      std::vector<Variant> args = {}) {
    return ctl.Invoke(static_cast<DispId>(id), kind, args);
  }
  static Variant ByName(TabuloCtl& ctl, std::string_view name, InvokeKind kind,
                        std::vector<Variant> args = {}) {
    return ctl.InvokeByName(name, kind, args);
  }
};

TEST_F(AutomationTest, MembersAndEventsAreListedInSlotOrderAndFoundByIdAndName) {
  TabuloCtl& ctl = NewControl();
  EXPECT_EQ(Listing(ctl.Members()), Listing(kInterface));
  EXPECT_EQ(Listing(ctl.Events()), Listing(kEvents));
  for (const Member& e : kEvents) EXPECT_EQ(ctl.EventId(e.name), static_cast<DispId>(e.id));
  for (const Member& m : kInterface) {
    EXPECT_EQ(ctl.GetIdOfName(m.name), static_cast<DispId>(m.id)) << m.name;
    // Names are case-insensitive, as late-bound callers write them.
    std::string lower = m.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ctl.GetIdOfName(lower), static_cast<DispId>(m.id)) << m.name;
  }
  // The published misspelling is the only name of the column visibility.
  EXPECT_EQ(ErrorOf([&] { ctl.GetIdOfName("ColIsVisible"); }), 438);
}

// Every readable and writable property: a let by id is read back by name, a let by name
// read back by id, each with the value type of the interface; each let notifies or not.
TEST_F(AutomationTest, EveryPropertyLetByIdReadsBackByNameAndTheOtherWay) {
  TabuloCtl& ctl = NewControl();
  int checked = 0;
  for (const Member& m : kInterface) {
    if (m.first.IsEmpty()) continue;
    ++checked;
    const DispId id = static_cast<DispId>(m.id);
    std::vector<Variant> put{m.first}, none;
    const size_t before = container_.property_changes().size();
    ctl.Invoke(id, InvokeKind::PropertyPut, put);
    EXPECT_EQ(NotesSince(before),
              m.notifies ? std::vector<std::string>{m.name} : std::vector<std::string>{})
        << m.name;
    Variant read = ctl.InvokeByName(m.name, InvokeKind::PropertyGet, none);
    EXPECT_EQ(read.type(), m.first.type()) << m.name;
    EXPECT_EQ(read, m.first) << m.name;
    std::vector<Variant> put2{m.second};
    ctl.InvokeByName(m.name, InvokeKind::PropertyPut, put2);
    EXPECT_EQ(ctl.Invoke(id, InvokeKind::PropertyGet, none), m.second) << m.name;
  }
  EXPECT_EQ(checked, 34);
  EXPECT_EQ(MessageCount(), 0u);  // no refused scroll step on the way
}

TEST_F(AutomationTest, ReadOnlyMembersAnswerAsTheControlAndRefuseAssignment) {
  TabuloCtl& ctl = BrowseOrders(40);
  ctl.Grid.UserClick(3, 2);
  struct Read {
    uint32_t id;
    const char* name;
    std::vector<Variant> args;
    Variant expected;
  };
  const Read kReads[] = {
      {0x68030021, "NumberRows", {}, int32_t{40}},
      {0x68030020, "NumberColumns", {}, int32_t{3}},
      {0x68030018, "ActiveRow", {}, ctl.ActiveRow()},
      {0x68030019, "ActiveColumn", {}, int32_t{1}},
      {0x68030026, "GridColumns", {}, ctl.GridColumns()},
      {0x68030013, "ColIsVisibile", {int32_t{2}}, true},
      {0x68030012, "ColHeader", {int32_t{2}}, "Customer"},
      {0x68030011, "ColWidth", {int32_t{2}}, ctl.ColWidth(2)},
  };
  for (Read r : kReads) {
    EXPECT_EQ(ByName(ctl, r.name, InvokeKind::PropertyGet, r.args), r.expected) << r.name;
    r.args.push_back(Variant(int32_t{1}));
    EXPECT_EQ(ErrorOf([&] { ById(ctl, r.id, InvokeKind::PropertyPut, r.args); }), 450) << r.name;
  }
  // The write-only column list is let by name in SetEveryPersistedProperty, read back saved.
}

TEST_F(AutomationTest, CellMethodsTheirEventsAndRefresh) {
  TabuloCtl& ctl = BrowseOrders(30);
  ctl.SetDataTable("Orders");
  ctl.SetAllowUpdates(true);
  auto sink = std::make_shared<EventRecorder>();
  ctl.Advise(sink);
  EXPECT_EQ(ByName(ctl, "GetCellName", InvokeKind::Method, {int32_t{1}}), Variant("Customer"));
  EXPECT_EQ(ByName(ctl, "GetCellText", InvokeKind::Method, {int32_t{4}, int32_t{2}}),
            Variant(ctl.GetCellText(4, 2)));
  EXPECT_EQ(ById(ctl, 0x60030042, InvokeKind::Method, {int32_t{4}, int32_t{2}, "77"}),
            Variant(true));
  EXPECT_EQ(ctl.GetCellText(4, 2), "77");
  EXPECT_EQ(sink->ids["CellValueChanged"], 9);
  // The grid's row and column of the cell, as 16-bit integers.
  EXPECT_EQ(sink->last["CellValueChanged"], (std::vector<Variant>{int16_t{5}, int16_t{3}}));
  // Refresh without its argument is Refresh of False; its variable comes back as it left it.
  const int32_t top = ctl.FirstRow();
  ctl.ScrollBar.SetValue(10);
  const int32_t first = ctl.FirstRow();
  ASSERT_GT(first, top);
  ById(ctl, 0x6003005A, InvokeKind::Method);
  EXPECT_EQ(ctl.FirstRow(), first);  // stays where it was
  std::vector<Variant> to_top{Variant(true)};
  ctl.InvokeByName("Refresh", InvokeKind::Method, to_top);
  EXPECT_EQ(ctl.FirstRow(), top);
  EXPECT_EQ(to_top[0], Variant(true));
  ctl.ScrollBar.SetValue(10);
  ById(ctl, 0x6003005A, InvokeKind::Method, {Variant::Missing()});
  EXPECT_EQ(ctl.FirstRow(), first);
}

TEST_F(AutomationTest, ObjectsClusterStatusAndOutputDebug) {
  TabuloCtl& ctl = NewControl();
  // Objects are assigned as the object itself (m_SecMgr's own: SetControlSite below).
  auto font = platform::StdFont::Create();
  ById(ctl, 0x68030015, InvokeKind::PropertyPutRef, {Object(font)});
  EXPECT_EQ(container_.property_changes().back(), "Font");
  EXPECT_EQ(ByName(ctl, "Font", InvokeKind::PropertyGet).AsObject().get(), font.get());
  ById(ctl, 0x40030020, InvokeKind::PropertyPutRef, {Object(nullptr)});
  EXPECT_EQ(ById(ctl, 0x40030020, InvokeKind::PropertyGet).AsObject(), nullptr);

  // The names come back through the by-reference argument.
  std::vector<Variant> args{Variant(false), Variant()};
  Variant count = ctl.InvokeByName("GetClusterNames", InvokeKind::Method, args);
  ASSERT_EQ(count.type(), VarType::Integer);
  ASSERT_GT(count.AsLong(), 0);
  EXPECT_TRUE(args[1].IsArray());
  EXPECT_EQ(ByName(ctl, "GetAssociatedLoggingClusterName", InvokeKind::Method),
            Variant(ctl.GetAssociatedLoggingClusterName()));
  ctl.sBar.Panels(2).set_text("");
  ByName(ctl, "SetServerStatusBarPanel", InvokeKind::Method);
  EXPECT_NE(ctl.sBar.Panels(2).text(), "");

  // Debug lines are prefixed, ended and in the ANSI code page.
  ById(ctl, 0x6003002D, InvokeKind::Method, {"Grüße – 5 € ≠ 日本"});
  ByName(ctl, "outputdebug", InvokeKind::Method, {std::string("bad \xFF byte")});
  const auto& out = container_.debug_output();
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(out.end() - 2, out.end()),
            (std::vector<std::string>{"Tabulo: Grüße – 5 € ? ??\r\n", "Tabulo: bad ? byte\r\n"}));
}

TEST_F(AutomationTest, ClassicErrorsReachTheCaller) {
  TabuloCtl& ctl = NewControl();
  struct Call {
    const char* name;  // by id when null
    uint32_t id;
    InvokeKind kind;
    std::vector<Variant> args;
    int32_t error;
  };
  const Call kCalls[] = {
      // 438: no such member, by name or by id.
      {"NoSuchMember", 0, InvokeKind::Method, {}, 438},
      {nullptr, 0x6803002D, InvokeKind::PropertyGet, {}, 438},
      // 450: too many or too few arguments.
      {nullptr, 0x6003005A, InvokeKind::Method, {true, true}, 450},
      {"GetCellText", 0, InvokeKind::Method, {int32_t{1}}, 450},
      {"AllowUpdates", 0, InvokeKind::PropertyGet, {int32_t{1}}, 450},
      // 450: a kind the member does not have; objects go by reference, values by let.
      {"GridArray", 0, InvokeKind::PropertyGet, {}, 450},
      {nullptr, 0x6803000E, InvokeKind::Method, {}, 450},
      {"Font", 0, InvokeKind::PropertyPut, {Object(platform::StdFont::Create())}, 450},
      {"Font", 0, InvokeKind::PropertyPutRef, {"Arial"}, 13},
      // 13: a value that cannot be converted to the parameter's type.
      {"Mode", 0, InvokeKind::PropertyPut, {"not a number"}, 13},
      {nullptr, 0x60030040, InvokeKind::Method, {"x"}, 13},
      {"AllowUpdates", 0, InvokeKind::PropertyPut, {"maybe"}, 13},
      // 449: an omitted required argument.
      {"GetCellText", 0, InvokeKind::Method, {int32_t{1}, Variant::Missing()}, 449},
      {nullptr, 0x6003005B, InvokeKind::Method, {Variant::Missing()}, 449},
  };
  for (const Call& c : kCalls) {
    EXPECT_EQ(ErrorOf([&] {
                c.name ? ByName(ctl, c.name, c.kind, c.args) : ById(ctl, c.id, c.kind, c.args);
              }),
              c.error)
        << (c.name ? c.name : "by id") << " " << c.id;
  }
  // A refused call changes nothing.
  EXPECT_EQ(ctl.Mode(), 0);
  EXPECT_FALSE(ctl.AllowUpdates());
}

TEST_F(AutomationTest, ByReferenceEventArgumentsChangedByTheHostReachTheWidget) {
  TabuloCtl& ctl = Browse(OrdersDb(10), "SELECT Id, Qty FROM Orders ORDER BY Id");
  auto sink = std::make_shared<EventRecorder>();
  ctl.Advise(sink);
  sink->on_event = [](std::string_view name, std::vector<Variant>& args) {
    if (name == "KeyPress") args = {int16_t{'B'}};
    if (name == "KeyDown" || name == "KeyUp") args = {int16_t{0}, int16_t{4}};
    // The last is converted back to the parameter's type.
    if (name.substr(0, 5) == "Mouse") args = {int16_t{2}, int16_t{1}, 12.5f, "7"};
  };
  int16_t ascii = 'a';
  ctl.Grid.on_key_press(ascii);
  EXPECT_EQ(ascii, 'B');
  for (auto* handler : {&ctl.Grid.on_key_down, &ctl.Grid.on_key_up}) {
    int16_t code = 40, shift = 0;
    (*handler)(code, shift);
    EXPECT_EQ(std::pair(code, shift), std::pair(int16_t{0}, int16_t{4}));
  }
  for (auto* handler : {&ctl.Grid.on_mouse_down, &ctl.Grid.on_mouse_move, &ctl.Grid.on_mouse_up}) {
    int16_t button = 1, shift = 0;
    float x = 100, y = 200;
    (*handler)(button, shift, x, y);
    EXPECT_EQ(std::tuple(button, shift, x, y), std::tuple(int16_t{2}, int16_t{1}, 12.5f, 7.0f));
  }
  for (const auto& [name, id] : sink->ids) EXPECT_EQ(id, ctl.EventId(name)) << name;
  EXPECT_EQ(sink->last["KeyPress"].size(), 1u);
  EXPECT_EQ(sink->last["KeyDown"].size(), 2u);
  EXPECT_EQ(sink->last["MouseMove"].size(), 4u);
}

// ---- The host's interfaces ----------------------------------------------------------------

class ServiceSite : public platform::DispatchObject {
 public:
  explicit ServiceSite(std::shared_ptr<platform::Dispatch> service)
      : DispatchObject("HostSite"), service_(std::move(service)) {
    DeclareMethod("GetService", 1, {platform::Param{"number"}}, [this](std::vector<Variant>& a) {
      asked.push_back(ArgLong(a, 0));
      return Variant(service_);
    });
  }
  std::vector<int32_t> asked;

 private:
  std::shared_ptr<platform::Dispatch> service_;
};

using HostInterfacesTest = DefaultHostTest;

TEST_F(HostInterfacesTest, SetControlSiteTakesServiceFourOnLanguageChangeSetsTheLanguage) {
  auto ctl = std::make_shared<TabuloCtl>(container_);
  ctl->InitNew();
  auto host_control = QueryHostInterface(ctl, "ihostcontrol");
  EXPECT_EQ(host_control->GetIdOfName("SetControlSite"), kDispIdSetControlSite);
  auto secmgr = platform::StdFont::Create();
  auto site = std::make_shared<ServiceSite>(secmgr);
  std::vector<Variant> args{
      Variant(int32_t{7}),    Variant(std::static_pointer_cast<platform::Dispatch>(site)),
      Variant(int32_t{1033}), Variant(int32_t{1033}),
      Variant(int16_t{0}),    Variant("ann")};
  EXPECT_FALSE(shared().in_host);
  host_control->Invoke(kDispIdSetControlSite, InvokeKind::Method, args);
  EXPECT_EQ(site->asked, std::vector<int32_t>{4});
  EXPECT_TRUE(shared().in_host);
  EXPECT_EQ(ctl->Get("m_SecMgr").AsObject().get(), secmgr.get());
  // Six arguments, no fewer.
  std::vector<Variant> short_args{Variant(int32_t{7})};
  EXPECT_THROW(host_control->Call("SetControlSite", short_args), ComError);
  // Nothing for the site: the operation ends silently and the manager is emptied.
  host_control->Call(
      "SetControlSite",
      {Variant(int32_t{1}), Variant(std::shared_ptr<platform::Dispatch>()), Variant(int32_t{1033}),
       Variant(int32_t{1033}), Variant(int16_t{0}), Variant("")});
  EXPECT_EQ(ctl->Get("m_SecMgr").AsObject(), nullptr);
  // OnLanguageChange sets the control's language.
  auto language = QueryHostInterface(ctl, kIHostControlLanguageChangeAuto);
  language->Call("OnLanguageChange", {Variant(int32_t{1036})});
  EXPECT_EQ(shared_localization().language, 1036);
  std::vector<Variant> german{Variant("1031")};  // converted as a late-bound caller's text
  language->Invoke(kDispIdOnLanguageChange, InvokeKind::Method, german);
  EXPECT_EQ(shared_localization().language, 1031);
  std::vector<Variant> none;
  EXPECT_EQ(ErrorOf([&] { language->Invoke(kDispIdOnLanguageChange, InvokeKind::Method, none); }),
            450);
  // The default interface is the control itself, others are refused.
  EXPECT_EQ(QueryHostInterface(ctl, "_TabuloCtl").get(), ctl.get());
  EXPECT_EQ(ErrorOf([&] { QueryHostInterface(ctl, "IUnknownThing"); }), 430);
  EXPECT_EQ(ErrorOf([&] { QueryHostInterface(nullptr, "IHostControl"); }), 91);
  // The host's members are not on the control's own interface.
  EXPECT_EQ(ErrorOf([&] { ctl->GetIdOfName("SetControlSite"); }), 438);
}

}  // namespace
}  // namespace tabulo::control::testing
