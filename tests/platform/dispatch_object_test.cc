// Automation objects: members declared by name and id, calls with their coercions and
// errors, events to every sink; the standard font object (bold and weight, sizes, its
// members, equality, change events).
#include "platform/automation/dispatch_object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "platform/widgets/std_font.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
using test_support::ErrorText;
using test_support::FontText;
namespace {

// A sample automation class: a read-write property, a read-only one, an indexed property,
// methods with optional and by-reference parameters, and two events. Object properties are
// the control's (its font and security manager).
class Sample : public DispatchObject {
 public:
  static constexpr DispId kCaption = 0x68030002;
  static constexpr DispId kCount = 0x68030001;
  static constexpr DispId kCell = 0x68030003;
  static constexpr DispId kAdjust = 0x60030040;
  static constexpr DispId kSetSmall = 0x60030041;
  static constexpr DispId kRatio = 0x60030042;
  static constexpr DispId kChanged = 1;
  static constexpr DispId kPing = 2;

  Sample() : DispatchObject("Sample") {
    DeclareProperty(
        "Caption", kCaption, [this] { return Variant(caption); },
        [this](const Variant& v) { caption = ArgString({v}, 0); });
    DeclareProperty(
        "Count", kCount, [this] { return Variant(count); }, nullptr);
    DeclareMember("Cell", kCell, MemberKind::PropertyGet, {{"Row"}, {"Col", true}},
                  [this](std::vector<Variant>& args) {
                    last_args = args;
                    return Variant("cell");
                  });
    DeclareMember("Cell", kCell, MemberKind::PropertyLet, {{"Row"}, {"Col", true}, {"New_Cell"}},
                  [this](std::vector<Variant>& args) {
                    last_args = args;
                    return Variant();
                  });
    // Adjust(ByRef Value, [Delta], [ByRef Echo]): Value += Delta (1 when omitted), Echo
    // becomes "done"; Delta is overwritten locally to show by-value isolation.
    DeclareMethod("Adjust", kAdjust,
                  {{"Value", false, true}, {"Delta", true, false}, {"Echo", true, true}},
                  [this](std::vector<Variant>& args) {
                    int32_t before = ArgLong(args, 0);
                    int32_t delta = HasArg(args, 1) ? ArgLong(args, 1) : 1;
                    args[0] = Variant(before + delta);
                    args[1] = Variant("clobbered");
                    args[2] = Variant("done");
                    ++count;
                    return Variant(before);
                  });
    DeclareMethod("SetSmall", kSetSmall, {{"N"}}, [this](std::vector<Variant>& args) {
      small = ArgInt16(args, 0);
      return Variant();
    });
    DeclareMethod("Ratio", kRatio, {{"X"}, {"Flag", true}}, [this](std::vector<Variant>& args) {
      bool flag = HasArg(args, 1) && ArgBool(args, 1);
      double x = ArgDouble(args, 0);
      return Variant(flag ? -x : x);
    });
    DeclareEvent("Changed", kChanged, 2);
    DeclareEvent("Ping", kPing, 0);
  }

  using DispatchObject::Fire;

  std::string caption = "first";
  int32_t count = 0;
  int16_t small = 0;
  std::vector<Variant> last_args;
};

class Recorder : public EventSink {
 public:
  explicit Recorder(std::function<void(std::vector<Variant>&)> act) : act_(std::move(act)) {}
  void OnEvent(DispId id, std::string_view name, std::vector<Variant>& args) override {
    seen.push_back(std::to_string(id) + ":" + std::string(name) + "/" +
                   std::to_string(args.size()));
    if (act_) act_(args);
  }
  std::vector<std::string> seen;

 private:
  std::function<void(std::vector<Variant>&)> act_;
};

using Args = std::vector<Variant>;

// Case-insensitive names, unknown members by name and by id, too few or too many
// arguments, read-only and write-only members, by-reference copies and omitted optionals
// are also the control's automation tests, on the same member table.

TEST(DispatchObject, UnknownMembersRaise438FromTheObject) {
  auto s = std::make_shared<Sample>();
  EXPECT_EQ(ErrorText([&] { s->GetIdOfName("Captions"); }, true),
            "438: Object doesn't support this property or method from Sample");
}

// Method and get call each other's members; by-value writes stay local, by-reference ones
// come back, the caller's list does not grow; a put's value is the last parameter.
TEST(DispatchObject, InvokeCopiesByRefArgumentsBackAndPutsTheValueLast) {
  auto s = std::make_shared<Sample>();
  s->count = 7;
  Args none, args{Variant(int32_t{10}), Variant(int32_t{5}), Variant("old")}, one{int32_t{5}};
  EXPECT_EQ(s->Invoke(Sample::kCount, InvokeKind::Method, none), Variant(int32_t{7}));
  EXPECT_EQ(s->Invoke(Sample::kAdjust, InvokeKind::Method, args), Variant(int32_t{10}));
  EXPECT_EQ(args, (Args{Variant(int32_t{15}), Variant(int32_t{5}), Variant("done")}));
  EXPECT_EQ(s->Invoke(Sample::kAdjust, InvokeKind::PropertyGet, one), Variant(int32_t{5}));
  EXPECT_EQ(one, Args{Variant(int32_t{6})});
  Args put{Variant(int32_t{4}), Variant("v")};
  s->Invoke(Sample::kCell, InvokeKind::PropertyPut, put);
  EXPECT_EQ(s->last_args, (Args{Variant(int32_t{4}), Variant::Missing(), Variant("v")}));
  Args full{Variant(int32_t{4}), Variant(int32_t{2}), Variant("w")};
  s->Invoke(Sample::kCell, InvokeKind::PropertyPut, full);
  EXPECT_EQ(s->last_args, full);
  EXPECT_EQ(s->Get("Cell", {Variant(int32_t{1})}), Variant("cell"));
}

TEST(DispatchObject, PropertyAssignmentsTheMemberDoesNotAllowRaise450) {
  auto s = std::make_shared<Sample>();
  EXPECT_EQ(ErrorOf([&] { s->Put("Adjust", Variant(int32_t{1})); }), 450);
  // An object never goes to a let-only property, Nothing included.
  EXPECT_EQ(ErrorOf([&] { s->Put("Caption", Variant(std::make_shared<Sample>())); }), 450);
  EXPECT_EQ(ErrorOf([&] { s->Put("Caption", Variant::Nothing()); }), 450);
  EXPECT_EQ(ErrorOf([&] { s->PutRef("Caption", Variant(std::make_shared<Sample>())); }), 450);
  // A put with no value at all.
  Args none;
  EXPECT_EQ(ErrorOf([&] { s->Invoke(Sample::kCaption, InvokeKind::PropertyPut, none); }), 450);
  EXPECT_EQ(s->caption, "first");
}

TEST(DispatchObject, ArgumentCoercionRaisesTheClassicErrorsInTheObjectsLocale) {
  auto s = std::make_shared<Sample>();
  s->Call("SetSmall", {Variant("12")});
  EXPECT_EQ(s->small, 12);
  EXPECT_EQ(ErrorOf([&] { s->Call("SetSmall", {Variant("twelve")}); }), 13);
  EXPECT_EQ(ErrorOf([&] { s->Call("SetSmall", {Variant(int32_t{40000})}); }), 6);
  EXPECT_EQ(ErrorOf([&] { s->Call("SetSmall", {Variant::Null()}); }), 94);
  EXPECT_EQ(s->small, 12);
  EXPECT_EQ(s->Call("Ratio", {Variant("2.5"), Variant(true)}), Variant(-2.5));
  EXPECT_EQ(s->Call("Ratio", {Variant("1.5")}), Variant(1.5));
  s->SetCoercionLocale(Locale::DeDE());
  EXPECT_EQ(s->Call("Ratio", {Variant("1,5")}), Variant(1.5));
  s->Put("Caption", Variant(1.5));
  EXPECT_EQ(s->caption, "1,5");
}

TEST(DispatchObject, EventsReachEverySinkAndByRefChangesComeBack) {
  auto s = std::make_shared<Sample>();
  auto first = std::make_shared<Recorder>([](Args& a) {
    if (!a.empty()) a[0] = Variant(true);
  });
  Args seen_by_second;
  auto second = std::make_shared<Recorder>([&](Args& a) {
    seen_by_second = a;
    a[1] = Variant(a[1].AsString() + "!");
  });
  s->Advise(first);
  int64_t cookie = s->Advise(second);
  Args args{Variant(false), Variant("name")};
  s->Fire("changed", args);
  EXPECT_EQ(second->seen, std::vector<std::string>{"1:Changed/2"});
  // The second sink sees the first one's change.
  EXPECT_EQ(seen_by_second, (Args{Variant(true), Variant("name")}));
  EXPECT_EQ(args, (Args{Variant(true), Variant("name!")}));
  s->Unadvise(cookie);
  Args none;
  s->Fire(Sample::kPing, none);
  EXPECT_EQ(second->seen.size(), 1u);
  // Misdeclared events raise and reach no sink.
  Args one{Variant(true)};
  EXPECT_EQ(ErrorOf([&] { s->Fire(Sample::kChanged, one); }), 450);
  EXPECT_EQ(ErrorOf([&] { s->Fire("Pong", one); }), 438);
  EXPECT_EQ(ErrorOf([&] { s->Fire(99, one); }), 438);
  EXPECT_EQ(first->seen, (std::vector<std::string>{"1:Changed/2", "2:Ping/0"}));
  EXPECT_EQ(s->EventId("PING"), Sample::kPing);
  EXPECT_EQ(s->EventId("Caption"), kDispIdUnknown);
}

TEST(DispatchObject, ListsMembersInDeclarationOrder) {
  auto s = std::make_shared<Sample>();
  std::vector<std::string> lines;
  for (const MemberInfo& m : s->Members()) lines.push_back(m.Describe());
  for (const MemberInfo& m : s->Events()) lines.push_back(m.Describe());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "0x68030002 get Caption()", "0x68030002 let Caption(New_Caption)",
                       "0x68030001 get Count()", "0x68030003 get Cell(Row, [Col])",
                       "0x68030003 let Cell(Row, [Col], New_Cell)",
                       "0x60030040 method Adjust(ByRef Value, [Delta], [ByRef Echo])",
                       "0x60030041 method SetSmall(N)", "0x60030042 method Ratio(X, [Flag])",
                       "1 event Changed(Arg1, Arg2)", "2 event Ping()"}));
}

// Classes whose declarations contradict each other.
class Conflicting : public DispatchObject {
 public:
  explicit Conflicting(int variant) : DispatchObject("Conflicting") {
    auto h = [](std::vector<Variant>&) { return Variant(); };
    DeclareMethod("A", 1, {}, h);
    if (variant == 0) DeclareMethod("B", 1, {}, h);   // id taken by another name
    if (variant == 1) DeclareMethod("a", 2, {}, h);   // name taken with another id
    if (variant == 2) DeclareMethod("A", 1, {}, h);   // same kind twice
    if (variant == 3) DeclareMethod("C", 3, {}, {});  // no handler
    if (variant == 4) DeclareEvent("E", 1, -1);       // negative count
    if (variant == 5) DeclareMember("P", 4, MemberKind::PropertyLet, {}, h);  // no value
  }
};

TEST(DispatchObject, ContradictoryDeclarationsAreRefused) {
  for (int v = 0; v <= 5; ++v) {
    EXPECT_EQ(ErrorOf([v] { Conflicting c(v); }), kErrInvalidProcedureCall) << v;
  }
  EXPECT_EQ(ErrorOf([] { Conflicting c(9); }), 0);
}

// --- The standard font.

TEST(StdFont, DefaultsToMsSansSerif825BoldAndWeightFollowEachOtherAndSizesKeepFourDecimals) {
  auto font = StdFont::Create();
  EXPECT_EQ(FontText(*font), "MS Sans Serif 82500 400 0");
  EXPECT_EQ(font->size(), 8.25);
  StdFont& f = *font;
  // Bold always means 700, even from a heavier weight; 600 and above read as bold.
  const std::pair<std::function<void()>, const char*> steps[] = {
      {[&] { f.SetBold(true); }, "700 bold"},  {[&] { f.SetBold(false); }, "400"},
      {[&] { f.SetWeight(600); }, "600 bold"}, {[&] { f.SetWeight(599); }, "599"},
      {[&] { f.SetWeight(900); }, "900 bold"}, {[&] { f.SetBold(true); }, "700 bold"},
      {[&] { f.SetWeight(0); }, "0"}};
  for (const auto& [step, want] : steps) {
    step();
    EXPECT_EQ(std::to_string(f.weight()) + (f.bold() ? " bold" : ""), want);
  }
  // Ten-thousandths of a point, halves to even: 312.5 and 937.5 below.
  for (auto [size, scaled] : {std::pair{8.123456, 81235}, {0.03125, 312}, {0.09375, 938}}) {
    f.SetSize(size);
    EXPECT_EQ(f.size_scaled(), scaled) << size;
  }
}

// Size 0, Weight 1001, Charset 256 and an empty name are the loaded font's rows (storage).
TEST(StdFont, InvalidValuesRaise380AndLeaveTheFontAlone) {
  StdFont f;
  EXPECT_EQ(ErrorOf([&] { f.SetSize(std::nan("")); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetSize(1e9); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetSize(0.00004); }), 380);  // rounds to nothing
  EXPECT_EQ(ErrorOf([&] { f.SetWeight(-1); }), 380);
  EXPECT_TRUE(f == StdFont());
}

TEST(StdFont, MembersByNameAndClassicIds) {
  auto f = StdFont::Create();
  const std::pair<const char*, DispId> ids[] = {
      // clang-format off
      {"name", 0}, {"SIZE", 2}, {"Bold", 3}, {"Italic", 4}, {"Underline", 5},
      {"Strikethrough", 6}, {"Weight", 7}, {"Charset", 8}};
  // clang-format on
  for (auto [name, id] : ids) EXPECT_EQ(f->GetIdOfName(name), id) << name;
  f->Put("bold", Variant(true));
  EXPECT_EQ(f->Get("Weight"), Variant(int16_t{700}));
  f->Put("Weight", Variant("650"));
  EXPECT_EQ(f->Get("Bold"), Variant(true));
  f->Put("Size", Variant("10.5"));
  EXPECT_EQ(f->Get("Size"), Variant(10.5));
  f->Put("Name", Variant("Arial"));
  f->Put("Charset", Variant(int16_t{161}));
  EXPECT_EQ(f->Get("Name"), Variant("Arial"));
  EXPECT_EQ(f->charset(), 161);

  EXPECT_EQ(ErrorOf([&] { f->Put("Size", Variant("big")); }), 13);
  EXPECT_EQ(ErrorOf([&] { f->Put("Weight", Variant(int32_t{70000})); }), 380);
  EXPECT_EQ(ErrorOf([&] { f->Put("Italic", Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([&] { f->Put("Name", Variant(StdFont::Create())); }), 450);
  EXPECT_EQ(ErrorOf([&] { f->Call("Clone"); }), 438);
}

TEST(StdFont, EqualityLooksAtEveryAttributeACloneIsIndependentAndChangesAreAnnounced) {
  const std::function<void(StdFont&)> changes[] = {
      [](StdFont& f) { f.SetName("Arial"); },   [](StdFont& f) { f.SetSize(8.2501); },
      [](StdFont& f) { f.SetWeight(401); },     [](StdFont& f) { f.SetItalic(true); },
      [](StdFont& f) { f.SetUnderline(true); }, [](StdFont& f) { f.SetStrikethrough(true); },
      [](StdFont& f) { f.SetCharset(1); },      [](StdFont& f) { f.SetName("ms sans serif"); }};
  for (const auto& change : changes) {
    StdFont a, b;
    change(b);
    EXPECT_FALSE(a == b) << &change - changes;
  }
  auto f = StdFont::Create();
  f->SetName("Courier New");
  f->SetSize(11);
  f->SetItalic(true);
  f->SetCharset(2);
  std::vector<std::string> names;  // the changed property of each FontChanged
  auto log = std::make_shared<Recorder>([&](Args& a) { names.push_back(a.at(0).AsString()); });
  f->Advise(log);
  auto c = f->Clone();
  EXPECT_TRUE(*c == *f);
  c->SetUnderline(true);
  EXPECT_FALSE(f->underline());
  EXPECT_TRUE(names.empty());  // the clone's changes are not the original's
  // Every change of the original is announced, a refused one is not.
  f->SetBold(true);
  f->Put("size", Variant(int32_t{9}));
  f->SetName("Arial");
  EXPECT_EQ(ErrorOf([&] { f->SetWeight(2000); }), 380);
  EXPECT_EQ(names, (std::vector<std::string>{"Bold", "Size", "Name"}));
  EXPECT_EQ(log->seen,
            std::vector<std::string>(3, std::to_string(kDispIdFontChanged) + ":FontChanged/1"));
}

}  // namespace
}  // namespace tabulo::platform
