#include "platform/widgets/std_font.h"
#include "common/error_of.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

class ChangeLog : public EventSink {
 public:
  void OnEvent(DispId id, std::string_view name, std::vector<Variant>& args) override {
    EXPECT_EQ(id, kDispIdFontChanged);
    EXPECT_EQ(name, "FontChanged");
    names.push_back(args.at(0).AsString());
  }
  std::vector<std::string> names;
};

TEST(StdFont, DefaultsToMsSansSerif825) {
  auto f = StdFont::Create();
  EXPECT_EQ(f->name(), "MS Sans Serif");
  EXPECT_EQ(f->size(), 8.25);
  EXPECT_EQ(f->size_scaled(), 82500);
  EXPECT_EQ(f->weight(), 400);
  EXPECT_FALSE(f->bold());
  EXPECT_FALSE(f->italic() || f->underline() || f->strikethrough());
  EXPECT_EQ(f->charset(), 0);
  EXPECT_EQ(f->ClassName(), "StdFont");
}

TEST(StdFont, BoldAndWeightFollowEachOtherAndSizesKeepFourDecimals) {
  StdFont f;
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
  f.SetSize(12);
  EXPECT_EQ(f.size(), 12.0);
}

TEST(StdFont, InvalidValuesRaise380AndLeaveTheFontAlone) {
  StdFont f;
  EXPECT_EQ(ErrorOf([&] { f.SetSize(0); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetSize(-3); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetSize(std::nan("")); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetSize(1e9); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetSize(0.00004); }), 380);  // rounds to nothing
  EXPECT_EQ(ErrorOf([&] { f.SetWeight(1001); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetWeight(-1); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetCharset(256); }), 380);
  EXPECT_EQ(ErrorOf([&] { f.SetName(""); }), 380);
  EXPECT_TRUE(f == StdFont());
}

TEST(StdFont, MembersByNameAndClassicIds) {
  auto f = StdFont::Create();
  for (auto [name, id] : {std::pair{"name", 0},
                          {"SIZE", 2},
                          {"Bold", 3},
                          {"Italic", 4},
                          {"Underline", 5},
                          {"Strikethrough", 6},
                          {"Weight", 7},
                          {"Charset", 8}}) {
    EXPECT_EQ(f->GetIdOfName(name), id) << name;
  }
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

TEST(StdFont, CloneIsEqualAndIndependent) {
  auto f = StdFont::Create();
  f->SetName("Courier New");
  f->SetSize(11);
  f->SetItalic(true);
  f->SetCharset(2);
  auto log = std::make_shared<ChangeLog>();
  f->Advise(log);
  auto c = f->Clone();
  EXPECT_NE(c.get(), f.get());
  EXPECT_TRUE(*c == *f);
  EXPECT_EQ(c->sink_count(), 0u);
  c->SetUnderline(true);
  EXPECT_FALSE(*c == *f);
  EXPECT_FALSE(f->underline());
  EXPECT_TRUE(log->names.empty());  // the clone's changes are not the original's
}

TEST(StdFont, EqualityLooksAtEveryAttribute) {
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
}

TEST(StdFont, EveryChangeIsAnnounced) {
  auto f = StdFont::Create();
  auto log = std::make_shared<ChangeLog>();
  f->Advise(log);
  f->SetBold(true);
  f->Put("size", Variant(int32_t{9}));
  f->SetName("Arial");
  EXPECT_EQ(ErrorOf([&] { f->SetWeight(2000); }), 380);
  EXPECT_EQ(log->names, (std::vector<std::string>{"Bold", "Size", "Name"}));
}

}  // namespace
}  // namespace tabulo::platform
