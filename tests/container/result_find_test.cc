// Finding a text through a whole record set, a slice at a time, and the statements of a sorted
// or filtered view (the query builder's split and assembly), run against a real database.
#include <gtest/gtest.h>

#include "container/result_find.h"
#include "container/result_view.h"
#include "container/sample_db.h"
#include "host/cursor_record_set.h"
#include "host/field_types.h"
#include "host/memory_row_source.h"
#include "host/servers/sqlite/sqlite_data_server.h"
#include "host/test_folder.h"

namespace tabulo::container {
namespace {

using platform::Variant;

// Five records of (Name, Qty, Note): record 2 holds "acme" in two cells, record 4 is the last,
// record 0's number shows as 1E+20.
std::shared_ptr<host::RecordSet> Records() {
  std::vector<std::vector<Variant>> rows = {
      {Variant("  padded  "), Variant(1e20), Variant::Null()},
      {Variant("Müller GmbH"), Variant(int32_t{4711}), Variant("x")},
      {Variant("ACME Corp"), Variant(int32_t{2}), Variant("acme again")},
      {Variant("Other"), Variant(3.5), Variant("")},
      {Variant("last acme"), Variant(int32_t{5}), Variant::Null()},
  };
  return host::NewCursorRecordSet(host::NewMemoryRowSource(
      {{"Name", host::adVarChar, 40}, {"Qty", host::adInteger, 4}, {"Note", host::adVarChar, 40}},
      std::move(rows)));
}

struct Search {
  std::optional<ResultCell> found;
  bool wrapped;
  int64_t examined;
};

Search Searched(const std::string& needle, ResultCell from, bool forward, int64_t slice = 1000,
                std::vector<int32_t> fields = {0, 1, 2}) {
  auto rs = Records();
  ResultFinder finder(*rs, needle, fields, from, forward, platform::Locale::EnUS());
  int steps = 0;
  while (!finder.Step(slice)) ++steps;
  EXPECT_LE(steps, 6 / slice + 1);
  return {finder.found(), finder.wrapped(), finder.examined()};
}

TEST(ResultFinderTest, SearchesFromTheCellAfterTheStartAroundTheEndOnce) {
  struct Row {
    const char* needle;
    ResultCell from;
    bool forward;
    std::optional<ResultCell> found;
    bool wrapped;
  } rows[] = {
      {"acme", {0, 0}, true, ResultCell{2, 0}, false},   // letters without regard to case
      {"acme", {2, 0}, true, ResultCell{2, 2}, false},   // later in the current record
      {"acme", {2, 2}, true, ResultCell{4, 0}, false},   // the last record
      {"acme", {4, 0}, true, ResultCell{2, 0}, true},    // round the end to the top
      {"acme", {4, 0}, false, ResultCell{2, 2}, false},  // backwards: the record before
      {"acme", {2, 0}, false, ResultCell{4, 0}, true},   // round the start to the end
      {"last", {4, 0}, true, ResultCell{4, 0}, true},    // the starting cell, looked at last
      {"MÜLLER", {0, 0}, true, ResultCell{1, 0}, false},
      {"4711", {0, 0}, true, ResultCell{1, 1}, false},  // a number by its text
      {"3.5", {0, 0}, true, ResultCell{3, 1}, false},
      {"1e+20", {4, 2}, true, ResultCell{0, 1}, true},  // a number's text has its exponent
      {" padded", {1, 0}, true, std::nullopt, false},   // the grid drops the outer blanks
      {"padded", {1, 0}, true, ResultCell{0, 0}, true},
      {"nowhere", {2, 1}, true, std::nullopt, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.needle) + " from " + std::to_string(row.from.record) + "," +
                 std::to_string(row.from.field) + (row.forward ? " forward" : " backward"));
    for (int64_t slice : {1, 2, 1000}) {
      const Search s = Searched(row.needle, row.from, row.forward, slice);
      EXPECT_EQ(s.found, row.found);
      if (row.found) {
        EXPECT_EQ(s.wrapped, row.wrapped);
      } else {
        EXPECT_EQ(s.examined, 6);  // every record, the starting one twice
      }
    }
  }
  // Only the fields shown are looked at, in their order.
  EXPECT_EQ(Searched("acme", {0, 2}, true, 1000, {2, 0}).found, (ResultCell{2, 2}));
  EXPECT_EQ(Searched("x", {0, 0}, true, 1000, {0, 1}).found, std::nullopt);
}

// The control tells "after the last record", "before the first" and "on a record" apart when
// it scrolls: a search leaves the record set in the same one of these.
TEST(ResultFinderTest, LeavesTheRecordSetBeforeAfterOrOnARecordAsFound) {
  auto rs = Records();
  const auto search = [&] {
    ResultFinder finder(*rs, "nowhere", {0, 1, 2}, {0, 0}, true, platform::Locale::EnUS());
    while (!finder.Step(2)) {
    }
  };
  rs->MoveFirst();
  rs->Move(5);
  search();
  EXPECT_TRUE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  rs->MoveFirst();
  rs->MovePrevious();
  search();
  EXPECT_TRUE(rs->Bof());
  rs->MoveFirst();
  rs->Move(4);
  search();
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
}

// The first cell from `from` on (after it, around the end once) whose shown text holds the
// needle, looked for by moving through the record set and reading its fields.
std::optional<ResultCell> FoundByNavigation(host::RecordSet& rs, const std::string& needle,
                                            ResultCell from, bool forward) {
  const int64_t n = rs.RecordCount();
  const int32_t fields = rs.FieldCount();
  const std::string folded = FoldCase(needle);
  std::string buffer;
  for (int64_t k = 1; k <= n * fields; ++k) {
    const int64_t cell = from.record * fields + from.field + (forward ? k : -k);
    const int64_t at = ((cell % (n * fields)) + n * fields) % (n * fields);
    rs.MoveFirst();
    rs.Move(at / fields);
    const int32_t field = static_cast<int32_t>(at % fields);
    if (HoldsFolded(ShownText(rs.Item(field).Value(), platform::Locale::EnUS()), folded, buffer))
      return ResultCell{at / fields, field};
  }
  return std::nullopt;
}

// On SQLite files: a result whose order is not the table's (ORDER BY), a snapshot read while
// a writer changes the file, the record set's own written values; numbers, dates, NULL, empty
// texts, a text that is no date in a date column, letters beyond ASCII. The search lands where
// reading the fields one by one does.
TEST(ResultFinderTest, FindsWhatTheFieldsShowOnSqliteFiles) {
  host::testing::TestFolder folder;
  host::testing::TestDb db(folder / "f.db");
  db.Exec("PRAGMA journal_mode=WAL");
  db.Exec(
      "CREATE TABLE T(Id INTEGER PRIMARY KEY, Name VARCHAR(20), Qty INTEGER, Price DOUBLE, "
      "Placed TIMESTAMP, Flag BOOLEAN)");
  db.Exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60) INSERT INTO "
      "T SELECT i, CASE i % 5 WHEN 0 THEN NULL WHEN 1 THEN '' WHEN 2 THEN 'ÄRGER ' || i ELSE "
      "'name ' || i END, (i * 37) % 61, i * 1.25, CASE WHEN i % 13 = 0 THEN 'Soon ' || i ELSE "
      "datetime(1577836800 + i * 86400 * 9, 'unixepoch') END, i % 2 FROM n");
  host::sqlite::SqliteServerOptions options;
  options.temp_folder = folder / "snap";
  auto server = host::sqlite::NewSqliteDataServer(options);
  auto ordered = server->Query((folder / "f.db").string(), "",
                               "SELECT * FROM T ORDER BY Qty DESC, Id", "", "");
  auto written = server->Query((folder / "f.db").string(), "", "SELECT * FROM T", "", "");
  db.Exec("UPDATE T SET Name = 'later', Qty = 4242; DELETE FROM T WHERE Id < 30");
  written->MoveFirst();
  written->Move(12);
  written->Item(1).SetValue(platform::Variant("Ärger written"));
  const struct {
    const char* needle;
    ResultCell from;
  } searches[] = {{"ärger", {0, 0}}, {"ärger", {40, 3}},  {"4242", {0, 0}}, {"later", {0, 0}},
                  {"37", {5, 1}},    {"12.5", {0, 0}},    {"2021", {3, 4}}, {"name 4", {59, 5}},
                  {"true", {0, 0}},  {"written", {0, 0}}, {"/", {10, 2}},   {"soon 3", {0, 0}}};
  for (host::RecordSet* rs : {ordered.get(), written.get()}) {
    for (const auto& search : searches) {
      for (const bool forward : {true, false}) {
        SCOPED_TRACE(std::string(search.needle) + (forward ? " forward from " : " backward from ") +
                     std::to_string(search.from.record));
        ResultFinder finder(*rs, search.needle, {0, 1, 2, 3, 4, 5}, search.from, forward,
                            platform::Locale::EnUS());
        while (!finder.Step(7)) {
        }
        EXPECT_EQ(finder.found(), FoundByNavigation(*rs, search.needle, search.from, forward));
      }
    }
  }
  // What the test looks at is there: the order is not the table's, the snapshot is the old one.
  ordered->MoveFirst();
  EXPECT_EQ(ordered->Item(2).Value(), platform::Variant(int32_t{60}));
  EXPECT_EQ(FoundByNavigation(*written, "later", {0, 0}, true), std::nullopt);
  EXPECT_NE(FoundByNavigation(*written, "ärger w", {0, 0}, true), std::nullopt);
}

TEST(ResultViewTest, SortAndFilterGoIntoTheStatementsParts) {
  const platform::Locale& en = platform::Locale::EnUS();
  const FilterCondition qty{"Qty", host::adInteger, FilterOp::kLess, "10"};
  const FilterCondition quote{"Customer", host::adVarChar, FilterOp::kContains, "O'B_%"};
  const FilterCondition null{"my Note", host::adVarChar, FilterOp::kIsNull, ""};
  struct Row {
    const char* own;
    ResultView view;
    const char* statement;
  } rows[] = {
      {"SELECT * FROM Orders",
       {"Qty", SortOrder::kAscending, {}},
       "SELECT * FROM Orders  ORDER BY Qty ASC"},
      {"SELECT * FROM Orders ORDER BY Id DESC",
       {"Qty", SortOrder::kDescending, {}},
       "SELECT * FROM Orders  ORDER BY Qty DESC, Id DESC"},
      {"select Id, Qty from Orders where Qty > 1 order by Id",
       {"", SortOrder::kAsStated, {qty}},
       "SELECT Id, Qty FROM Orders WHERE (Qty > 1) AND Qty < 10 ORDER BY Id"},
      {"SELECT * FROM Orders",
       {"group", SortOrder::kAscending, {quote, null}},
       "SELECT * FROM Orders WHERE LOWER(Customer) LIKE LOWER('%O''B\\_\\%%') ESCAPE '\\' AND "
       "\"my Note\" IS NULL ORDER BY \"group\" ASC"},
      {"SELECT * FROM Orders ORDER BY Id", {}, "SELECT * FROM Orders ORDER BY Id"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.own);
    EXPECT_EQ(ViewStatement(row.own, row.view, en), row.statement);
  }
  EXPECT_EQ(FilterSql({"Qty", host::adInteger, FilterOp::kContains, "1"}, en),
            "LOWER(CAST(Qty AS TEXT)) LIKE LOWER('%1%') ESCAPE '\\'");
  EXPECT_EQ(FilterSql({"Qty", host::adInteger, FilterOp::kIsNotNull, ""}, en), "Qty IS NOT NULL");
  // A value not of the column's type never reaches the statement.
  const ResultView injected{
      "", SortOrder::kAsStated, {{"Qty", host::adInteger, FilterOp::kEquals, "1 OR 1=1"}}};
  EXPECT_EQ(
      host::testing::Raised([&] { ViewStatement("SELECT * FROM Orders", injected, en); }).number(),
      platform::kErrTypeMismatch);
  for (const char* own : {"SELECT Qty, count(*) FROM Orders GROUP BY Qty",
                          "SELECT * FROM Orders LIMIT 10", "VALUES (1)"}) {
    SCOPED_TRACE(own);
    const platform::ComError e = host::testing::Raised([&] {
      ViewStatement(own, {"Qty", SortOrder::kAscending, {}}, en);
    });
    EXPECT_NE(e.description().find("cannot be sorted or filtered"), std::string::npos);
  }
  EXPECT_EQ(NextSortOrder(NextSortOrder(NextSortOrder(SortOrder::kAsStated))),
            SortOrder::kAsStated);
  EXPECT_EQ(ViewNote({"Qty", SortOrder::kDescending, {qty, null}}),
            "sorted by Qty, descending; filtered: Qty < \"10\" and my Note is null");
  EXPECT_EQ(ViewNote({}), "");
}

TEST(ResultViewTest, TypedConditionsNameAColumnAnOperatorAndAValue) {
  const std::vector<std::string> columns = {"Qty", "Note", "Note 2"};
  struct Row {
    const char* text;
    const char* column;  // nullptr: refused
    FilterOp op;
    const char* value;
  } rows[] = {
      {"Qty >= 10", "Qty", FilterOp::kGreaterOrEqual, "10"},
      {"qty<5", nullptr, FilterOp::kLess, ""},  // the column ends at a blank
      {"Qty <5", "Qty", FilterOp::kLess, "5"},
      {"Qty <> 5", "Qty", FilterOp::kNotEquals, "5"},
      {" Note contains  O'Brien & Sons ", "Note", FilterOp::kContains, "O'Brien & Sons"},
      {"Note 2 IS NOT NULL", "Note 2", FilterOp::kIsNotNull, ""},
      {"Note is null", "Note", FilterOp::kIsNull, ""},
      {"Note is null x", nullptr, FilterOp::kIsNull, ""},
      {"Note containsx", nullptr, FilterOp::kContains, ""},
      {"Qty =", nullptr, FilterOp::kEquals, ""},
      {"Price > 1", nullptr, FilterOp::kGreater, ""},
      {"Qty like 1", nullptr, FilterOp::kContains, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const std::optional<FilterCondition> c = ParseFilterText(row.text, columns);
    ASSERT_EQ(c.has_value(), row.column != nullptr);
    if (!c) continue;
    EXPECT_EQ(c->column, row.column);
    EXPECT_EQ(c->op, row.op);
    EXPECT_EQ(c->value, row.value);
  }
}

// The statements run: the sample's quoted customer, its null notes.
TEST(ResultViewTest, FilteredStatementsSelectWhatTheirConditionsSay) {
  host::testing::TestFolder folder;
  WriteSampleDatabase(folder / "s.db", 700);
  host::testing::TestDb db(folder / "s.db");
  const platform::Locale& en = platform::Locale::EnUS();
  const auto count = [&](const FilterCondition& f) {
    const std::string sql =
        ViewStatement("SELECT * FROM Orders", {"Id", SortOrder::kDescending, {f}}, en);
    return db.Rows(sql).size();
  };
  const std::string brien =
      db.Text("SELECT count(*) FROM Orders WHERE Customer = 'O''Brien & Sons'");
  EXPECT_NE(brien, "0");
  EXPECT_EQ(count({"Customer", host::adVarChar, FilterOp::kContains, "o'brien"}),
            std::stoul(brien));
  EXPECT_EQ(count({"Note", host::adVarChar, FilterOp::kIsNull, ""}), 100u);  // every seventh
  EXPECT_EQ(count({"Qty", host::adInteger, FilterOp::kGreaterOrEqual, "499"}),
            std::stoul(db.Text("SELECT count(*) FROM Orders WHERE Qty >= 499")));
  EXPECT_EQ(db.Rows(ViewStatement("SELECT * FROM Orders", {"Id", SortOrder::kDescending, {}}, en))
                .front()
                .front(),
            "700");
}

}  // namespace
}  // namespace tabulo::container
