#include "platform/storage/property_bag_font.h"

#include <gtest/gtest.h>

#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
namespace {

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

  // No factory: the font is built in.
  PropertyBag back = ParsePropertyBag(text, "form.tab", nullptr);
  std::shared_ptr<StdFont> loaded = FontOf(back, "Font");
  ASSERT_NE(loaded, nullptr);
  EXPECT_NE(loaded, font);
  EXPECT_TRUE(loaded->SameAs(*font));
  EXPECT_EQ(SerializePropertyBag(back), text);
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
  std::shared_ptr<StdFont> font = LoadStdFont(bag);
  EXPECT_EQ(font->name(), "Arial");
  EXPECT_EQ(font->size_scaled(), 97'500);
  EXPECT_EQ(font->charset(), 2);
  EXPECT_TRUE(font->italic());
  EXPECT_EQ(font->weight(), StdFont::kWeightNormal);
  EXPECT_FALSE(font->underline());
  EXPECT_FALSE(font->strikethrough());
}

TEST(PropertyBagFont, OldVersionTextWithoutEndLineIsStillRead) {
  PropertyBag bag = ParsePropertyBag(
      "TabuloPropertyBag 1\n"
      "Font = Object \"StdFont\" {\n"
      "  Name = String \"Tahoma\"\n"
      "  Bold = Boolean True\n"
      "}\n"
      "Mode = Long 3\n",
      "old.tab", nullptr);
  std::shared_ptr<StdFont> font = FontOf(bag, "Font");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->name(), "Tahoma");
  EXPECT_TRUE(font->bold());
  EXPECT_EQ(bag.ReadProperty("Mode"), Variant(int32_t{3}));
  EXPECT_EQ(bag.origin(), "old.tab");
}

TEST(PropertyBagFont, TheFactoryIsNotAskedForTheFont) {
  int asked = 0;
  ObjectFactory factory = [&](std::string_view) -> std::shared_ptr<Dispatch> {
    ++asked;
    return nullptr;
  };
  PropertyBag bag = ParsePropertyBag("TabuloPropertyBag 2\nFont = Object \"StdFont\" {\n}\nEnd\n",
                                     "f.tab", factory);
  EXPECT_EQ(asked, 0);
  std::shared_ptr<StdFont> font = FontOf(bag, "Font");
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->SameAs(*StdFont::Create()));
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

TEST(PropertyBagFormatVersion2, TheEndLineIsRequiredAndNothingMayFollowIt) {
  EXPECT_EQ(ParseError("TabuloPropertyBag 2\nA = Long 1\n"),
            "321: form.tab, line 2: unexpected end of text: missing the \"End\" line (truncated)");
  EXPECT_EQ(ParseError("TabuloPropertyBag 2\nA = Long 1\nEnd\nB = Long 2\n"),
            "321: form.tab, line 4: text after the \"End\" line");
  EXPECT_EQ(ParseError("TabuloPropertyBag 2\nA = Long 1\nEnd\n\n# saved\n"), "no error");
  // In version 1, "End" is no keyword.
  EXPECT_EQ(ParseError("TabuloPropertyBag 1\nEnd\n"),
            "321: form.tab, line 2, key \"End\": expected \"=\" after the key");
  // A key named End is still a key.
  PropertyBag bag = ParsePropertyBag("TabuloPropertyBag 2\nEnd = Long 1\nEnd\n", "f.tab", nullptr);
  EXPECT_EQ(bag.ReadProperty("End"), Variant(int32_t{1}));
}

}  // namespace
}  // namespace tabulo::platform
