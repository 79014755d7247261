#include "host/servers/sqlite/query_stream.h"

#include "host/data_server.h"
#include "host/servers/sqlite/connection.h"
#include "host/servers/sqlite/file_stamp.h"
#include "host/servers/sqlite/snapshot_columns.h"
#include "host/sql_tokens.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;

// Column `c` of the current row as a stream value. Integer, real, text and blob values are
// seen in place; the kinds a column turns into another value (Boolean, Currency, Date, Time,
// and integers of a DOUBLE column) go through the record sets' conversion, kept in `held`.
StreamValue ValueAt(sqlite3_stmt* stmt, int c, ValueKind kind, platform::Variant& held) {
  StreamValue v;
  const int storage = sqlite3_column_type(stmt, c);
  switch (storage) {
    case SQLITE_NULL:
      return v;
    case SQLITE_BLOB:
      v.kind = StreamValue::Bytes;
      v.bytes = {static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                 static_cast<size_t>(sqlite3_column_bytes(stmt, c))};
      return v;
    case SQLITE_INTEGER:
      if (kind == ValueKind::Real) {
        v.kind = StreamValue::Real;
        v.d = static_cast<double>(sqlite3_column_int64(stmt, c));
        return v;
      }
      if (kind != ValueKind::Boolean && kind != ValueKind::Currency) {
        v.kind = StreamValue::Integer;
        v.i = sqlite3_column_int64(stmt, c);
        return v;
      }
      break;
    case SQLITE_FLOAT:
      if (kind != ValueKind::Boolean && kind != ValueKind::Currency) {
        v.kind = StreamValue::Real;
        v.d = sqlite3_column_double(stmt, c);
        return v;
      }
      break;
    default:  // text
      if (kind != ValueKind::Date && kind != ValueKind::Time) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        v.kind = StreamValue::Text;
        v.bytes = {text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, c))};
        return v;
      }
  }
  held = ToVariant(ReadRaw(stmt, c), kind);
  return ToStreamValue(held);
}

}  // namespace

bool CheckQuery(sqlite3_stmt* stmt, std::string_view tail) {
  if (!stmt) throw ComError(kErrInvalidStatement, "The statement is empty", kErrorSource);
  const bool query = sqlite3_column_count(stmt) > 0;
  // A statement that yields rows by writing them (UPDATE ... RETURNING, WITH ... DELETE ...
  // RETURNING) is no query: the read-only connection would refuse it as if the database
  // could not be used.
  if (query && !sqlite3_stmt_readonly(stmt)) {
    throw ComError(kErrInvalidStatement,
                   "The query writes to the database, and a query may only read; nothing was "
                   "written. Browse with a statement that only reads.",
                   kErrorSource);
  }
  if (query) {
    for (const auto& token : TokenizeSql(tail)) {
      if (token.text != ";") {
        throw ComError(
            kErrInvalidStatement,
            "A query must be a single statement; found more after it: " + std::string(tail),
            kErrorSource);
      }
    }
  }
  return query;
}

int64_t StreamQuery(const fs::path& path, std::string_view sql,
                    std::chrono::milliseconds busy_timeout, RowStreamSink& sink) {
  bool immutable = false;
  const FileStamp before = StampOf(path);
  Db db = OpenForReading(path, busy_timeout, &immutable);
  std::string_view tail;
  Stmt stmt = Prepare(db.get(), sql, path, &tail);
  if (!CheckQuery(stmt.get(), tail))
    throw ComError(kErrInvalidStatement, "The statement yields no result", kErrorSource);
  std::vector<ColumnSpec> columns = DescribeColumns(stmt.get());
  bool row = Step(db.get(), stmt.get(), path);
  // Columns without a declared type take the type of their first value.
  std::vector<RawValue> first;
  if (row)
    for (int c = 0; c < static_cast<int>(columns.size()); ++c)
      first.push_back(columns[c].typed_by_value ? ReadRaw(stmt.get(), c) : RawValue{});
  TypeByFirstRow(columns, first);
  std::vector<StreamColumn> described;
  std::vector<ValueKind> kinds;
  for (const ColumnSpec& column : columns) {
    described.push_back({column.info.name, column.info.type});
    kinds.push_back(column.kind);
  }
  sink.Begin(described);
  std::vector<StreamValue> values(columns.size());
  std::vector<platform::Variant> held(columns.size());
  int64_t rows = 0;
  for (; row; row = Step(db.get(), stmt.get(), path), ++rows) {
    for (int c = 0; c < static_cast<int>(values.size()); ++c)
      values[c] = ValueAt(stmt.get(), c, kinds[c], held[c]);
    sink.Row(values.data());
  }
  // Nothing guards an immutable read against a writer that starts meanwhile: such a read is
  // good only when the file did not change while it lasted.
  if (immutable && StampOf(path) != before) {
    throw ComError(kErrSourceLocked,
                   "The database " + path.string() +
                       " was changed by another program while it was read; read it again.",
                   kErrorSource);
  }
  return rows;
}

}  // namespace tabulo::host::sqlite
