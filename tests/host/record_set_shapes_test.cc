// Record sets of every statement shape against SQLite's own rows, the key-set view, progress;
// the cursor record set; SQLite types and values, ISO dates and ODBC date and time escapes.
#include <gtest/gtest.h>

#include "common/error_of.h"
#include "host/cursor_record_set.h"
#include "host/data_server.h"
#include "host/memory_row_source.h"
#include "host/servers/sqlite/column_types.h"
#include "host/servers/sqlite/iso_date.h"
#include "host/servers/sqlite/odbc_escapes.h"
#include "host/servers/sqlite/record_file.h"
#include "host/servers/sqlite/rowid_collector.h"
#include "host/servers/sqlite/sqlite_row_source.h"
#include "orders_db.h"
#include "platform/text/locale.h"
#include "platform/values/conversions.h"

namespace tabulo::host::sqlite {
namespace {

using platform::Variant;
using testing::CreateOrders;
using testing::TestDb;
using Rows = std::vector<std::vector<std::string>>;

// A value as SQLite writes it as text.
std::string Text(const Variant& v) {
  if (v.IsNull()) return "<null>";
  std::string text = platform::CStr(v, platform::Locale::EnUS());
  if (v.type() == platform::VarType::Double && text.find_first_of(".e") == std::string::npos) {
    text += ".0";
  }
  return text;
}

// Every record of a record set, each as its fields' texts, as TestDb::Rows gives SQLite's.
Rows AllRows(RecordSet& rs) {
  Rows rows;
  for (const auto& values : testing::AllRows(rs)) {
    rows.emplace_back();
    for (const Variant& v : values) rows.back().push_back(Text(v));
  }
  return rows;
}

class RecordSetShapesTest : public testing::SnapshotTest,
                            public ::testing::WithParamInterface<bool> {};

TEST_P(RecordSetShapesTest, EachShapeGivesSqlitesRowsInSqlitesOrder) {
  const bool wal = GetParam();
  CreateOrders(db_, 600, wal);
  db_.Exec(
      "CREATE INDEX OrdersByCustomer ON Orders(Customer); CREATE TABLE Parts(Id INTEGER "
      "PRIMARY KEY, Name TEXT); INSERT INTO Parts SELECT Id, 'P' || Id FROM Orders WHERE "
      "Id <= 40; CREATE VIEW Small AS SELECT Id, Qty FROM Orders WHERE Qty < 20");
  const SnapshotPath rowid = wal ? SnapshotPath::Rowid : SnapshotPath::RowidKeySet;
  const struct {
    const char* sql;
    SnapshotPath path;
  } shapes[] = {
      {"SELECT Id, Customer, Qty, Price, Note FROM Orders", rowid},
      {"SELECT Id, Note FROM Orders WHERE Qty < 100 AND Note IS NOT NULL", rowid},
      {"SELECT Id, Customer FROM Orders WHERE Customer > 'C5' ORDER BY Customer", rowid},
      {"SELECT Id, Qty * 2 AS q2, upper(Customer), length(Note) n FROM Orders WHERE Qty < 400",
       rowid},
      {"SELECT Id, Qty % 7 AS r FROM Orders ORDER BY r DESC, Id", rowid},
      {"SELECT Id, Qty % 7 r FROM Orders ORDER BY r, 1 DESC", rowid},
      // Qty alone is the alias; inside an expression it is the table's column.
      {"SELECT Price AS Qty, Id FROM Orders ORDER BY Qty % 7, Qty, 2", rowid},
      // Aliases of two tokens, in quotes, in brackets; a name after "." is no alias.
      {"SELECT Qty q, Id, Qty % 7 AS 'r', Price [p] FROM Orders ORDER BY r DESC, [p] DESC, q, 2",
       rowid},
      {"SELECT Id, Qty, Price, Note, 5, 6, 7, 8, 9, Customer FROM Orders ORDER BY 10 DESC, 1",
       rowid},
      {"SELECT o.Id, o.Customer FROM Orders AS o ORDER BY Customer DESC, Id", rowid},
      {"SELECT o.Id, o.Customer FROM Orders o WHERE o.Qty IN (SELECT Id FROM Parts) ORDER BY "
       "o.Customer COLLATE NOCASE DESC, o.Id",
       rowid},
      {"SELECT *, Id + 1 AS next FROM Parts ORDER BY Id DESC", rowid},
      // Column numbers after a star count the star's columns: 2 is Name, not next.
      {"SELECT *, Id % 7 AS next FROM Parts ORDER BY 2 DESC", SnapshotPath::Memory},
      {"SELECT p.*, Id % 7 AS next FROM Parts p ORDER BY 2 DESC", SnapshotPath::Memory},
      {"SELECT *, Id % 7 next FROM Parts ORDER BY next DESC, Id", SnapshotPath::Memory},
      {"SELECT Id, (SELECT Name FROM Parts p WHERE p.Id = Orders.Qty) FROM Orders", rowid},
      {"SELECT o.Id, p.Name FROM Orders o JOIN Parts p ON p.Id = o.Qty ORDER BY o.Id",
       SnapshotPath::Memory},
      {"SELECT Customer, count(*), sum(Qty) FROM Orders GROUP BY Customer", SnapshotPath::Memory},
      {"SELECT DISTINCT Qty % 10 FROM Orders ORDER BY 1", SnapshotPath::Memory},
      {"SELECT Id FROM Small UNION ALL SELECT Id FROM Parts ORDER BY 1", SnapshotPath::Memory},
      {"SELECT * FROM Small", SnapshotPath::Memory},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.sql);
    auto snapshot = Open(shape.sql);
    EXPECT_EQ(snapshot.path, shape.path);
    auto rs = NewCursorRecordSet(std::move(snapshot.source));
    const Rows expected = db_.Rows(shape.sql);
    ASSERT_GT(expected.size(), 1u);
    EXPECT_EQ(rs->RecordCount(), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(AllRows(*rs), expected);
    // Any position straight away, from the far end back.
    rs->MoveFirst();
    rs->Move(rs->RecordCount() - 1);
    EXPECT_EQ(Text(rs->Item(0).Value()), expected.back()[0]);
    // The general path moved to a store file mid-pass gives the same rows.
    auto stored = Open(shape.sql, {.memory_bound = 256, .general_path_only = true, .progress = {}});
    EXPECT_EQ(stored.path, SnapshotPath::StoreFile);
    EXPECT_EQ(AllRows(*NewCursorRecordSet(std::move(stored.source))), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(JournalModes, RecordSetShapesTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Wal" : "RollbackJournal"; });

// Rollback journal: which records and in which order is fixed by the pass, values are read
// when a block of records is first read, a record deleted since reads "#Deleted"; writers
// commit at once while the record set is open.
TEST_F(RecordSetShapesTest, RollbackJournalRecordSetsAreKeySetViews) {
  CreateOrders(db_, 200);
  auto snapshot = Open("SELECT Id, Customer FROM Orders WHERE Qty <= 150 ORDER BY Id");
  ASSERT_EQ(snapshot.path, SnapshotPath::RowidKeySet);
  auto rs = NewCursorRecordSet(std::move(snapshot.source));
  ASSERT_EQ(rs->RecordCount(), 150);
  EXPECT_EQ(Text(rs->Item(1).Value()), "C1");  // the first block is read
  sqlite3_busy_timeout(db_.get(), 0);
  EXPECT_EQ(db_.Exec("BEGIN; UPDATE Orders SET Customer = 'new', Qty = 400 WHERE Id IN (2, 100); "
                     "DELETE FROM Orders WHERE Id = 101; INSERT INTO Orders(Id, Qty) VALUES "
                     "(500, 1); COMMIT"),
            SQLITE_OK);
  const struct {
    int64_t position;
    const char* id;
    const char* customer;
  } expected[] = {
      {1, "2", "C2"},                 // read before the write: what the operator saw
      {99, "100", "new"},             // read after: current, though no longer matching WHERE
      {100, "#Deleted", "#Deleted"},  // deleted since
      {149, "150", "C53"},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.position);
    rs->MoveFirst();
    rs->Move(e.position);
    EXPECT_EQ(Text(rs->Item(0).Value()), e.id);
    EXPECT_EQ(Text(rs->Item(1).Value()), e.customer);
  }
  EXPECT_EQ(rs->RecordCount(), 150);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());  // the record inserted since is not among them
}

TEST_F(RecordSetShapesTest, LongPassesReportTheRowsCollectedSoFar) {
  CreateOrders(db_, 70000, /*wal=*/true);
  const struct {
    const char* sql;
    bool general_path_only;
    std::vector<int64_t> reports;  // with a report due at every chance
  } cases[] = {
      {"SELECT Id FROM Orders", false, {65536}},
      {"SELECT Id FROM Orders WHERE Id <= 10000", true, {4096, 8192}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    std::vector<int64_t> reports;
    SnapshotOptions options;
    options.general_path_only = c.general_path_only;
    options.progress = {[&](int64_t rows) { reports.push_back(rows); },
                        std::chrono::milliseconds(0)};
    Open(c.sql, options);
    EXPECT_EQ(reports, c.reports);
  }
}

TEST(ReportProgressIfDue, FirstAfterTheDelayThenOncePerPeriod) {
  using std::chrono::milliseconds;
  const auto now = std::chrono::steady_clock::now();
  const struct {
    std::chrono::steady_clock::time_point started, next;
    bool reported;
  } cases[] = {
      {now, {}, false},                                           // too early
      {now - milliseconds(600), {}, true},                        // the first report
      {now - milliseconds(600), now + milliseconds(400), false},  // a period has not passed
      {now - milliseconds(9000), now - milliseconds(1), true},    // it has
  };
  for (const auto& c : cases) {
    std::vector<int64_t> reports;
    auto next = c.next;
    ReportProgressIfDue([&](int64_t rows) { reports.push_back(rows); }, 42, c.started,
                        milliseconds(500), &next);
    EXPECT_EQ(reports, c.reported ? std::vector<int64_t>{42} : std::vector<int64_t>{});
    EXPECT_TRUE(!c.reported || next > now);
  }
}

// The general path's file beyond the memory bound: every storage class round-trips, in and
// across blocks, whether appended from a statement or from copied values.
TEST_F(RecordSetShapesTest, RecordFileRoundTripsEveryValueInAndAcrossBlocks) {
  // 64 and a text of 128 bytes need the second byte of their varint, the first that does.
  const std::string sql =
      "SELECT -9223372036854775808, 9223372036854775807, 64, -1.5e300, '', hex(zeroblob(64)), "
      "x'00ff', NULL, 'späť'";
  const int columns = 9;
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  std::vector<RawValue> expected;
  for (int i = 0; i < columns; ++i) expected.push_back(ReadRaw(stmt, i));
  RecordFile file(std::make_unique<TempFile>(store_->NewPath(".rows")), columns);
  const int64_t rows = RecordFile::kBlockRows * 2 + 3;
  for (int64_t r = 0; r < rows; ++r) {
    if (r % 2) {
      file.AppendFrom(stmt, columns);
    } else {
      file.Append(expected);
    }
  }
  sqlite3_finalize(stmt);
  file.Finish();
  ASSERT_EQ(file.size(), rows);
  for (int64_t r : {rows - 1, int64_t{0}, RecordFile::kBlockRows, RecordFile::kBlockRows - 1}) {
    const std::vector<RawValue> row = file.Read(r);
    ASSERT_EQ(row.size(), expected.size());
    for (size_t c = 0; c < row.size(); ++c) {
      SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
      EXPECT_EQ(std::tie(row[c].storage, row[c].i, row[c].d, row[c].bytes),
                std::tie(expected[c].storage, expected[c].i, expected[c].d, expected[c].bytes));
    }
  }
  // A file of a single byte: one NULL.
  RecordFile one(std::make_unique<TempFile>(store_->NewPath(".rows")), 1);
  one.Append({RawValue{SQLITE_NULL, 0, 0.0, ""}});
  one.Finish();
  EXPECT_EQ(one.Read(0).at(0).storage, SQLITE_NULL);
}

// While rows are appended only the blocks written whole can be read: rows of 10,003 bytes are
// written 105 at a time (the first write past 1 MiB), blocks hold 64.
TEST_F(RecordSetShapesTest, ARecordFileBeingAppendedToReadsTheBlocksWrittenWhole) {
  RecordFile file(std::make_unique<TempFile>(store_->NewPath(".rows")), 1);
  const std::pair<int64_t, int64_t> readable[] = {{104, 0}, {105, 64}, {209, 64}, {210, 192}};
  int64_t rows = 0;
  for (const auto& [appended, expected] : readable) {
    for (; rows < appended; ++rows)
      file.Append({RawValue{SQLITE_TEXT, 0, 0.0, std::string(9999, 'a') + char('0' + rows % 10)}});
    EXPECT_EQ(file.Readable(), expected) << appended;
  }
  EXPECT_EQ(file.Read(191)[0].bytes.back(), '1');
  file.Finish();
  EXPECT_EQ(file.Readable(), 210);
}

// A file on a full disk (a link to /dev/full, whose writes fail with ENOSPC) is told as a full
// disk, not as an unusable store.
TEST_F(RecordSetShapesTest, ARecordFileOnAFullDiskSaysSo) {
  const std::filesystem::path path = folder_ / "full.rows";
  std::filesystem::create_symlink("/dev/full", path);
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = open_files();
  {
    RecordFile file(std::make_unique<TempFile>(path), 1);
    file.Append({RawValue{SQLITE_TEXT, 0, 0.0, "row"}});
    const platform::ComError e = testing::Raised([&] { file.Finish(); });
    EXPECT_EQ(static_cast<uint32_t>(e.code()), kErrDiskFull);
    EXPECT_EQ(e.description(), "The disk holding the snapshot store " + path.string() + " is full");
  }
  EXPECT_EQ(open_files(), before);  // its descriptor closed
  // A file that cannot be opened is no full disk.
  const platform::ComError gone =
      testing::Raised([&] { RecordFile(std::make_unique<TempFile>(folder_ / "gone.rows"), 1); });
  EXPECT_EQ(static_cast<uint32_t>(gone.code()), kErrSourceUnusable);
}

using Calls = std::vector<std::function<void()>>;

// N 0..n-1 and S "r0".."r<n-1>".
std::shared_ptr<RecordSet> Numbers(int n) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < n; ++i)
    rows.push_back({Variant(int32_t{i}), Variant(std::string("r").append(std::to_string(i)))});
  return NewCursorRecordSet(
      NewMemoryRowSource({{"N", adInteger, 4}, {"S", adVarChar, 10}}, std::move(rows)));
}

// The error code a call raised, 0 for none.
uint32_t ErrorOf(const std::function<void()>& f) {
  return static_cast<uint32_t>(test_support::ErrorOf(f));
}

// "B" at BOF, "E" at EOF, "BE" for both, else the current N.
std::string Where(RecordSet& rs) {
  if (rs.Bof() || rs.Eof()) return std::string(rs.Bof() ? "B" : "") + (rs.Eof() ? "E" : "");
  return std::to_string(rs.Item(0).Value().AsLong());
}

TEST(CursorRecordSet, OpensOnFirstRecordAndMovesAcrossBothEnds) {
  auto rs = Numbers(10);
  EXPECT_EQ(rs->State(), 1);
  EXPECT_EQ(rs->RecordCount(), 10);
  EXPECT_EQ(Where(*rs) + rs->Item(1).Value().AsString(), "0r0");
  std::string path;
  for (int64_t k : {int64_t{4}, int64_t{9}, int64_t{10}, INT64_MAX}) {
    rs->MoveFirst();
    rs->Move(k);
    path += Where(*rs) + " ";
  }
  rs->Move(INT64_MIN);  // far beyond either end, with no overflow
  path += Where(*rs) + " ";
  rs->Move(6);
  rs->Move(8);  // past the end from the middle
  path += Where(*rs);
  EXPECT_EQ(path, "4 9 E E B E");
  rs->MoveFirst();
  rs->Move(10);
  EXPECT_EQ(ErrorOf([&] { rs->Item(0).Value(); }), kErrNoCurrentRecord);
  rs->MovePrevious();
  EXPECT_EQ(Where(*rs), "9");
}

TEST(CursorRecordSet, StepsAcrossBothEndsAndRaisesBeyondThem) {
  auto rs = Numbers(2);
  std::string path;
  const Calls steps = {[&] { rs->MoveNext(); },     [&] { rs->MoveNext(); },
                       [&] { rs->MovePrevious(); }, [&] { rs->MovePrevious(); },
                       [&] { rs->MovePrevious(); }, [&] { rs->MoveNext(); },
                       [&] { rs->Move(-1); },       [&] { rs->Move(2); }};
  for (const auto& step : steps) {
    step();
    path += Where(*rs) + " ";
  }
  EXPECT_EQ(path, "1 E 1 0 B 0 B 1 ");
  rs->Move(1);
  for (const auto& beyond : Calls{[&] { rs->MoveNext(); }, [&] { rs->Move(0); }})
    EXPECT_EQ(ErrorOf(beyond), kErrNoCurrentRecord);
  rs->MoveFirst();
  rs->MovePrevious();
  for (const auto& beyond : Calls{[&] { rs->MovePrevious(); }, [&] { rs->Move(-1); },
                                  [&] { rs->Item(1).SetValue(Variant("x")); }})
    EXPECT_EQ(ErrorOf(beyond), kErrNoCurrentRecord);
}

TEST(CursorRecordSet, WrittenValueStaysWithItsRecord) {
  auto rs = Numbers(3);
  rs->Move(1);
  rs->Item(1).SetValue(Variant("changed"));
  std::vector<Variant> seen = {rs->Item(1).Value(), rs->Item(0).Value()};
  rs->MoveNext();
  seen.push_back(rs->Item(1).Value());
  rs->MoveFirst();
  seen.push_back(rs->Item(1).Value());
  rs->Move(1);
  seen.push_back(rs->Item(1).Value());
  EXPECT_EQ(seen, (std::vector<Variant>{Variant("changed"), Variant(int32_t{1}), Variant("r2"),
                                        Variant("r0"), Variant("changed")}));
  rs->Item(1).SetValue(Variant::Null());
  EXPECT_TRUE(rs->Item(1).Value().IsNull());
}

// An empty one is both EOF and BOF (its count and fields are the data server's zero-row test);
// a closed one raises everywhere but State; a field index outside the fields raises.
TEST(CursorRecordSet, EmptyClosedAndOutOfRangeRaiseTheirErrors) {
  auto empty = Numbers(0);
  EXPECT_EQ(Where(*empty), "BE");
  for (const auto& move : Calls{[&] { empty->MoveFirst(); }, [&] { empty->MoveNext(); },
                                [&] { empty->MovePrevious(); }, [&] { empty->Move(1); },
                                [&] { empty->Item(0).Value(); }})
    EXPECT_EQ(ErrorOf(move), kErrNoCurrentRecord);
  auto rs = Numbers(3);
  const uint32_t out_of_range = platform::kErrSubscriptOutOfRange;
  EXPECT_EQ(ErrorOf([&] { rs->Item(2); }), out_of_range);
  EXPECT_EQ(ErrorOf([&] { rs->Item(-1); }), out_of_range);
  Field& field = rs->Item(0);
  rs->Close();
  EXPECT_EQ(rs->State(), 0);
  for (const auto& call :
       Calls{[&] { rs->Eof(); }, [&] { rs->Bof(); }, [&] { rs->RecordCount(); },
             [&] { rs->MoveFirst(); }, [&] { rs->Move(1); }, [&] { rs->MoveNext(); },
             [&] { rs->MovePrevious(); }, [&] { rs->Close(); }, [&] { rs->FieldCount(); },
             [&] { rs->Item(0); }, [&] { field.Value(); }, [&] { field.Name(); }})
    EXPECT_EQ(ErrorOf(call), kErrClosed);
  auto closed = NewClosedRecordSet();
  EXPECT_EQ(closed->State(), 0);
  EXPECT_EQ(ErrorOf([&] { closed->RecordCount(); }), kErrClosed);
}

TEST(CursorRecordSet, ErrorTexts) {
  EXPECT_EQ(NoCurrentRecordError().description(),
            "Either BOF or EOF is True, or the current record has been deleted. Requested "
            "operation requires a current record.");
  EXPECT_EQ(NoCurrentRecordError().code(), 0x800A0BCDu);
  EXPECT_EQ(ClosedError().description(), "Operation is not allowed when the object is closed.");
  EXPECT_EQ(ClosedError().code(), 0x800A0E78u);
  // A memory source refuses rows of the wrong width.
  testing::Raised([] {
    NewMemoryRowSource({{"A", 3, 4}}, {{Variant(int32_t{1}), Variant(int32_t{2})}});
  });
}

// The data server's test declares one column of every type word and checks its code and
// size; here the spellings it does not use, and SQLite's affinity fallbacks ("FLOATING POINT":
// "INT" wins, as in SQLite).
TEST(ColumnTypes, EveryDeclaredType) {
  struct Case {
    const char* decl;
    int32_t type, size;
  };
  // clang-format off
  const Case cases[] = {
      {"int", adInteger, 4}, {"double precision", adDouble, 8}, {"varchar ( 12 )", adVarChar, 12},
      {"VARBINARY(100)", adVarBinary, 100}, {"UNSIGNED MEDIUM INTEGER", adInteger, 4},
      {"VARYING NATIONAL TEXT", adVarChar, 536870910}, {"BLOBBY", adLongVarBinary, 2147483647},
      {"FLOATY", adDouble, 8}, {"FLOATING POINT", adInteger, 4}, {"WHATEVER", adNumeric, 19}};
  // clang-format on
  for (const auto& c : cases) {
    auto t = ColumnTypeFromDecl(c.decl);
    ASSERT_TRUE(t.has_value()) << c.decl;
    EXPECT_EQ(std::make_pair(t->ado_type, t->defined_size), std::make_pair(c.type, c.size))
        << c.decl;
  }
  EXPECT_FALSE(ColumnTypeFromDecl(nullptr));
  EXPECT_FALSE(ColumnTypeFromDecl(""));
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_INTEGER).ado_type, adInteger);
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_FLOAT).ado_type, adDouble);
  EXPECT_EQ(ColumnTypeFromStorage(SQLITE_NULL).ado_type, adVarChar);
}

RawValue Int(int64_t v) {
  return RawValue{SQLITE_INTEGER, v, 0.0, {}};
}
RawValue Real(double v) {
  return RawValue{SQLITE_FLOAT, 0, v, {}};
}
RawValue Str(std::string s) {
  return RawValue{SQLITE_TEXT, 0, 0.0, std::move(s)};
}

TEST(ColumnTypes, ValuesByKind) {
  struct Case {
    RawValue raw;
    ValueKind kind;
    Variant value;
  };
  // The data server's test reads booleans, numerics and date-times of every declared type.
  // clang-format off
  const Case cases[] = {
      // Integers are Long until they need more than 32 bits.
      {Int(2147483647), ValueKind::Integer, Variant::Long(2147483647)},
      {Int(-2147483648LL), ValueKind::Integer, Variant::Long(INT32_MIN)},
      {Int(2147483648LL), ValueKind::Integer, Variant::Double(2147483648.0)},
      {Real(1.5), ValueKind::Integer, Variant::Double(1.5)},
      {Str("12a"), ValueKind::Integer, Variant("12a")},
      {Int(3), ValueKind::Real, Variant::Double(3.0)},
      {Real(12.34567), ValueKind::Currency, Variant::CurrencyScaled(123457)},
      {Int(5), ValueKind::Currency, Variant::CurrencyScaled(50000)},
      // Date texts become dates, others stay text.
      {Str("1899-12-30"), ValueKind::Date, Variant::Date(0.0)},
      {Str("not a date"), ValueKind::Date, Variant("not a date")},
      {Str("12:00"), ValueKind::Time, Variant::Date(0.5)},
      {Str("2009-03-01"), ValueKind::Text, Variant("2009-03-01")}};
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(ToVariant(c.raw, c.kind), c.value) << c.raw.bytes;
  for (auto kind : {ValueKind::Integer, ValueKind::Text, ValueKind::Date, ValueKind::Boolean})
    EXPECT_TRUE(ToVariant(RawValue{}, kind).IsNull());
  Variant blob =
      ToVariant(RawValue{SQLITE_BLOB, 0, 0.0, std::string("\x01\xff", 2)}, ValueKind::Text);
  ASSERT_TRUE(blob.IsArray());
  EXPECT_EQ(blob.AsArray().element_type(), platform::VarType::Byte);
  ASSERT_EQ(blob.AsArray().size(), 2);
  EXPECT_EQ(blob.AsArray().At(1).AsByte(), 0xff);
}

TEST(IsoDate, ParsesDatesAndTimesAndRefusesWhatIsNotOne) {
  const std::pair<const char*, double> dates[] = {{"2000-01-01", 36526.0},
                                                  {"2000-02-29T06:00", 36585.25},
                                                  {"1899-12-29 06:00:00", -1.25},
                                                  {"9999-12-31", 2958465.0}};
  for (const auto& [text, serial] : dates) EXPECT_DOUBLE_EQ(*ParseIsoDateTime(text), serial);
  EXPECT_NEAR(*ParseIsoDateTime("2000-01-01 00:00:01.500"), 36526.0 + 1.5 / 86400, 1e-9);
  EXPECT_DOUBLE_EQ(*ParseIsoTime("18:00:00"), 0.75);
  for (const char* bad : {"", "2001-02-29", "2000-13-01", "2000-00-10", "2000-01-32", "2000-1-01",
                          "2000-01-01 24:00", "2000-01-01 10:60", "2000-01-01x",
                          "2000-01-01 10:00:00.", "0099-01-01", "2000-01-01 10:00:61"})
    EXPECT_FALSE(ParseIsoDateTime(bad)) << bad;
  EXPECT_FALSE(ParseIsoTime("25:00"));
  EXPECT_FALSE(ParseIsoTime("10"));
}

// The Ids (1-based positions of `values`, date texts in a column X) that each condition
// selects once translated, as "1 2 3", one text per condition.
std::vector<std::string> Where(const std::vector<std::string>& values,
                               const std::vector<std::string>& conditions) {
  testing::TestDb db(":memory:");
  db.Exec("CREATE TABLE T(Id INTEGER PRIMARY KEY, X TEXT)");
  for (const std::string& v : values) db.Exec("INSERT INTO T(X) VALUES ('" + v + "')");
  std::vector<std::string> out;
  for (const std::string& c : conditions) {
    std::string ids;
    for (const auto& row :
         db.Rows(TranslateOdbcEscapes("SELECT Id FROM T WHERE " + c + " ORDER BY Id")))
      ids.append(ids.empty() ? "" : " ").append(row[0]);
    out.push_back(ids);
  }
  return out;
}

using Ids = std::vector<std::string>;

TEST(OdbcEscapes, AssignmentsWriteTheStoredFormsAndOtherTextStays) {
  const std::pair<std::string, std::string> cases[] = {
      {"UPDATE T SET D = {d '2024-02-29'} , Tm = {t '13:45:10'} , S = {ts '2020-01-01 "
       "00:00:37.108'} , W = {ts '2020-01-01 00:00:37'} WHERE Id = 7",
       "UPDATE T SET D = '2024-02-29' , Tm = '13:45:10' , S = '2020-01-01 00:00:37.108' , "
       "W = '2020-01-01 00:00:37' WHERE Id = 7"},
      // Fewer fraction digits are tenths and hundredths; zero milliseconds are not written.
      {"UPDATE T SET a = {t '01:02:03.5'}, b = {ts '2020-01-01 00:00:00.05'}, c = {t "
       "'01:02:03.000'}",
       "UPDATE T SET a = '01:02:03.500', b = '2020-01-01 00:00:00.050', c = '01:02:03'"},
      // Keywords in any case, blanks inside the braces.
      {"INSERT INTO T VALUES ({ D '2000-02-29' }, {Ts\t'9999-12-31 23:59:59.999'})",
       "INSERT INTO T VALUES ('2000-02-29', '9999-12-31 23:59:59.999')"},
      // Numbers and strings around escapes are kept.
      {"UPDATE Orders SET Price =  12.5 , Note = 'it''s late' WHERE Id = 7 AND Price >=  2.499 "
       "AND Placed = {d '2020-01-01'}",
       "UPDATE Orders SET Price =  12.5 , Note = 'it''s late' WHERE Id = 7 AND Price >=  2.499 "
       "AND date(Placed) = '2020-01-01'"},
      // An escape that is the whole text.
      {"{d '2000-02-29'}", "'2000-02-29'"}};
  for (const auto& [sql, translated] : cases) EXPECT_EQ(TranslateOdbcEscapes(sql), translated);
  for (const std::string sql :
       {"SELECT * FROM T", "UPDATE T SET Note = 'see {d ''2024-01-01''}' WHERE Note = '{ts x}'",
        "SELECT \"{d '2024-01-01'}\", [{t], `{ts` FROM T",
        "SELECT 1 -- {d '2024-13-45'}\n FROM T /* {ts} */"})
    EXPECT_EQ(TranslateOdbcEscapes(sql), sql);
}

TEST(OdbcEscapes, ComparisonsWithAColumnCompareDateAndTimeValues) {
  EXPECT_EQ(Where({"2024-01-02", "2024-01-02 00:00:00", "2024-01-02T00:00:00.000",
                   "2024-01-02 00:00:00.001", "2024-01-02 00:00", "not a date"},
                  {"X = {ts '2024-01-02 00:00:00'}", "{ts '2024-01-02 00:00:00'} <> X",
                   "X > {ts '2024-01-02 00:00:00'}",
                   "X != {ts '2024-01-02 00:00:00.001'} AND X == {d '2024-01-02'}"}),
            (Ids{"1 2 3 5", "4", "4", "1 2 3 5"}));
  // The range of 108 milliseconds holds at both bounds across midnight and a leap day (the
  // write tests run the plain range through the data server).
  EXPECT_EQ(Where({"2024-02-28 23:59:59.891", "2024-02-28 23:59:59.892", "2024-02-29",
                   "2024-02-29 00:00:00.108", "2024-02-29 00:00:00.109"},
                  {"X >= {ts '2024-02-28 23:59:59.892'} AND X <= {ts '2024-02-29 00:00:00.108'}"}),
            Ids{"2 3 4"});
  // A date compares the day, a time the time of day.
  EXPECT_EQ(Where({"2024-01-02", "2024-01-02 00:00:00", "2024-01-02T13:00:00", "2024-01-03"},
                  {"X = {d '2024-01-02'}", "X < {d '2024-01-03'}"}),
            (Ids{"1 2 3", "1 2 3"}));
  EXPECT_EQ(Where({"13:45:09", "13:45:09.000", "13:45:09.001", "2020-05-05 13:45:09"},
                  {"X = {t '13:45:09'}", "X >= {t '13:45:09.001'}"}),
            (Ids{"1 2 4", "3"}));
  // Column names may be qualified or quoted.
  EXPECT_EQ(Where({"2024-01-02 00:00:00", "2024-01-03"},
                  {"T.X = {d '2024-01-02'}",
                   "\"T\".[X] = {d '2024-01-02'} OR (main.T.X = {d '2024-01-03'})",
                   "NOT X = {d '2024-01-02'}"}),
            (Ids{"1", "1 2", "2"}));
  // Operands that are not a column compare the stored text: "||" binds tighter than "=".
  EXPECT_EQ(Where({"2024-01-02", "2024-01-02 00:00:00"},
                  {"'' || X = {d '2024-01-02'}",
                   "X BETWEEN {d '2024-01-02'} AND {ts '2024-01-02 00:00:00'}",
                   "X IN ({d '2024-01-02'})"}),
            (Ids{"1", "1 2", "1"}));
}

TEST(OdbcEscapes, MalformedEscapesAreRefusedByName) {
  for (const std::string named :
       {"{d '2023-02-29'}", "{d '1900-02-29'}", "{d '2024-13-01'}", "{d '0099-01-01'}",
        "{d '2024-1-01'}", "{t '24:00:00'}", "{t '12:60'}", "{ts '2020-01-01 00:00:37.1234'}",
        "{ts '2020-01-01 00:00:37.'}", "{ts '2020-01-01'}", "{d '2020-01-01 00:00:00'}",
        "{fn now()}", "{}", "{d '2024-01-01' WHERE b = 1", "{ts '2024-01-01 00:00:00}", "{"}) {
    const platform::ComError e = testing::Raised([&] { TranslateOdbcEscapes("SET a = " + named); });
    EXPECT_EQ(e.code(), kErrInvalidStatement) << named;
    EXPECT_NE(e.description().find("ODBC escape " + named), std::string::npos) << e.description();
  }
  // {d 20200101} is named up to where the escape stops making sense.
  EXPECT_NE(testing::Raised([] { TranslateOdbcEscapes("SET a = {d 20200101}"); })
                .description()
                .find("ODBC escape {d 20200101"),
            std::string::npos);
}

}  // namespace
}  // namespace tabulo::host::sqlite
