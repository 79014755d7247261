#include "host/servers/odbc/odbc_row_source.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "host/servers/odbc/odbc_types.h"
#include "host/servers/sqlite/record_file.h"
#include "host/sql_tokens.h"
#include "platform/text/text.h"

namespace tabulo::host::odbc {
namespace {

using sqlite::RawValue;
using sqlite::ValueKind;
using Row = std::vector<RawValue>;

struct Column {
  ColumnInfo info;
  ValueKind kind;
};

bool AllOneCase(const std::string& name) {
  bool lower = false, upper = false;
  for (unsigned char c : name) {
    lower |= std::islower(c) != 0;
    upper |= std::isupper(c) != 0;
  }
  return !(lower && upper);
}

// A name the data source folded to one case (PostgreSQL to lower, others to upper) takes the
// spelling of the first unquoted word of the statement equal to it ignoring case: "SELECT Id"
// yields the field "Id".
void Respell(std::string& name, const std::vector<SqlToken>& tokens) {
  if (!AllOneCase(name)) return;
  for (const SqlToken& token : tokens) {
    if (token.kind == SqlToken::Word && platform::EqualsIgnoreAsciiCase(token.text, name)) {
      name = std::string(token.text);
      return;
    }
  }
}

std::vector<Column> Describe(const Handle& stmt, const std::string& sql, const std::string& label) {
  const auto tokens = TokenizeSql(sql);
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(stmt.get(), &count), stmt, Phase::kStatement, label);
  std::vector<Column> columns;
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    SQLCHAR name[512] = {0};
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(SQLDescribeCol(stmt.get(), c, name, sizeof name, &name_length, &sql_type, &size, &digits,
                         &nullable),
          stmt, Phase::kStatement, label);
    SQLLEN is_unsigned = SQL_FALSE;
    SQLColAttribute(stmt.get(), c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &is_unsigned);
    const sqlite::ColumnType type = ColumnTypeOfSql(sql_type, size, is_unsigned == SQL_TRUE);
    std::string spelled(reinterpret_cast<const char*>(name));
    Respell(spelled, tokens);
    columns.push_back({{std::move(spelled), type.ado_type, type.defined_size}, type.kind});
  }
  return columns;
}

// The bytes of a character or binary value, read in pieces; false for a null.
bool ReadBytes(const Handle& stmt, SQLUSMALLINT column, SQLSMALLINT c_type, std::string& out,
               const std::string& label) {
  char buffer[8192];
  const SQLLEN terminator = c_type == SQL_C_CHAR ? 1 : 0;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt.get(), column, c_type, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return true;
    Check(rc, stmt, Phase::kStatement, label);
    if (indicator == SQL_NULL_DATA) return false;
    const SQLLEN room = static_cast<SQLLEN>(sizeof buffer) - terminator;
    const bool partial = indicator == SQL_NO_TOTAL || indicator > room;
    out.append(buffer, static_cast<size_t>(partial ? room : indicator));
    if (!partial) return true;
  }
}

RawValue ReadValue(const Handle& stmt, SQLUSMALLINT column, ValueKind kind,
                   const std::string& label) {
  RawValue v;
  // A fixed-size value read straight into its member of `v`.
  auto fixed = [&](SQLSMALLINT c_type, void* member, SQLLEN size, int storage) {
    SQLLEN indicator = 0;
    Check(SQLGetData(stmt.get(), column, c_type, member, size, &indicator), stmt, Phase::kStatement,
          label);
    v.storage = indicator == SQL_NULL_DATA ? SQLITE_NULL : storage;
    return v;
  };
  switch (kind) {
    case ValueKind::Integer:
    case ValueKind::Boolean:
      return fixed(SQL_C_SBIGINT, &v.i, sizeof v.i, SQLITE_INTEGER);
    case ValueKind::Real:
    case ValueKind::Currency:
      return fixed(SQL_C_DOUBLE, &v.d, sizeof v.d, SQLITE_FLOAT);
    case ValueKind::Binary:
      v.storage = ReadBytes(stmt, column, SQL_C_BINARY, v.bytes, label) ? SQLITE_BLOB : SQLITE_NULL;
      return v;
    default:
      break;
  }
  if (!ReadBytes(stmt, column, SQL_C_CHAR, v.bytes, label)) return v;
  v.storage = SQLITE_TEXT;
  if (kind != ValueKind::Numeric || v.bytes.empty()) return v;
  // Exact numbers arrive as text: whole ones become integers, the others reals.
  char* end = nullptr;
  const double number = std::strtod(v.bytes.c_str(), &end);
  if (*end != '\0' || !std::isfinite(number)) return v;
  if (number == std::trunc(number) && std::fabs(number) < 9.0e15) {
    v.storage = SQLITE_INTEGER;
    v.i = static_cast<int64_t>(number);
  } else {
    v.storage = SQLITE_FLOAT;
    v.d = number;
  }
  return v;
}

class StoredRows : public RowSource {
 public:
  StoredRows(std::vector<Column> columns, std::shared_ptr<sqlite::TempStore> store)
      : columns_(std::move(columns)), store_(std::move(store)) {
    for (const Column& c : columns_) infos_.push_back(c.info);
  }

  void Fill(const Handle& stmt, size_t memory_bound, const std::string& label) {
    size_t bytes = 0;
    for (;;) {
      const SQLRETURN rc = SQLFetch(stmt.get());
      if (rc == SQL_NO_DATA) break;
      Check(rc, stmt, Phase::kStatement, label);
      Row row;
      row.reserve(columns_.size());
      for (size_t c = 0; c < columns_.size(); ++c)
        row.push_back(ReadValue(stmt, static_cast<SQLUSMALLINT>(c + 1), columns_[c].kind, label));
      ++count_;
      if (file_) {
        file_->Append(row);
        continue;
      }
      for (const RawValue& v : row) bytes += v.ByteSize();
      rows_.push_back(std::move(row));
      if (bytes > memory_bound) Spill();
    }
    if (file_) file_->Finish();
  }

  const std::vector<ColumnInfo>& Columns() const override { return infos_; }
  int64_t Count() const override { return count_; }

  std::vector<platform::Variant> ReadRow(int64_t position) override {
    const Row row = file_ ? file_->Read(position) : rows_[static_cast<size_t>(position)];
    std::vector<platform::Variant> values;
    values.reserve(row.size());
    for (size_t c = 0; c < row.size(); ++c)
      values.push_back(sqlite::ToVariant(row[c], columns_[c].kind));
    return values;
  }

 private:
  void Spill() {
    file_ = std::make_unique<sqlite::RecordFile>(
        std::make_unique<sqlite::TempFile>(store_->NewPath(".rows")), columns_.size());
    for (const Row& row : rows_) file_->Append(row);
    rows_.clear();
    rows_.shrink_to_fit();
  }

  std::vector<Column> columns_;
  std::vector<ColumnInfo> infos_;
  std::shared_ptr<sqlite::TempStore> store_;
  std::unique_ptr<sqlite::RecordFile> file_;
  std::vector<Row> rows_;
  int64_t count_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> ReadResult(const Handle& stmt, const std::string& sql,
                                      std::shared_ptr<sqlite::TempStore> store, size_t memory_bound,
                                      const std::string& label) {
  auto rows = std::make_unique<StoredRows>(Describe(stmt, sql, label), std::move(store));
  rows->Fill(stmt, memory_bound, label);
  return rows;
}

}  // namespace tabulo::host::odbc
