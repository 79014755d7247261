// RowidList: exact round trips across block boundaries, and its size per row.
#include "host/sqlite/rowid_list.h"

#include <gtest/gtest.h>

#include <random>

namespace tabulo::host::sqlite {
namespace {

TEST(RowidList, RoundTripsAnyOrderExtremesAndBlockBoundaries) {
  std::mt19937_64 random(7);
  std::vector<int64_t> values = {INT64_MAX, INT64_MIN, 0, -1, 1, INT64_MIN, INT64_MAX};
  for (int i = 0; i < 1000; ++i) values.push_back(static_cast<int64_t>(random()) >> (i % 60));
  // Descending by three across three full blocks and a few more.
  for (int64_t i = 0; i < RowidList::kBlockSize * 3 + 5; ++i) values.push_back(1000 - i * 3);
  RowidList list;
  for (int64_t v : values) list.Append(v);
  ASSERT_EQ(list.size(), static_cast<int64_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(list.At(static_cast<int64_t>(i)), values[i]) << i;
}

TEST(RowidList, AboutOneByteAndAQuarterPerAscendingRow) {
  RowidList list;
  const int64_t n = 100000;
  for (int64_t i = 1; i <= n; ++i) list.Append(i + (i % 5 == 0 ? 3 : 0));
  list.ShrinkToFit();
  EXPECT_LT(list.MemoryBytes(), static_cast<size_t>(n * 5 / 4));
  EXPECT_EQ(list.At(n - 1), n + 3);
  EXPECT_EQ(list.At(n - 2), n - 1);
}

}  // namespace
}  // namespace tabulo::host::sqlite
