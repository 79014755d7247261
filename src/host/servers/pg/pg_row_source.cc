#include "host/servers/pg/pg_row_source.h"

#include <algorithm>

#include "host/data_server.h"
#include "host/servers/pg/pg_values.h"

namespace tabulo::host::pg {
namespace {

constexpr int64_t kWindow = 64;  // rows read per window

class CopiedRows : public RowSource {
 public:
  CopiedRows(Conn conn, std::vector<ColumnInfo> columns, int64_t count, std::string label,
             bool held_cursor)
      : conn_(std::move(conn)),
        columns_(std::move(columns)),
        count_(count),
        label_(std::move(label)),
        held_cursor_(held_cursor) {}

  const std::vector<ColumnInfo>& Columns() const override { return columns_; }
  int64_t Count() const override { return count_; }

  std::vector<platform::Variant> ReadRow(int64_t position) override {
    if (!window_ || position < first_ || position >= first_ + PQntuples(window_.get())) {
      Load(position < first_ ? std::max<int64_t>(0, position - kWindow + 1) : position);
    }
    const int row = static_cast<int>(position - first_);
    std::vector<platform::Variant> values;
    values.reserve(columns_.size());
    for (size_t c = 0; c < columns_.size(); ++c)
      values.push_back(ValueOf(columns_[c].type, window_.get(), row, static_cast<int>(c)));
    return values;
  }

 private:
  // Reads rows [first, first + kWindow): by their position key (1-based in the table), or
  // from the held cursor placed on the row before.
  void Load(int64_t first) {
    window_.reset();
    Result result;
    if (held_cursor_) {
      Exec(conn_.get(), "MOVE ABSOLUTE " + std::to_string(first) + " IN tabulo_c", label_);
      result.reset(PQexec(conn_.get(),
                          ("FETCH FORWARD " + std::to_string(kWindow) + " FROM tabulo_c").c_str()));
    } else {
      const std::string from = std::to_string(first + 1);
      const std::string to = std::to_string(first + kWindow);
      const char* params[] = {from.c_str(), to.c_str()};
      result.reset(PQexecPrepared(conn_.get(), "w", 2, params, nullptr, nullptr, 0));
    }
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK)
      throw ErrorOf(conn_.get(), result.get(), label_);
    if (PQntuples(result.get()) == 0)
      throw platform::ComError(kErrSourceUnusable,
                               "The copy of the result on " + label_ + " has lost its rows",
                               kErrorSource);
    window_ = std::move(result);
    first_ = first;
  }

  Conn conn_;
  std::vector<ColumnInfo> columns_;
  int64_t count_;
  std::string label_;
  bool held_cursor_;
  Result window_;
  int64_t first_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> CopyResult(Conn conn, const std::string& sql,
                                      std::vector<ColumnInfo> columns, std::string label) {
  // A standby accepts no table, not even a temporary one: there a cursor WITH HOLD keeps the
  // copy (the server stores its rows when the declaring statement commits).
  if (std::string(PQgetvalue(Exec(conn.get(), "SELECT pg_catalog.pg_is_in_recovery()", label).get(),
                             0, 0)) == "t") {
    Exec(conn.get(), "DECLARE tabulo_c SCROLL CURSOR WITH HOLD FOR " + sql, label);
    const int64_t count =
        std::stoll(PQcmdTuples(Exec(conn.get(), "MOVE FORWARD ALL IN tabulo_c", label).get()));
    return std::make_unique<CopiedRows>(std::move(conn), std::move(columns), count,
                                        std::move(label), true);
  }
  std::string names, values;
  for (size_t c = 0; c < columns.size(); ++c) {
    names += ", c" + std::to_string(c);
    values += (c ? ", c" : "c") + std::to_string(c);
  }
  // The subquery's column list renames every column, so that duplicate or odd names copy.
  // The table is made (empty) before the transaction turns read-only: the statement itself
  // runs read-only, and only the session's own temporary table takes its rows.
  const std::string rows = " FROM (" + sql + "\n) AS s(" + values + ")";
  Exec(conn.get(), "BEGIN READ WRITE", label);
  Exec(conn.get(),
       "CREATE TEMP TABLE tabulo_rows (tabulo_pos" + names + ") AS SELECT 0::bigint, s.*" + rows +
           "\nWITH NO DATA",
       label);
  Exec(conn.get(), "SET TRANSACTION READ ONLY", label);
  Result copied =
      Exec(conn.get(), "INSERT INTO tabulo_rows SELECT row_number() OVER (), s.*" + rows, label);
  const int64_t count = std::stoll(PQcmdTuples(copied.get()));
  Exec(conn.get(), "COMMIT", label);
  // Built over the copied rows (faster than kept up row by row), once the statement is done.
  Exec(conn.get(), "BEGIN READ WRITE", label);
  Exec(conn.get(), "CREATE UNIQUE INDEX ON tabulo_rows (tabulo_pos)", label);
  Exec(conn.get(), "COMMIT", label);
  Result prepared(PQprepare(conn.get(), "w",
                            ("SELECT " + values +
                             " FROM tabulo_rows WHERE tabulo_pos BETWEEN $1::bigint AND "
                             "$2::bigint ORDER BY tabulo_pos")
                                .c_str(),
                            0, nullptr));
  if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
    throw ErrorOf(conn.get(), prepared.get(), label);
  return std::make_unique<CopiedRows>(std::move(conn), std::move(columns), count, std::move(label),
                                      false);
}

}  // namespace tabulo::host::pg
