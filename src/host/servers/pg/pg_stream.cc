#include "host/servers/pg/pg_stream.h"

#include <charconv>

#include "host/field_types.h"
#include "host/servers/pg/pg_connection.h"
#include "host/servers/pg/pg_values.h"

namespace tabulo::host::pg {
namespace {

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// The values of one row of `result`, each in `held` where it needs storage of its own.
class RowValues {
 public:
  explicit RowValues(const std::vector<ColumnInfo>& columns)
      : columns_(columns), values_(columns.size()), held_(columns.size()), bytes_(columns.size()) {}

  const StreamValue* Read(const PGresult* result) {
    for (size_t c = 0; c < columns_.size(); ++c) values_[c] = Value(result, static_cast<int>(c));
    return values_.data();
  }

 private:
  StreamValue Value(const PGresult* result, int c) {
    StreamValue v;
    if (PQgetisnull(result, 0, c)) return v;
    const char* text = PQgetvalue(result, 0, c);
    const std::string_view s(text, static_cast<size_t>(PQgetlength(result, 0, c)));
    const auto column = static_cast<size_t>(c);
    switch (columns_[column].type) {
      case adSmallInt:
      case adInteger:
      case adBigInt:
      case adNumeric: {
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v.i);
        if (ec == std::errc() && end == s.data() + s.size()) {
          v.kind = StreamValue::Integer;
          return v;
        }
        if (columns_[column].type != adNumeric) break;
        v.kind = IsDecimalText(s) ? StreamValue::Decimal : StreamValue::Text;
        v.bytes = s;
        return v;
      }
      case adChar:
      case adVarChar:
        v.kind = StreamValue::Text;
        v.bytes = s;
        return v;
      case adLongVarBinary: {
        size_t size = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        if (!raw) break;
        bytes_[column].assign(reinterpret_cast<const char*>(raw), size);
        PQfreemem(raw);
        v.kind = StreamValue::Bytes;
        v.bytes = bytes_[column];
        return v;
      }
      default:
        break;
    }
    held_[column] = ValueOf(columns_[column].type, result, 0, c);
    return ToStreamValue(held_[column]);
  }

  const std::vector<ColumnInfo>& columns_;
  std::vector<StreamValue> values_;
  std::vector<platform::Variant> held_;
  std::vector<std::string> bytes_;
};

}  // namespace

bool IsDecimalText(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return IsDigits(text);
  return IsDigits(text.substr(0, point)) && IsDigits(text.substr(point + 1));
}

int64_t StreamPrepared(PGconn* conn, const char* statement, const std::vector<ColumnInfo>& columns,
                       const std::string& label, RowStreamSink& sink) {
  std::vector<StreamColumn> names;
  for (const ColumnInfo& column : columns) names.push_back({column.name, column.type});
  sink.Begin(names);
  // Read-only for this transaction only: the connection serves writes again once idle.
  QueryScope reading;
  Exec(conn, "BEGIN READ ONLY", label);
  if (!PQsendQueryPrepared(conn, statement, 0, nullptr, nullptr, nullptr, 0) ||
      !PQsetSingleRowMode(conn))
    throw ErrorOf(conn, nullptr, label);
  RowValues row(columns);
  int64_t rows = 0;
  for (;;) {
    Result result(PQgetResult(conn));
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_SINGLE_TUPLE) {
      sink.Row(row.Read(result.get()));
      ++rows;
    } else if (status != PGRES_TUPLES_OK) {
      // The statement failed part way: the rest of its results, then the transaction, end.
      platform::ComError error = ErrorOf(conn, result.get(), label);
      while (Result rest{PQgetResult(conn)}) {
      }
      PQclear(PQexec(conn, "ROLLBACK"));
      throw error;
    }
  }
  Exec(conn, "COMMIT", label);
  return rows;
}

}  // namespace tabulo::host::pg
