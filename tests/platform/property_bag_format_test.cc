#include "platform/storage/property_bag_format.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>

#include "platform/automation/dispatch.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
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

class PlainObject : public Dispatch {
 public:
  std::string ClassName() const override { return "Plain"; }
  DispId GetIdOfName(std::string_view) const override { throw ComError::NotSupported(); }
  Variant Invoke(DispId, InvokeKind, std::vector<Variant>&) override {
    throw ComError::NotSupported();
  }
};

std::shared_ptr<Dispatch> Factory(std::string_view class_name) {
  if (class_name == "Test.Font") return std::make_shared<TestFont>();
  if (class_name == "Plain") return std::make_shared<PlainObject>();
  return nullptr;
}

PropertyBag Parse(std::string_view text) {
  return ParsePropertyBag(text, "panel.tab", Factory);
}

// The error a text raises, as "number: description".
std::string ParseError(std::string_view text) {
  try {
    Parse(text);
  } catch (const ComError& e) {
    return std::to_string(e.number()) + ": " + e.description();
  }
  return "no error";
}

bool SameBits(double a, double b) {
  return std::signbit(a) == std::signbit(b) && (a == b || (std::isnan(a) && std::isnan(b)));
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
  const double kDoubles[] = {-0.0,
                             0.1,
                             1e308,
                             std::numeric_limits<double>::denorm_min(),
                             -2.2250738585072014e-308,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
  const float kSingles[] = {-0.0f,
                            0.1f,
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
  std::vector<Variant> values = {Variant(),
                                 Variant::Null(),
                                 Variant::Nothing(),
                                 Variant(int16_t{-32768}),
                                 Variant(int16_t{32767}),
                                 Variant(std::numeric_limits<int32_t>::min()),
                                 Variant::Byte(255),
                                 Variant::CurrencyScaled(std::numeric_limits<int64_t>::min()),
                                 Variant::CurrencyScaled(std::numeric_limits<int64_t>::max()),
                                 Variant::Date(45000.25),
                                 Variant::Date(-657434.999988426),
                                 Variant(true),
                                 Variant(false),
                                 Variant::Error(static_cast<int32_t>(0x80020004u)),
                                 Variant::Error(0)};
  for (double d : kDoubles) values.emplace_back(d);
  for (float f : kSingles) values.emplace_back(f);
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
  PropertyBag bag;
  bag.Store("Typed", Variant(typed));
  bag.Store("Grid", Variant(grid));
  bag.Store("Strings", Variant(strings));
  bag.Store("None", Variant(SafeArray(VarType::Double, {{0, 0}})));
  bag.Store("EmptyRows", Variant(SafeArray(VarType::Variant, {{0, 0}, {0, 4}})));
  PropertyBag back = Parse(SerializePropertyBag(bag));
  EXPECT_EQ(back, bag);
  Variant grid_back = back.ReadProperty("Grid");
  const SafeArray& g = grid_back.AsArray();
  EXPECT_EQ(g.LBound(1), -1);
  EXPECT_EQ(g.UBound(2), 7);
  EXPECT_EQ(g.At(0, 7), Variant(2.5));
  EXPECT_EQ(back.ReadProperty("EmptyRows").AsArray().UBound(2), 3);
}

TEST(PropertyBagFormat, TenThousandElementArray) {
  SafeArray big(VarType::Double, {{0, 10'000}});
  for (int32_t i = 0; i < 10'000; ++i) big.Set(i, Variant(i / 7.0));
  PropertyBag bag;
  bag.Store("Big", Variant(big));
  std::string text = SerializePropertyBag(bag);
  PropertyBag back = Parse(text);
  EXPECT_EQ(back.ReadProperty("Big"), Variant(big));
  EXPECT_EQ(back.ReadProperty("Big").AsArray().At(9'999), Variant(9'999 / 7.0));
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
  bag.WriteProperty("After", Variant(int32_t{1}), Variant());
  std::string text = SerializePropertyBag(bag);
  EXPECT_NE(text.find("Font = Object \"Test.Font\" {\n  Name = String \"Tahoma\"\n"),
            std::string::npos)
      << text;

  PropertyBag back = Parse(text);
  EXPECT_EQ(back.Keys(), (std::vector<std::string>{"Font", "After"}));
  auto loaded = std::dynamic_pointer_cast<TestFont>(back.ReadProperty("Font").AsObject());
  ASSERT_NE(loaded, nullptr);
  EXPECT_NE(loaded, font);
  EXPECT_EQ(loaded->name, "Tahoma");
  EXPECT_EQ(loaded->size, 97'500);
  auto loaded_inner = std::dynamic_pointer_cast<TestFont>(loaded->child);
  ASSERT_NE(loaded_inner, nullptr);
  EXPECT_EQ(loaded_inner->name, "Courier \"New\"");
  EXPECT_EQ(loaded_inner->child, nullptr);
  EXPECT_EQ(SerializePropertyBag(back), text);
}

TEST(PropertyBagFormat, ObjectsThatCannotBeSavedRaiseTypeMismatch) {
  PropertyBag bag;
  bag.Store("Thing", Variant(std::static_pointer_cast<Dispatch>(std::make_shared<PlainObject>())));
  try {
    SerializePropertyBag(bag);
    FAIL() << "expected an error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrTypeMismatch);
    EXPECT_NE(e.description().find("key \"Thing\""), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("Plain"), std::string::npos);
  }
}

TEST(PropertyBagFormat, ObjectCycleIsRefusedWhenSaving) {
  auto font = std::make_shared<TestFont>();
  font->child = font;
  PropertyBag bag;
  bag.Store("Font", Variant(std::static_pointer_cast<Dispatch>(font)));
  try {
    SerializePropertyBag(bag);
    FAIL() << "expected an error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrOutOfStackSpace);
  }
  font->child = nullptr;  // break the cycle so the object is freed
}

std::string Nested(int levels) {
  std::string text = "TabuloPropertyBag 1\nDeep = ";
  for (int i = 0; i < levels; ++i) text += "Array Variant (0 To 0) {\n";
  text += "Long 1\n";
  for (int i = 0; i < levels; ++i) text += "}\n";
  return text;
}

TEST(PropertyBagFormat, NestingIsLimited) {
  EXPECT_NO_THROW(Parse(Nested(kPropertyBagMaxDepth)));
  EXPECT_EQ(ParseError(Nested(kPropertyBagMaxDepth + 1)),
            "321: panel.tab, line 18, key \"Deep(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)(0)"
            "(0)\": values nested deeper than 16 levels");
  EXPECT_EQ(ParseError(Nested(100'000)).substr(0, 4), "321:");
}

TEST(PropertyBagFormat, AcceptsCrLfCommentsAndIndentation) {
  PropertyBag bag = Parse(
      "TabuloPropertyBag 1\r\n# saved by hand\r\n\r\n\t  Mode =Long 3  \r\n\"Key\"=String \"v\"");
  EXPECT_EQ(bag.Keys(), (std::vector<std::string>{"Mode", "Key"}));
  EXPECT_EQ(bag.ReadProperty("Mode"), Variant(int32_t{3}));
  EXPECT_EQ(bag.ReadProperty("Key"), Variant("v"));
}

struct BadText {
  const char* text;
  const char* error;
};

// Keeps addresses out of the test names that test discovery reports.
void PrintTo(const BadText&, std::ostream* os) {
  *os << "bad text";
}

class PropertyBagFormatErrors : public testing::TestWithParam<BadText> {};

TEST_P(PropertyBagFormatErrors, NameFileLineAndKey) {
  EXPECT_EQ(ParseError(GetParam().text), GetParam().error);
}

#define HEAD "TabuloPropertyBag 1\n"
INSTANTIATE_TEST_SUITE_P(
    PropertyBagFormat, PropertyBagFormatErrors,
    testing::Values(
        BadText{"",
                "321: panel.tab, line 1: not a property bag (the first line must be "
                "\"TabuloPropertyBag 2\")"},
        BadText{"TabuloPropertyBag 3\nA = Long 1\nEnd\n",
                "321: panel.tab, line 1: format version 3 is newer than this program reads (2)"},
        BadText{"TabuloPropertyBag x\n", "321: panel.tab, line 1: bad format version \"x\""},
        BadText{HEAD "A = Long 1\nFont = String \"Arial\n",
                "321: panel.tab, line 3, key \"Font\": unterminated string"},
        BadText{HEAD "A = Long 1\nA = Long 2\n",
                "321: panel.tab, line 3, key \"A\": duplicate key"},
        BadText{HEAD "Mode = Decimal 1\n",
                "321: panel.tab, line 2, key \"Mode\": unknown type \"Decimal\""},
        BadText{HEAD "Mode = Long 1x\n",
                "321: panel.tab, line 2, key \"Mode\": bad Long value \"1x\""},
        BadText{HEAD "Mode = Integer 32768\n",
                "321: panel.tab, line 2, key \"Mode\": Integer value out of range \"32768\""},
        BadText{HEAD "Mode = Byte -1\n",
                "321: panel.tab, line 2, key \"Mode\": Byte value out of range \"-1\""},
        BadText{HEAD "D = Double 1e999\n",
                "321: panel.tab, line 2, key \"D\": Double value out of range \"1e999\""},
        BadText{HEAD "D = Single 0x1p3\n",
                "321: panel.tab, line 2, key \"D\": bad Single value \"0x1p3\""},
        BadText{HEAD "B = Boolean Yes\n",
                "321: panel.tab, line 2, key \"B\": bad Boolean value \"Yes\""},
        BadText{HEAD "E = Error 80020004\n",
                "321: panel.tab, line 2, key \"E\": bad Error value \"80020004\""},
        BadText{HEAD "S = String \"a\\q\"\n",
                "321: panel.tab, line 2, key \"S\": unknown escape \\q in string"},
        BadText{HEAD "S = String \"a\\x4\"\n",
                "321: panel.tab, line 2, key \"S\": bad \\x escape in string"},
        BadText{HEAD "S = String \"a\" b\n",
                "321: panel.tab, line 2, key \"S\": unexpected text after the value: \"b\""},
        BadText{HEAD "S String \"a\"\n",
                "321: panel.tab, line 2, key \"S\": expected \"=\" after the key"},
        BadText{HEAD "S =\n", "321: panel.tab, line 2, key \"S\": missing value"},
        BadText{HEAD "= Long 1\n", "321: panel.tab, line 2: expected a key at \"= Long 1\""},
        BadText{HEAD "}\n", "321: panel.tab, line 2: unexpected \"}\""},
        BadText{HEAD "L = Array Long (0 To 2) {\n  Long 1\n  Long 2\n",
                "321: panel.tab, line 4, key \"L\": unexpected end of text: missing \"}\" of the "
                "array"},
        BadText{HEAD "L = Array Long (0 To 1) {\n  Long 1\n  Integer 2\n}\n",
                "321: panel.tab, line 4, key \"L(1)\": Integer element in an array of Long"},
        BadText{HEAD "L = Array Long (0 To 0) {\n  Long 1\n  Long 2\n}\n",
                "321: panel.tab, line 4, key \"L(1)\": more elements than the bounds declare (1)"},
        BadText{HEAD "L = Array Long (0 To 999999) {\n  Long 1\n  Long 2\n}\n",
                "321: panel.tab, line 5, key \"L\": 2 elements where the bounds declare 1000000"},
        BadText{HEAD "L = Array Long (0 To 2147483646) {\n}\n",
                "321: panel.tab, line 2, key \"L\": array too large (more than 16777216 elements)"},
        BadText{HEAD "L = Array Long (0 To 9999, 0 To 9999) {\n}\n",
                "321: panel.tab, line 2, key \"L\": array too large (more than 16777216 elements)"},
        BadText{HEAD "L = Array Long (0 To 1, 0 To 1, 0 To 1) {\n}\n",
                "321: panel.tab, line 2, key \"L\": arrays have at most 2 dimensions"},
        BadText{HEAD "L = Array Long (5 To 3) {\n}\n",
                "321: panel.tab, line 2, key \"L\": array upper bound below lower bound - 1"},
        BadText{HEAD "L = Array Thing (0 To 1) {\n}\n",
                "321: panel.tab, line 2, key \"L\": unknown array element type \"Thing\""},
        BadText{HEAD "L = Array Long (0 To 1 {\n}\n",
                "321: panel.tab, line 2, key \"L\": expected \")\" after the array bounds"},
        BadText{HEAD "F = Object \"Test.Font\" {\n  Size = Currency 1\n",
                "321: panel.tab, line 3, key \"F\": unexpected end of text: missing \"}\" of the "
                "object"},
        BadText{HEAD "F = Object \"Test.Font\" {\n  Size = Currency x\n}\n",
                "321: panel.tab, line 3, key \"F.Size\": bad Currency value \"x\""},
        BadText{HEAD "A = Long 1\nF = Object \"Nope\" {\n}\n",
                "321: panel.tab, line 3, key \"F\": unknown class \"Nope\""},
        BadText{HEAD "F = Object \"Plain\" {\n}\n",
                "321: panel.tab, line 2, key \"F\": class \"Plain\" cannot load properties"},
        BadText{HEAD "F = Object \"Test.Font\" {\n  Name = String \"Explode\"\n}\n",
                "380: panel.tab, line 2, key \"F\": Invalid property value"},
        BadText{HEAD "F = Object \"Test.Font\" {\n  Name = Long 1\n}\n",
                "13: panel.tab, line 2, key \"F\": Type mismatch"}),
    [](const testing::TestParamInfo<BadText>& info) {
      // A stable name from the expected message, so test discovery does not depend on
      // addresses.
      std::string name = "Case" + std::to_string(info.index) + "_";
      std::string_view error = info.param.error;
      error.remove_prefix(error.rfind(": ") + 2);
      for (char c : error.substr(0, 30))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      return name;
    });
#undef HEAD

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
  auto check = [](const std::string& damaged) {
    try {
      Parse(damaged);
    } catch (const ComError& e) {
      EXPECT_EQ(e.description().rfind("panel.tab, line ", 0), 0u) << e.description();
    }
  };
  // Every cut before the end line is complete is refused, not read as a shorter bag.
  ASSERT_EQ(text.substr(text.size() - 4), "End\n");
  for (size_t n = 0; n + 1 < text.size(); ++n) {
    SCOPED_TRACE("cut at " + std::to_string(n));
    EXPECT_NE(ParseError(text.substr(0, n)), "no error");
    check(text.substr(0, n));
  }
  for (size_t i = 0; i < text.size(); ++i)
    for (char replacement : {'\0', '"', '{', '}', '\n', '9', '\\', '\xFF'}) {
      std::string damaged = text;
      damaged[i] = replacement;
      check(damaged);
    }
}

TEST(PropertyBagFormat, ObjectsWithoutFactoryAreAnError) {
  try {
    ParsePropertyBag("TabuloPropertyBag 1\nF = Object \"Test.Font\" {\n}\n", "x.tab", nullptr);
    FAIL() << "expected an error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrInvalidFileFormat);
    EXPECT_EQ(e.description(),
              "x.tab, line 2, key \"F\": no object factory to create class \"Test.Font\"");
  }
}

}  // namespace
}  // namespace tabulo::platform
