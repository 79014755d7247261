// Progress of long loads: the text shown, and reports reaching the sink in place.
#include "container/load_progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace tabulo::container {
namespace {

TEST(LoadProgress, TextGroupsThousands) {
  const std::pair<int64_t, const char*> cases[] = {{0, "Loading: 0 rows so far"},
                                                   {999, "Loading: 999 rows so far"},
                                                   {65536, "Loading: 65,536 rows so far"},
                                                   {1234567, "Loading: 1,234,567 rows so far"}};
  for (const auto& [rows, text] : cases) EXPECT_EQ(LoadProgressText(rows), text);
}

TEST(LoadProgress, ReportsGoToTheSinkInPlaceAndNowhereWithout) {
  std::vector<int64_t> first, second;
  SetLoadProgressSink([&](int64_t rows) { first.push_back(rows); });
  ReportLoadProgress(10);
  LoadProgressSink replaced = SetLoadProgressSink([&](int64_t rows) { second.push_back(rows); });
  ReportLoadProgress(20);
  replaced(30);
  SetLoadProgressSink(nullptr);
  ReportLoadProgress(40);
  EXPECT_EQ(first, (std::vector<int64_t>{10, 30}));
  EXPECT_EQ(second, (std::vector<int64_t>{20}));
}

}  // namespace
}  // namespace tabulo::container
