// Sorting and filtering a result through the query builder (result_view.h).
#include "container/result_view.h"

#include <cctype>

#include "host/data_server.h"
#include "host/field_types.h"
#include "platform/text/regexp.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "querybuilder/query_builder.h"
#include "sql/identifier.h"
#include "sql/sql_literal.h"
#include "sql/value_check.h"

namespace tabulo::container {
namespace {

constexpr std::pair<std::string_view, FilterOp> kOps[] = {
    {"contains", FilterOp::kContains},     {"=", FilterOp::kEquals},
    {"<>", FilterOp::kNotEquals},          {"<", FilterOp::kLess},
    {"<=", FilterOp::kLessOrEqual},        {">", FilterOp::kGreater},
    {">=", FilterOp::kGreaterOrEqual},     {"is null", FilterOp::kIsNull},
    {"is not null", FilterOp::kIsNotNull},
};

platform::ComError Refused(const std::string& why) {
  return platform::ComError(host::kErrInvalidStatement, why, "Tabulo");
}

// A text between single quotes, its quotes doubled.
std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  quoted.append(platform::ReplaceAll(text, "'", "''"));
  quoted.push_back('\'');
  return quoted;
}

// LIKE's pattern for "holds `text`": its %, _ and the escape character taken literally.
std::string ContainsPattern(std::string_view text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  pattern.push_back('%');
  return Quoted(pattern);
}

}  // namespace

SortOrder NextSortOrder(SortOrder order) {
  switch (order) {
    case SortOrder::kAsStated:
      return SortOrder::kAscending;
    case SortOrder::kAscending:
      return SortOrder::kDescending;
    default:
      return SortOrder::kAsStated;
  }
}

std::optional<FilterOp> ParseFilterOp(std::string_view name) {
  for (const auto& [n, op] : kOps)
    if (platform::EqualsIgnoreAsciiCase(n, name)) return op;
  return std::nullopt;
}

std::string_view FilterOpName(FilterOp op) {
  for (const auto& [n, o] : kOps)
    if (o == op) return n;
  return {};
}

std::optional<FilterCondition> ParseFilterText(std::string_view text,
                                               const std::vector<std::string>& columns) {
  const std::string line = platform::Trim(text);
  FilterCondition found;
  size_t rest = 0;
  for (const std::string& c : columns) {
    if (c.size() <= found.column.size() || line.size() <= c.size() || line[c.size()] != ' ' ||
        !platform::EqualsIgnoreAsciiCase(std::string_view(line).substr(0, c.size()), c))
      continue;
    found.column = c;
    rest = c.size();
  }
  if (found.column.empty()) return std::nullopt;
  const std::string tail = platform::Trim(std::string_view(line).substr(rest));
  // The longest operator first: "<=" before "<", "is not null" before "is null".
  static constexpr std::string_view kByLength[] = {
      "is not null", "contains", "is null", "<=", ">=", "<>", "=", "<", ">"};
  for (std::string_view name : kByLength) {
    if (tail.size() < name.size() ||
        !platform::EqualsIgnoreAsciiCase(std::string_view(tail).substr(0, name.size()), name))
      continue;
    found.op = *ParseFilterOp(name);
    found.value = platform::Trim(std::string_view(tail).substr(name.size()));
    const bool null_test = found.op == FilterOp::kIsNull || found.op == FilterOp::kIsNotNull;
    if (null_test != found.value.empty()) return std::nullopt;
    if (std::isalpha(static_cast<unsigned char>(name.back())) && tail.size() > name.size() &&
        tail[name.size()] != ' ')
      return std::nullopt;  // "containsx" is no operator
    return found;
  }
  return std::nullopt;
}

std::string FilterSql(const FilterCondition& filter, const platform::Locale& loc) {
  const std::string column = sql::QuoteIdentifier(filter.column);
  switch (filter.op) {
    case FilterOp::kIsNull:
      return column + " IS NULL";
    case FilterOp::kIsNotNull:
      return column + " IS NOT NULL";
    case FilterOp::kContains: {
      // Letters compared without regard to case; a column that is no text by its own text.
      const std::string text =
          host::IsQuotedType(filter.type) ? column : "CAST(" + column + " AS TEXT)";
      return "LOWER(" + text + ") LIKE LOWER(" + ContainsPattern(filter.value) + ") ESCAPE '\\'";
    }
    default:
      break;
  }
  // A comparison takes the value as the column's own type, as an edit of the cell would.
  const sql::ValueCheck check = sql::CheckValueForType(filter.value, filter.type, loc);
  if (!check.ok())
    throw platform::ComError(platform::kErrTypeMismatch,
                             "the filter on " + filter.column + " needs a value of its type: \"" +
                                 filter.value + "\" is " +
                                 std::string(sql::ValueFaultName(check.fault)),
                             "Tabulo");
  const std::string quote = sql::GetSqlQuote(filter.type);
  const std::string literal =
      quote + sql::GetSqlLiteral(filter.value, filter.type, sql::SqlLiteralContext(loc)) + quote;
  return column + " " + std::string(FilterOpName(filter.op)) + " " + platform::Trim(literal);
}

std::string ViewStatement(std::string_view own, const ResultView& view,
                          const platform::Locale& loc) {
  if (view.Plain()) return std::string(own);
  querybuilder::frmQueryBuilder builder(loc);
  builder.SetSql(own);
  if (builder.SelectPart().empty() || builder.FromPart().empty())
    throw Refused(
        "the statement cannot be sorted or filtered: it is not of the form SELECT ... "
        "FROM ... [WHERE ...] [ORDER BY ...]");
  platform::RegExp clauses;
  clauses.SetIgnoreCase(true);
  clauses.SetPattern(R"(\b(GROUP\s+BY|HAVING|LIMIT|OFFSET|FETCH|UNION|INTERSECT|EXCEPT|WINDOW)\b)");
  for (const std::string& part : {builder.FromPart(), builder.WherePart(), builder.OrderByPart()}) {
    if (clauses.Test(part))
      throw Refused(
          "the statement cannot be sorted or filtered: a WHERE or ORDER BY cannot be "
          "added after its \"" +
          platform::Trim(clauses.Execute(part).Item(0).Value()) + "\"");
  }
  std::string where = builder.WherePart();
  if (!view.filters.empty()) {
    std::string added;
    for (const FilterCondition& f : view.filters)
      added += (added.empty() ? "" : " AND ") + FilterSql(f, loc);
    where = where.empty() ? added : "(" + where + ") AND " + added;
  }
  builder.txtWhere.set_text(where);
  if (view.order != SortOrder::kAsStated && !view.sort_column.empty()) {
    // The column first; the statement's own order still decides among equal values.
    std::vector<std::string> own_order;
    for (int32_t i = 0; i < builder.lstOrderBy.list_count(); ++i)
      own_order.push_back(builder.lstOrderBy.list(i));
    builder.lstOrderBy.Clear();
    builder.lstOrderBy.AddItem(sql::QuoteIdentifier(view.sort_column) +
                               (view.order == SortOrder::kDescending ? " DESC" : " ASC"));
    for (const std::string& entry : own_order) builder.lstOrderBy.AddItem(entry);
  }
  return platform::Trim(builder.sql());
}

std::string ViewNote(const ResultView& view) {
  std::string note;
  if (view.order != SortOrder::kAsStated && !view.sort_column.empty())
    note = "sorted by " + view.sort_column +
           (view.order == SortOrder::kDescending ? ", descending" : ", ascending");
  if (!view.filters.empty()) {
    note += std::string(note.empty() ? "" : "; ") + "filtered: ";
    for (size_t i = 0; i < view.filters.size(); ++i) {
      const FilterCondition& f = view.filters[i];
      note += (i ? " and " : "") + f.column + " " + std::string(FilterOpName(f.op));
      if (f.op != FilterOp::kIsNull && f.op != FilterOp::kIsNotNull) note += " \"" + f.value + "\"";
    }
  }
  return note;
}

}  // namespace tabulo::container
