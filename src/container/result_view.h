// What an operator asks to see of a result at run time: sorted by one column (ascending or
// descending) and filtered by conditions on columns. The statement shown is made from the
// control's own statement through the query builder's split and assembly: the conditions are
// added to its WHERE part (after its own condition) and the sort goes before its own ORDER BY
// entries, so that the statement stays the one description of what is shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/locale.h"

namespace tabulo::container {

enum class SortOrder { kAsStated, kAscending, kDescending };

// A header's click: as stated, then ascending, descending, and as stated again.
SortOrder NextSortOrder(SortOrder order);

enum class FilterOp {
  kContains,
  kEquals,
  kNotEquals,
  kLess,
  kLessOrEqual,
  kGreater,
  kGreaterOrEqual,
  kIsNull,
  kIsNotNull
};

// "contains", "=", "<>", "<", "<=", ">", ">=", "is null", "is not null"; nothing otherwise.
std::optional<FilterOp> ParseFilterOp(std::string_view name);
std::string_view FilterOpName(FilterOp op);

struct FilterCondition {
  std::string column;  // the field's name as the result names it
  int32_t type = 0;    // its ADO type code (field_types.h)
  FilterOp op = FilterOp::kContains;
  std::string value;  // as the operator typed it, in the user's locale; unused for the NULL tests
};

struct ResultView {
  std::string sort_column;  // empty: as stated
  SortOrder order = SortOrder::kAsStated;
  std::vector<FilterCondition> filters;
  bool Plain() const { return order == SortOrder::kAsStated && filters.empty(); }
};

// A condition typed as "COLUMN OPERATOR VALUE" ("Customer contains o'brien", "Qty >= 10",
// "Note is null"): the column one of `columns` (letters without regard to case, the longest
// that fits), the operator one of ParseFilterOp's, the value the rest without its outer
// blanks. `type` is left 0. Nothing when the text is not of that form.
std::optional<FilterCondition> ParseFilterText(std::string_view text,
                                               const std::vector<std::string>& columns);

// The condition of one filter, as SQL. Raises platform::ComError 13 (type mismatch) naming the
// column for a value that is not one of the column's type.
std::string FilterSql(const FilterCondition& filter, const platform::Locale& loc);

// The statement that shows `own` as `view` asks. Raises platform::ComError for a statement the
// query builder cannot split into its parts, or one whose parts hold clauses that a WHERE or
// ORDER BY cannot follow (GROUP BY, LIMIT, UNION ...), and for a filter value as FilterSql.
std::string ViewStatement(std::string_view own, const ResultView& view,
                          const platform::Locale& loc);

// For the status line: "sorted by Qty, descending; filtered: Customer contains "Acme"", or
// nothing for a plain view.
std::string ViewNote(const ResultView& view);

}  // namespace tabulo::container
