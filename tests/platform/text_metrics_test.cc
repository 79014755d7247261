#include "platform/text/text_metrics.h"

#include <gtest/gtest.h>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

TEST(TextMetrics, DefaultFontIsNinetyTwipsPerCharacterAndBoldTenPercentMore) {
  EXPECT_EQ(TextWidth("MS Sans Serif", 8.25, false, "abcd"), 360);
  EXPECT_EQ(TextWidth("MS Sans Serif", 8.25, true, "abcd"), 396);
  EXPECT_EQ(TextWidth("Arial", 16.5, false, "ab"), 360);
  EXPECT_EQ(TextWidth(TextFont{}, ""), 0);
}

TEST(TextMetrics, WidthCountsCodePointsNotBytes) {
  EXPECT_EQ(TextWidth(TextFont{}, "Möchten"), 7 * 90);
  EXPECT_EQ(TextWidth(TextFont{}, "Réf."), 4 * 90);
  EXPECT_EQ(TextWidth(TextFont{}, "\xE2\x82\xAC"), 90);  // the euro sign, 3 bytes
  EXPECT_EQ(TextWidth(TextFont{}, "a\xFF"), 180);        // an invalid byte is one character
}

TEST(TextMetrics, SeveralLinesAreAsWideAsTheWidestAndStackTheirHeights) {
  EXPECT_EQ(TextHeight(TextFont{}, ""), 240);
  EXPECT_EQ(TextHeight(TextFont{}, "one"), 240);
  EXPECT_EQ(TextWidth(TextFont{}, "ab\r\nabcde\nx"), 450);
  EXPECT_EQ(TextHeight(TextFont{}, "ab\r\nabcde\nx"), 720);
  EXPECT_EQ(TextHeight(TextFont{}, "a\rb"), 480);
}

TEST(TextMetrics, ImpossibleSizesAreRefused) {
  for (double bad : {-1.0, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
    try {
      (void)TextWidth("Arial", bad, false, "x");
      ADD_FAILURE() << "accepted size " << bad;
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), 380);
    }
  }
}

}  // namespace
}  // namespace tabulo::platform
