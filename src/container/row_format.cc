#include "container/row_format.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "host/audit/password_hash.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using platform::Variant;
using platform::VarType;

std::string Number(double d) {
  if (!std::isfinite(d)) return std::isnan(d) ? "NaN" : d < 0 ? "-Infinity" : "Infinity";
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
  return std::string(buffer, end);
}

// `value` as `width` digits, zeros in front.
void AppendDigits(std::string& out, int64_t value, int width) {
  char digits[20];
  for (int i = width - 1; i >= 0; --i, value /= 10) digits[i] = static_cast<char>('0' + value % 10);
  out.append(digits, static_cast<size_t>(width));
}

// Days since 1899-12-30, the time of day as the fraction (rounded to the millisecond).
void AppendDate(std::string& out, double serial) {
  using namespace std::chrono;
  const int64_t ms = std::llround(serial * 86400000.0);
  int64_t days = ms / 86400000 - (ms % 86400000 < 0 ? 1 : 0);
  int64_t in_day = ms - days * 86400000;
  const year_month_day ymd{sys_days{1899y / December / 30} + std::chrono::days{days}};
  const int year = static_cast<int>(ymd.year());
  if (year < 0) out += '-';
  AppendDigits(out, year < 0 ? -year : year, 4);
  out += '-';
  AppendDigits(out, static_cast<unsigned>(ymd.month()), 2);
  out += '-';
  AppendDigits(out, static_cast<unsigned>(ymd.day()), 2);
  if (in_day == 0) return;
  out += ' ';
  AppendDigits(out, in_day / 3600000, 2);
  out += ':';
  AppendDigits(out, in_day / 60000 % 60, 2);
  out += ':';
  AppendDigits(out, in_day / 1000 % 60, 2);
  if (in_day % 1000 == 0) return;
  out += '.';
  AppendDigits(out, in_day % 1000, 3);
}

std::string DateText(double serial) {
  std::string text;
  AppendDate(text, serial);
  return text;
}

bool IsBare(const Variant& v) {
  switch (v.type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
    case VarType::Currency:
    case VarType::Boolean:
      return true;
    case VarType::Single:
    case VarType::Double:
      return std::isfinite(v.AsDouble());
    default:
      return false;
  }
}

}  // namespace

std::optional<RowFormat> ParseRowFormat(std::string_view name) {
  if (name == "csv") return RowFormat::Csv;
  if (name == "json") return RowFormat::Json;
  return std::nullopt;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string PlainText(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return {};
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return std::to_string(v.AsLong());
    case VarType::Single:
    case VarType::Double:
      return Number(v.AsDouble());
    case VarType::Currency: {
      const int64_t scaled = v.AsCurrencyScaled();
      std::string text = std::to_string(scaled / 10000);
      if (scaled < 0 && scaled > -10000) text = "-" + text;
      int64_t fraction = scaled % 10000;
      if (fraction == 0) return text;
      std::string digits = std::to_string(10000 + (fraction < 0 ? -fraction : fraction)).substr(1);
      while (digits.back() == '0') digits.pop_back();
      return text + "." + digits;
    }
    case VarType::Date:
      return DateText(v.AsDouble());
    case VarType::Boolean:
      return v.AsBoolean() ? "true" : "false";
    case VarType::String:
      return v.AsString();
    default:
      throw platform::ComError(13, "Type mismatch: a " + std::string(platform::TypeName(v.type())) +
                                       " value cannot be written as text");
  }
}

std::string BinaryColumnName(std::string_view name, RowFormat format) {
  return std::string(name) + (format == RowFormat::Csv ? " (hex)" : " (base64)");
}

std::string HexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + 2 * bytes.size());
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string Base64Text(std::string_view bytes) {
  return host::Base64Encode(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::optional<std::string> BytesOf(const Variant& value) {
  if (!value.IsArray()) return std::nullopt;
  const platform::SafeArray& array = value.AsArray();
  if (array.element_type() != VarType::Byte || array.dims() != 1) return std::nullopt;
  std::string bytes;
  bytes.reserve(static_cast<size_t>(array.size()));
  for (int32_t i = array.LBound(); i <= array.UBound(); ++i)
    bytes += static_cast<char>(array.At(i).AsByte());
  return bytes;
}

namespace {

// Bytes a streamed export gathers before it writes them out.
constexpr size_t kBufferBytes = 1 << 16;

// Whether a CSV field must be quoted: it holds a comma, a quote or a line break.
bool NeedsQuotes(std::string_view text) {
  for (char c : text)
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  return false;
}

void AppendCsv(std::string& out, std::string_view text) {
  if (!text.empty() && !NeedsQuotes(text)) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendInteger(std::string& out, int64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

}  // namespace

RowWriter::RowWriter(std::ostream& out, RowFormat format, std::vector<std::string> names,
                     std::vector<bool> binary)
    : out_(out), format_(format), names_(std::move(names)), binary_(std::move(binary)) {
  binary_.resize(names_.size(), false);
  for (size_t i = 0; i < names_.size(); ++i) {
    if (binary_[i]) names_[i] = BinaryColumnName(names_[i], format_);
    keys_.push_back(JsonString(names_[i]) + ':');
  }
  if (format_ != RowFormat::Csv) return;
  for (size_t i = 0; i < names_.size(); ++i) {
    if (i) buffer_ += ',';
    buffer_ += CsvField(names_[i]);
  }
  buffer_ += "\r\n";
  Flush();
}

RowWriter::~RowWriter() {
  Flush();
}

void RowWriter::Flush() {
  if (buffer_.empty()) return;
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

void RowWriter::NotBinary(const host::StreamValue& value, size_t column) const {
  if (!binary_[column]) {
    throw platform::ComError(13, "Type mismatch: the column \"" + names_[column] +
                                     "\" holds binary data but is not declared binary; "
                                     "select it as CAST(column AS BLOB) or hex(column)");
  }
  using host::StreamValue;
  std::string_view type = "String";
  if (value.kind == StreamValue::Integer) type = "Integer";
  if (value.kind == StreamValue::Real) type = "Double";
  if (value.kind == StreamValue::Decimal) type = "Decimal";
  if (value.kind == StreamValue::Other) type = platform::TypeName(value.other->type());
  throw platform::ComError(13, "Type mismatch: the binary column \"" + names_[column] +
                                   "\" holds a value of type " + std::string(type) +
                                   "; convert the column in the statement, e.g. "
                                   "CAST(column AS BLOB)");
}

void RowWriter::AppendBinary(std::string_view bytes) {
  if (format_ == RowFormat::Csv) {
    buffer_ += HexText(bytes);
  } else {
    buffer_ += '"';
    buffer_ += Base64Text(bytes);
    buffer_ += '"';
  }
}

void RowWriter::AppendValue(const host::StreamValue& v, size_t column) {
  using host::StreamValue;
  const bool csv = format_ == RowFormat::Csv;
  if (v.kind == StreamValue::Null) {
    if (!csv) buffer_ += "null";
    return;
  }
  // Binary values only in binary columns, and nothing else there: either would not read back.
  std::optional<std::string> array_bytes;
  if (v.kind == StreamValue::Other) array_bytes = BytesOf(*v.other);
  const bool bytes = v.kind == StreamValue::Bytes || array_bytes.has_value();
  if (bytes != binary_[column]) NotBinary(v, column);
  switch (v.kind) {
    case StreamValue::Integer:
      AppendInteger(buffer_, v.i);
      return;
    case StreamValue::Real:
      if (csv || std::isfinite(v.d)) {
        buffer_ += Number(v.d);
      } else {
        buffer_ += '"' + Number(v.d) + '"';
      }
      return;
    case StreamValue::Text:
      if (csv) {
        AppendCsv(buffer_, v.bytes);
      } else {
        buffer_ += JsonString(v.bytes);
      }
      return;
    case StreamValue::Bytes:
      AppendBinary(v.bytes);
      return;
    case StreamValue::Decimal:
      buffer_ += v.bytes;
      return;
    default:
      if (array_bytes) {
        AppendBinary(*array_bytes);
      } else if (v.other->IsNull() || v.other->IsEmpty()) {
        if (!csv) buffer_ += "null";
      } else if (v.other->type() == VarType::Date) {
        if (!csv) buffer_ += '"';
        AppendDate(buffer_, v.other->AsDouble());
        if (!csv) buffer_ += '"';
      } else if (csv) {
        AppendCsv(buffer_, PlainText(*v.other));
      } else if (IsBare(*v.other)) {
        buffer_ += PlainText(*v.other);
      } else {
        buffer_ += JsonString(PlainText(*v.other));
      }
  }
}

void RowWriter::Append(const host::StreamValue* values) {
  // The record is made whole before any of it goes out: one that fails leaves no part behind.
  const size_t start = buffer_.size();
  try {
    if (format_ == RowFormat::Csv) {
      for (size_t i = 0; i < names_.size(); ++i) {
        if (i) buffer_ += ',';
        AppendValue(values[i], i);
      }
      buffer_ += "\r\n";
    } else {
      buffer_ += '{';
      for (size_t i = 0; i < names_.size(); ++i) {
        if (i) buffer_ += ',';
        buffer_ += keys_[i];
        AppendValue(values[i], i);
      }
      buffer_ += "}\n";
    }
  } catch (...) {
    buffer_.resize(start);
    throw;
  }
  if (buffer_.size() >= kBufferBytes) Flush();
}

void RowWriter::Write(const std::vector<Variant>& values) {
  std::vector<host::StreamValue> row(names_.size());
  for (size_t i = 0; i < row.size() && i < values.size(); ++i)
    row[i] = host::ToStreamValue(values[i]);
  Append(row.data());
  Flush();
}

}  // namespace tabulo::container
