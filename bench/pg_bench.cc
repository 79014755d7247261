// Browse benchmark on a PostgreSQL server (`make bench-pg`, bench/run_pg): the record set of
// "SELECT * FROM orders WHERE qty < 400" on an N-row table (bigint primary key + 4 columns,
// vacuumed), each figure beside its reference measured in the same run:
//   first window at position 0 and at the middle (record set; control: Refresh until the grid
//     shows it) against SELECT count(*) FROM (statement) through libpq, interleaved, and jumps
//     while the key pass still runs: into the keys collected so far (below count / 8, which
//     the pass has reached), and ahead of the pass (the middle quarter, located from the
//     count's split);
//   jump (MoveFirst, Move(n), 30 rows read) median and p99 at 1,000 random positions, once
//     the key pass has ended, against the statement with LIMIT 30 OFFSET n;
//   step (MoveNext + row read) median;
//   commit: an UPDATE of one row through the data server (its transaction, the one-row check)
//     against the same UPDATE alone through libpq in an open session, interleaved (the server
//     runs with fsync on);
//   a new connection's login (what a load or a command pays when no idle connection is kept);
//   client peak RSS of a child that opens the record set, jumps to the middle and waits for
//     the key pass, against the same on a 1,000-row table (forked first, before the process
//     holds any connection a child could share).
// Environment: TABULO_PG_PORT (server on 127.0.0.1, login postgres / secret, database bench
// with tables orders and orders_1k), TABULO_BENCH_ROWS (the rows of orders, for the title).
// Prints a markdown table.
#include <libpq-fe.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "container/session.h"
#include "host/servers/pg/pg_data_server.h"
#include "platform/values/com_error.h"

namespace {

using Clock = std::chrono::steady_clock;
using tabulo::host::RecordSet;

constexpr const char* kQuery = "SELECT * FROM orders WHERE qty < 400";
constexpr int kWindow = 30;
constexpr int kRuns = 5;  // interleaved runs of the first-window figures

const std::string kPort = std::getenv("TABULO_PG_PORT") ? std::getenv("TABULO_PG_PORT") : "5432";
const std::string kSource = "127.0.0.1:" + kPort + ";DATABASE=bench";

double Millis(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

std::shared_ptr<tabulo::host::DataServer> Server() {
  auto server = tabulo::host::pg::NewPgDataServer({});
  server->SetServerType(1);
  return server;
}

std::shared_ptr<RecordSet> Open(tabulo::host::DataServer& server, const std::string& sql) {
  return server.Query(kSource, "", sql, "postgres", "secret");
}

void ReadWindow(RecordSet& rs) {
  for (int r = 0; r < kWindow && !rs.Eof(); ++r) {
    for (int32_t f = 0; f < rs.FieldCount(); ++f) rs.Item(f).Value();
    rs.MoveNext();
  }
}

PGconn* Libpq() {
  PGconn* conn = PQconnectdb(
      ("host=127.0.0.1 port=" + kPort + " dbname=bench user=postgres password=secret").c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    std::fprintf(stderr, "%s", PQerrorMessage(conn));
    std::exit(1);
  }
  return conn;
}

// Runs `sql`, returning the first value of its first row ("" when none); exits on error.
std::string Run(PGconn* conn, const std::string& sql) {
  PGresult* result = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    std::fprintf(stderr, "%s: %s", sql.c_str(), PQerrorMessage(conn));
    std::exit(1);
  }
  std::string value = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
  PQclear(result);
  return value;
}

// The 1-, 5- and 15-minute load averages.
std::string LoadAverage() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3) return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

template <typename Fn>
double MedianMillis(int runs, Fn fn) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    fn();
    ms.push_back(Millis(start));
  }
  return Percentile(ms, 0.5);
}

// Waits until no key pass (nor its seeking connection) is at work on the server (their
// connections kept idle for the next load aside): every key collected. Polled every
// millisecond through a connection of its own.
void WaitForKeyPasses() {
  PGconn* conn = Libpq();
  while (Run(conn,
             "SELECT count(*) FROM pg_stat_activity WHERE application_name IN "
             "('tabulo key pass', 'tabulo key seek') AND state <> 'idle'") != "0")
    usleep(1000);
  PQfinish(conn);
}

// The control's first window: Refresh until the grid shows records 1..30.
double ControlFirstWindow() {
  tabulo::container::SessionOptions options;
  options.width = 80 * 120;
  options.height = (kWindow + 2) * 240 + 315;
  tabulo::container::Session session(options);
  auto& ctl = session.NewControl();
  ctl.SetServerType(1);
  ctl.SetDSNname("127.0.0.1:" + kPort);
  ctl.SetDatabase("bench");
  ctl.SetUser("postgres");
  ctl.SetPassword("secret");
  ctl.SetRecordSource(kQuery);
  session.SetRunMode(true);
  session.Run(250);
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    // The previous result's key pass ends first, so that it does not compete with the timed
    // load for the server's two cores.
    if (ctl.CurrentRecordSet()) WaitForKeyPasses();
    const auto start = Clock::now();
    ctl.Refresh(false);
    ms.push_back(Millis(start));
    if (!ctl.CurrentRecordSet() || ctl.Grid.TextMatrix(1, 0) != "1") {
      std::fprintf(stderr, "the control shows no first window\n");
      std::exit(1);
    }
  }
  return Percentile(ms, 0.5);
}

// Peak RSS (MB) of a child that opens `table`'s record set, reads the middle window and the
// last record (so the whole key list is held).
double ChildPeakMb(const std::string& table) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return 0;
  const pid_t child = fork();
  if (child == 0) {
    auto server = Server();
    auto rs = Open(*server, "SELECT * FROM " + table + " WHERE qty < 400");
    rs->Move(rs->RecordCount() / 2);
    ReadWindow(*rs);
    rs->MoveFirst();
    WaitForKeyPasses();
    rs->Move(rs->RecordCount() - 1);
    rs->Item(0).Value();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (write(pipe_fds[1], &mb, sizeof mb) != sizeof mb) _exit(1);
    _exit(0);
  }
  close(pipe_fds[1]);
  double mb = 0;
  if (read(pipe_fds[0], &mb, sizeof mb) != sizeof mb) mb = 0;
  close(pipe_fds[0]);
  waitpid(child, nullptr, 0);
  return mb;
}

std::string Fmt(double v, const char* unit) {
  char text[64];
  if (std::string(unit) == "us")
    std::snprintf(text, sizeof text, v >= 100 ? "%.0f µs" : "%.1f µs", v);
  else if (std::string(unit) == "MB")
    std::snprintf(text, sizeof text, "%.1f MB", v);
  else if (std::string(unit) == "x")
    std::snprintf(text, sizeof text, v >= 100 ? "%.0f ×" : "%.2f ×", v);
  else
    std::snprintf(text, sizeof text, v >= 10 ? "%.1f ms" : "%.2f ms", v);
  return text;
}

// `met`: 1 yes, 0 no, -1 no target.
void Row(const std::string& figure, const std::string& measured, const std::string& reference,
         const std::string& ratio, const std::string& target, int met) {
  std::printf("| %s | %s | %s | %s | %s | %s |\n", figure.c_str(), measured.c_str(),
              reference.c_str(), ratio.c_str(), target.c_str(),
              met < 0 ? "—"
              : met   ? "yes"
                      : "**no**");
}

}  // namespace

int main() {
  try {
    const double big_mb = ChildPeakMb("orders");
    const double small_mb = ChildPeakMb("orders_1k");

    PGconn* pq = Libpq();
    const std::string version = Run(pq, "SHOW server_version");
    auto server = Server();

    // Interleaved runs: the count, the first window at position 0, the count again, the first
    // window at the middle and then jumps while the key pass still runs (the record set is
    // closed before the pass ends, which cancels it).
    std::string count_text;
    std::vector<double> counts, firsts, middles, running_jumps, ahead_jumps;
    std::mt19937_64 running_random(7);
    const std::string count_sql = std::string("SELECT count(*) FROM (") + kQuery + ") s";
    for (int run = 0; run < kRuns; ++run) {
      counts.push_back(MedianMillis(1, [&] { count_text = Run(pq, count_sql); }));
      std::shared_ptr<RecordSet> first;  // closed (its pass cancelled) after the timing
      firsts.push_back(MedianMillis(1, [&] {
        first = Open(*server, kQuery);
        ReadWindow(*first);
      }));
      first.reset();
      counts.push_back(MedianMillis(1, [&] { Run(pq, count_sql); }));
      auto start = Clock::now();
      auto rs = Open(*server, kQuery);
      const int64_t half = rs->RecordCount() / 2;
      rs->Move(half);
      ReadWindow(*rs);
      middles.push_back(Millis(start));
      const int64_t quarter = half / 2;
      for (int i = 0; i < 20; ++i) {
        const auto p = half - quarter / 2 +
                       static_cast<int64_t>(running_random() % static_cast<uint64_t>(quarter));
        start = Clock::now();
        rs->MoveFirst();
        rs->Move(p);
        ReadWindow(*rs);
        ahead_jumps.push_back(Millis(start) * 1000);
      }
      // Waits for the pass to collect the keys up to count / 8.
      const int64_t collected = half / 4;
      rs->MoveFirst();
      rs->Move(collected);
      ReadWindow(*rs);
      for (int i = 0; i < 50; ++i) {
        const auto p =
            static_cast<int64_t>(running_random() % static_cast<uint64_t>(collected - kWindow));
        start = Clock::now();
        rs->MoveFirst();
        rs->Move(p);
        ReadWindow(*rs);
        running_jumps.push_back(Millis(start) * 1000);
      }
    }
    const double count_ms = Percentile(counts, 0.5);
    const double first_ms = Percentile(firsts, 0.5);
    const double middle_ms = Percentile(middles, 0.5);
    const double control_ms = ControlFirstWindow();

    // Jumps and steps on a record set whose key pass has ended.
    auto rs = Open(*server, kQuery);
    const int64_t count = rs->RecordCount();
    auto pass_start = Clock::now();
    WaitForKeyPasses();
    const double pass_ms = Millis(pass_start);
    std::mt19937_64 random(42);
    std::vector<double> jumps;
    std::vector<int64_t> positions;
    for (int i = 0; i < 1000; ++i)
      positions.push_back(static_cast<int64_t>(random() % static_cast<uint64_t>(count - kWindow)));
    for (int64_t p : positions) {
      auto start = Clock::now();
      rs->MoveFirst();
      rs->Move(p);
      ReadWindow(*rs);
      jumps.push_back(Millis(start) * 1000);
    }
    size_t next = 0;
    const double offset_ms = MedianMillis(5, [&] {
      Run(pq, std::string(kQuery) + " LIMIT 30 OFFSET " + std::to_string(positions[next++]));
    });
    std::vector<double> steps;
    rs->MoveFirst();
    rs->Move(count / 3);
    for (int i = 0; i < 20000; ++i) {
      auto start = Clock::now();
      rs->MoveNext();
      for (int32_t f = 0; f < rs->FieldCount(); ++f) rs->Item(f).Value();
      steps.push_back(Millis(start) * 1000);
    }
    rs->Close();

    // Commits, interleaved: the data server's write path (its transaction, the one-row check)
    // against the bare UPDATE in an open session.
    int64_t id = 1;
    std::vector<double> commits, updates;
    for (int i = 0; i < 200; ++i) {
      commits.push_back(MedianMillis(1, [&] {
        server->Query(kSource, "",
                      "UPDATE orders SET price = price + 0.01 WHERE id = " + std::to_string(id++),
                      "postgres", "secret");
      }));
      updates.push_back(MedianMillis(1, [&] {
        Run(pq, "UPDATE orders SET price = price + 0.01 WHERE id = " + std::to_string(id++));
      }));
    }
    const double commit_ms = Percentile(commits, 0.5);
    const double update_ms = Percentile(updates, 0.5);
    const std::string fsync = Run(pq, "SHOW fsync");
    PQfinish(pq);
    const double connect_ms = MedianMillis(20, [] { PQfinish(Libpq()); });

    const char* rows = std::getenv("TABULO_BENCH_ROWS");
    std::printf(
        "PostgreSQL %s on 127.0.0.1 (throw-away server, fsync %s); query `%s` on the "
        "%s-row table (%s rows); windows of 30 rows; references measured in the same "
        "run, interleaved, medians of %d; load average %s.\n\n",
        version.c_str(), fsync.c_str(), kQuery, rows ? rows : "?", count_text.c_str(), kRuns,
        LoadAverage().c_str());
    std::printf("| figure | measured | reference | ratio | target | met |\n");
    std::printf("|---|---|---|---|---|---|\n");
    const std::string count_ref = "count " + Fmt(count_ms, "ms");
    Row("first window, record set", Fmt(first_ms, "ms"), count_ref, Fmt(first_ms / count_ms, "x"),
        "≤ 1.5 ×", first_ms <= 1.5 * count_ms);
    Row("first window at the middle, record set (open, Move(count / 2), 30 rows)",
        Fmt(middle_ms, "ms"), count_ref, Fmt(middle_ms / count_ms, "x"), "≤ 1.5 ×",
        middle_ms <= 1.5 * count_ms);
    const double running = Percentile(running_jumps, 0.5);
    Row("jump median while the key pass runs (into the keys collected so far)", Fmt(running, "us"),
        "p99 " + Fmt(Percentile(running_jumps, 0.99), "us"), "—", "≤ 500 µs", running <= 500);
    const double ahead = Percentile(ahead_jumps, 0.5);
    Row("jump median while the key pass runs (ahead of it, the middle quarter)", Fmt(ahead, "us"),
        "p99 " + Fmt(Percentile(ahead_jumps, 0.99), "us"), "—", "—", -1);
    Row("first window, control (Refresh → grid filled)", Fmt(control_ms, "ms"), count_ref,
        Fmt(control_ms / count_ms, "x"), "≤ 1.5 ×", control_ms <= 1.5 * count_ms);
    Row("key pass ended (after the first window)", Fmt(pass_ms, "ms"), count_ref,
        Fmt(pass_ms / count_ms, "x"), "—", -1);
    const double median = Percentile(jumps, 0.5);
    Row("jump median, record set", Fmt(median, "us"),
        "OFFSET page " + Fmt(offset_ms, "ms") + " (median of 5)",
        Fmt(offset_ms * 1000 / median, "x"), "≤ 1,000 µs", median <= 1000);
    const double p99 = Percentile(jumps, 0.99);
    Row("jump p99, record set", Fmt(p99, "us"), "", "—", "—", -1);
    const double step = Percentile(steps, 0.5);
    Row("step median, record set (one MoveNext + row read)", Fmt(step, "us"),
        "p99 " + Fmt(Percentile(steps, 0.99), "us"), "—", "≤ 100 µs", step <= 100);
    Row("commit median (UPDATE of one row through the data server)", Fmt(commit_ms, "ms"),
        "the UPDATE alone " + Fmt(update_ms, "ms"), Fmt(commit_ms / update_ms, "x"), "≤ 1.5 ×",
        commit_ms <= 1.5 * update_ms);
    Row("a new connection (login over TCP, scram-sha-256), when none is kept idle",
        Fmt(connect_ms, "ms"), "", "—", "—", -1);
    Row("client peak RSS (record set, middle window, all keys)", Fmt(big_mb, "MB"),
        "1,000-row table " + Fmt(small_mb, "MB") + "; " + Fmt(big_mb - small_mb, "MB") + " above",
        "—", "≤ 64 MB above", big_mb - small_mb <= 64);
  } catch (const tabulo::platform::ComError& e) {
    std::fprintf(stderr, "error 0x%08X: %s\n", static_cast<unsigned>(e.number()),
                 e.description().c_str());
    return 1;
  }
  return 0;
}
