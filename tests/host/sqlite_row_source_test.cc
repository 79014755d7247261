// Snapshot sources: their paths, store files and stability against writers; the rowid list; the
// snapshot store: private, leftovers of dead processes removed, files of live stores kept.
#include "host/servers/sqlite/sqlite_row_source.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <random>

#include "common/error_of.h"
#include "host/cursor_record_set.h"
#include "host/data_server.h"
#include "host/key_list.h"
#include "host/servers/sqlite/rowid_collector.h"
#include "host/servers/sqlite/rowid_plan.h"
#include "host/servers/sqlite/snapshot_sources.h"
#include "host/servers/sqlite/temp_store.h"
#include "orders_db.h"

namespace tabulo::host::sqlite {
namespace {

using platform::Variant;
using testing::CreateOrders;
using testing::TestDb;
using testing::TestFolder;

class SnapshotSourceTest : public testing::SnapshotTest {
 protected:
  size_t FilesInStore() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder_ / "snap")) {
      if (e.path().extension() != ".lock") ++n;
    }
    return n;
  }
};

// The statement shapes test compares more shapes of both paths against SQLite's own rows.
TEST_F(SnapshotSourceTest, PlainQueriesOfOneTableTakeTheRowidPathEverythingElseTheGeneral) {
  CreateOrders(db_, 50);
  db_.Exec("CREATE TABLE Kv(K TEXT PRIMARY KEY, V INTEGER) WITHOUT ROWID");
  db_.Exec("CREATE TABLE Shadow(rowid INTEGER, _rowid_ INTEGER, oid INTEGER)");
  db_.Exec("CREATE VIRTUAL TABLE Words USING fts4(Word)");
  // A table named like the first word of a statement without FROM.
  db_.Exec("CREATE TABLE \"true\"(x INTEGER)");
  for (const char* sql : {"SELECT \"Customer\" FROM [Orders] o ORDER BY Customer;",
                          "SELECT Id FROM Orders WHERE Note = 'a, b GROUP BY x' -- LIMIT 1"}) {
    EXPECT_EQ(Open(sql).path, SnapshotPath::RowidKeySet) << sql;
  }
  for (const char* sql :
       {"SELECT a.Id FROM Orders a, Orders b WHERE a.Id = b.Id", "SELECT count(*) FROM Orders",
        "SELECT Id, max(Qty) FROM Orders", "SELECT Id FROM Orders LIMIT 5",
        "SELECT Id FROM Orders UNION SELECT Qty FROM Orders", "SELECT * FROM Kv",
        "SELECT * FROM Words", "SELECT * FROM Shadow",
        "WITH x AS (SELECT * FROM Orders) SELECT * FROM x",
        "SELECT Id, row_number() OVER (ORDER BY Qty) FROM Orders", "SELECT name FROM sqlite_master",
        "SELECT * FROM main.Orders", "SELECT true AS t", "VALUES (0) UNION SELECT Id FROM Orders",
        "SELECT Id FROM Orders ORDER BY row_number() OVER (ORDER BY Qty)"}) {
    EXPECT_EQ(Open(sql).path, SnapshotPath::Memory) << sql;
  }
}

// Reads every record through a record set.
std::vector<std::vector<Variant>> AllRows(std::unique_ptr<RowSource> source) {
  return testing::AllRows(*NewCursorRecordSet(std::move(source)));
}

TEST_F(SnapshotSourceTest, StoreFilesLiveAsLongAsTheirSource) {
  CreateOrders(db_, 300);
  SnapshotOptions spilling;
  spilling.memory_bound = 1000;
  auto stored = Open("SELECT Customer, count(*) FROM Orders GROUP BY Customer", spilling);
  ASSERT_EQ(stored.path, SnapshotPath::StoreFile);
  EXPECT_EQ(FilesInStore(), 1u);
  auto copy = Open("SELECT * FROM Orders");
  ASSERT_EQ(copy.path, SnapshotPath::RowidKeySet);
  EXPECT_EQ(FilesInStore(), 1u);  // the rowid path keeps no file

  auto rs = NewCursorRecordSet(std::move(stored.source));
  EXPECT_EQ(rs->RecordCount(), 97);
  rs->Close();
  EXPECT_EQ(FilesInStore(), 0u);
  {
    auto dropped = NewCursorRecordSet(std::move(copy.source));
    EXPECT_EQ(dropped->RecordCount(), 300);
  }
  EXPECT_EQ(FilesInStore(), 0u);
}

// While a record set is open another connection updates, deletes and inserts, and its COMMIT
// succeeds; the record set keeps the values and the count it had.
void ExpectStableAgainstWriters(TestDb& writer, SnapshotSource snapshot) {
  auto rs = NewCursorRecordSet(std::move(snapshot.source));
  ASSERT_EQ(rs->RecordCount(), 100);
  rs->Move(9);
  EXPECT_EQ(rs->Item(1).Value(), Variant("C10"));

  EXPECT_EQ(writer.Exec("BEGIN; UPDATE Orders SET Customer = 'changed'; DELETE FROM Orders "
                        "WHERE Id > 50; INSERT INTO Orders(Id) VALUES (1000); COMMIT"),
            SQLITE_OK);
  EXPECT_EQ(rs->RecordCount(), 100);
  EXPECT_EQ(rs->Item(1).Value(), Variant("C10"));  // cached row
  rs->MoveFirst();
  rs->Move(79);
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{80}));
  EXPECT_EQ(rs->Item(1).Value(), Variant("C80"));
  rs->Move(20);
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{100}));
  rs->Move(1);
  EXPECT_TRUE(rs->Eof());
  // A second write while the record set is still open succeeds as well.
  EXPECT_EQ(writer.Exec("UPDATE Orders SET Qty = 1 WHERE Id = 1"), SQLITE_OK);
}

// Rowid and general path in both journal modes; the general path under WAL spilled to a store
// file. None holds a lock that keeps a writer out.
TEST_F(SnapshotSourceTest, EveryPathIsStableAgainstWritersInBothJournalModes) {
  SnapshotOptions spilling;
  spilling.memory_bound = 500;
  const struct {
    bool wal;
    const char* sql;
    SnapshotOptions options;
    SnapshotPath path;
  } cases[] = {
      {false,
       "SELECT a.Id, a.Customer FROM Orders a JOIN Orders b ON a.Id = b.Id ORDER BY a.Id",
       {},
       SnapshotPath::Memory},
      {true, "SELECT Id, Customer FROM Orders ORDER BY Id", {}, SnapshotPath::Rowid},
      {true,
       "SELECT Id, Customer FROM Orders WHERE Id IN (SELECT Id FROM Orders) GROUP BY Id ORDER BY "
       "Id",
       spilling, SnapshotPath::StoreFile}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    db_.Exec("DROP TABLE IF EXISTS Orders");
    CreateOrders(db_, 100, c.wal);
    auto snapshot = Open(c.sql, c.options);
    ASSERT_EQ(snapshot.path, c.path);
    ExpectStableAgainstWriters(db_, std::move(snapshot));
  }
}

// Under WAL a result beyond the memory bound is counted and copied behind, and a row asked for
// before the copy reaches it is read directly: each is the row the copy holds there, in the
// same order also where ORDER BY leaves ties (Qty repeats after 500 Ids), jumping ahead, back
// and to either end, and a writer's commit meanwhile changes none of them. (The subquery
// makes each row cost a scan, so the copy is still under way while the rows are asked for.)
// Closing the record set stops the copy: its file is removed and the read transaction ended
// (a checkpoint can truncate the WAL).
TEST_F(SnapshotSourceTest, RowsReadBeforeTheCopyReachesThemAreTheRowsTheCopyHolds) {
  CreateOrders(db_, 1000, true);
  const std::string sql =
      "SELECT a.Id, a.Customer, b.Note, b.Price, (SELECT count(*) FROM Orders c WHERE "
      "c.Qty + 0 = a.Qty) AS Same FROM Orders a JOIN Orders b ON b.Id = a.Id ORDER BY a.Qty";
  const auto expected = AllRows(Open(sql).source);
  ASSERT_EQ(expected.size(), 1000u);
  SnapshotOptions behind;
  behind.memory_bound = 2000;
  for (const bool read_all : {true, false}) {
    auto snapshot = Open(sql, behind);
    ASSERT_EQ(snapshot.path, SnapshotPath::StoreFile);
    auto rs = NewCursorRecordSet(std::move(snapshot.source));
    ASSERT_EQ(rs->RecordCount(), 1000);
    for (const int64_t p : {750, 999, 745, 500, 0, 850, 849}) {
      rs->MoveFirst();
      rs->Move(p);
      for (int32_t f = 0; f < 5; ++f)
        EXPECT_TRUE(rs->Item(f).Value() == expected[static_cast<size_t>(p)][f]) << p << " " << f;
      if (p == 750) db_.Exec("UPDATE Orders SET Customer = 'changed', Note = NULL, Qty = 1");
    }
    if (read_all) {
      EXPECT_TRUE(testing::AllRows(*rs) == expected);
    }
    rs->Close();
    EXPECT_EQ(FilesInStore(), 0u);
    EXPECT_EQ(db_.Rows("PRAGMA wal_checkpoint(TRUNCATE)")[0][0], "0");  // not busy
    db_.Exec("DROP TABLE Orders");
    CreateOrders(db_, 1000, true);
  }
  // A parameter left unbound reads as NULL in every row, read directly or copied.
  auto rs = NewCursorRecordSet(
      Open("SELECT a.Id, ? AS P FROM Orders a JOIN Orders b ON b.Id = a.Id", behind).source);
  rs->Move(800);
  EXPECT_TRUE(rs->Item(1).Value().IsNull());
  for (const auto& row : testing::AllRows(*rs)) EXPECT_TRUE(row[1].IsNull());
}

// Only a statement that gives the same rows on every run is read directly while it is copied.
TEST_F(SnapshotSourceTest, StatementsWithTheSameRowsEveryRun) {
  CreateOrders(db_, 5);
  db_.Exec(
      "CREATE VIEW Lucky AS SELECT Id FROM Orders WHERE random() > 0; CREATE VIEW Luckier AS "
      "SELECT * FROM \"LUCKY\"; CREATE VIEW Plain AS SELECT * FROM Orders");
  Db db = OpenForReading(db_path_, std::chrono::milliseconds(0));
  const std::pair<const char*, bool> cases[] = {
      {"SELECT * FROM Orders a JOIN Plain b USING (Id)", true},
      {"SELECT Id AS random_id, 'nowhere', Note AS now FROM Orders", true},
      {"SELECT Id FROM Orders ORDER BY RANDOM()", false},
      {"SELECT randomblob(4), Id FROM Orders", false},
      {"SELECT date('NOW')", false},
      {"SELECT date(\"now\")", false},
      {"SELECT current_timestamp", false},
      {"SELECT changes()", false},
      {"SELECT total_changes()", false},
      {"SELECT last_insert_rowid()", false},
      {"SELECT * FROM lucky", false},
      {"SELECT * FROM Orders JOIN Luckier USING (Id)", false}};
  for (const auto& [sql, same] : cases)
    EXPECT_EQ(SameRowsEveryRun(db.get(), sql, db_path_), same) << sql;
}

TEST_F(SnapshotSourceTest, ColumnsWithoutDeclaredTypeAreTypedByTheFirstRecord) {
  db_.Exec("CREATE TABLE Loose(a, b, c, d); INSERT INTO Loose VALUES (1, 2.5, 'x', NULL)");
  for (SnapshotOptions options :
       {SnapshotOptions{}, SnapshotOptions{.general_path_only = true, .progress = {}}}) {
    auto rs = NewCursorRecordSet(Open("SELECT a, b, c, d FROM Loose", options).source);
    std::vector<int32_t> types;
    for (int i = 0; i < 4; ++i) types.push_back(rs->Item(i).Type());
    EXPECT_EQ(types, (std::vector<int32_t>{3, 5, 200, 200}));
    EXPECT_EQ(rs->Item(1).Value(), Variant(2.5));
  }
  auto empty = NewCursorRecordSet(Open("SELECT a + 1 AS x FROM Loose WHERE 0").source);
  EXPECT_EQ(empty->Item(0).Type(), 200);
  EXPECT_EQ(empty->Item(0).Name(), "x");
}

// An index that covers the rowid tempts SQLite to scan it for the rowids alone; without
// ORDER BY the rowid path still lists the records in rowid (table) order.
TEST_F(SnapshotSourceTest, WithoutOrderByRecordsComeInRowidOrder) {
  CreateOrders(db_, 300);
  db_.Exec("CREATE INDEX OrdersByCustomer ON Orders(Customer)");
  SnapshotOptions general;
  general.general_path_only = true;
  auto rowid = Open("SELECT Id, Customer FROM Orders");
  ASSERT_EQ(rowid.path, SnapshotPath::RowidKeySet);
  const auto rows = AllRows(std::move(rowid.source));
  ASSERT_EQ(rows.size(), 300u);
  EXPECT_TRUE(rows[1][0] == Variant(int32_t{2}));
  EXPECT_TRUE(rows == AllRows(Open("SELECT Id, Customer FROM Orders ORDER BY Id", general).source));
  // So the pass aggregates straight over the table only where that plan is the ordered pass's
  // (no index scan, no sort); reads of nearby records in one statement either way.
  for (const auto& [sql, direct] :
       {std::pair{"SELECT Id, Customer FROM Orders", false},
        std::pair{"SELECT Id, Note FROM Orders WHERE Qty < 400", true}}) {
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_.get(), sql, -1, &stmt, nullptr), SQLITE_OK);
    const auto plan = PlanRowidPath(db_.get(), stmt, sql);
    sqlite3_finalize(stmt);
    ASSERT_TRUE(plan) << sql;
    EXPECT_EQ(
        plan->collect_sql.starts_with("SELECT " + std::string(kCollectorFunction) + "(rowid)"),
        direct)
        << sql;
    EXPECT_FALSE(plan->range_up_sql.empty() || plan->range_down_sql.empty()) << sql;
  }
}

// KeyList: exact round trips across block boundaries, and its size per row.
TEST(KeyList, RoundTripsAnyOrderExtremesAndBlockBoundaries) {
  std::mt19937_64 random(7);
  std::vector<int64_t> values = {INT64_MAX, INT64_MIN, 0, -1, 1, INT64_MIN, INT64_MAX};
  for (int i = 0; i < 1000; ++i) values.push_back(static_cast<int64_t>(random()) >> (i % 60));
  // Descending by three across three full blocks and a few more.
  for (int64_t i = 0; i < KeyList::kBlockSize * 3 + 5; ++i) values.push_back(1000 - i * 3);
  KeyList list;
  for (int64_t v : values) list.Append(v);
  ASSERT_EQ(list.size(), static_cast<int64_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(list.At(static_cast<int64_t>(i)), values[i]) << i;
}

TEST(KeyList, AboutOneByteAndAQuarterPerAscendingRow) {
  KeyList list;
  const int64_t n = 100000;
  for (int64_t i = 1; i <= n; ++i) list.Append(i + (i % 5 == 0 ? 3 : 0));
  list.ShrinkToFit();
  EXPECT_LT(list.MemoryBytes(), static_cast<size_t>(n * 5 / 4));
  EXPECT_EQ(list.At(n - 1), n + 3);
  EXPECT_EQ(list.At(n - 2), n - 1);
}

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class TempStoreTest : public ::testing::Test {
 protected:
  // Which of `names` exist in the store folder, as "1" and "0".
  std::string Exist(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += fs::exists(snap_ / n) ? "1" : "0";
    return out;
  }
  TestFolder folder_;
  fs::path snap_ = folder_ / "snap";
};

TEST_F(TempStoreTest, RemovesLeftoversOfACrashedProcessAtStart) {
  fs::create_directories(snap_);
  // What a crashed process leaves: a lock file nobody holds and its data files; a lock file
  // still being set up (empty) is not taken for a leftover.
  const std::pair<std::string, std::string> files[] = {{"ds-999999-dead.lock", "999999\n"},
                                                       {"ds-999999-dead-0.snap", "x"},
                                                       {"ds-999999-dead-1.rows", "x"},
                                                       {"unrelated.txt", "x"},
                                                       {"ds-1-new.lock", ""},
                                                       {"ds-1-new-0.snap", "x"}};
  for (const auto& [name, content] : files) folder_.Write("snap/" + name, content);
  auto store = TempStore::Open(snap_);
  EXPECT_EQ(Exist({"ds-999999-dead.lock", "ds-999999-dead-0.snap", "ds-999999-dead-1.rows",
                   "unrelated.txt", "ds-1-new-0.snap"}),
            "00011");
}

// A new folder is made 0700, one made wider by its owner is narrowed; files are 0600.
TEST_F(TempStoreTest, KeepsTheFilesOfLiveStoresPrivateAndRemovesItsOwnOnDestruction) {
  auto first = TempStore::Open(snap_);
  EXPECT_EQ(ModeOf(snap_), 0700u);
  const fs::path first_file = first->NewPath(".snap");
  EXPECT_EQ(ModeOf(first_file), 0600u);
  EXPECT_EQ(fs::file_size(first_file), 0u);
  std::ofstream(first_file) << "x";
  fs::permissions(snap_, fs::perms(0777));
  auto second = TempStore::Open(snap_);  // cleans at start: must not take `first` for dead
  EXPECT_EQ(ModeOf(snap_), 0700u);
  EXPECT_TRUE(fs::exists(first_file));
  const fs::path second_file = second->NewPath(".rows");
  EXPECT_NE(second_file, first_file);
  std::ofstream(second_file) << "x";
  second.reset();
  EXPECT_FALSE(fs::exists(second_file));
  EXPECT_TRUE(fs::exists(first_file));
  first.reset();
  EXPECT_TRUE(fs::is_empty(snap_));
}

// Whether opening a store at `place` is refused with 0x80004005.
bool Refused(const fs::path& place) {
  return static_cast<uint32_t>(test_support::ErrorOf([&] { TempStore::Open(place); })) ==
         kErrSourceUnusable;
}

TEST_F(TempStoreTest, TempFileRemovesItsCompanionsAndOnlyAPrivateFolderIsUsed) {
  folder_.Write("x.snap", "x");
  folder_.Write("x.snap-journal", "x");
  { TempFile file(folder_ / "x.snap"); }
  EXPECT_FALSE(fs::exists(folder_ / "x.snap"));
  EXPECT_FALSE(fs::exists(folder_ / "x.snap-journal"));
  // Each place that cannot be used is refused with 0x80004005, naming the folder and why.
  folder_.Write("file", "x");
  fs::create_directories(snap_);
  fs::create_symlink(snap_, folder_ / "planted");
  std::vector<std::pair<fs::path, std::string>> refused = {
      {folder_ / "file", "is not a folder"},
      {folder_ / "file" / "below", "cannot be created (Not a directory)"},
      {folder_ / "planted", "is a symbolic link, not a folder"}};
  if (::geteuid() == 0) {
    const fs::path foreign = folder_ / "foreign";
    fs::create_directories(foreign);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    refused.push_back({foreign, "belongs to another user (uid 65534); it must be this user's own"});
  } else {
    // Root writes into any folder: only another user meets a closed one.
    const fs::path closed = folder_ / "closed";
    fs::create_directories(closed);
    ASSERT_EQ(::chmod(closed.c_str(), 0500), 0);
    refused.push_back({closed, "cannot be written (Permission denied)"});
  }
  for (const auto& [place, why] : refused) {
    const platform::ComError e = testing::Raised([&] { TempStore::Open(place); });
    EXPECT_EQ(e.code(), 0x80004005u) << place;
    EXPECT_EQ(e.description(), "The folder for temporary snapshots " + why + ": " + place.string());
  }
  EXPECT_FALSE(Refused(snap_));
}

TEST(TempStore, DefaultFolderIsPerUser) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string restore = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(TempStore::DefaultFolder(), fs::path("/run/user/4242/tabulo-snapshots"));
  ::setenv("XDG_RUNTIME_DIR", "relative", 1);
  EXPECT_EQ(TempStore::DefaultFolder(),
            fs::temp_directory_path() / ("tabulo-snapshots-" + std::to_string(::geteuid())));
  if (saved) ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
  if (!saved) ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace tabulo::host::sqlite

namespace tabulo::host::sqlite {
namespace {

// Every position of a record set, as a scan hands it over (forward and backwards, its own scan
// and the navigation every record set has) against what its fields read there afterwards: the
// kind matches the value (Other may stand for anything), a string's text is its value.
void ExpectScanReadsAsTheFields(RecordSet& rs) {
  struct Cell {
    ScanRecord::Cell kind;
    std::string text;
    Variant value;
  };
  std::vector<std::pair<int64_t, std::vector<Cell>>> scanned;
  const auto keep = [&](int64_t p, const ScanRecord& record) {
    std::vector<Cell> cells;
    for (int32_t f = 0; f < rs.FieldCount(); ++f) {
      const ScanRecord::Cell kind = record.Kind(f);
      const bool text = kind == ScanRecord::Cell::String || kind == ScanRecord::Cell::DateOrString;
      cells.push_back({kind, text ? std::string(record.Text(f)) : "", record.Value(f)});
    }
    scanned.emplace_back(p, std::move(cells));
    return true;
  };
  const int64_t n = rs.RecordCount();
  EXPECT_EQ(rs.Scan(0, n + 5, true, keep), n);
  EXPECT_EQ(rs.Scan(n - 1, n + 5, false, keep), n);
  EXPECT_EQ(rs.RecordSet::Scan(0, n + 5, true, keep), n);
  EXPECT_EQ(rs.RecordSet::Scan(n - 1, n + 5, false, keep), n);
  const std::vector<std::vector<Variant>> rows = testing::AllRows(rs);
  ASSERT_EQ(scanned.size(), static_cast<size_t>(4 * n));
  for (size_t i = 0; i < scanned.size(); ++i) {
    const int64_t k = static_cast<int64_t>(i) % n;
    const int64_t p = (static_cast<int64_t>(i) / n) % 2 == 0 ? k : n - 1 - k;
    ASSERT_EQ(scanned[i].first, p);
    for (size_t f = 0; f < scanned[i].second.size(); ++f) {
      SCOPED_TRACE("record " + std::to_string(p) + " field " + std::to_string(f));
      const Cell& cell = scanned[i].second[f];
      const Variant& value = rows[static_cast<size_t>(p)][f];
      EXPECT_TRUE(cell.value == value);
      const bool date_or_string = cell.kind == ScanRecord::Cell::DateOrString &&
                                  (value.type() == platform::VarType::Date ||
                                   (value.IsString() && cell.text == value.AsString()));
      EXPECT_TRUE(cell.kind == ScanRecord::Cell::Other || cell.kind == CellOf(value) ||
                  date_or_string);
      EXPECT_TRUE(cell.kind != ScanRecord::Cell::String || cell.text == value.AsString());
    }
  }
}

// Values of every kind a column can turn them into, on every path, and a writer after the open:
// numbers of each column type,
// a boolean, dates and times that parse and a date text that does not, NULL, an empty text,
// letters beyond ASCII, a text in a number column, a blob, untyped columns.
TEST_F(SnapshotSourceTest, ScansHandOverWhatTheFieldsRead) {
  SnapshotOptions general, spilling;
  general.general_path_only = true;
  spilling.general_path_only = true;
  spilling.memory_bound = 300;
  const struct {
    bool wal;
    SnapshotOptions options;
    SnapshotPath path;
  } cases[] = {{true, {}, SnapshotPath::Rowid},
               {false, {}, SnapshotPath::RowidKeySet},
               {false, general, SnapshotPath::Memory},
               {true, spilling, SnapshotPath::StoreFile}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.path));
    db_.Exec("DROP TABLE IF EXISTS Mixed");
    db_.Exec(std::string("PRAGMA journal_mode=") + (c.wal ? "WAL" : "DELETE"));
    db_.Exec(
        "CREATE TABLE Mixed(I INTEGER, R DOUBLE, M MONEY, B BOOLEAN, D TIMESTAMP, T TIME, "
        "S VARCHAR(20), X BLOB, U)");
    db_.Exec(
        "INSERT INTO Mixed VALUES (1, 2.5, 3.25, 1, '2020-02-29 10:30:00', '23:59:59', "
        "'  Äpfel ', x'00ff', 7), (5000000000, 1e300, -0.0001, 0, '2020-13-01', 'late', '', "
        "NULL, 'text'), (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), ('seven', "
        "'x', 'y', 'z', 20200101, 1.5, 42, 'blob as text', x'01')");
    auto snapshot = Open("SELECT I, R, M, B, D, T, S, X, U, S || 'ß' AS E FROM Mixed", c.options);
    ASSERT_EQ(snapshot.path, c.path);
    auto rs = NewCursorRecordSet(std::move(snapshot.source));
    // Written after the open: a key-set view reads the values of now, the others their snapshot.
    db_.Exec("UPDATE Mixed SET S = 'changed' WHERE rowid = 1; DELETE FROM Mixed WHERE rowid = 2");
    ExpectScanReadsAsTheFields(*rs);
    rs->MoveFirst();
    rs->Move(1);
    EXPECT_EQ(rs->Item(3).Value() == Variant(kDeletedRecordText),
              c.path == SnapshotPath::RowidKeySet);
    // The record set's own copy of a written value is what the scan hands over too.
    rs->MoveFirst();
    rs->Move(2);
    rs->Item(6).SetValue(Variant("written"));
    rs->Item(0).SetValue(Variant(2.75));
    ExpectScanReadsAsTheFields(*rs);
    int64_t stopped_at = -1;
    EXPECT_EQ(rs->Scan(3, 4, false,
                       [&](int64_t p, const ScanRecord& record) {
                         stopped_at = p;
                         return record.Kind(6) != ScanRecord::Cell::String ||
                                record.Text(6) != "written";
                       }),
              2);
    EXPECT_EQ(stopped_at, 2);
  }
}

}  // namespace
}  // namespace tabulo::host::sqlite
