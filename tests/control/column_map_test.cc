// ColumnMap: grid columns to fields and back, with hidden fields first, in the middle and last.
#include "control/column_map.h"

#include <gtest/gtest.h>

#include <string>

namespace tabulo::control {
namespace {

// Fields from a pattern: 'v' visible, 'h' hidden; plus the spare descriptor the control keeps.
std::vector<GridColumn> Fields(const std::string& pattern) {
  std::vector<GridColumn> columns(pattern.size() + 1);
  for (size_t i = 0; i < pattern.size(); ++i) columns[i].Visible = pattern[i] == 'v';
  columns.back().Visible = true;  // beyond the count: never mapped
  return columns;
}

TEST(ColumnMap, MapsGridColumnsAndFieldsBothWaysAroundHiddenOnes) {
  struct Case {
    std::string pattern;
    std::vector<int32_t> field_of_col;                // grid columns 0 .. n+1
    std::vector<int32_t> col_of_field;                // fields -1 .. count
    std::vector<int32_t> script_visible, script_all;  // script columns -1 .. count
  };
  const Case cases[] = {
      {"hvv", {-1, 1, 2, -1}, {0, 0, 1, 2, 0}, {-1, 1, 2, -1, -1}, {-1, 0, 1, 2, -1}},
      {"vhv", {-1, 0, 2, -1}, {0, 1, 0, 2, 0}, {-1, 0, 2, -1, -1}, {-1, 0, 1, 2, -1}},
      {"vvh", {-1, 0, 1, -1}, {0, 1, 2, 0, 0}, {-1, 0, 1, -1, -1}, {-1, 0, 1, 2, -1}},
      {"hhh", {-1, -1}, {0, 0, 0, 0, 0}, {-1, -1, -1, -1, -1}, {-1, 0, 1, 2, -1}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.pattern);
    const ColumnMap map(Fields(k.pattern), static_cast<int32_t>(k.pattern.size()));
    EXPECT_EQ(map.GridColumns(), static_cast<int32_t>(k.field_of_col.size()) - 2);
    std::vector<int32_t> field_of_col, col_of_field, script_visible, script_all;
    for (int32_t c = 0; c < static_cast<int32_t>(k.field_of_col.size()); ++c)
      field_of_col.push_back(map.FieldOfGridColumn(c));
    for (int32_t f = -1; f <= static_cast<int32_t>(k.pattern.size()); ++f) {
      col_of_field.push_back(map.GridColumnOfField(f));
      script_visible.push_back(map.FieldOfScriptColumn(f, false));
      script_all.push_back(map.FieldOfScriptColumn(f, true));
    }
    EXPECT_EQ(field_of_col, k.field_of_col);
    EXPECT_EQ(col_of_field, k.col_of_field);
    EXPECT_EQ(script_visible, k.script_visible);
    EXPECT_EQ(script_all, k.script_all);
  }
  // A count past the descriptors is cut to them.
  EXPECT_EQ(ColumnMap(Fields("v"), 9).GridColumns(), 2);
  EXPECT_EQ(ColumnMap(Fields("v"), -1).GridColumns(), 0);
}

}  // namespace
}  // namespace tabulo::control
