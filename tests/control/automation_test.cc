// The control's automation interface as a late-bound caller sees it: the member and event
// listing against the published table, every member called by id and by name, by-reference
// event arguments flowing back to the widget that raised them, the classic errors, and the
// host's two interfaces.
#include <gmock/gmock.h>

#include <cstdio>
#include <functional>
#include <map>

#include "control/host_interfaces.h"
#include "hosted_control.h"
#include "localization/state.h"
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

// One line per member kind in slot order: "id kind name(passing)", where each parameter is
// "r" (by reference) or "v", followed by "?" when optional.
struct Row {
  uint32_t id;
  const char* kind;
  const char* name;
  const char* params;
};

std::string Signature(const MemberInfo& m) {
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", static_cast<uint32_t>(m.id));
  std::string passing;
  for (const platform::Param& p : m.params)
    passing += std::string(p.by_ref ? "r" : "v") + (p.optional ? "?" : "");
  return std::string(id) + " " + std::string(platform::MemberKindName(m.kind)) + " " + m.name +
         "(" + passing + ")";
}

std::string Signature(const Row& r) {
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", r.id);
  return std::string(id) + " " + r.kind + " " + r.name + "(" + r.params + ")";
}

// _TabuloCtl in slot order, as published. A let's last parameter is the assigned value.
const Row kInterface[] = {
    {0x40030020, "get", "m_SecMgr", ""},
    {0x40030020, "set", "m_SecMgr", "v"},
    {0x6003002D, "method", "OutputDebug", "r"},
    {0x60030032, "method", "UserModeSet", ""},
    {0x6803002C, "get", "AllowUpdates", ""},
    {0x6803002C, "let", "AllowUpdates", "v"},
    {0x6803002B, "get", "ConnectionString", ""},
    {0x6803002B, "let", "ConnectionString", "v"},
    {0x6803002A, "get", "DSNname", ""},
    {0x6803002A, "let", "DSNname", "v"},
    {0x68030029, "get", "Mode", ""},
    {0x68030029, "let", "Mode", "v"},
    {0x68030028, "get", "Enabled", ""},
    {0x68030028, "let", "Enabled", "v"},
    {0x68030027, "get", "RecordSource", ""},
    {0x68030027, "let", "RecordSource", "v"},
    {0x68030026, "get", "GridColumns", ""},
    {0x68030025, "get", "ConfirmUpdates", ""},
    {0x68030025, "let", "ConfirmUpdates", "v"},
    {0x68030024, "get", "RefreshInterval", ""},
    {0x68030024, "let", "RefreshInterval", "v"},
    {0x68030023, "let", "Visible", "v"},
    {0x68030023, "get", "Visible", ""},
    {0x68030022, "get", "AutoRefresh", ""},
    {0x68030022, "let", "AutoRefresh", "v"},
    {0x68030021, "get", "NumberRows", ""},
    {0x68030020, "get", "NumberColumns", ""},
    {0x6803001F, "get", "Database", ""},
    {0x6803001F, "let", "Database", "v"},
    {0x6803001E, "get", "ShowStatusBar", ""},
    {0x6803001E, "let", "ShowStatusBar", "v"},
    {0x6803001D, "get", "User", ""},
    {0x6803001D, "let", "User", "v"},
    {0x6803001C, "let", "ServerType", "v"},
    {0x6803001C, "get", "ServerType", ""},
    {0x6803001B, "get", "Password", ""},
    {0x6803001B, "let", "Password", "v"},
    {0x6803001A, "get", "DataTable", ""},
    {0x6803001A, "let", "DataTable", "v"},
    {0x68030019, "get", "ActiveColumn", ""},
    {0x68030018, "get", "ActiveRow", ""},
    {0x68030017, "get", "BackColor", ""},
    {0x68030017, "let", "BackColor", "v"},
    {0x68030016, "get", "ForeColor", ""},
    {0x68030016, "let", "ForeColor", "v"},
    {0x68030015, "get", "Font", ""},
    {0x68030015, "set", "Font", "v"},
    {0x68030014, "get", "BackStyle", ""},
    {0x68030014, "let", "BackStyle", "v"},
    {0x68030013, "get", "ColIsVisibile", "r"},
    {0x68030012, "get", "ColHeader", "r"},
    {0x68030011, "get", "ColWidth", "r"},
    {0x68030010, "get", "LargeChange", ""},
    {0x68030010, "let", "LargeChange", "r"},
    {0x6803000F, "get", "SmallChange", ""},
    {0x6803000F, "let", "SmallChange", "r"},
    {0x6803000E, "let", "GridArray", "r"},
    {0x60030040, "method", "GetCellName", "v"},
    {0x60030041, "method", "GetCellText", "vv"},
    {0x60030042, "method", "SetCellText", "vvv"},
    {0x6803000D, "get", "DBDateFormatString", ""},
    {0x6803000D, "let", "DBDateFormatString", "r"},
    {0x6003005A, "method", "Refresh", "r?"},
    {0x6003005B, "method", "HideColumn", "v"},
    {0x6003005F, "method", "GetClusterNames", "rr"},
    {0x60030060, "method", "GetAssociatedLoggingClusterName", ""},
    {0x60030068, "method", "SetServerStatusBarPanel", ""},
    {0x6803000C, "get", "AllowAccessToHiddenColumnsInScript", ""},
    {0x6803000C, "let", "AllowAccessToHiddenColumnsInScript", "v"},
    {0x6803000B, "get", "ClusterName", ""},
    {0x6803000B, "let", "ClusterName", "v"},
    {0x6803000A, "get", "LogEvent", ""},
    {0x6803000A, "let", "LogEvent", "v"},
    {0x68030009, "get", "LoggingClusterName", ""},
    {0x68030009, "let", "LoggingClusterName", "v"},
    {0x68030008, "get", "LogEventType", ""},
    {0x68030008, "let", "LogEventType", "v"},
    {0x68030007, "get", "ESignatureRequired", ""},
    {0x68030007, "let", "ESignatureRequired", "v"},
    {0x68030006, "get", "ESignaturePrompt", ""},
    {0x68030006, "let", "ESignaturePrompt", "v"},
    {0x68030005, "get", "ESignatureReasonCodeRequired", ""},
    {0x68030005, "let", "ESignatureReasonCodeRequired", "v"},
    {0x68030004, "get", "ESignatureAllowUserEnteredReasonCode", ""},
    {0x68030004, "let", "ESignatureAllowUserEnteredReasonCode", "v"},
    {0x68030003, "get", "ESignatureReasonCategory", ""},
    {0x68030003, "let", "ESignatureReasonCategory", "v"},
    {0x68030002, "get", "ESignatureDualSignatureRequired", ""},
    {0x68030002, "let", "ESignatureDualSignatureRequired", "v"},
    {0x68030001, "get", "ESignature1CommandLevel", ""},
    {0x68030001, "let", "ESignature1CommandLevel", "v"},
    {0x68030000, "get", "ESignature2CommandLevel", ""},
    {0x68030000, "let", "ESignature2CommandLevel", "v"},
};

// __TabuloCtl: every parameter by reference except Click's first four.
const Row kEvents[] = {
    {1, "event", "Click", "vvvvr"},         {2, "event", "DblClick", ""},
    {3, "event", "MouseDown", "rrrr"},      {4, "event", "MouseMove", "rrrr"},
    {5, "event", "MouseUp", "rrrr"},        {6, "event", "KeyDown", "rr"},
    {7, "event", "KeyPress", "r"},          {8, "event", "KeyUp", "rr"},
    {9, "event", "CellValueChanged", "rr"},
};

class RecordingSink : public platform::EventSink {
 public:
  void OnEvent(DispId id, std::string_view name, std::vector<Variant>& args) override {
    calls.push_back({id, std::string(name), args.size()});
    if (on_event) on_event(name, args);
  }
  struct Call {
    DispId id;
    std::string name;
    size_t arg_count;
  };
  std::vector<Call> calls;
  std::function<void(std::string_view, std::vector<Variant>&)> on_event;
};

class AutomationTest : public HostedControlTest {
 protected:
  void SetUp() override { InstallDefaultHost(); }

  // A call by id and the same call by name give the same result and write back the same
  // by-reference values.
  static Variant Both(TabuloCtl& ctl, DispId id, const char* name, InvokeKind kind,
                      std::vector<Variant>& args) {
    std::vector<Variant> by_name = args;
    Variant a = ctl.Invoke(id, kind, args);
    Variant b = ctl.InvokeByName(name, kind, by_name);
    EXPECT_EQ(a, b) << name;
    EXPECT_EQ(args, by_name) << name;
    return a;
  }

  static int32_t ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const ComError& e) {
      return e.number();
    }
    return 0;
  }
};

TEST_F(AutomationTest, MembersAreListedInSlotOrderWithTheirIdsKindsAndPassing) {
  TabuloCtl& ctl = NewControl();
  std::vector<std::string> expected, actual;
  for (const Row& r : kInterface) expected.push_back(Signature(r));
  for (const MemberInfo& m : ctl.Members()) actual.push_back(Signature(m));
  EXPECT_EQ(actual, expected);
}

TEST_F(AutomationTest, EventsAreListedWithTheirIdsAndByReferenceParameters) {
  TabuloCtl& ctl = NewControl();
  std::vector<std::string> expected, actual;
  for (const Row& r : kEvents) expected.push_back(Signature(r));
  for (const MemberInfo& m : ctl.Events()) actual.push_back(Signature(m));
  EXPECT_EQ(actual, expected);
  for (const Row& r : kEvents) EXPECT_EQ(ctl.EventId(r.name), static_cast<DispId>(r.id));
}

TEST_F(AutomationTest, EveryIdAndNameLeadToTheSameMember) {
  TabuloCtl& ctl = NewControl();
  for (const Row& r : kInterface) {
    EXPECT_EQ(ctl.GetIdOfName(r.name), static_cast<DispId>(r.id)) << r.name;
    // Names are case-insensitive, as late-bound callers write them.
    std::string lower = r.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ctl.GetIdOfName(lower), static_cast<DispId>(r.id)) << r.name;
  }
  // The published misspelling is the only name of the column visibility.
  EXPECT_EQ(ErrorOf([&] { ctl.GetIdOfName("ColIsVisible"); }), 438);
}

// Every readable and writable property: a let by id is read back by name, a let by name
// read back by id, each with the value type of the interface.
struct RoundTrip {
  uint32_t id;
  const char* name;
  VarType type;
  Variant first;
  Variant second;
};

TEST_F(AutomationTest, EveryPropertyLetByIdReadsBackByNameAndTheOtherWay) {
  TabuloCtl& ctl = NewControl();
  const RoundTrip kRoundTrips[] = {
      {0x6803002C, "AllowUpdates", VarType::Boolean, Variant(true), Variant(false)},
      {0x6803002A, "DSNname", VarType::String, Variant("one.db"), Variant("two.db")},
      {0x68030029, "Mode", VarType::Long, Variant(int32_t{3}), Variant(int32_t{16})},
      {0x68030028, "Enabled", VarType::Boolean, Variant(false), Variant(true)},
      {0x68030027, "RecordSource", VarType::String, Variant("SELECT 1"), Variant("SELECT 2")},
      {0x68030025, "ConfirmUpdates", VarType::Boolean, Variant(true), Variant(false)},
      {0x68030024, "RefreshInterval", VarType::Double, Variant(2.5), Variant(10.0)},
      {0x68030023, "Visible", VarType::Boolean, Variant(false), Variant(true)},
      {0x68030022, "AutoRefresh", VarType::Boolean, Variant(true), Variant(false)},
      {0x6803001F, "Database", VarType::String, Variant("main"), Variant("other")},
      {0x6803001E, "ShowStatusBar", VarType::Boolean, Variant(false), Variant(true)},
      {0x6803001D, "User", VarType::String, Variant("ann"), Variant("bob")},
      {0x6803001C, "ServerType", VarType::Integer, Variant(int16_t{1}), Variant(int16_t{0})},
      {0x6803001B, "Password", VarType::String, Variant("pw1"), Variant("pw2")},
      {0x6803001A, "DataTable", VarType::String, Variant("Orders"), Variant("Lines")},
      {0x68030017, "BackColor", VarType::Long, Variant(int32_t{0x00FF00}),
       Variant(static_cast<int32_t>(0x80000005))},
      {0x68030016, "ForeColor", VarType::Long, Variant(int32_t{0x0000FF}), Variant(int32_t{0})},
      {0x68030014, "BackStyle", VarType::Integer, Variant(int16_t{1}), Variant(int16_t{0})},
      {0x68030010, "LargeChange", VarType::Long, Variant(int32_t{30}), Variant(int32_t{25})},
      {0x6803000F, "SmallChange", VarType::Long, Variant(int32_t{3}), Variant(int32_t{2})},
      {0x6803000D, "DBDateFormatString", VarType::String, Variant("yyyy-mm-dd"),
       Variant("dd.mm.yyyy")},
      {0x6803000C, "AllowAccessToHiddenColumnsInScript", VarType::Boolean, Variant(true),
       Variant(false)},
      {0x6803000B, "ClusterName", VarType::String, Variant("North"), Variant("South")},
      {0x6803000A, "LogEvent", VarType::Boolean, Variant(true), Variant(false)},
      {0x68030009, "LoggingClusterName", VarType::String, Variant("Log1"), Variant("Log2")},
      {0x68030008, "LogEventType", VarType::String, Variant("dbInsert"), Variant("dbUpdate")},
      {0x68030007, "ESignatureRequired", VarType::Boolean, Variant(true), Variant(false)},
      {0x68030006, "ESignaturePrompt", VarType::String, Variant("Sign"), Variant("Again")},
      {0x68030005, "ESignatureReasonCodeRequired", VarType::Boolean, Variant(true), Variant(false)},
      {0x68030004, "ESignatureAllowUserEnteredReasonCode", VarType::Boolean, Variant(true),
       Variant(false)},
      {0x68030003, "ESignatureReasonCategory", VarType::String, Variant("Quality"),
       Variant("Batch")},
      {0x68030002, "ESignatureDualSignatureRequired", VarType::Boolean, Variant(true),
       Variant(false)},
      {0x68030001, "ESignature1CommandLevel", VarType::Long, Variant(int32_t{5}),
       Variant(int32_t{-1})},
      {0x68030000, "ESignature2CommandLevel", VarType::Long, Variant(int32_t{7}),
       Variant(int32_t{-1})},
  };
  for (const RoundTrip& t : kRoundTrips) {
    const DispId id = static_cast<DispId>(t.id);
    std::vector<Variant> put{t.first};
    ctl.Invoke(id, InvokeKind::PropertyPut, put);
    std::vector<Variant> none;
    Variant read = ctl.InvokeByName(t.name, InvokeKind::PropertyGet, none);
    EXPECT_EQ(read.type(), t.type) << t.name;
    EXPECT_EQ(read, t.first) << t.name;

    std::vector<Variant> put2{t.second};
    ctl.InvokeByName(t.name, InvokeKind::PropertyPut, put2);
    Variant read2 = ctl.Invoke(id, InvokeKind::PropertyGet, none);
    EXPECT_EQ(read2, t.second) << t.name;
  }
  EXPECT_EQ(MessageCount(), 0u);  // no refused scroll step on the way
}

TEST_F(AutomationTest, ConnectionStringIsComposedFromAndSplitIntoItsParts) {
  TabuloCtl& ctl = NewControl();
  std::vector<Variant> put{Variant("DSN=orders.db;UID=ann;PWD=secret;DATABASE=main")};
  ctl.Invoke(0x6803002B, InvokeKind::PropertyPut, put);
  EXPECT_EQ(ctl.DSNname(), "orders.db");
  EXPECT_EQ(ctl.User(), "ann");
  EXPECT_EQ(ctl.Password(), "secret");
  EXPECT_EQ(ctl.Database(), "main");
  std::vector<Variant> none;
  Variant text = Both(ctl, 0x6803002B, "ConnectionString", InvokeKind::PropertyGet, none);
  ASSERT_EQ(text.type(), VarType::String);
  EXPECT_THAT(text.AsString(), ::testing::HasSubstr("orders.db"));
  EXPECT_THAT(text.AsString(), ::testing::HasSubstr("ann"));
}

TEST_F(AutomationTest, ReadOnlyMembersAnswerAsTheControlAndRefuseAssignment) {
  TabuloCtl& ctl = Browse(OrdersDb(40), "SELECT Id, Customer, Qty FROM Orders ORDER BY Id");
  ctl.Grid.UserClick(3, 2);
  std::vector<Variant> none;
  EXPECT_EQ(Both(ctl, 0x68030021, "NumberRows", InvokeKind::PropertyGet, none),
            Variant(int32_t{40}));
  EXPECT_EQ(Both(ctl, 0x68030020, "NumberColumns", InvokeKind::PropertyGet, none),
            Variant(int32_t{3}));
  EXPECT_EQ(Both(ctl, 0x68030018, "ActiveRow", InvokeKind::PropertyGet, none),
            Variant(ctl.ActiveRow()));
  EXPECT_EQ(Both(ctl, 0x68030019, "ActiveColumn", InvokeKind::PropertyGet, none),
            Variant(int32_t{1}));
  Variant columns = Both(ctl, 0x68030026, "GridColumns", InvokeKind::PropertyGet, none);
  EXPECT_EQ(columns, ctl.GridColumns());
  ASSERT_TRUE(columns.IsArray());

  std::vector<Variant> col{Variant(int32_t{2})};
  EXPECT_EQ(Both(ctl, 0x68030013, "ColIsVisibile", InvokeKind::PropertyGet, col), Variant(true));
  EXPECT_EQ(Both(ctl, 0x68030012, "ColHeader", InvokeKind::PropertyGet, col), Variant("Customer"));
  EXPECT_EQ(Both(ctl, 0x68030011, "ColWidth", InvokeKind::PropertyGet, col),
            Variant(ctl.ColWidth(2)));

  const char* read_only[] = {"NumberRows", "NumberColumns", "ActiveRow", "ActiveColumn",
                             "GridColumns"};
  for (const char* name : read_only) {
    std::vector<Variant> put{Variant(int32_t{1})};
    EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName(name, InvokeKind::PropertyPut, put); }), 450) << name;
  }
  for (uint32_t id : {0x68030013u, 0x68030012u, 0x68030011u}) {
    std::vector<Variant> put{Variant(int32_t{2}), Variant(int32_t{1})};
    EXPECT_EQ(ErrorOf([&] { ctl.Invoke(static_cast<DispId>(id), InvokeKind::PropertyPut, put); }),
              450);
  }
}

TEST_F(AutomationTest, GridArrayIsWriteOnlyAndTakesTheDescriptorList) {
  TabuloCtl& ctl = Browse(OrdersDb(10), "SELECT Id, Customer FROM Orders ORDER BY Id");
  std::vector<Variant> none;
  Variant list = ctl.Invoke(0x68030026, InvokeKind::PropertyGet, none);
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("GridArray", InvokeKind::PropertyGet, none); }), 450);
  EXPECT_EQ(ErrorOf([&] { ctl.Invoke(0x6803000E, InvokeKind::Method, none); }), 450);
  // Cleared through one path, restored through the other.
  std::vector<Variant> empty{Variant()};
  ctl.Invoke(0x6803000E, InvokeKind::PropertyPut, empty);
  EXPECT_EQ(ctl.Columns().size(), 1u);
  std::vector<Variant> put{list};
  ctl.InvokeByName("GridArray", InvokeKind::PropertyPut, put);
  EXPECT_EQ(ctl.GridColumns(), list);
}

TEST_F(AutomationTest, FontAndSecurityManagerAreAssignedAsTheObjectItself) {
  TabuloCtl& ctl = NewControl();
  auto font = platform::StdFont::Create();
  font->SetBold(true);
  std::vector<Variant> put{Variant(std::static_pointer_cast<platform::Dispatch>(font))};
  ctl.Invoke(0x68030015, InvokeKind::PropertyPutRef, put);
  std::vector<Variant> none;
  Variant got = Both(ctl, 0x68030015, "Font", InvokeKind::PropertyGet, none);
  ASSERT_TRUE(got.IsObject());
  EXPECT_EQ(got.AsObject().get(), font.get());
  // A let of an object is refused: objects go by reference.
  std::vector<Variant> let{Variant(std::static_pointer_cast<platform::Dispatch>(font))};
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("Font", InvokeKind::PropertyPut, let); }), 450);
  std::vector<Variant> text{Variant("Arial")};
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("Font", InvokeKind::PropertyPutRef, text); }), 13);

  auto secmgr = platform::StdFont::Create();  // any object stands for the host's
  std::vector<Variant> set{Variant(std::static_pointer_cast<platform::Dispatch>(secmgr))};
  ctl.InvokeByName("m_SecMgr", InvokeKind::PropertyPutRef, set);
  Variant mgr = Both(ctl, 0x40030020, "m_SecMgr", InvokeKind::PropertyGet, none);
  EXPECT_EQ(mgr.AsObject().get(), secmgr.get());
  std::vector<Variant> nothing{Variant(std::shared_ptr<platform::Dispatch>())};
  ctl.Invoke(0x40030020, InvokeKind::PropertyPutRef, nothing);
  EXPECT_EQ(ctl.Invoke(0x40030020, InvokeKind::PropertyGet, none).AsObject(), nullptr);
}

TEST_F(AutomationTest, CellMethodsByIdAndByName) {
  TabuloCtl& ctl = Browse(OrdersDb(20), "SELECT Id, Customer, Qty FROM Orders ORDER BY Id");
  ctl.SetDataTable("Orders");
  ctl.SetAllowUpdates(true);
  std::vector<Variant> col{Variant(int32_t{1})};
  EXPECT_EQ(Both(ctl, 0x60030040, "GetCellName", InvokeKind::Method, col), Variant("Customer"));
  std::vector<Variant> cell{Variant(int32_t{4}), Variant(int32_t{2})};
  EXPECT_EQ(Both(ctl, 0x60030041, "GetCellText", InvokeKind::Method, cell),
            Variant(ctl.GetCellText(4, 2)));

  std::vector<Variant> set{Variant(int32_t{4}), Variant(int32_t{2}), Variant("77")};
  EXPECT_EQ(ctl.Invoke(0x60030042, InvokeKind::Method, set), Variant(true));
  EXPECT_EQ(ctl.GetCellText(4, 2), "77");
  std::vector<Variant> set2{Variant(int32_t{4}), Variant(int32_t{2}), Variant("78")};
  EXPECT_EQ(ctl.InvokeByName("SetCellText", InvokeKind::Method, set2), Variant(true));
  EXPECT_EQ(ctl.GetCellText(4, 2), "78");

  // HideColumn shows the descriptor's column again (scripts rely on it).
  platform::SafeArray a = ctl.GridColumns().AsArray();
  a.At(1, 1) = Variant(false);  // Customer
  a.At(2, 1) = Variant(false);  // Qty
  ctl.SetGridArray(Variant(a));
  ctl.Refresh();
  ASSERT_EQ(ctl.Grid.Cols(), 2);
  std::vector<Variant> show_customer{Variant(int16_t{1})};
  ctl.InvokeByName("HideColumn", InvokeKind::Method, show_customer);
  EXPECT_EQ(ctl.Grid.Cols(), 3);
  EXPECT_EQ(ctl.ColHeader(2), "Customer");
  std::vector<Variant> show_qty{Variant(int16_t{2})};
  ctl.Invoke(0x6003005B, InvokeKind::Method, show_qty);
  EXPECT_EQ(ctl.Grid.Cols(), 4);
}

TEST_F(AutomationTest, RefreshWithoutItsArgumentIsRefreshOfFalse) {
  std::filesystem::path db = OrdersDb(30);
  TabuloCtl& ctl = Browse(db, "SELECT Id, Qty FROM Orders ORDER BY Id");
  const int32_t top = ctl.FirstRow();
  ctl.ScrollBar.SetValue(10);
  const int32_t first = ctl.FirstRow();
  ASSERT_GT(first, top);
  const std::string id = ctl.Grid.TextMatrix(1, 1);
  TestDb(db).Exec("UPDATE Orders SET Qty = 999 WHERE Id = " + id);
  std::vector<Variant> none;
  ctl.Invoke(0x6003005A, InvokeKind::Method, none);
  EXPECT_EQ(ctl.FirstRow(), first);  // stays where it was
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 2), "999");
  // By reference: the caller's variable comes back as the member left it.
  std::vector<Variant> to_top{Variant(true)};
  ctl.InvokeByName("Refresh", InvokeKind::Method, to_top);
  EXPECT_EQ(ctl.FirstRow(), top);
  EXPECT_EQ(to_top[0], Variant(true));
  std::vector<Variant> missing{Variant::Missing()};
  ctl.ScrollBar.SetValue(10);
  ctl.Invoke(0x6003005A, InvokeKind::Method, missing);
  EXPECT_EQ(ctl.FirstRow(), first);
}

TEST_F(AutomationTest, ClusterAndStatusMethodsByIdAndByName) {
  TabuloCtl& ctl = NewControl();
  std::vector<Variant> args{Variant(false), Variant()};
  Variant count = ctl.Invoke(0x6003005F, InvokeKind::Method, args);
  ASSERT_EQ(count.type(), VarType::Integer);
  Variant names_by_id = args[1];
  std::vector<Variant> args2{Variant(false), Variant()};
  EXPECT_EQ(ctl.InvokeByName("GetClusterNames", InvokeKind::Method, args2), count);
  // The names come back through the by-reference argument.
  EXPECT_EQ(args2[1], names_by_id);
  ASSERT_GT(count.AsLong(), 0);
  EXPECT_TRUE(names_by_id.IsArray());

  std::vector<Variant> none;
  EXPECT_EQ(Both(ctl, 0x60030060, "GetAssociatedLoggingClusterName", InvokeKind::Method, none),
            Variant(ctl.GetAssociatedLoggingClusterName()));
  ctl.sBar.Panels(2).set_text("");
  Both(ctl, 0x60030068, "SetServerStatusBarPanel", InvokeKind::Method, none);
  EXPECT_NE(ctl.sBar.Panels(2).text(), "");
}

TEST_F(AutomationTest, OutputDebugAndUserModeSetByIdAndByName) {
  TabuloCtl& ctl = NewControl();
  std::vector<Variant> msg{Variant("one")};
  ctl.Invoke(0x6003002D, InvokeKind::Method, msg);
  std::vector<Variant> msg2{Variant("two")};
  ctl.InvokeByName("outputdebug", InvokeKind::Method, msg2);
  const auto& out = container_.debug_output();
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[out.size() - 2], "Tabulo: one\r\n");
  EXPECT_EQ(out.back(), "Tabulo: two\r\n");

  // UserModeSet is what lets the first tick in run mode load the data.
  ctl.SetDSNname(OrdersDb(5).string());
  ctl.SetRecordSource("SELECT Id FROM Orders");
  container_.SetAmbientUserMode(true);
  std::vector<Variant> none;
  ctl.InvokeByName("UserModeSet", InvokeKind::Method, none);
  container_.event_loop().RunFor(250);
  EXPECT_EQ(ctl.NumberRows(), 5);
}

TEST_F(AutomationTest, ClassicErrorsReachTheCaller) {
  TabuloCtl& ctl = NewControl();
  std::vector<Variant> none;
  // 438: no such member, by name or by id.
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("NoSuchMember", InvokeKind::Method, none); }), 438);
  EXPECT_EQ(ErrorOf([&] { ctl.Invoke(0x6803002D, InvokeKind::PropertyGet, none); }), 438);
  // 450: too many or too few arguments, and a let of a read-only member.
  std::vector<Variant> two{Variant(true), Variant(true)};
  EXPECT_EQ(ErrorOf([&] { ctl.Invoke(0x6003005A, InvokeKind::Method, two); }), 450);
  std::vector<Variant> one{Variant(int32_t{1})};
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("GetCellText", InvokeKind::Method, one); }), 450);
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("UserModeSet", InvokeKind::Method, one); }), 450);
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("AllowUpdates", InvokeKind::PropertyGet, one); }), 450);
  // 13: a value that cannot be converted to the parameter's type.
  std::vector<Variant> text{Variant("not a number")};
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("Mode", InvokeKind::PropertyPut, text); }), 13);
  std::vector<Variant> bad_col{Variant("x")};
  EXPECT_EQ(ErrorOf([&] { ctl.Invoke(0x60030040, InvokeKind::Method, bad_col); }), 13);
  std::vector<Variant> bad_bool{Variant("maybe")};
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("AllowUpdates", InvokeKind::PropertyPut, bad_bool); }),
            13);
  // 449: an omitted required argument.
  std::vector<Variant> gap{Variant(int32_t{1}), Variant::Missing()};
  EXPECT_EQ(ErrorOf([&] { ctl.InvokeByName("GetCellText", InvokeKind::Method, gap); }), 449);
  std::vector<Variant> missing{Variant::Missing()};
  EXPECT_EQ(ErrorOf([&] { ctl.Invoke(0x6003005B, InvokeKind::Method, missing); }), 449);
  // A refused call changes nothing.
  EXPECT_EQ(ctl.Mode(), 0);
  EXPECT_FALSE(ctl.AllowUpdates());
}

TEST_F(AutomationTest, ByReferenceEventArgumentsChangedByTheHostReachTheWidget) {
  TabuloCtl& ctl = Browse(OrdersDb(10), "SELECT Id, Qty FROM Orders ORDER BY Id");
  auto sink = std::make_shared<RecordingSink>();
  ctl.Advise(sink);
  sink->on_event = [](std::string_view name, std::vector<Variant>& args) {
    if (name == "KeyPress") args[0] = Variant(int16_t{'B'});
    if (name == "KeyDown" || name == "KeyUp") {
      args[0] = Variant(int16_t{0});
      args[1] = Variant(int16_t{4});
    }
    if (name == "MouseDown" || name == "MouseMove" || name == "MouseUp") {
      args[0] = Variant(int16_t{2});
      args[1] = Variant(int16_t{1});
      args[2] = Variant(12.5f);
      args[3] = Variant("7");  // converted back to the parameter's type
    }
  };
  int16_t ascii = 'a';
  ctl.Grid.on_key_press(ascii);
  EXPECT_EQ(ascii, 'B');
  for (auto* handler : {&ctl.Grid.on_key_down, &ctl.Grid.on_key_up}) {
    int16_t code = 40, shift = 0;
    (*handler)(code, shift);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shift, 4);
  }
  for (auto* handler : {&ctl.Grid.on_mouse_down, &ctl.Grid.on_mouse_move, &ctl.Grid.on_mouse_up}) {
    int16_t button = 1, shift = 0;
    float x = 100, y = 200;
    (*handler)(button, shift, x, y);
    EXPECT_EQ(button, 2);
    EXPECT_EQ(shift, 1);
    EXPECT_FLOAT_EQ(x, 12.5f);
    EXPECT_FLOAT_EQ(y, 7.0f);
  }
  std::map<std::string, size_t> counts;
  for (const auto& c : sink->calls) {
    EXPECT_EQ(c.id, ctl.EventId(c.name));
    counts[c.name] = c.arg_count;
  }
  EXPECT_EQ(counts["KeyPress"], 1u);
  EXPECT_EQ(counts["KeyDown"], 2u);
  EXPECT_EQ(counts["MouseMove"], 4u);
}

TEST_F(AutomationTest, ClickAndCellValueChangedCarryTheirDeclaredArguments) {
  TabuloCtl& ctl = Browse(OrdersDb(10), "SELECT Id, Qty FROM Orders ORDER BY Id");
  ctl.SetDataTable("Orders");
  ctl.SetAllowUpdates(true);
  auto sink = std::make_shared<RecordingSink>();
  ctl.Advise(sink);
  std::vector<Variant> click_args, changed_args;
  sink->on_event = [&](std::string_view name, std::vector<Variant>& args) {
    if (name == "CellValueChanged") changed_args = args;
    if (name == "Click") {
      click_args = args;
      args[4] = Variant(int32_t{99});  // the host may write Status; nothing breaks
    }
  };
  std::vector<Variant> set{Variant(int32_t{3}), Variant(int32_t{1}), Variant("55")};
  ctl.Invoke(0x60030042, InvokeKind::Method, set);
  auto it = std::find_if(sink->calls.begin(), sink->calls.end(),
                         [](const RecordingSink::Call& c) { return c.name == "CellValueChanged"; });
  ASSERT_NE(it, sink->calls.end());
  EXPECT_EQ(it->id, 9);
  EXPECT_EQ(it->arg_count, 2u);
  // The grid's row and column of the cell, as 16-bit integers.
  ASSERT_EQ(changed_args.size(), 2u);
  EXPECT_EQ(changed_args[0], Variant(int16_t{4}));
  EXPECT_EQ(changed_args[1], Variant(int16_t{2}));

  // A click with updates off opens no editor; its Status is the host's to write.
  ctl.SetAllowUpdates(false);
  ctl.Grid.UserClick(2, 2);
  ASSERT_EQ(click_args.size(), 5u);
  EXPECT_EQ(click_args[0].type(), VarType::Integer);
  EXPECT_EQ(click_args[1], Variant(int32_t{1}));
  EXPECT_EQ(click_args[2], Variant(int32_t{1}));
  EXPECT_EQ(click_args[4].type(), VarType::Long);
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

class HostInterfacesTest : public HostedControlTest {
 protected:
  static int32_t ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const ComError& e) {
      return e.number();
    }
    return 0;
  }
  void SetUp() override { InstallDefaultHost(); }
  std::shared_ptr<TabuloCtl> Shared() {
    auto ctl = std::make_shared<TabuloCtl>(container_);
    ctl->InitNew();
    return ctl;
  }
};

TEST_F(HostInterfacesTest, SetControlSiteThroughIHostControlTakesServiceFour) {
  auto ctl = Shared();
  auto host_control = QueryHostInterface(ctl, "IHostControl");
  EXPECT_EQ(host_control->ClassName(), "IHostControl");
  EXPECT_EQ(host_control->GetIdOfName("SetControlSite"), kDispIdSetControlSite);
  auto secmgr = platform::StdFont::Create();
  auto site = std::make_shared<ServiceSite>(secmgr);
  std::vector<Variant> args{
      Variant(int32_t{7}),    Variant(std::static_pointer_cast<platform::Dispatch>(site)),
      Variant(int32_t{1033}), Variant(int32_t{1033}),
      Variant(int16_t{0}),    Variant("ann")};
  EXPECT_FALSE(g_bInHost);
  host_control->Invoke(kDispIdSetControlSite, InvokeKind::Method, args);
  EXPECT_EQ(site->asked, std::vector<int32_t>{4});
  EXPECT_TRUE(g_bInHost);
  std::vector<Variant> none;
  EXPECT_EQ(ctl->Invoke(0x40030020, InvokeKind::PropertyGet, none).AsObject().get(), secmgr.get());

  // Six arguments, no fewer.
  std::vector<Variant> short_args{Variant(int32_t{7})};
  EXPECT_THROW(host_control->Call("SetControlSite", short_args), ComError);
}

TEST_F(HostInterfacesTest, ASiteOfThisProcessIsUsedDirectlyAndNothingEmptiesTheManager) {
  auto ctl = Shared();
  ctl->PutRef("m_SecMgr",
              Variant(std::static_pointer_cast<platform::Dispatch>(platform::StdFont::Create())));
  auto host_control = QueryHostInterface(ctl, "ihostcontrol");
  // Nothing for the site: the operation ends silently and the manager is emptied.
  host_control->Call(
      "SetControlSite",
      {Variant(int32_t{1}), Variant(std::shared_ptr<platform::Dispatch>()), Variant(int32_t{1033}),
       Variant(int32_t{1033}), Variant(int16_t{0}), Variant("")});
  EXPECT_EQ(ctl->Get("m_SecMgr").AsObject(), nullptr);
  EXPECT_FALSE(g_bInHost);
}

TEST_F(HostInterfacesTest, OnLanguageChangeSetsTheControlsLanguage) {
  auto ctl = Shared();
  auto language = QueryHostInterface(ctl, kIHostControlLanguageChangeAuto);
  language->Call("OnLanguageChange", {Variant(int32_t{1036})});
  EXPECT_EQ(localization::g_Language, 1036);
  std::vector<Variant> english{Variant(int32_t{2057})};  // unknown: back to 1033
  language->Invoke(kDispIdOnLanguageChange, InvokeKind::Method, english);
  EXPECT_EQ(localization::g_Language, 1033);
  std::vector<Variant> german{Variant("1031")};  // converted as a late-bound caller's text
  language->Invoke(kDispIdOnLanguageChange, InvokeKind::Method, german);
  EXPECT_EQ(localization::g_Language, 1031);
  std::vector<Variant> none;
  EXPECT_EQ(ErrorOf([&] { language->Invoke(kDispIdOnLanguageChange, InvokeKind::Method, none); }),
            450);
}

TEST_F(HostInterfacesTest, TheDefaultInterfaceIsTheControlAndOthersAreRefused) {
  auto ctl = Shared();
  EXPECT_EQ(QueryHostInterface(ctl, "_TabuloCtl").get(), ctl.get());
  EXPECT_EQ(ErrorOf([&] { QueryHostInterface(ctl, "IUnknownThing"); }), 430);
  EXPECT_EQ(ErrorOf([&] { QueryHostInterface(nullptr, "IHostControl"); }), 91);
  // The host's members are not on the control's own interface.
  EXPECT_EQ(ErrorOf([&] { ctl->GetIdOfName("SetControlSite"); }), 438);
}

}  // namespace
}  // namespace tabulo::control::testing
