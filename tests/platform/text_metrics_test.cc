// Text widths and heights in twips, as the layout measures them.
#include "platform/text/text_metrics.h"

#include <gtest/gtest.h>

#include <limits>

#include "common/error_of.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

TEST(TextMetrics, NinetyTwipsPerCodePointBoldTenPercentMoreAndLinesStacked) {
  EXPECT_EQ(TextWidth("MS Sans Serif", 8.25, false, "abcd"), 360);
  EXPECT_EQ(TextWidth("MS Sans Serif", 8.25, true, "abcd"), 396);
  EXPECT_EQ(TextWidth("Arial", 16.5, false, "ab"), 360);
  const std::pair<const char*, int32_t> widths[] = {
      {"", 0},
      {"Möchten", 7 * 90},
      {"Réf.", 4 * 90},
      {"\xE2\x82\xAC", 90},      // the euro sign, 3 bytes
      {"a\xFF", 180},            // an invalid byte is one character
      {"ab\r\nabcde\nx", 450}};  // the widest line
  for (auto [text, width] : widths) EXPECT_EQ(TextWidth(TextFont{}, text), width) << text;
  const std::pair<const char*, int32_t> heights[] = {
      {"", 240}, {"one", 240}, {"ab\r\nabcde\nx", 720}, {"a\rb", 480}};
  for (auto [text, height] : heights) EXPECT_EQ(TextHeight(TextFont{}, text), height) << text;
}

TEST(TextMetrics, ImpossibleSizesAreRefused) {
  for (double bad : {-1.0, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(ErrorOf([&] { (void)TextWidth("Arial", bad, false, "x"); }), 380) << bad;
  }
}

}  // namespace
}  // namespace tabulo::platform
