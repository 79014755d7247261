// Rows of named values written as text for other programs: CSV (RFC 4180: a header row,
// fields quoted when they hold a comma, a quote or a line break, records ending in CRLF) or
// JSON lines (one object per record, keys in column order). `tabulo export` and
// `tabulo audit` write through it.
//
// Binary columns (BLOBs) are written as text that reads back to the same bytes, and their
// names say how: in CSV the header names the column "NAME (hex)" and each value is "0x"
// and two upper-case hex digits per byte ("0x" alone for an empty value, an empty field for
// NULL); in JSON the key is "NAME (base64)" and each value a standard base64 string with
// padding ("" for an empty value, null for NULL).
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/row_stream.h"
#include "platform/text/plain_text.h"
#include "platform/values/variant.h"

namespace tabulo::container {

enum class RowFormat { Csv, Json };

// "csv" or "json"; nothing for another name.
std::optional<RowFormat> ParseRowFormat(std::string_view name);

// One CSV field: as it stands, or between quotes with its quotes doubled.
std::string CsvField(std::string_view text);
// A JSON string literal with its quotes; control characters escaped.
using platform::JsonString;
// A value as text, independent of any locale: whole numbers as digits, other numbers in the
// shortest form that reads back exactly, dates "yyyy-mm-dd hh:mm:ss[.fff]" (or only the date
// at midnight), Booleans true/false, Null and Empty as the empty text.
std::string PlainText(const platform::Variant& value);

// The name a binary column is written under in `format`: "NAME (hex)" or "NAME (base64)".
std::string BinaryColumnName(std::string_view name, RowFormat format);
// Bytes as "0x" and upper-case hex digits; as standard base64.
std::string HexText(std::string_view bytes);
std::string Base64Text(std::string_view bytes);
// The bytes of a binary value (a one-dimensional array of Byte); nothing for another value.
std::optional<std::string> BytesOf(const platform::Variant& value);

class RowWriter {
 public:
  // CSV writes the header row at once. `binary` marks the binary columns (none when empty).
  RowWriter(std::ostream& out, RowFormat format, std::vector<std::string> names,
            std::vector<bool> binary = {});
  ~RowWriter();  // writes what Append kept
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // One record: a value per name, written at once. In CSV NULL (and Empty) is an empty field
  // and an empty text "" so that the two are told apart; in JSON numbers and Booleans stay
  // bare, Null and Empty are null, everything else a string. Whole numbers are written with
  // all their digits. Raises ComError 13 naming the column for a binary value in a column not
  // marked binary (it would not read back as bytes there), or another value in a binary one;
  // nothing of the record is written then.
  void Write(const std::vector<platform::Variant>& values);
  // The same for a streamed record, kept in a buffer that goes out in large pieces: when it
  // fills, at Flush and when the writer is destroyed.
  void Append(const host::StreamValue* values);
  void Flush();

 private:
  void AppendValue(const host::StreamValue& value, size_t column);
  void AppendBinary(std::string_view bytes);
  [[noreturn]] void NotBinary(const host::StreamValue& value, size_t column) const;

  std::ostream& out_;
  RowFormat format_;
  std::vector<std::string> names_;
  std::vector<std::string> keys_;  // JSON: each name as a key with its colon
  std::vector<bool> binary_;
  std::string buffer_;
};

}  // namespace tabulo::container
