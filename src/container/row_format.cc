#include "container/row_format.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "host/password_hash.h"
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

// Days since 1899-12-30, the time of day as the fraction (rounded to the millisecond).
std::string DateText(double serial) {
  using namespace std::chrono;
  const int64_t ms = std::llround(serial * 86400000.0);
  int64_t days = ms / 86400000 - (ms % 86400000 < 0 ? 1 : 0);
  int64_t in_day = ms - days * 86400000;
  const year_month_day ymd{sys_days{1899y / December / 30} + std::chrono::days{days}};
  char buffer[48];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                        static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  if (in_day != 0) {
    n += std::snprintf(buffer + n, sizeof buffer - n, " %02d:%02d:%02d",
                       static_cast<int>(in_day / 3600000), static_cast<int>(in_day / 60000 % 60),
                       static_cast<int>(in_day / 1000 % 60));
    if (in_day % 1000)
      std::snprintf(buffer + n, sizeof buffer - n, ".%03d", static_cast<int>(in_day % 1000));
  }
  return buffer;
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

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
          out += buffer;
        } else {
          out += c;
        }
    }
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

RowWriter::RowWriter(std::ostream& out, RowFormat format, std::vector<std::string> names,
                     std::vector<bool> binary)
    : out_(out), format_(format), names_(std::move(names)), binary_(std::move(binary)) {
  binary_.resize(names_.size(), false);
  for (size_t i = 0; i < names_.size(); ++i)
    if (binary_[i]) names_[i] = BinaryColumnName(names_[i], format_);
  if (format_ != RowFormat::Csv) return;
  for (size_t i = 0; i < names_.size(); ++i) out_ << (i ? "," : "") << CsvField(names_[i]);
  out_ << "\r\n";
}

// A value of binary column `column` as its format writes it (NULL and Empty are not asked).
std::string RowWriter::BinaryText(const Variant& value, size_t column) const {
  std::optional<std::string> bytes = BytesOf(value);
  if (!bytes) {
    throw platform::ComError(13, "Type mismatch: the binary column \"" + names_[column] +
                                     "\" holds a " + std::string(platform::TypeName(value.type())) +
                                     " value; convert the column in the statement, e.g. "
                                     "CAST(column AS BLOB)");
  }
  return format_ == RowFormat::Csv ? HexText(*bytes) : Base64Text(*bytes);
}

void RowWriter::Write(const std::vector<Variant>& values) {
  // A binary value where no binary one is declared could not be told from a text.
  for (size_t i = 0; i < values.size() && i < names_.size(); ++i) {
    if (!binary_[i] && BytesOf(values[i])) {
      throw platform::ComError(13, "Type mismatch: the column \"" + names_[i] +
                                       "\" holds binary data but is not declared binary; "
                                       "select it as CAST(column AS BLOB) or hex(column)");
    }
  }
  // The record is made whole before it is written: one that fails leaves no part behind.
  std::string line;
  if (format_ == RowFormat::Csv) {
    for (size_t i = 0; i < values.size(); ++i) {
      const Variant& v = values[i];
      const bool bytes = i < binary_.size() && binary_[i] && !v.IsNull() && !v.IsEmpty();
      if (i) line += ',';
      line += CsvField(bytes ? BinaryText(v, i) : PlainText(v));
    }
    out_ << line << "\r\n";
    return;
  }
  line = "{";
  for (size_t i = 0; i < values.size() && i < names_.size(); ++i) {
    const Variant& v = values[i];
    if (i) line += ',';
    line += JsonString(names_[i]);
    line += ':';
    if (v.IsNull() || v.IsEmpty()) {
      line += "null";
    } else if (binary_[i]) {
      line += JsonString(BinaryText(v, i));
    } else if (IsBare(v)) {
      line += PlainText(v);
    } else {
      line += JsonString(PlainText(v));
    }
  }
  out_ << line << "}\n";
}

}  // namespace tabulo::container
