#include "platform/widgets/std_font.h"
#include "common/error_of.h"

#include <gtest/gtest.h>

#include <cmath>

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

TEST(StdFont, BoldAndWeightFollowEachOther) {
  StdFont f;
  f.SetBold(true);
  EXPECT_EQ(f.weight(), 700);
  f.SetBold(false);
  EXPECT_EQ(f.weight(), 400);
  f.SetWeight(600);
  EXPECT_TRUE(f.bold());
  f.SetWeight(599);
  EXPECT_FALSE(f.bold());
  f.SetWeight(900);
  EXPECT_TRUE(f.bold());
  f.SetBold(true);  // bold always means 700, even from a heavier weight
  EXPECT_EQ(f.weight(), 700);
  f.SetWeight(0);
  EXPECT_FALSE(f.bold());
}

TEST(StdFont, SizeKeepsFourDecimalsRoundingHalvesToEven) {
  StdFont f;
  f.SetSize(8.123456);
  EXPECT_EQ(f.size_scaled(), 81235);
  f.SetSize(0.03125);  // 312.5 ten-thousandths
  EXPECT_EQ(f.size_scaled(), 312);
  f.SetSize(0.09375);  // 937.5 ten-thousandths
  EXPECT_EQ(f.size_scaled(), 938);
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
  EXPECT_EQ(f->GetIdOfName("name"), 0);
  EXPECT_EQ(f->GetIdOfName("SIZE"), 2);
  EXPECT_EQ(f->GetIdOfName("Bold"), 3);
  EXPECT_EQ(f->GetIdOfName("Italic"), 4);
  EXPECT_EQ(f->GetIdOfName("Underline"), 5);
  EXPECT_EQ(f->GetIdOfName("Strikethrough"), 6);
  EXPECT_EQ(f->GetIdOfName("Weight"), 7);
  EXPECT_EQ(f->GetIdOfName("Charset"), 8);

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
  std::vector<std::function<void(StdFont&)>> changes{
      [](StdFont& f) { f.SetName("Arial"); },   [](StdFont& f) { f.SetSize(8.2501); },
      [](StdFont& f) { f.SetWeight(401); },     [](StdFont& f) { f.SetItalic(true); },
      [](StdFont& f) { f.SetUnderline(true); }, [](StdFont& f) { f.SetStrikethrough(true); },
      [](StdFont& f) { f.SetCharset(1); },      [](StdFont& f) { f.SetName("ms sans serif"); },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    StdFont a, b;
    changes[i](b);
    EXPECT_FALSE(a == b) << i;
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
