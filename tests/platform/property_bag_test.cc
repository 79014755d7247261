#include "platform/storage/property_bag.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/automation/dispatch.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

class PlainObject : public Dispatch {
 public:
  std::string ClassName() const override { return "Plain"; }
  DispId GetIdOfName(std::string_view) const override { throw ComError::NotSupported(); }
  Variant Invoke(DispId, InvokeKind, std::vector<Variant>&) override {
    throw ComError::NotSupported();
  }
};

TEST(PropertyBag, NumbersAndBooleansEqualAcrossTypes) {
  const Variant zeros[] = {Variant(int16_t{0}), Variant(int32_t{0}), Variant(0.0),
                           Variant(0.0f),       Variant(false),      Variant::CurrencyScaled(0),
                           Variant::Byte(0),    Variant(-0.0)};
  for (const Variant& a : zeros)
    for (const Variant& b : zeros)
      EXPECT_TRUE(PropertyValuesEqual(a, b)) << TypeName(a.type()) << " vs " << TypeName(b.type());
  EXPECT_TRUE(PropertyValuesEqual(Variant(true), Variant(int32_t{-1})));
  EXPECT_TRUE(PropertyValuesEqual(Variant(-1.0), Variant(true)));
  EXPECT_TRUE(PropertyValuesEqual(Variant::CurrencyScaled(15'000), Variant(1.5)));
  EXPECT_TRUE(PropertyValuesEqual(Variant::CurrencyScaled(20'000), Variant(int16_t{2})));
  EXPECT_FALSE(PropertyValuesEqual(Variant::CurrencyScaled(20'001), Variant(int16_t{2})));
  EXPECT_FALSE(PropertyValuesEqual(Variant(int32_t{16777215}), Variant(int32_t{16777214})));
  EXPECT_FALSE(PropertyValuesEqual(Variant(0.1f), Variant(0.1)));  // Single widens inexactly
  double nan = std::nan("");
  EXPECT_FALSE(PropertyValuesEqual(Variant(nan), Variant(nan)));
}

TEST(PropertyBag, StringsEmptyNullAndObjectsCompareStrictly) {
  EXPECT_TRUE(PropertyValuesEqual(Variant("dbUpdate"), Variant("dbUpdate")));
  EXPECT_FALSE(PropertyValuesEqual(Variant("dbupdate"), Variant("dbUpdate")));
  EXPECT_FALSE(PropertyValuesEqual(Variant("0"), Variant(int32_t{0})));
  EXPECT_FALSE(PropertyValuesEqual(Variant(""), Variant(" ")));
  EXPECT_TRUE(PropertyValuesEqual(Variant(), Variant()));
  EXPECT_FALSE(PropertyValuesEqual(Variant(), Variant("")));
  EXPECT_FALSE(PropertyValuesEqual(Variant(), Variant(int32_t{0})));
  EXPECT_TRUE(PropertyValuesEqual(Variant::Null(), Variant::Null()));
  EXPECT_FALSE(PropertyValuesEqual(Variant::Null(), Variant()));
  auto a = std::make_shared<PlainObject>();
  auto b = std::make_shared<PlainObject>();
  EXPECT_TRUE(PropertyValuesEqual(Variant(a), Variant(a)));
  EXPECT_FALSE(PropertyValuesEqual(Variant(a), Variant(b)));
  EXPECT_FALSE(PropertyValuesEqual(Variant(a), Variant()));
  EXPECT_FALSE(PropertyValuesEqual(Variant::Nothing(), Variant(int32_t{0})));
  EXPECT_TRUE(PropertyValuesEqual(Variant::Nothing(), Variant::Nothing()));
  EXPECT_TRUE(PropertyValuesEqual(Variant::Error(5), Variant::Error(5)));
  EXPECT_FALSE(PropertyValuesEqual(Variant::Error(5), Variant(int32_t{5})));
}

TEST(PropertyBag, WriteEqualToDefaultIsNotStored) {
  PropertyBag bag;
  bag.WriteProperty("Mode", Variant(int16_t{0}), Variant(int32_t{0}));
  bag.WriteProperty("RefreshInterval", Variant(0.0), Variant(false));
  bag.WriteProperty("Enabled", Variant(true), Variant(true));
  bag.WriteProperty("RecordSource", Variant(""), Variant(" "));
  EXPECT_FALSE(bag.Contains("Mode"));
  EXPECT_FALSE(bag.Contains("RefreshInterval"));
  EXPECT_FALSE(bag.Contains("Enabled"));
  EXPECT_TRUE(bag.Contains("RecordSource"));
  EXPECT_EQ(bag.ReadProperty("RecordSource", Variant(" ")), Variant(""));
  EXPECT_EQ(bag.ReadProperty("Enabled", Variant(true)), Variant(true));
  EXPECT_EQ(bag.ReadProperty("Missing", Variant(int32_t{-12345})), Variant(int32_t{-12345}));
  EXPECT_TRUE(bag.ReadProperty("Missing").IsEmpty());
}

TEST(PropertyBag, EqualWriteRemovesAnEarlierValue) {
  PropertyBag bag;
  bag.WriteProperty("A", Variant(int32_t{1}), Variant(int32_t{0}));
  bag.WriteProperty("B", Variant(int32_t{2}), Variant(int32_t{0}));
  bag.WriteProperty("A", Variant(0.0), Variant(int32_t{0}));
  EXPECT_FALSE(bag.Contains("A"));
  EXPECT_EQ(bag.Keys(), std::vector<std::string>{"B"});
  EXPECT_EQ(bag.ReadProperty("A", Variant(int32_t{7})), Variant(int32_t{7}));
}

TEST(PropertyBag, KeepsFirstWriteOrderAndReplacesInPlace) {
  PropertyBag bag;
  bag.WriteProperty("Version", Variant("7.6.1.0"), Variant(""));
  bag.WriteProperty("RecordSource", Variant("SELECT 1"), Variant(" "));
  bag.WriteProperty("GridColCount", Variant(int16_t{3}), Variant(int16_t{-1}));
  bag.WriteProperty("Version", Variant("7.6.2.0"), Variant(""));
  EXPECT_EQ(bag.Keys(), (std::vector<std::string>{"Version", "RecordSource", "GridColCount"}));
  EXPECT_EQ(bag.ReadProperty("Version"), Variant("7.6.2.0"));
  EXPECT_TRUE(bag.Remove("RecordSource"));
  EXPECT_FALSE(bag.Remove("RecordSource"));
  bag.WriteProperty("DataTable", Variant("t"), Variant(""));
  EXPECT_EQ(bag.Keys(), (std::vector<std::string>{"Version", "GridColCount", "DataTable"}));
  // Positions are right after a removal in the middle.
  EXPECT_EQ(bag.ReadProperty("GridColCount"), Variant(int16_t{3}));
  EXPECT_EQ(bag.ReadProperty("DataTable"), Variant("t"));
}

TEST(PropertyBag, KeysAreCaseSensitive) {
  PropertyBag bag;
  bag.WriteProperty("Font", Variant("a"), Variant());
  bag.WriteProperty("font", Variant("b"), Variant());
  EXPECT_EQ(bag.size(), 2u);
  EXPECT_EQ(bag.ReadProperty("Font"), Variant("a"));
  EXPECT_EQ(bag.ReadProperty("font"), Variant("b"));
  EXPECT_FALSE(bag.Contains("FONT"));
}

TEST(PropertyBag, StoreKeepsValuesEqualToAnyDefault) {
  PropertyBag bag;
  bag.Store("E", Variant());
  EXPECT_TRUE(bag.Contains("E"));
  EXPECT_TRUE(bag.ReadProperty("E", Variant("default")).IsEmpty());
}

}  // namespace
}  // namespace tabulo::platform
