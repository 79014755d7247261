// The standard font object (bold and weight, sizes, its members, equality, change events) and
// its saved form in a property bag.
#include "platform/widgets/std_font.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "common/error_of.h"
#include "platform/storage/property_bag_font.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
using test_support::FontText;
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

// Size 0, Weight 1001, Charset 256 and an empty name are the loaded font's rows below.
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
  auto log = std::make_shared<ChangeLog>();
  f->Advise(log);
  auto c = f->Clone();
  EXPECT_NE(c.get(), f.get());
  EXPECT_TRUE(*c == *f);
  EXPECT_EQ(c->sink_count(), 0u);
  c->SetUnderline(true);
  EXPECT_FALSE(f->underline());
  EXPECT_TRUE(log->names.empty());  // the clone's changes are not the original's
  // Every change of the original is announced, a refused one is not.
  f->SetBold(true);
  f->Put("size", Variant(int32_t{9}));
  f->SetName("Arial");
  EXPECT_EQ(ErrorOf([&] { f->SetWeight(2000); }), 380);
  EXPECT_EQ(log->names, (std::vector<std::string>{"Bold", "Size", "Name"}));
}

std::shared_ptr<StdFont> FontOf(const PropertyBag& bag, std::string_view key) {
  auto font = std::dynamic_pointer_cast<StdFont>(bag.ReadProperty(key).AsObject());
  EXPECT_NE(font, nullptr) << key;
  return font;
}

std::string ParseError(std::string_view text) {
  return test_support::ErrorText([&] { ParsePropertyBag(text, "form.tab", nullptr); });
}

TEST(PropertyBagFont, EveryAttributeRoundTripsThroughTheText) {
  auto font = StdFont::Create();
  font->SetName("Courier \"New\" \xC3\xA9");
  font->SetSize(10.0625);
  font->SetWeight(550);  // not bold: below the threshold, and not 400
  font->SetItalic(true);
  font->SetUnderline(true);
  font->SetStrikethrough(true);
  font->SetCharset(238);
  PropertyBag bag;
  bag.Store("Font", Variant(std::static_pointer_cast<Dispatch>(font)));
  bag.Store("After", Variant(int32_t{7}));
  std::string text = SerializePropertyBag(bag);
  EXPECT_NE(text.find("Font = Object \"StdFont\" {\n"
                      "  Name = String \"Courier \\\"New\\\" \xC3\xA9\"\n"
                      "  Size = Double 10.0625\n"
                      "  Bold = Boolean False\n"
                      "  Italic = Boolean True\n"
                      "  Underline = Boolean True\n"
                      "  Strikethrough = Boolean True\n"
                      "  Weight = Integer 550\n"
                      "  Charset = Integer 238\n"
                      "}\n"
                      "After = Long 7\n"),
            std::string::npos)
      << text;
  // Read back, the font is a new object with every attribute; its text is the same again.
  std::shared_ptr<StdFont> loaded = FontOf(ParsePropertyBag(text, "form.tab", nullptr), "Font");
  ASSERT_NE(loaded, nullptr);
  EXPECT_NE(loaded, font);
  EXPECT_TRUE(loaded->SameAs(*font));
}

TEST(PropertyBagFont, SizesKeepTheirFourDecimals) {
  for (double size : {8.25, 0.0001, 16383.0, 9.7501, 12.0}) {
    auto font = StdFont::Create();
    font->SetSize(size);
    PropertyBag bag;
    SaveStdFont(*font, bag);
    std::shared_ptr<StdFont> back = LoadStdFont(bag);
    EXPECT_EQ(back->size_scaled(), font->size_scaled()) << size;
  }
}

TEST(PropertyBagFont, BoldIsAppliedOnlyWhereItDisagreesWithWeight) {
  const struct {
    bool bold;
    int16_t weight;  // 0: not saved
    int16_t loaded;
  } rows[] = {{true, 0, StdFont::kWeightBold},
              {true, 900, 900},
              {true, 300, StdFont::kWeightBold},
              {false, 800, StdFont::kWeightNormal}};
  for (const auto& r : rows) {
    PropertyBag bag;
    bag.Store("Bold", Variant(r.bold));
    if (r.weight != 0) bag.Store("Weight", Variant(r.weight));
    EXPECT_EQ(LoadStdFont(bag)->weight(), r.loaded) << r.bold << " " << r.weight;
  }
}

TEST(PropertyBagFont, MissingAttributesTakeTheFontDefaultsAndNumbersOfAnyTypeAreTaken) {
  PropertyBag bag;
  bag.Store("Name", Variant("Arial"));
  bag.Store("Size", Variant::CurrencyScaled(97'500));
  bag.Store("Charset", Variant(int32_t{2}));
  bag.Store("Italic", Variant(int16_t{-1}));
  EXPECT_EQ(FontText(*LoadStdFont(bag)), "Arial 97500 400 2 italic");
}

// Version 1 has no end line; the font is built in, the factory is not asked for it.
TEST(PropertyBagFont, OldVersionTextIsStillReadAndTheFactoryIsNotAskedForTheFont) {
  int asked = 0;
  ObjectFactory factory = [&](std::string_view) -> std::shared_ptr<Dispatch> {
    ++asked;
    return nullptr;
  };
  PropertyBag bag = ParsePropertyBag(
      "TabuloPropertyBag 1\n"
      "Font = Object \"StdFont\" {\n"
      "  Name = String \"Tahoma\"\n"
      "  Bold = Boolean True\n"
      "}\n"
      "Plain = Object \"StdFont\" {\n}\n"
      "Mode = Long 3\n",
      "old.tab", factory);
  EXPECT_EQ(asked, 0);
  std::shared_ptr<StdFont> font = FontOf(bag, "Font"), plain = FontOf(bag, "Plain");
  ASSERT_TRUE(font && plain);
  EXPECT_EQ(FontText(*font), "Tahoma 82500 700 0");
  EXPECT_TRUE(plain->SameAs(*StdFont::Create()));
  EXPECT_EQ(bag.ReadProperty("Mode"), Variant(int32_t{3}));
  EXPECT_EQ(bag.origin(), "old.tab");
}

TEST(PropertyBagFont, BadAttributesNameFileLineKeyAndAttribute) {
  const std::pair<const char*, const char*> rows[] = {
      {"  Size = String \"big\"\n", "13: Type mismatch (font Size cannot be String)"},
      {"  Name = Long 5\n", "13: Type mismatch (font Name cannot be Long)"},
      {"  Italic = String \"yes\"\n", "13: Type mismatch (font Italic cannot be String)"},
      {"  Name = String \"\"\n", "380: Invalid property value (font Name)"},
      {"  Size = Double 0\n", "380: Invalid property value (font Size)"},
      {"  Weight = Long 1001\n", "380: Invalid property value (font Weight)"},
      {"  Weight = Double 400.5\n",
       "380: Invalid property value (font Weight must be a whole number)"},
      {"  Charset = Integer 256\n", "380: Invalid property value (font Charset)"}};
  for (const auto& [body, error] : rows) {
    std::string want = error;
    want.insert(want.find(' ') + 1, "form.tab, line 3, key \"Font\": ");
    EXPECT_EQ(
        ParseError(std::string("TabuloPropertyBag 2\nA = Long 1\nFont = Object \"StdFont\" {\n") +
                   body + "}\nEnd\n"),
        want);
  }
}

// A text cut before the "End" line is the control file tests' row.
TEST(PropertyBagFormatVersion2, TheEndLineIsRequiredAndNothingMayFollowIt) {
  EXPECT_EQ(ParseError("TabuloPropertyBag 2\nA = Long 1\nEnd\nB = Long 2\n"),
            "321: form.tab, line 4: text after the \"End\" line");
  EXPECT_EQ(ParseError("TabuloPropertyBag 2\nA = Long 1\nEnd\n\n# saved\n"), "no error");
  // In version 1, "End" is no keyword.
  EXPECT_EQ(ParseError("TabuloPropertyBag 1\nEnd\n"),
            "321: form.tab, line 2, key \"End\": expected \"=\" after the key");
  EXPECT_EQ(ParseError("TabuloPropertyBag 2\nF = Object \"Test.Font\" {\n}\nEnd\n"),
            "321: form.tab, line 2, key \"F\": no object factory to create class \"Test.Font\"");
  // A key named End is still a key.
  PropertyBag bag = ParsePropertyBag("TabuloPropertyBag 2\nEnd = Long 1\nEnd\n", "f.tab", nullptr);
  EXPECT_EQ(bag.ReadProperty("End"), Variant(int32_t{1}));
}

}  // namespace
}  // namespace tabulo::platform
