#include "sql/identifier.h"

#include <gtest/gtest.h>

namespace tabulo::sql {
namespace {

TEST(Identifier, PlainNamesStayOthersAreQuoted) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"Qty", "Qty"}, {"_x9", "_x9"}, {"my col", "\"my col\""}, {"group", "\"group\""},
      {"Order", "\"Order\""}, {"9lives", "\"9lives\""}, {"a\"b", "\"a\"\"b\""},
      {"a=999 WHERE id=3 --", "\"a=999 WHERE id=3 --\""}, {"", "\"\""}};
  // clang-format on
  for (const auto& [name, quoted] : cases) EXPECT_EQ(QuoteIdentifier(name), quoted) << name;
}

TEST(Identifier, TableNamesAreOneOrTwoPartsOrNothing) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"Orders", "Orders"}, {"  main.Orders ", "main.Orders"},
      {"\"Odd \"\"Names\"\"\"", "\"Odd \"\"Names\"\"\""}, {"[my table]", "[my table]"},
      {"`t`.group", "`t`.\"group\""}, {"t2 SET a=0; --", nullptr}, {"Orders;", nullptr},
      {"a.b.c", nullptr}, {"a.", nullptr}, {".a", nullptr}, {"\"open", nullptr}, {"\"\"", nullptr},
      {"", nullptr}};
  // clang-format on
  for (const auto& [table, expected] : cases) {
    std::optional<std::string> got = TableIdentifier(table);
    if (expected) {
      EXPECT_EQ(got.value_or("<none>"), expected) << table;
    } else {
      EXPECT_FALSE(got) << table << " -> " << *got;
    }
  }
}

}  // namespace
}  // namespace tabulo::sql
