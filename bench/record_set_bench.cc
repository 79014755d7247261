// Record-set benchmark on a 10M-row Orders table: the first window against a count pass, a
// jump to a random position against LIMIT 30 OFFSET n, stepping, and peak memory, for
// "SELECT * FROM Orders WHERE Qty < 400" in both journal modes; and a self-join of 2M rows
// (the general path: counted, read at the middle while the copy runs behind), its first window
// at the middle against its count pass, interleaved in one run.
//
// The databases are generated once into TABULO_BENCH_DIR (default: the working folder) and
// reused; TABULO_BENCH_ROWS overrides the row count.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "host/cursor_record_set.h"
#include "host/servers/sqlite/sqlite_data_server.h"
#include "host/servers/sqlite/sqlite_row_source.h"
#include "platform/storage/atomic_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tabulo::host::RecordSet;

constexpr const char* kQuery = "SELECT * FROM Orders WHERE Qty < 400";
constexpr const char* kSelfJoin =
    "SELECT a.*, b.Qty AS NextQty FROM Orders a JOIN Orders b ON b.Id = a.Id + 1 "
    "WHERE a.Id <= 2000000";

int64_t Rows() {
  const char* rows = std::getenv("TABULO_BENCH_ROWS");
  return rows && *rows ? std::atoll(rows) : 10'000'000;
}

fs::path Folder() {
  const char* dir = std::getenv("TABULO_BENCH_DIR");
  return dir && *dir ? fs::path(dir) : fs::current_path();
}

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql.c_str(), message ? message : "?");
    std::exit(1);
  }
}

// Orders(Id INTEGER PRIMARY KEY, Customer VARCHAR(40), Qty INTEGER 0..499, Price DOUBLE,
// Placed TIMESTAMP, Note VARCHAR(200) null every 7th row), deterministic.
fs::path Database(bool wal) {
  const fs::path path =
      Folder() / ("bench-orders-" + std::to_string(Rows()) + (wal ? "-wal" : "") + ".db");
  if (fs::exists(path)) return path;
  // Written into a temporary file beside it and renamed into place: an interrupted run
  // leaves no half-built database under the name the next run reuses.
  tabulo::platform::ReplaceFileWith(path, [wal](const fs::path& building) {
    sqlite3* db = nullptr;
    sqlite3_open(building.c_str(), &db);
    Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
    Exec(db,
         "CREATE TABLE Orders(Id INTEGER PRIMARY KEY, Customer VARCHAR(40), Qty INTEGER, "
         "Price DOUBLE, Placed TIMESTAMP, Note VARCHAR(200))");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(Rows()) +
                 ") INSERT INTO Orders SELECT i, 'Customer ' || ((i * 7919) % 1000), "
                 "(i * 2654435761) % 500, ((i * 104729) % 100000) / 100.0, "
                 "datetime(1577836800 + i * 13, 'unixepoch'), "
                 "CASE WHEN i % 7 = 0 THEN NULL ELSE 'Note for order ' || i END FROM n");
    Exec(db, wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
    sqlite3_close(db);
  });
  return path;
}

std::shared_ptr<tabulo::host::DataServer> Server() {
  tabulo::host::sqlite::SqliteServerOptions options;
  options.temp_folder = Folder() / "bench-snapshots";
  return tabulo::host::sqlite::NewSqliteDataServer(options);
}

void ReadWindow(RecordSet& rs, int rows) {
  for (int r = 0; r < rows && !rs.Eof(); ++r) {
    for (int f = 0; f < rs.FieldCount(); ++f) benchmark::DoNotOptimize(rs.Item(f).Value());
    rs.MoveNext();
  }
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// The count pass (SELECT count(*) of the statement) and the first window through the record
// set, interleaved (count, query, count, ...), kPasses times: the medians of each.
constexpr int kPasses = 5;

void BM_FirstWindow(benchmark::State& state) {
  const fs::path path = Database(state.range(0) != 0);
  auto server = Server();
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  const std::string count_sql = std::string("SELECT count(*) FROM (") + kQuery + ")";
  std::vector<double> count_ms, window_ms;
  for (auto _ : state) {
    for (int i = 0; i < kPasses; ++i) {
      auto start = Clock::now();
      sqlite3_stmt* stmt = nullptr;
      sqlite3_prepare_v2(db, count_sql.c_str(), -1, &stmt, nullptr);
      sqlite3_step(stmt);
      const int64_t counted = sqlite3_column_int64(stmt, 0);
      sqlite3_finalize(stmt);
      count_ms.push_back(Seconds(start) * 1000);
      start = Clock::now();
      auto rs = server->Query(path.string(), "", kQuery, "", "");
      rs->MoveFirst();
      ReadWindow(*rs, 30);
      window_ms.push_back(Seconds(start) * 1000);
      if (rs->RecordCount() != counted) {
        state.SkipWithError("the record set's count differs from SQLite's");
        break;
      }
      state.counters["rows"] = static_cast<double>(counted);
    }
  }
  sqlite3_close(db);
  state.counters["runs"] = kPasses;
  state.counters["count_median_ms"] = Percentile(count_ms, 0.5);
  state.counters["first_window_median_ms"] = Percentile(window_ms, 0.5);
  state.counters["peak_rss_mb"] = PeakRssMb();
}

// The general path (a materialized copy of the result) for the same query, for comparison.
void BM_FirstWindowMaterialized(benchmark::State& state) {
  const fs::path path = Database(state.range(0) != 0);
  auto store = tabulo::host::sqlite::TempStore::Open(Folder() / "bench-snapshots");
  tabulo::host::sqlite::SnapshotOptions options;
  options.general_path_only = true;
  for (auto _ : state) {
    auto rs = tabulo::host::NewCursorRecordSet(
        tabulo::host::sqlite::OpenSnapshotSource(path, kQuery, store, options).source);
    rs->MoveFirst();
    ReadWindow(*rs, 30);
    state.counters["rows"] = static_cast<double>(rs->RecordCount());
  }
  state.counters["peak_rss_mb"] = PeakRssMb();
}

void BM_Jump(benchmark::State& state) {
  const fs::path path = Database(state.range(0) != 0);
  auto server = Server();
  auto rs = server->Query(path.string(), "", kQuery, "", "");
  const int64_t count = rs->RecordCount();
  std::mt19937_64 random(42);
  std::vector<double> micros;
  for (auto _ : state) {
    micros.clear();
    for (int i = 0; i < 1000; ++i) {
      const int64_t target = static_cast<int64_t>(random() % static_cast<uint64_t>(count - 30));
      auto start = Clock::now();
      rs->MoveFirst();
      rs->Move(target);
      ReadWindow(*rs, 30);
      micros.push_back(Seconds(start) * 1e6);
    }
  }
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["peak_rss_mb"] = PeakRssMb();
}

void BM_OffsetPage(benchmark::State& state) {
  const fs::path path = Database(state.range(0) != 0);
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::mt19937_64 random(42);
  const int64_t count = Rows() * 4 / 5;
  for (auto _ : state) {
    const int64_t offset = static_cast<int64_t>(random() % static_cast<uint64_t>(count - 30));
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       (std::string(kQuery) + " LIMIT 30 OFFSET " + std::to_string(offset)).c_str(),
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
}

void BM_Step(benchmark::State& state) {
  const fs::path path = Database(state.range(0) != 0);
  auto server = Server();
  auto rs = server->Query(path.string(), "", kQuery, "", "");
  for (auto _ : state) {
    if (rs->Eof()) rs->MoveFirst();
    for (int f = 0; f < rs->FieldCount(); ++f) benchmark::DoNotOptimize(rs->Item(f).Value());
    rs->MoveNext();
  }
}

// Processor time of this process, in seconds: on a shared machine the wall time of a phase
// also holds the time other processes had the processor.
double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The self-join's first window at the middle of the result against `SELECT count(*)` of the
// same statement, in turns (count, window, count, ...), five of each: the medians of wall and
// processor time and their ratios, the figure the README quotes.
void BM_SelfJoinMiddle(benchmark::State& state) {
  const fs::path path = Database(true);
  auto server = Server();
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<double> count_ms, window_ms, count_cpu_ms, window_cpu_ms;
  for (auto _ : state) {
    for (int round = 0; round < 5; ++round) {
      auto start = Clock::now();
      double cpu = CpuNow();
      sqlite3_stmt* stmt = nullptr;
      sqlite3_prepare_v2(db, (std::string("SELECT count(*) FROM (") + kSelfJoin + ")").c_str(), -1,
                         &stmt, nullptr);
      sqlite3_step(stmt);
      state.counters["rows"] = static_cast<double>(sqlite3_column_int64(stmt, 0));
      sqlite3_finalize(stmt);
      count_ms.push_back(Seconds(start) * 1e3);
      count_cpu_ms.push_back((CpuNow() - cpu) * 1e3);
      start = Clock::now();
      cpu = CpuNow();
      auto rs = server->Query(path.string(), "", kSelfJoin, "", "");
      rs->MoveFirst();
      rs->Move(rs->RecordCount() / 2);
      ReadWindow(*rs, 30);
      window_ms.push_back(Seconds(start) * 1e3);
      window_cpu_ms.push_back((CpuNow() - cpu) * 1e3);
    }
  }
  sqlite3_close(db);
  state.counters["count_ms"] = Percentile(count_ms, 0.5);
  state.counters["middle_window_ms"] = Percentile(window_ms, 0.5);
  state.counters["ratio"] = Percentile(window_ms, 0.5) / Percentile(count_ms, 0.5);
  state.counters["count_cpu_ms"] = Percentile(count_cpu_ms, 0.5);
  state.counters["middle_window_cpu_ms"] = Percentile(window_cpu_ms, 0.5);
  state.counters["ratio_cpu"] = Percentile(window_cpu_ms, 0.5) / Percentile(count_cpu_ms, 0.5);
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) > 0) state.counters["load_avg_1m"] = load[0];
}

// Argument: 0 rollback journal, 1 WAL.
BENCHMARK(BM_FirstWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirstWindowMaterialized)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Jump)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OffsetPage)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SelfJoinMiddle)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Step)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(200000);

}  // namespace

BENCHMARK_MAIN();
