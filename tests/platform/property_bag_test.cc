#include "platform/storage/property_bag.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/automation/dispatch.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::PlainObject;
namespace {

TEST(PropertyBag, NumbersAndBooleansEqualAcrossTypes) {
  const Variant zeros[] = {Variant(int16_t{0}), Variant(int32_t{0}), Variant(0.0),
                           Variant(0.0f),       Variant(false),      Variant::CurrencyScaled(0),
                           Variant::Byte(0),    Variant(-0.0)};
  for (const Variant& a : zeros)
    for (const Variant& b : zeros)
      EXPECT_TRUE(PropertyValuesEqual(a, b)) << TypeName(a.type()) << " vs " << TypeName(b.type());
}

TEST(PropertyBag, ValuesEqualNumericallyButStringsEmptyNullAndObjectsStrictly) {
  auto a = std::make_shared<PlainObject>(), b = std::make_shared<PlainObject>();
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
      {Variant(a), Variant(a), true}, {Variant(a), Variant(b), false},
      {Variant(a), Variant(), false},
      {Variant::Nothing(), int32_t{0}, false}, {Variant::Nothing(), Variant::Nothing(), true},
      {Variant::Error(5), Variant::Error(5), true}, {Variant::Error(5), int32_t{5}, false}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(PropertyValuesEqual(r.x, r.y), r.equal) << &r - rows;
}

using Keys = std::vector<std::string>;

TEST(PropertyBag, WriteEqualToDefaultIsNotStoredAndRemovesAnEarlierValue) {
  PropertyBag bag;
  bag.WriteProperty("Mode", Variant(int16_t{0}), Variant(int32_t{0}));
  bag.WriteProperty("RefreshInterval", Variant(0.0), Variant(false));
  bag.WriteProperty("Enabled", Variant(true), Variant(true));
  bag.WriteProperty("RecordSource", Variant(""), Variant(" "));
  bag.WriteProperty("A", Variant(int32_t{1}), Variant(int32_t{0}));
  bag.WriteProperty("A", Variant(0.0), Variant(int32_t{0}));
  EXPECT_EQ(bag.Keys(), Keys{"RecordSource"});
  EXPECT_EQ(bag.ReadProperty("RecordSource", Variant(" ")), Variant(""));
  EXPECT_EQ(bag.ReadProperty("Enabled", Variant(true)), Variant(true));
  EXPECT_EQ(bag.ReadProperty("A", Variant(int32_t{7})), Variant(int32_t{7}));
  EXPECT_EQ(bag.ReadProperty("Missing", Variant(int32_t{-12345})), Variant(int32_t{-12345}));
  EXPECT_TRUE(bag.ReadProperty("Missing").IsEmpty());
  // Store keeps values equal to any default.
  bag.Store("E", Variant());
  EXPECT_TRUE(bag.Contains("E"));
  EXPECT_TRUE(bag.ReadProperty("E", Variant("default")).IsEmpty());
}

TEST(PropertyBag, KeepsFirstWriteOrderReplacesInPlaceAndKeysAreCaseSensitive) {
  PropertyBag bag;
  bag.WriteProperty("Version", Variant("7.6.1.0"), Variant(""));
  bag.WriteProperty("RecordSource", Variant("SELECT 1"), Variant(" "));
  bag.WriteProperty("GridColCount", Variant(int16_t{3}), Variant(int16_t{-1}));
  bag.WriteProperty("Version", Variant("7.6.2.0"), Variant(""));
  EXPECT_EQ(bag.Keys(), (Keys{"Version", "RecordSource", "GridColCount"}));
  EXPECT_EQ(bag.ReadProperty("Version"), Variant("7.6.2.0"));
  EXPECT_TRUE(bag.Remove("RecordSource"));
  EXPECT_FALSE(bag.Remove("RecordSource"));
  bag.WriteProperty("DataTable", Variant("t"), Variant(""));
  bag.WriteProperty("version", Variant("b"), Variant());
  EXPECT_EQ(bag.Keys(), (Keys{"Version", "GridColCount", "DataTable", "version"}));
  // Positions are right after a removal in the middle.
  EXPECT_EQ(bag.ReadProperty("GridColCount"), Variant(int16_t{3}));
  EXPECT_EQ(bag.ReadProperty("DataTable"), Variant("t"));
  EXPECT_EQ(bag.ReadProperty("version"), Variant("b"));
  EXPECT_FALSE(bag.Contains("VERSION"));
  EXPECT_EQ(bag.size(), 4u);
}

}  // namespace
}  // namespace tabulo::platform
