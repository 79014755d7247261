// Rows of named values written as text for other programs: CSV (RFC 4180: a header row,
// fields quoted when they hold a comma, a quote or a line break, records ending in CRLF) or
// JSON lines (one object per record, keys in column order). `tabulo export` and
// `tabulo audit` write through it.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/variant.h"

namespace tabulo::container {

enum class RowFormat { Csv, Json };

// "csv" or "json"; nothing for another name.
std::optional<RowFormat> ParseRowFormat(std::string_view name);

// One CSV field: as it stands, or between quotes with its quotes doubled.
std::string CsvField(std::string_view text);
// A JSON string literal with its quotes; control characters escaped.
std::string JsonString(std::string_view text);
// A value as text, independent of any locale: whole numbers as digits, other numbers in the
// shortest form that reads back exactly, dates "yyyy-mm-dd hh:mm:ss[.fff]" (or only the date
// at midnight), Booleans true/false, Null and Empty as the empty text.
std::string PlainText(const platform::Variant& value);

class RowWriter {
 public:
  // CSV writes the header row at once.
  RowWriter(std::ostream& out, RowFormat format, std::vector<std::string> names);
  // One record: a value per name. In JSON numbers and Booleans stay bare, Null and Empty are
  // null, everything else a string.
  void Write(const std::vector<platform::Variant>& values);

 private:
  std::ostream& out_;
  RowFormat format_;
  std::vector<std::string> names_;
};

}  // namespace tabulo::container
