// Browse benchmark through the control: a TabuloCtl hosted in run mode as `tabulo show` hosts
// it, on the sample databases of `tabulo sample-db`, for "SELECT * FROM Orders WHERE Qty < 400".
// Each figure is measured beside its reference on the same file in the same run:
//   FirstWindow  Refresh until the grid shows the first window, against the count pass
//                (interleaved, medians of 5 passes on the big samples, 21 on the small);
//   Jump         ScrollBar.SetValue(random position) until the window is filled (1,000
//                positions), against LIMIT 30 OFFSET n at the first 20 of the same positions;
//   WindowRead   the control's record set read as a fill reads it at the same positions,
//                without the grid (the cursor's share of a jump);
//   Step         ScrollBar.SetValue(v + 1) until the window is filled
//                (jumps and steps also report the thread's CPU time per fill, which leaves
//                out the time the thread was preempted on a shared machine);
//   EditWrite    one cell edited as an operator does (click, type, Enter: the UPDATE runs in
//                its transaction and the control's record takes the value), then the window
//                filled again (a step), against the same UPDATE statement run alone through
//                SQLite on the same file (EditReference);
//   PeakRss      peak RSS of a `tabulo show --at 5000000` child process.
// Samples: orders-1k, -100k, -1m, -10m (rollback journal) and orders-*-wal (the same files in
// WAL mode), read from TABULO_BENCH_DIR; TABULO_BIN names the tabulo program. A missing file
// skips its benchmarks with a message.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "container/session.h"
#include "platform/values/com_error.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tabulo::container::Session;
using tabulo::control::TabuloCtl;

constexpr const char* kQuery = "SELECT * FROM Orders WHERE Qty < 400";
constexpr int kWindow = 30;  // data rows of the grid, as the record-set benchmark reads them
constexpr int kJumps = 1000;
constexpr int kOffsetSamples = 20;
constexpr int kStepRuns = 10;
constexpr int kStepsPerRun = 100;

struct Sample {
  const char* label;
  const char* file;
};

constexpr Sample kSamples[] = {{"1k", "orders-1k.db"},         {"100k", "orders-100k.db"},
                               {"1m", "orders-1m.db"},         {"10m", "orders-10m.db"},
                               {"1k-wal", "orders-1k-wal.db"}, {"100k-wal", "orders-100k-wal.db"},
                               {"1m-wal", "orders-1m-wal.db"}, {"10m-wal", "orders-10m-wal.db"}};

fs::path Folder() {
  const char* dir = std::getenv("TABULO_BENCH_DIR");
  return dir && *dir ? fs::path(dir) : fs::current_path();
}

double Micros(Clock::time_point since) {
  return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

// CPU time of this thread: a fill's own cost, without the time the thread was preempted.
double ThreadCpuMicros() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// One control hosted in run mode on `db`, loaded by the refresh timer's first tick, with a
// grid of a header row and kWindow data rows.
class HostedControl {
 public:
  explicit HostedControl(const fs::path& db) : session_(Options()), ctl_(session_.NewControl()) {
    ctl_.SetDSNname(db.string());
    ctl_.SetRecordSource(kQuery);
    session_.SetRunMode(true);
    session_.Run(250);
  }

  TabuloCtl& ctl() { return ctl_; }

  // Empty when the control shows a loaded window whose first row is record `first` (0-based);
  // otherwise what is wrong, for SkipWithError.
  std::string CheckWindow(int64_t first) {
    const auto& boxes = session_.container().message_boxes();
    if (!boxes.empty()) return "message box: " + boxes.front().text;
    if (!ctl_.CurrentRecordSet()) return "no record set";
    if (ctl_.Grid.Rows() != kWindow + 1)
      return "grid has " + std::to_string(ctl_.Grid.Rows()) + " rows, not " +
             std::to_string(kWindow + 1);
    const std::string& shown = ctl_.Grid.TextMatrix(1, 0);
    if (shown != std::to_string(first + 1))
      return "row 1 shows record " + shown + ", not " + std::to_string(first + 1);
    return {};
  }

 private:
  static tabulo::container::SessionOptions Options() {
    tabulo::container::SessionOptions options;
    // 80 characters of 120 twips; the grid's rows of 240 twips take the height but one row,
    // and the status bar takes about one more.
    options.width = 80 * 120;
    options.height = (kWindow + 2) * 240 + 315;
    return options;
  }

  Session session_;
  TabuloCtl& ctl_;
};

// The positions a jump visits: the same sequence for the control and the OFFSET reference.
std::vector<int64_t> Positions(int64_t count, int n) {
  std::mt19937_64 random(42);
  std::vector<int64_t> positions;
  const auto span = static_cast<uint64_t>(std::max<int64_t>(count - kWindow, 1));
  for (int i = 0; i < n; ++i) positions.push_back(static_cast<int64_t>(random() % span));
  return positions;
}

bool Present(benchmark::State& state, const fs::path& db) {
  if (fs::exists(db)) return true;
  state.SkipWithError(("missing " + db.string() + " (run bench/run)").c_str());
  return false;
}

// Runs `fn` in a hosted control, turning a raised error into a skipped benchmark.
template <typename Fn>
void Hosted(benchmark::State& state, const fs::path& db, Fn fn) {
  if (!Present(state, db)) return;
  try {
    HostedControl hosted(db);
    std::string problem = hosted.CheckWindow(0);
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
    fn(hosted);
  } catch (const tabulo::platform::ComError& e) {
    state.SkipWithError(e.description().c_str());
  }
}

// The count pass (SELECT count(*) of the statement, straight through SQLite) and the first
// window (Refresh until the grid shows it), interleaved: count, Refresh, count, ... `passes`
// times, the medians of each, so that a busy moment of a shared machine weighs on both alike.
void FirstWindow(benchmark::State& state, fs::path db, int passes) {
  Hosted(state, db, [&](HostedControl& hosted) {
    sqlite3* conn = nullptr;
    sqlite3_open_v2(db.c_str(), &conn, SQLITE_OPEN_READONLY, nullptr);
    const std::string sql = std::string("SELECT count(*) FROM (") + kQuery + ")";
    int64_t rows = 0;
    std::vector<double> count_us, window_us;
    for (auto _ : state) {
      for (int i = 0; i < passes; ++i) {
        auto start = Clock::now();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(conn, sql.c_str(), -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW) rows = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        count_us.push_back(Micros(start));
        start = Clock::now();
        hosted.ctl().Refresh(false);
        window_us.push_back(Micros(start));
        std::string problem = hosted.CheckWindow(0);
        if (problem.empty() && hosted.ctl().CurrentRecordSet()->RecordCount() != rows)
          problem = "the control counts " +
                    std::to_string(hosted.ctl().CurrentRecordSet()->RecordCount()) +
                    " records, SQLite " + std::to_string(rows);
        if (!problem.empty()) {
          state.SkipWithError(problem.c_str());
          break;
        }
      }
    }
    sqlite3_close(conn);
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["runs"] = passes;
    state.counters["count_median_ms"] = Percentile(count_us, 0.5) / 1000;
    state.counters["first_window_median_ms"] = Percentile(window_us, 0.5) / 1000;
  });
}

void Jump(benchmark::State& state, fs::path db) {
  Hosted(state, db, [&](HostedControl& hosted) {
    TabuloCtl& ctl = hosted.ctl();
    const std::vector<int64_t> positions = Positions(ctl.ScrollBar.Max(), kJumps);
    std::vector<double> micros, cpu;
    for (auto _ : state) {
      micros.clear();
      cpu.clear();
      for (int64_t p : positions) {
        const double cpu_start = ThreadCpuMicros();
        auto start = Clock::now();
        ctl.ScrollBar.SetValue(static_cast<int32_t>(p));
        micros.push_back(Micros(start));
        cpu.push_back(ThreadCpuMicros() - cpu_start);
        std::string problem = hosted.CheckWindow(p);
        if (!problem.empty()) {
          state.SkipWithError(problem.c_str());
          return;
        }
      }
    }
    state.counters["median_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
    state.counters["max_us"] = Percentile(micros, 1.0);
    state.counters["cpu_median_us"] = Percentile(cpu, 0.5);
    state.counters["cpu_p99_us"] = Percentile(cpu, 0.99);
  });
}

void Step(benchmark::State& state, fs::path db) {
  Hosted(state, db, [&](HostedControl& hosted) {
    TabuloCtl& ctl = hosted.ctl();
    const std::vector<int64_t> starts = Positions(ctl.ScrollBar.Max() - kStepsPerRun, kStepRuns);
    std::vector<double> micros, cpu;
    for (auto _ : state) {
      micros.clear();
      cpu.clear();
      for (int64_t start_at : starts) {
        ctl.ScrollBar.SetValue(static_cast<int32_t>(start_at));
        for (int64_t v = start_at + 1; v <= start_at + kStepsPerRun; ++v) {
          const double cpu_start = ThreadCpuMicros();
          auto start = Clock::now();
          ctl.ScrollBar.SetValue(static_cast<int32_t>(v));
          micros.push_back(Micros(start));
          cpu.push_back(ThreadCpuMicros() - cpu_start);
          std::string problem = hosted.CheckWindow(v);
          if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            return;
          }
        }
      }
    }
    state.counters["median_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
    state.counters["cpu_median_us"] = Percentile(cpu, 0.5);
    state.counters["cpu_p99_us"] = Percentile(cpu, 0.99);
  });
}

// The control's own record set read as a fill reads it (one MoveFirst, one Move, kWindow
// rows of values) at the jump positions, without the grid: the cursor's share of a jump.
void WindowRead(benchmark::State& state, fs::path db) {
  Hosted(state, db, [&](HostedControl& hosted) {
    tabulo::host::RecordSet& rs = *hosted.ctl().CurrentRecordSet();
    const std::vector<int64_t> positions = Positions(hosted.ctl().ScrollBar.Max(), kJumps);
    std::vector<double> micros;
    for (auto _ : state) {
      micros.clear();
      for (int64_t p : positions) {
        auto start = Clock::now();
        rs.MoveFirst();
        if (p > 0) rs.Move(p);
        for (int r = 0; r < kWindow && !rs.Eof(); ++r) {
          for (int32_t f = 0; f < rs.FieldCount(); ++f)
            benchmark::DoNotOptimize(rs.Item(f).Value());
          rs.MoveNext();
        }
        micros.push_back(Micros(start));
      }
    }
    state.counters["median_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
  });
}

// LIMIT 30 OFFSET n at the first kOffsetSamples positions of the control's jumps.
void OffsetPage(benchmark::State& state, fs::path db) {
  if (!Present(state, db)) return;
  sqlite3* conn = nullptr;
  sqlite3_open_v2(db.c_str(), &conn, SQLITE_OPEN_READONLY, nullptr);
  int64_t count = 0;
  {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(conn, (std::string("SELECT count(*) FROM (") + kQuery + ")").c_str(), -1,
                       &stmt, nullptr);
    if (sqlite3_step(stmt) == SQLITE_ROW) count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
  }
  // The control's scroll range is the record count (at most ten million).
  const std::vector<int64_t> positions =
      Positions(std::min<int64_t>(count, tabulo::control::kMaxScrollRows), kOffsetSamples);
  std::vector<double> micros;
  int rows_read = 0;
  for (auto _ : state) {
    micros.clear();
    for (int64_t p : positions) {
      auto start = Clock::now();
      sqlite3_stmt* stmt = nullptr;
      sqlite3_prepare_v2(conn,
                         (std::string(kQuery) + " LIMIT 30 OFFSET " + std::to_string(p)).c_str(),
                         -1, &stmt, nullptr);
      rows_read = 0;
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int f = 0; f < sqlite3_column_count(stmt); ++f)
          benchmark::DoNotOptimize(sqlite3_column_text(stmt, f));
        ++rows_read;
      }
      sqlite3_finalize(stmt);
      micros.push_back(Micros(start));
    }
  }
  sqlite3_close(conn);
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["rows_read"] = rows_read;
}

constexpr int kEdits = 200;
// The grid cell edited: a row in the middle of the window, the Qty column (Id, Customer, Qty).
constexpr int32_t kEditRow = 5;
constexpr int32_t kEditCol = 3;

// The new Qty for a record: another value below 400, so the row stays in the browsed result
// and the sample keeps its shape for later runs.
std::string NextQty(const std::string& shown) {
  return std::to_string((std::stoi(shown) + 1) % 400);
}

void EditWrite(benchmark::State& state, fs::path db) {
  Hosted(state, db, [&](HostedControl& hosted) {
    TabuloCtl& ctl = hosted.ctl();
    ctl.SetDataTable("Orders");
    ctl.SetConfirmUpdates(false);
    ctl.SetAllowUpdates(true);
    const std::vector<int64_t> positions = Positions(ctl.ScrollBar.Max() - 1, kEdits);
    std::vector<double> micros, cpu;
    for (auto _ : state) {
      micros.clear();
      cpu.clear();
      for (int64_t p : positions) {
        ctl.ScrollBar.SetValue(static_cast<int32_t>(p));
        const std::string value = NextQty(ctl.Grid.TextMatrix(kEditRow, kEditCol));
        const double cpu_start = ThreadCpuMicros();
        auto start = Clock::now();
        ctl.Grid.UserClick(kEditRow, kEditCol);
        ctl.txtEdit.set_sel_start(0);
        ctl.txtEdit.set_sel_length(static_cast<int32_t>(ctl.txtEdit.text().size()));
        ctl.txtEdit.TypeText(value);
        ctl.txtEdit.PressKey(13);
        ctl.ScrollBar.SetValue(static_cast<int32_t>(p + 1));
        micros.push_back(Micros(start));
        cpu.push_back(ThreadCpuMicros() - cpu_start);
        std::string problem = hosted.CheckWindow(p + 1);
        if (problem.empty() && ctl.Grid.TextMatrix(kEditRow - 1, kEditCol) != value)
          problem = "the edited cell shows " + ctl.Grid.TextMatrix(kEditRow - 1, kEditCol) +
                    ", not " + value;
        if (!problem.empty()) {
          state.SkipWithError(problem.c_str());
          return;
        }
      }
    }
    state.counters["median_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
    state.counters["cpu_median_us"] = Percentile(cpu, 0.5);
  });
}

// The statement an edit of Qty sends, run alone through SQLite (with the default
// synchronous setting of a connection, as the data server's), for records at the same
// positions: the database's own share of EditWrite.
void EditReference(benchmark::State& state, fs::path db) {
  if (!Present(state, db)) return;
  sqlite3* conn = nullptr;
  sqlite3_open_v2(db.c_str(), &conn, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_busy_timeout(conn, 5000);
  const std::vector<int64_t> positions = Positions(8000000, kEdits);
  std::vector<double> micros;
  for (auto _ : state) {
    micros.clear();
    for (int64_t p : positions) {
      // Record p + 1 of the Qty < 400 result is not Id p + 1; any Id names a row as well.
      const int64_t id = p + 1;
      sqlite3_stmt* stmt = nullptr;
      sqlite3_prepare_v2(
          conn, ("SELECT Qty, Price, Placed FROM Orders WHERE Id = " + std::to_string(id)).c_str(),
          -1, &stmt, nullptr);
      std::string qty, price, placed;
      if (sqlite3_step(stmt) == SQLITE_ROW) {
        qty = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        price = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
        placed = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2));
      }
      sqlite3_finalize(stmt);
      if (qty.empty()) continue;
      const double pr = std::stod(price);
      const std::string sql =
          "UPDATE Orders SET Qty = " + NextQty(qty) + " WHERE Id = " + std::to_string(id) +
          " AND Qty = " + qty + " AND Price >= " + std::to_string(pr - 0.001) +
          " AND Price <= " + std::to_string(pr + 0.001) + " AND Placed = '" + placed + "'";
      auto start = Clock::now();
      sqlite3_exec(conn, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
      sqlite3_exec(conn, sql.c_str(), nullptr, nullptr, nullptr);
      sqlite3_exec(conn, "COMMIT", nullptr, nullptr, nullptr);
      micros.push_back(Micros(start));
    }
  }
  sqlite3_close(conn);
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
}

// Peak RSS (MB) of `tabulo show --db db --sql ... --at 5000000` as a child process.
void PeakRss(benchmark::State& state, fs::path db) {
  if (!Present(state, db)) return;
  const char* bin = std::getenv("TABULO_BIN");
  if (!bin || !*bin || !fs::exists(bin)) {
    state.SkipWithError("TABULO_BIN does not name the tabulo program");
    return;
  }
  double peak_mb = 0;
  for (auto _ : state) {
    pid_t pid = fork();
    if (pid == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      execl(bin, bin, "show", "--db", db.c_str(), "--sql", kQuery, "--at", "5000000",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      state.SkipWithError("tabulo show failed");
      return;
    }
    peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
  state.counters["peak_rss_mb"] = peak_mb;
}

void Register() {
  benchmark::AddCustomContext("sqlite_version", sqlite3_libversion());
  for (const Sample& s : kSamples) {
    const fs::path db = Folder() / s.file;
    const std::string label = s.label;
    // Big files get fewer passes (each reads the whole file); an odd number, for a median.
    const int passes = label.starts_with("1k") || label.starts_with("100k") ? 21 : 5;
    benchmark::RegisterBenchmark(("FirstWindow/" + label).c_str(), FirstWindow, db, passes)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("Jump/" + label).c_str(), Jump, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("WindowRead/" + label).c_str(), WindowRead, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("Step/" + label).c_str(), Step, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("OffsetPage/" + label).c_str(), OffsetPage, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    if (label == "10m" || label == "10m-wal") {
      benchmark::RegisterBenchmark(("EditWrite/" + label).c_str(), EditWrite, db)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
      benchmark::RegisterBenchmark(("EditReference/" + label).c_str(), EditReference, db)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
    benchmark::RegisterBenchmark(("PeakRss/" + label).c_str(), PeakRss, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
