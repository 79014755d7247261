// Storage: property bags and their text form (what is written and read back exactly, damaged
// texts refused with their file, line and key, the standard font's saved form); files replaced
// whole (faults leave the old file, links are written through) and files read whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <set>
#include <stdexcept>

#include "common/error_of.h"
#include "host/test_folder.h"
#include "platform/automation/dispatch.h"
#include "platform/storage/atomic_file.h"
#include "platform/storage/property_bag_font.h"
#include "platform/storage/property_bag_format.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"
#include "platform/widgets/std_font.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
using test_support::FontText;
using test_support::PlainObject;
namespace {

// A saveable object with a few properties and an optional child, for nesting.
class TestFont : public Dispatch, public PersistPropertyBag {
 public:
  std::string ClassName() const override { return "TestFont"; }
  DispId GetIdOfName(std::string_view) const override { throw ComError::NotSupported(); }
  Variant Invoke(DispId, InvokeKind, std::vector<Variant>&) override {
    throw ComError::NotSupported();
  }
  std::string PersistClassName() const override { return "Test.Font"; }
  void SaveProperties(PropertyBag& bag) const override {
    bag.WriteProperty("Name", Variant(name), Variant("Arial"));
    bag.WriteProperty("Size", Variant::CurrencyScaled(size), Variant::CurrencyScaled(80'000));
    bag.WriteProperty("Child", Variant(child), Variant::Nothing());
  }
  void LoadProperties(const PropertyBag& bag) override {
    if (bag.ReadProperty("Name", Variant("Arial")) == Variant("Explode"))
      throw ComError(380, "Invalid property value");
    name = bag.ReadProperty("Name", Variant("Arial")).AsString();
    size = bag.ReadProperty("Size", Variant::CurrencyScaled(80'000)).AsCurrencyScaled();
    Variant c = bag.ReadProperty("Child", Variant::Nothing());
    child = c.AsObject();
  }

  std::string name = "Arial";
  int64_t size = 80'000;
  std::shared_ptr<Dispatch> child;
};

std::shared_ptr<Dispatch> Factory(std::string_view class_name) {
  if (class_name == "Test.Font") return std::make_shared<TestFont>();
  if (class_name == "Plain") return std::make_shared<PlainObject>();
  return nullptr;
}

PropertyBag Parse(std::string_view text) {
  return ParsePropertyBag(text, "panel.tab", Factory);
}

// The error a text raises as "number: line n, key ...: what"; every description starts with
// the file name, which is checked and left out.
std::string Problem(std::string_view text) {
  std::string error = test_support::ErrorText([&] { Parse(text); });
  const size_t file = error.find(": ");
  if (file == std::string::npos) return error;  // "no error"
  if (error.compare(file, 18, ": panel.tab, line ") != 0) return "without the file: " + error;
  return error.erase(file + 2, 11);
}

using Keys = std::vector<std::string>;

bool SameBits(double a, double b) {
  return std::signbit(a) == std::signbit(b) && (a == b || (std::isnan(a) && std::isnan(b)));
}

TEST(PropertyBag, ValuesEqualNumericallyButStringsEmptyNullAndObjectsStrictly) {
  // Zero of every numeric type and False are all equal.
  const Variant zeros[] = {Variant(int16_t{0}), Variant(int32_t{0}), Variant(0.0),
                           Variant(0.0f),       Variant(false),      Variant::CurrencyScaled(0),
                           Variant::Byte(0),    Variant(-0.0)};
  for (const Variant& a : zeros)
    for (const Variant& b : zeros)
      EXPECT_TRUE(PropertyValuesEqual(a, b)) << TypeName(a.type()) << " vs " << TypeName(b.type());
  auto x = std::make_shared<PlainObject>(), y = std::make_shared<PlainObject>();
  const double nan = std::nan("");
  const struct {
    Variant x, y;
    bool equal;
  } rows[] = {// clang-format off
      {true, int32_t{-1}, true}, {-1.0, true, true}, {Variant::CurrencyScaled(15'000), 1.5, true},
      {Variant::CurrencyScaled(20'000), int16_t{2}, true},
      {Variant::CurrencyScaled(20'001), int16_t{2}, false},
      {int32_t{16777215}, int32_t{16777214}, false},
      {0.1f, 0.1, false},  // Single widens inexactly
      {nan, nan, false}, {"dbUpdate", "dbUpdate", true}, {"dbupdate", "dbUpdate", false},
      {"0", int32_t{0}, false}, {"", " ", false}, {Variant(), Variant(), true},
      {Variant(), "", false}, {Variant(), int32_t{0}, false},
      {Variant::Null(), Variant::Null(), true}, {Variant::Null(), Variant(), false},
      {Variant(x), Variant(x), true}, {Variant(x), Variant(y), false},
      {Variant(x), Variant(), false},
      {Variant::Nothing(), int32_t{0}, false}, {Variant::Nothing(), Variant::Nothing(), true},
      {Variant::Error(5), Variant::Error(5), true}, {Variant::Error(5), int32_t{5}, false}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(PropertyValuesEqual(r.x, r.y), r.equal) << &r - rows;
}

TEST(PropertyBag, WritesEqualToTheDefaultAreNotStoredAndKeysKeepTheirFirstPlace) {
  PropertyBag bag;
  bag.WriteProperty("Version", Variant("7.6.1.0"), Variant(""));
  bag.WriteProperty("Enabled", Variant(true), Variant(true));
  bag.WriteProperty("RecordSource", Variant(""), Variant(" "));
  bag.WriteProperty("GridColCount", Variant(int16_t{3}), Variant(int16_t{-1}));
  bag.WriteProperty("A", Variant(int32_t{1}), Variant(int32_t{0}));
  bag.WriteProperty("A", Variant(0.0), Variant(int32_t{0}));      // removes the earlier value
  bag.WriteProperty("Version", Variant("7.6.2.0"), Variant(""));  // replaced in place
  EXPECT_EQ(bag.Keys(), (Keys{"Version", "RecordSource", "GridColCount"}));
  EXPECT_EQ(bag.ReadProperty("Version"), Variant("7.6.2.0"));
  EXPECT_EQ(bag.ReadProperty("RecordSource", Variant(" ")), Variant(""));
  EXPECT_EQ(bag.ReadProperty("A", Variant(int32_t{7})), Variant(int32_t{7}));
  EXPECT_TRUE(bag.ReadProperty("Missing").IsEmpty());
  EXPECT_TRUE(bag.Remove("RecordSource"));
  EXPECT_FALSE(bag.Remove("RecordSource"));
  bag.WriteProperty("DataTable", Variant("t"), Variant(""));
  bag.WriteProperty("version", Variant("b"), Variant());  // keys are case-sensitive
  bag.Store("E", Variant());                              // Store keeps values equal to any default
  EXPECT_EQ(bag.Keys(), (Keys{"Version", "GridColCount", "DataTable", "version", "E"}));
  // Positions are right after a removal in the middle.
  EXPECT_EQ(bag.ReadProperty("GridColCount"), Variant(int16_t{3}));
  EXPECT_EQ(bag.ReadProperty("version"), Variant("b"));
  EXPECT_FALSE(bag.Contains("VERSION"));
  EXPECT_TRUE(bag.ReadProperty("E", Variant("default")).IsEmpty());
  EXPECT_EQ(bag.size(), 5u);
}

TEST(PropertyBagFormat, WritesReadableLinesInBagOrder) {
  PropertyBag bag;
  bag.WriteProperty("Version", Variant("7.6.1.0"), Variant(""));
  bag.WriteProperty("Enabled", Variant(false), Variant(true));
  bag.WriteProperty("BackColor", Variant(int32_t{255}), Variant(int32_t{16777215}));
  bag.WriteProperty("odd key=", Variant::CurrencyScaled(15'000), Variant());
  bag.WriteProperty("Widths", Variant(SafeArray::Vector({Variant(int16_t{10}), Variant()})),
                    Variant());
  EXPECT_EQ(SerializePropertyBag(bag),
            "TabuloPropertyBag 2\n"
            "Version = String \"7.6.1.0\"\n"
            "Enabled = Boolean False\n"
            "BackColor = Long 255\n"
            "\"odd key=\" = Currency 15000\n"
            "Widths = Array Variant (0 To 1) {\n"
            "  Integer 10\n"
            "  Empty\n"
            "}\n"
            "End\n");
}

TEST(PropertyBagFormat, EveryScalarTypeRoundTripsExactly) {
  using Dbl = std::numeric_limits<double>;
  using Flt = std::numeric_limits<float>;
  // clang-format off
  std::vector<Variant> values = {
      Variant(), Variant::Null(), Variant::Nothing(), Variant(int16_t{-32768}),
      Variant(int16_t{32767}), Variant(std::numeric_limits<int32_t>::min()), Variant::Byte(255),
      Variant::CurrencyScaled(std::numeric_limits<int64_t>::min()),
      Variant::CurrencyScaled(std::numeric_limits<int64_t>::max()), Variant::Date(45000.25),
      Variant::Date(-657434.999988426), Variant(true), Variant(false),
      Variant::Error(static_cast<int32_t>(0x80020004u)), Variant::Error(0),
      -0.0, 0.1, 1e308, Dbl::denorm_min(), -2.2250738585072014e-308, Dbl::max(), Dbl::infinity(),
      -Dbl::infinity(), Dbl::quiet_NaN(), -0.0f, 0.1f, Flt::denorm_min(), Flt::max(),
      -Flt::infinity(), Flt::quiet_NaN()};
  // clang-format on
  PropertyBag bag;
  for (size_t i = 0; i < values.size(); ++i) bag.Store("K" + std::to_string(i), values[i]);

  PropertyBag back = Parse(SerializePropertyBag(bag));
  ASSERT_EQ(back.Keys(), bag.Keys());
  for (size_t i = 0; i < values.size(); ++i) {
    Variant got = back.ReadProperty("K" + std::to_string(i));
    EXPECT_EQ(got, values[i]) << "K" << i;
    if (values[i].type() == VarType::Double || values[i].type() == VarType::Single) {
      EXPECT_TRUE(SameBits(got.AsDouble(), values[i].AsDouble())) << "K" << i;
    }
  }
}

TEST(PropertyBagFormat, StringsAndKeysRoundTripByteForByte) {
  const std::string texts[] = {"",
                               "say \"hi\"\\",
                               "two\nlines\r\n\tand tab",
                               std::string("nul\0inside", 10),
                               "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                               "bad utf-8 \xFF\xC3 \xED\xA0\x80 \x7F\x01",
                               "# not a comment = String"};
  PropertyBag bag;
  for (const std::string& t : texts) bag.Store(t.empty() ? "empty" : t, Variant(t));
  std::string text = SerializePropertyBag(bag);
  // Control characters never appear raw: one line per entry, plus the header and end lines.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(std::size(texts)) + 2);
  EXPECT_NE(text.find("\xE2\x82\xAC"), std::string::npos);  // unicode kept as it is
  EXPECT_EQ(Parse(text), bag);
}

TEST(PropertyBagFormat, ArraysKeepBoundsElementTypeAndOrder) {
  SafeArray typed(VarType::Long, {{1, 3}});
  typed.Set(1, Variant(int32_t{-1}));
  typed.Set(3, Variant(int32_t{7}));
  SafeArray grid(VarType::Variant, {{-1, 2}, {5, 3}});
  grid.Set(-1, 5, Variant("a"));
  grid.Set(0, 7, Variant(2.5));
  grid.Set(0, 6, Variant(SafeArray::Vector({Variant(true)})));
  SafeArray strings(VarType::String, {{0, 2}});
  strings.Set(1, Variant("x\ny"));
  SafeArray big(VarType::Double, {{0, 10'000}});
  for (int32_t i = 0; i < 10'000; ++i) big.Set(i, Variant(i / 7.0));
  PropertyBag bag;
  bag.Store("Typed", Variant(typed));
  bag.Store("Grid", Variant(grid));
  bag.Store("Strings", Variant(strings));
  bag.Store("None", Variant(SafeArray(VarType::Double, {{0, 0}})));
  bag.Store("EmptyRows", Variant(SafeArray(VarType::Variant, {{0, 0}, {0, 4}})));
  bag.Store("Big", Variant(big));
  // Equal arrays have the same element type, bounds and elements.
  EXPECT_EQ(Parse(SerializePropertyBag(bag)), bag);
}

TEST(PropertyBagFormat, NestedObjectsAreSavedAndRecreated) {
  auto inner = std::make_shared<TestFont>();
  inner->name = "Courier \"New\"";
  auto font = std::make_shared<TestFont>();
  font->name = "Tahoma";
  font->size = 97'500;
  font->child = inner;
  PropertyBag bag;
  bag.WriteProperty("Font", Variant(std::static_pointer_cast<Dispatch>(font)), Variant());
  // The object lines and the keys after an object are the font's saved-form test, a text read
  // back and written again the control file test's; here an object inside an object.
  PropertyBag back = Parse(SerializePropertyBag(bag));
  auto loaded = std::dynamic_pointer_cast<TestFont>(back.ReadProperty("Font").AsObject());
  ASSERT_NE(loaded, nullptr);
  auto loaded_inner = std::dynamic_pointer_cast<TestFont>(loaded->child);
  ASSERT_NE(loaded_inner, nullptr);
  EXPECT_EQ(loaded->name + " " + std::to_string(loaded->size) + " / " + loaded_inner->name,
            "Tahoma 97500 / Courier \"New\"");
  EXPECT_EQ(loaded_inner->child, nullptr);
}

TEST(PropertyBagFormat, ObjectsThatCannotBeSavedAndCyclesAreRefused) {
  PropertyBag bag;
  bag.Store("Thing", Variant(std::static_pointer_cast<Dispatch>(std::make_shared<PlainObject>())));
  EXPECT_EQ(test_support::ErrorText([&] { SerializePropertyBag(bag); }),
            "13: Type mismatch (key \"Thing\": an object of class Plain cannot be saved in a "
            "property bag)");

  auto font = std::make_shared<TestFont>();
  font->child = font;
  PropertyBag cycle;
  cycle.Store("Font", Variant(std::static_pointer_cast<Dispatch>(font)));
  EXPECT_EQ(ErrorOf([&] { SerializePropertyBag(cycle); }), kErrOutOfStackSpace);
  font->child = nullptr;  // break the cycle so the object is freed
}

TEST(PropertyBagFormat, NestingIsLimited) {
  auto nested = [](int levels) {
    std::string text = "TabuloPropertyBag 1\nDeep = ";
    for (int i = 0; i < levels; ++i) text += "Array Variant (0 To 0) {\n";
    text += "Long 1\n";
    for (int i = 0; i < levels; ++i) text += "}\n";
    return text;
  };
  EXPECT_EQ(Problem(nested(kPropertyBagMaxDepth)), "no error");
  EXPECT_EQ(Problem(nested(kPropertyBagMaxDepth + 1)),
            "321: line 18, key \"Deep(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)\": values "
            "nested deeper than 16 levels");
  EXPECT_EQ(Problem(nested(100'000)).substr(0, 4), "321:");
}

TEST(PropertyBagFormat, AcceptsCrLfCommentsAndIndentation) {
  PropertyBag bag = Parse(
      "TabuloPropertyBag 1\r\n# saved by hand\r\n\r\n\t  Mode =Long 3  \r\n\"Key\"=String \"v\"");
  EXPECT_EQ(bag.Keys(), (Keys{"Mode", "Key"}));
  EXPECT_EQ(bag.ReadProperty("Mode"), Variant(int32_t{3}));
  EXPECT_EQ(bag.ReadProperty("Key"), Variant("v"));
}

// A text that is no bag at all is the session acceptance script's row.
TEST(PropertyBagFormat, DamagedTextsNameTheLineAndKey) {
#define HEAD "TabuloPropertyBag 1\n"
  const std::pair<const char*, const char*> rows[] = {
      // clang-format off
      {"TabuloPropertyBag 3\nA = Long 1\nEnd\n",
       "321: line 1: format version 3 is newer than this program reads (2)"},
      {"TabuloPropertyBag x\n", "321: line 1: bad format version \"x\""},
      {HEAD "A = Long 1\nFont = String \"Arial\n",
       "321: line 3, key \"Font\": unterminated string"},
      {HEAD "A = Long 1\nA = Long 2\n", "321: line 3, key \"A\": duplicate key"},
      {HEAD "Mode = Decimal 1\n", "321: line 2, key \"Mode\": unknown type \"Decimal\""},
      {HEAD "Mode = Long 1x\n", "321: line 2, key \"Mode\": bad Long value \"1x\""},
      {HEAD "Mode = Integer 32768\n",
       "321: line 2, key \"Mode\": Integer value out of range \"32768\""},
      {HEAD "Mode = Byte -1\n", "321: line 2, key \"Mode\": Byte value out of range \"-1\""},
      {HEAD "D = Double 1e999\n", "321: line 2, key \"D\": Double value out of range \"1e999\""},
      {HEAD "D = Single 0x1p3\n", "321: line 2, key \"D\": bad Single value \"0x1p3\""},
      {HEAD "B = Boolean Yes\n", "321: line 2, key \"B\": bad Boolean value \"Yes\""},
      {HEAD "E = Error 80020004\n", "321: line 2, key \"E\": bad Error value \"80020004\""},
      {HEAD "S = String \"a\\q\"\n", "321: line 2, key \"S\": unknown escape \\q in string"},
      {HEAD "S = String \"a\\x4\"\n", "321: line 2, key \"S\": bad \\x escape in string"},
      {HEAD "S = String \"a\" b\n",
       "321: line 2, key \"S\": unexpected text after the value: \"b\""},
      {HEAD "S String \"a\"\n", "321: line 2, key \"S\": expected \"=\" after the key"},
      {HEAD "S =\n", "321: line 2, key \"S\": missing value"},
      {HEAD "= Long 1\n", "321: line 2: expected a key at \"= Long 1\""},
      {HEAD "}\n", "321: line 2: unexpected \"}\""},
      {HEAD "L = Array Long (0 To 2) {\n  Long 1\n  Long 2\n",
       "321: line 4, key \"L\": unexpected end of text: missing \"}\" of the array"},
      {HEAD "L = Array Long (0 To 1) {\n  Long 1\n  Integer 2\n}\n",
       "321: line 4, key \"L(1)\": Integer element in an array of Long"},
      {HEAD "L = Array Long (0 To 0) {\n  Long 1\n  Long 2\n}\n",
       "321: line 4, key \"L(1)\": more elements than the bounds declare (1)"},
      {HEAD "L = Array Long (0 To 999999) {\n  Long 1\n  Long 2\n}\n",
       "321: line 5, key \"L\": 2 elements where the bounds declare 1000000"},
      {HEAD "L = Array Long (0 To 2147483646) {\n}\n",
       "321: line 2, key \"L\": array too large (more than 16777216 elements)"},
      {HEAD "L = Array Long (0 To 9999, 0 To 9999) {\n}\n",
       "321: line 2, key \"L\": array too large (more than 16777216 elements)"},
      {HEAD "L = Array Long (0 To 1, 0 To 1, 0 To 1) {\n}\n",
       "321: line 2, key \"L\": arrays have at most 2 dimensions"},
      {HEAD "L = Array Long (5 To 3) {\n}\n",
       "321: line 2, key \"L\": array upper bound below lower bound - 1"},
      {HEAD "L = Array Thing (0 To 1) {\n}\n",
       "321: line 2, key \"L\": unknown array element type \"Thing\""},
      {HEAD "L = Array Long (0 To 1 {\n}\n",
       "321: line 2, key \"L\": expected \")\" after the array bounds"},
      {HEAD "F = Object \"Test.Font\" {\n  Size = Currency 1\n",
       "321: line 3, key \"F\": unexpected end of text: missing \"}\" of the object"},
      {HEAD "F = Object \"Test.Font\" {\n  Size = Currency x\n}\n",
       "321: line 3, key \"F.Size\": bad Currency value \"x\""},
      {HEAD "A = Long 1\nF = Object \"Nope\" {\n}\n",
       "321: line 3, key \"F\": unknown class \"Nope\""},
      {HEAD "F = Object \"Plain\" {\n}\n",
       "321: line 2, key \"F\": class \"Plain\" cannot load properties"},
      {HEAD "F = Object \"Test.Font\" {\n  Name = String \"Explode\"\n}\n",
       "380: line 2, key \"F\": Invalid property value"},
      {HEAD "F = Object \"Test.Font\" {\n  Name = Long 1\n}\n",
       "13: line 2, key \"F\": Type mismatch"}};
  // clang-format on
#undef HEAD
  for (const auto& [text, error] : rows) EXPECT_EQ(Problem(text), error) << text;
}

TEST(PropertyBagFormat, EveryTruncationAndByteFlipIsRefusedCleanly) {
  auto font = std::make_shared<TestFont>();
  font->name = "Tahoma";
  SafeArray grid = SafeArray::Matrix(2, 2);
  grid.Set(1, 1, Variant("x\"y"));
  PropertyBag bag;
  bag.Store("Font", Variant(std::static_pointer_cast<Dispatch>(font)));
  bag.Store("Grid", Variant(grid));
  bag.Store("D", Variant(-1.5e-300));
  std::string text = SerializePropertyBag(bag);
  // The error of a damaged text, which names the file and line first: "n: panel.tab, line".
  auto refusal = [](const std::string& damaged) {
    const std::string error = test_support::ErrorText([&] { Parse(damaged); });
    EXPECT_TRUE(error == "no error" || error.find(": panel.tab, line ") == error.find(": "))
        << error;
    return error;
  };
  // Every cut before the end line is complete is refused, not read as a shorter bag.
  ASSERT_EQ(text.substr(text.size() - 4), "End\n");
  for (size_t n = 0; n + 1 < text.size(); ++n) {
    EXPECT_NE(refusal(text.substr(0, n)), "no error") << "cut at " << n;
  }
  for (size_t i = 0; i < text.size(); ++i)
    for (char replacement : {'\0', '"', '{', '}', '\n', '9', '\\', '\xFF'}) {
      std::string damaged = text;
      damaged[i] = replacement;
      refusal(damaged);
    }
}

// --- The standard font in a bag, built in without a factory.

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

// --- Files replaced and read whole.

namespace fs = std::filesystem;

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

class AtomicFileTest : public ::testing::Test {
 protected:
  host::testing::TestFolder dir_;
  const fs::path& folder_ = dir_.path();
};

// A fault in each step of ReplaceFile, with the target kept whole, its mode, links and no
// temporary left, is the container's save sweep; here the callback form: a callback that
// writes, one that throws after writing, and its failed write.
TEST_F(AtomicFileTest, ACallbackReplacesWholeOrLeavesTheTargetAndNoTemporaryBehind) {
  const struct {
    const char* name;
    bool fault, throws;
  } cases[] = {{"writes", false, false}, {"throws", false, true}, {"write fails", true, false}};
  const fs::path target = folder_ / "target";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(target, std::ios::binary | std::ios::trunc) << "old";
    fs::permissions(target, fs::perms(0640));
    std::string error = "none";
    try {
      ReplaceFileWith(
          target,
          [&](const fs::path& temporary) {
            EXPECT_EQ(temporary.parent_path(), folder_);
            EXPECT_TRUE(fs::exists(temporary));
            std::ofstream(temporary, std::ios::binary) << "new";
            if (c.throws) throw std::runtime_error("disk on fire");
          },
          [&](ReplaceStep step) { return c.fault && step == ReplaceStep::Write; });
    } catch (const ComError& e) {
      error = std::to_string(e.number()) + ": " + e.description();
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    EXPECT_EQ(ReadWholeFile(target).bytes, c.fault || c.throws ? "old" : "new");
    EXPECT_EQ(Entries(folder_), std::set<std::string>{"target"});
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    if (c.fault) {
      EXPECT_EQ(error.rfind("75: Path/File access error (" + target.string() + ": ", 0), 0u);
      EXPECT_NE(error.find(": Input/output error)"), std::string::npos) << error;
    } else {
      EXPECT_EQ(error, c.throws ? "disk on fire" : "none");
    }
  }
}

TEST_F(AtomicFileTest, WritesThroughLinksNewFilesTakeTheUmaskAndUnreplaceablePlacesRaise75) {
  const fs::path& folder = folder_;
  const mode_t mask = ::umask(027);
  ReplaceFile(folder / "fresh", "x");
  ::umask(mask);
  EXPECT_EQ(ReadWholeFile(folder / "fresh").bytes, "x");
  EXPECT_EQ(fs::status(folder / "fresh").permissions(), fs::perms(0640));

  // A link to an existing file: the file keeps its mode (that the link stays a link and the
  // file takes the text is the container's save sweep).
  fs::create_directories(folder / "real");
  std::ofstream(folder / "real" / "saved") << "old";
  fs::permissions(folder / "real" / "saved", fs::perms(0600));
  fs::create_symlink("real/saved", folder / "link");
  ReplaceFile(folder / "link", "new");
  EXPECT_EQ(fs::status(folder / "real" / "saved").permissions(), fs::perms(0600));

  // A link to a file not yet there (through a chain of two links) creates that file.
  fs::create_symlink("real/later", folder / "dangling");
  fs::create_symlink("dangling", folder / "chain");
  ReplaceFile(folder / "chain", "first");
  EXPECT_TRUE(fs::is_symlink(folder / "chain") && fs::is_symlink(folder / "dangling"));
  EXPECT_EQ(ReadWholeFile(folder / "real" / "later").bytes, "first");

  // Folders, missing folders, devices, pipes and loops are refused with error 75 and left as
  // they are.
  fs::create_directories(folder / "taken" / "inside");
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_symlink("loop", folder / "loop");
  for (const fs::path& target : {folder / "taken", folder / "missing" / "file",
                                 fs::path("/dev/null"), folder / "pipe", folder / "loop"}) {
    SCOPED_TRACE(target);
    try {
      ReplaceFile(target, "x");
      ADD_FAILURE() << "replaced";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrPathFileAccess);
      EXPECT_EQ(e.description().rfind("Path/File access error (" + target.string() + ": ", 0), 0u);
    }
  }
  EXPECT_TRUE(fs::is_directory(folder / "taken" / "inside"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
  EXPECT_EQ(Entries(folder), (std::set<std::string>{"fresh", "real", "link", "dangling", "chain",
                                                    "taken", "pipe", "loop"}));
}

// A device (/dev/zero) is the control file and host configuration tests' row.
TEST_F(AtomicFileTest, OnlyRegularFilesWithinTheLimitAreReadWhole) {
  dir_.Write("ten", "0123456789");
  ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
  struct {
    fs::path path;
    uintmax_t limit;
    std::string bytes, fault;
    bool opened;
  } const cases[] = {
      {folder_ / "ten", 10, "0123456789", "", true},
      {folder_ / "ten", 9, "", "larger than 9 bytes", true},
      {folder_ / "fifo", kWholeFileLimit, "", "not a regular file", true},
      {folder_, kWholeFileLimit, "", "a folder, not a file", true},
      {folder_ / "none", kWholeFileLimit, "", "cannot open it: No such file", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string() + " limit " + std::to_string(c.limit));
    const WholeFile file = ReadWholeFile(c.path, c.limit);
    EXPECT_EQ(file.bytes, c.bytes);
    EXPECT_EQ(file.fault.rfind(c.fault, 0), 0u) << file.fault;
    EXPECT_EQ(file.fault.empty(), c.fault.empty());
    EXPECT_EQ(file.opened, c.opened);
  }
}

}  // namespace
}  // namespace tabulo::platform
