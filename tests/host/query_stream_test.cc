// A query streamed in one pass by the embedded data server: whole numbers exact over the whole
// 64-bit range, every other value and every column type as the server's record sets give
// them, and only single read-only queries run.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "host/data_server.h"
#include "host/servers/sqlite/connection.h"
#include "orders_db.h"

namespace tabulo::host::sqlite {
namespace {

using platform::Variant;
using testing::Raised;

// Keeps what a stream hands over, each value turned into what a record set holds for it.
struct Collected : RowStreamSink {
  std::vector<StreamColumn> columns;
  std::vector<std::vector<StreamValue::Kind>> kinds;
  std::vector<std::vector<int64_t>> integers;  // the Integer values, others 0
  std::vector<std::vector<Variant>> values;
  int begun = 0;

  void Begin(const std::vector<StreamColumn>& c) override {
    columns = c;
    ++begun;
  }
  void Row(const StreamValue* row) override {
    kinds.emplace_back();
    integers.emplace_back();
    values.emplace_back();
    for (size_t i = 0; i < columns.size(); ++i) {
      const StreamValue& v = row[i];
      kinds.back().push_back(v.kind);
      integers.back().push_back(v.kind == StreamValue::Integer ? v.i : 0);
      values.back().push_back(AsVariant(v));
    }
  }
  static Variant AsVariant(const StreamValue& v) {
    switch (v.kind) {
      case StreamValue::Null:
        return Variant::Null();
      case StreamValue::Integer:
        return v.i >= INT32_MIN && v.i <= INT32_MAX ? Variant(static_cast<int32_t>(v.i))
                                                    : Variant(static_cast<double>(v.i));
      case StreamValue::Real:
        return Variant(v.d);
      case StreamValue::Text:
        return Variant(std::string(v.bytes));
      case StreamValue::Bytes: {
        platform::SafeArray array(platform::VarType::Byte,
                                  {{0, static_cast<int32_t>(v.bytes.size())}});
        for (size_t i = 0; i < v.bytes.size(); ++i)
          array.Set(static_cast<int32_t>(i), Variant::Byte(static_cast<uint8_t>(v.bytes[i])));
        return Variant(std::move(array));
      }
      default:
        return *v.other;
    }
  }
};

class QueryStreamTest : public testing::ServerTest {
 protected:
  Collected Stream(const std::string& sql) {
    Collected sink;
    const int64_t rows = server_->Stream(db_path_.string(), sql, "", "", sink);
    EXPECT_EQ(rows, static_cast<int64_t>(sink.values.size()));
    EXPECT_EQ(sink.begun, 1);
    return sink;
  }
};

TEST_F(QueryStreamTest, WholeNumbersStayExactAtEveryBoundary) {
  constexpr int64_t k53 = int64_t{1} << 53;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const int64_t cases[] = {
      k53 - 1, k53, k53 + 1, -k53 - 1, kMax, kMax - 1, kMin, kMin + 1, int64_t{INT32_MAX} + 1, 0};
  db_->Exec("CREATE TABLE N(v INTEGER, w NUMERIC, t TEXT)");
  for (int64_t v : cases) {
    const std::string n = std::to_string(v);
    db_->Exec("INSERT INTO N VALUES (" + n + ", " + n + ", " + n + ")");
  }
  // Declared integer, NUMERIC and TEXT columns (an integer stored there) and an expression.
  const Collected got = Stream("SELECT v, w, t, v + 0 FROM N ORDER BY rowid");
  ASSERT_EQ(got.values.size(), std::size(cases));
  for (size_t r = 0; r < std::size(cases); ++r) {
    for (size_t c = 0; c < 4; ++c) {
      SCOPED_TRACE(std::to_string(cases[r]) + " column " + std::to_string(c));
      EXPECT_EQ(got.kinds[r][c], c == 2 ? StreamValue::Text : StreamValue::Integer);
      if (c != 2) {
        EXPECT_EQ(got.integers[r][c], cases[r]);
      }
    }
  }
}

// Every declared type, an empty text beside NULL, and columns without declared type (typed by
// their first value): the same types and values as a record set of the same statement.
TEST_F(QueryStreamTest, TypesAndValuesAreTheRecordSetsOwn) {
  db_->Exec(
      "CREATE TABLE T(a INTEGER, b BIGINT, c SMALLINT, d TINYINT, e REAL, f FLOAT, g DOUBLE, "
      "h NUMERIC(10,2), i DECIMAL, j CHAR(5), k NCHAR(4), l VARCHAR(40), m NVARCHAR(30), n TEXT, "
      "o CLOB, p DATE, q TIME, r DATETIME, s TIMESTAMP, t BOOLEAN, u BIT, v BLOB, w BINARY(8), "
      "x CURRENCY, y MONEY)");
  db_->Exec(
      "INSERT INTO T VALUES (7, 5000000000, 2, 255, 1.5, 2.5, 3, 12.25, 4, 'abc', '', "
      "'text', 'wide', 'long', 'clob', '2009-03-01', '14:05:00', '2009-03-01 14:05:00', "
      "'no date', 1, 0.0, x'0102', x'', 12.5, 3)");
  db_->Exec("INSERT INTO T DEFAULT VALUES");  // nulls everywhere
  for (const char* sql : {"SELECT * FROM T ORDER BY rowid",
                          "SELECT a * 2, e * 2, n || '!', v, p, NULL, a > 1 FROM T ORDER BY rowid",
                          "SELECT * FROM T WHERE a IS NULL"}) {
    SCOPED_TRACE(sql);
    const Collected got = Stream(sql);
    auto rs = Query(sql);
    ASSERT_EQ(got.columns.size(), static_cast<size_t>(rs->FieldCount()));
    for (int32_t c = 0; c < rs->FieldCount(); ++c) {
      EXPECT_EQ(got.columns[c].name, rs->Item(c).Name());
      EXPECT_EQ(got.columns[c].type, rs->Item(c).Type()) << c;
    }
    ASSERT_EQ(static_cast<int64_t>(got.values.size()), rs->RecordCount());
    for (size_t r = 0; !rs->Eof(); rs->MoveNext(), ++r)
      for (int32_t c = 0; c < rs->FieldCount(); ++c)
        EXPECT_EQ(got.values[r][c], rs->Item(c).Value()) << r << "," << c;
  }
  // An empty text is a text, not a null.
  const Collected empty = Stream("SELECT k FROM T WHERE a = 7");
  EXPECT_EQ(empty.kinds, (std::vector<std::vector<StreamValue::Kind>>{{StreamValue::Text}}));
}

TEST_F(QueryStreamTest, OnlyASingleQueryThatReadsIsRun) {
  db_->Exec("CREATE TABLE T(a INTEGER)");
  db_->Exec("INSERT INTO T VALUES (1), (2)");
  for (const char* sql : {"DELETE FROM T", "UPDATE T SET a = 5 RETURNING a",
                          "SELECT a FROM T; DELETE FROM T", "  "}) {
    SCOPED_TRACE(sql);
    Collected sink;
    const platform::ComError e =
        Raised([&] { server_->Stream(db_path_.string(), sql, "", "", sink); });
    EXPECT_EQ(e.code(), kErrInvalidStatement);
    EXPECT_EQ(sink.begun, 0);
  }
  const Collected left = Stream("SELECT a FROM T ORDER BY a");
  EXPECT_EQ(left.integers, (std::vector<std::vector<int64_t>>{{1}, {2}}));
}

// Each connection is used by one thread at a time: none locks a mutex around every call.
TEST_F(QueryStreamTest, ConnectionsTakeNoMutex) {
  db_->Exec("CREATE TABLE T(a)");
  const std::chrono::milliseconds wait(10);
  EXPECT_EQ(sqlite3_db_mutex(OpenDb(db_path_, SQLITE_OPEN_READWRITE, wait).get()), nullptr);
  EXPECT_EQ(sqlite3_db_mutex(OpenForReading(db_path_, wait).get()), nullptr);
  // Unless asked for: this one does.
  sqlite3* full = nullptr;
  sqlite3_open_v2(db_path_.c_str(), &full, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
  EXPECT_NE(sqlite3_db_mutex(full), nullptr);
  sqlite3_close_v2(full);
}

}  // namespace
}  // namespace tabulo::host::sqlite
