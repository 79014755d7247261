// Find benchmark on the 10,000,000-row sample: the display's search for a text through the
// whole result (the control's record set for "SELECT * FROM Orders"), every record and every
// column looked at (a text no cell holds), against `sqlite3` scanning the same statement with
// instr() over every column's text. Prints rows per second and the ratio.
//
// TABULO_BENCH_DB names the sample (default: orders-10m.db in TABULO_BENCH_DIR or the working
// folder); SQLITE3 the sqlite3 program.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "container/result_find.h"
#include "host/servers/sqlite/sqlite_data_server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kQuery = "SELECT * FROM Orders";
constexpr const char* kNeedle = "no cell holds this";

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of this process (or of its finished children), in seconds: the machine is
// shared, so the wall time alone says little.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
  const char* dir = std::getenv("TABULO_BENCH_DIR");
  const char* named = std::getenv("TABULO_BENCH_DB");
  const fs::path db = named && *named
                          ? fs::path(named)
                          : (dir && *dir ? fs::path(dir) : fs::current_path()) / "orders-10m.db";
  if (!fs::exists(db)) {
    std::fprintf(stderr, "find_bench: %s is missing (tabulo sample-db %s --rows 10000000)\n",
                 db.c_str(), db.c_str());
    return 1;
  }
  tabulo::host::sqlite::SqliteServerOptions options;
  options.temp_folder = db.parent_path() / "bench-snapshots";
  auto server = tabulo::host::sqlite::NewSqliteDataServer(options);
  auto start = Clock::now();
  auto rs = server->Query(db.string(), "", kQuery, "", "");
  const double open = Seconds(start);
  const int64_t rows = rs->RecordCount();
  std::vector<int32_t> fields;
  for (int32_t i = 0; i < rs->FieldCount(); ++i) fields.push_back(i);

  start = Clock::now();
  const double cpu_before = CpuSeconds(RUSAGE_SELF);
  tabulo::container::ResultFinder finder(*rs, kNeedle, fields, {0, 0}, true,
                                         tabulo::platform::Locale::EnUS());
  while (!finder.Step(100000)) {
  }
  const double find = Seconds(start), find_cpu = CpuSeconds(RUSAGE_SELF) - cpu_before;
  if (finder.found()) {
    std::fprintf(stderr, "find_bench: a cell holds the text; the figures would mean nothing\n");
    return 1;
  }

  // sqlite3 with the same statement, every column's text searched as the display does.
  const char* sqlite3 = std::getenv("SQLITE3");
  const std::string command =
      std::string(sqlite3 && *sqlite3 ? sqlite3 : "sqlite3") + " '" + db.string() +
      "' \"SELECT count(*) FROM (" + kQuery + ") WHERE instr(lower(Id), '" + kNeedle +
      "') OR instr(lower(Customer), '" + kNeedle + "') OR instr(lower(Qty), '" + kNeedle +
      "') OR instr(lower(Price), '" + kNeedle + "') OR instr(lower(Placed), '" + kNeedle +
      "') OR instr(lower(Note), '" + kNeedle + "')\" >/dev/null";
  start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "find_bench: %s failed\n", command.c_str());
    return 1;
  }
  const double scan = Seconds(start), scan_cpu = CpuSeconds(RUSAGE_CHILDREN);
  std::printf("rows %lld, statement opened in %.2f s\n", static_cast<long long>(rows), open);
  std::printf("find, no match (every cell)  wall %.2f s  cpu %.2f s  %.0f rows/s (cpu)\n", find,
              find_cpu, rows / find_cpu);
  std::printf("sqlite3 instr scan            wall %.2f s  cpu %.2f s  %.0f rows/s (cpu)\n", scan,
              scan_cpu, rows / scan_cpu);
  std::printf("ratio find / sqlite3 (cpu time)  %.2f\n", find_cpu / scan_cpu);
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) == 3)
    std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  return 0;
}
