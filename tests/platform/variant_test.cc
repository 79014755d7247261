// Variants, arrays and the error type they raise.
#include "platform/values/variant.h"

#include <gtest/gtest.h>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

TEST(Variant, CopiesArraysDeeplyAndRawAccessIsTypeStrict) {
  Variant a(SafeArray::Vector({Variant(int32_t{1}), Variant("x")}));
  Variant b = a;
  b.AsArray().At(0) = Variant(int32_t{2});
  EXPECT_EQ(a.AsArray().At(0), Variant(int32_t{1}));
  EXPECT_EQ(b.AsArray().At(0), Variant(int32_t{2}));
  EXPECT_EQ(test_support::ErrorText([] { (void)Variant("12").AsLong(); }), "13: Type mismatch");
  EXPECT_EQ(Variant(true).AsLong(), -1);  // True is -1
  EXPECT_EQ(Variant(false).AsLong(), 0);
  // Missing is an error value, not Empty.
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_EQ(Variant::Missing().type(), VarType::Error);
  EXPECT_FALSE(Variant().IsMissing());
}

TEST(SafeArray, BoundsAreCheckedInBothDimensions) {
  SafeArray m = SafeArray::Matrix(2, 6);
  EXPECT_EQ(m.UBound(1), 1);
  EXPECT_EQ(m.UBound(2), 5);
  m.At(1, 5) = Variant("last");
  EXPECT_NE(ErrorOf([&] { m.At(2, 0); }), 0);
  EXPECT_NE(ErrorOf([&] { m.At(0, 6); }), 0);
  EXPECT_NE(ErrorOf([&] { m.At(-1, 0); }), 0);
  EXPECT_NE(ErrorOf([&] { m.At(0); }), 0);  // wrong number of indices
  EXPECT_NE(ErrorOf([&] { m.UBound(3); }), 0);
}

TEST(SafeArray, RefusesHugeArraysWithOutOfMemoryAndRedimPreserveKeepsElements) {
  EXPECT_EQ(ErrorOf([] {
              SafeArray big(VarType::Variant, {{0, 100000}, {0, 100000}});
            }),
            kErrOutOfMemory);
  SafeArray wide(VarType::Variant, {{0, 1}, {0, 10000}});  // a 10,000-column row is fine
  EXPECT_EQ(wide.UBound(2), 9999);
  SafeArray names(VarType::String, {{0, 1}});
  names.Set(0, Variant("a"));
  names.RedimPreserve(2);
  EXPECT_EQ(names.At(0), Variant("a"));
  EXPECT_EQ(names.At(2), Variant(""));
  EXPECT_NE(ErrorOf([&] { names.Set(1, Variant(int32_t{3})); }), 0);
}

TEST(ComError, KeepsHresultBits) {
  ComError e(0x80040E14, "near \"FRM\": syntax error", "DataServer");
  EXPECT_EQ(e.code(), 0x80040E14u);
  EXPECT_LT(e.number(), 0);
  EXPECT_EQ(e.source(), "DataServer");
}

}  // namespace
}  // namespace tabulo::platform
