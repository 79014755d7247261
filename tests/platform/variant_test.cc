#include "platform/values/variant.h"

#include <gtest/gtest.h>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

TEST(Variant, CopiesArraysDeeply) {
  Variant a(SafeArray::Vector({Variant(int32_t{1}), Variant("x")}));
  Variant b = a;
  b.AsArray().At(0) = Variant(int32_t{2});
  EXPECT_EQ(a.AsArray().At(0), Variant(int32_t{1}));
  EXPECT_EQ(b.AsArray().At(0), Variant(int32_t{2}));
}

TEST(Variant, RawAccessOfTheWrongTypeIsTypeMismatch) {
  Variant s("12");
  try {
    (void)s.AsLong();
    FAIL() << "expected a type mismatch";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrTypeMismatch);
    EXPECT_EQ(e.description(), "Type mismatch");
  }
}

TEST(Variant, BooleanTrueIsMinusOne) {
  EXPECT_EQ(Variant(true).AsLong(), -1);
  EXPECT_EQ(Variant(false).AsLong(), 0);
}

TEST(Variant, MissingIsAnErrorValueAndNotEmpty) {
  Variant m = Variant::Missing();
  EXPECT_TRUE(m.IsMissing());
  EXPECT_EQ(m.type(), VarType::Error);
  EXPECT_FALSE(Variant().IsMissing());
}

TEST(SafeArray, BoundsAreCheckedInBothDimensions) {
  SafeArray m = SafeArray::Matrix(2, 6);
  EXPECT_EQ(m.UBound(1), 1);
  EXPECT_EQ(m.UBound(2), 5);
  m.At(1, 5) = Variant("last");
  EXPECT_THROW(m.At(2, 0), ComError);
  EXPECT_THROW(m.At(0, 6), ComError);
  EXPECT_THROW(m.At(-1, 0), ComError);
  EXPECT_THROW(m.At(0), ComError);  // wrong number of indices
  EXPECT_THROW(m.UBound(3), ComError);
}

TEST(SafeArray, RefusesHugeArraysWithOutOfMemory) {
  try {
    SafeArray big(VarType::Variant, {{0, 100000}, {0, 100000}});
    FAIL() << "expected a refusal";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kErrOutOfMemory);
  }
  // A 10,000-column row is fine.
  SafeArray wide(VarType::Variant, {{0, 1}, {0, 10000}});
  EXPECT_EQ(wide.UBound(2), 9999);
}

TEST(SafeArray, RedimPreserveKeepsExistingElements) {
  SafeArray names(VarType::String, {{0, 1}});
  names.Set(0, Variant("a"));
  names.RedimPreserve(2);
  EXPECT_EQ(names.At(0), Variant("a"));
  EXPECT_EQ(names.At(2), Variant(""));
  EXPECT_THROW(names.Set(1, Variant(int32_t{3})), ComError);
}

TEST(ComError, KeepsHresultBits) {
  ComError e(0x80040E14, "near \"FRM\": syntax error", "DataServer");
  EXPECT_EQ(e.code(), 0x80040E14u);
  EXPECT_LT(e.number(), 0);
  EXPECT_EQ(e.source(), "DataServer");
}

}  // namespace
}  // namespace tabulo::platform
