// Concurrent operators: two processes, each a container with a control on the same database,
// commit logged edits at once, half of them to one shared row (where the other process's
// writes make a stale record refused), half to rows of their own. Afterwards every commit
// reported as written must be in the audit trail exactly once and the last written value of
// each row in the database; every refusal must have been told to the operator; the trail's
// chain must be whole. Prints the figures; exits 1 when anything was lost.
//
//   concurrent_commits [--commits N] [--journal wal|delete] [--keep]
// (a worker is the same program started with --worker K FOLDER N)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "container/sample_db.h"
#include "container/session.h"
#include "host/audit/audit_chain.h"
#include "platform/values/com_error.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kOwnRows = 5;  // per worker; record 0 is the shared row

// Tells the starter this worker is ready, then waits until it says go (closes the pipe), so
// that the two workers commit at the same time rather than one after the other.
void AwaitStart(int ready_fd, int go_fd) {
  const char byte = 1;
  if (write(ready_fd, &byte, 1) != 1) throw std::runtime_error("cannot tell the starter");
  close(ready_fd);
  char ignored;
  while (read(go_fd, &ignored, 1) > 0) {
  }
  close(go_fd);
}

int Worker(int k, const fs::path& folder, int commits, int ready_fd, int go_fd) {
  tabulo::container::SessionOptions options;
  options.host_config = (folder / "host.json").string();
  options.ui_language = 1033;
  tabulo::container::Session session(options);
  tabulo::control::TabuloCtl& ctl = session.NewControl();
  ctl.SetDSNname((folder / "plant.db").string());
  ctl.SetRecordSource("SELECT Id, Customer FROM Orders ORDER BY Id");
  ctl.SetDataTable("Orders");
  ctl.SetAllowUpdates(true);
  ctl.SetConfirmUpdates(false);
  ctl.LogEvent = true;
  session.SetRunMode(true);
  session.Run(250);
  AwaitStart(ready_fd, go_fd);
  std::ofstream out(folder / ("worker-" + std::to_string(k) + ".txt"));
  int64_t longest_ms = 0;
  for (int i = 0; i < commits; ++i) {
    const int row = i % 2 == 0 ? 0 : 1 + k + 2 * ((i / 2) % kOwnRows);
    std::string value = "w";
    value += std::to_string(k);
    value += '-';
    value += std::to_string(i);
    const size_t boxes = session.container().message_boxes().size();
    const auto start = Clock::now();
    const bool written = ctl.SetCellText(row, 1, value);
    longest_ms = std::max<int64_t>(
        longest_ms,
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    const bool told = session.container().message_boxes().size() > boxes;
    out << (written ? "W " : "R ") << row << " " << value << " " << told << "\n";
    // A refused record was stale: read the rows again, as an operator would.
    if (!written) ctl.Refresh();
  }
  out << "T " << longest_ms << "\n";
  return out.good() ? 0 : 1;
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
}

// Record number -> the database's Customer of that record.
std::map<int, std::string> StoredCustomers(const fs::path& db_path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  std::map<int, std::string> out;
  if (sqlite3_prepare_v2(db, "SELECT Customer FROM Orders ORDER BY Id", -1, &stmt, nullptr) ==
      SQLITE_OK)
    for (int record = 0; sqlite3_step(stmt) == SQLITE_ROW; ++record)
      out[record] = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return out;
}

int Run(int commits, const std::string& journal, bool keep) {
  const char* tmp = std::getenv("TABULO_TEST_TMP");
  fs::path base = tmp && *tmp ? fs::path(tmp) : fs::temp_directory_path();
  fs::create_directories(base);
  std::string pattern = (base / "concurrent-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot create a folder in " + base.string());
  const fs::path folder = pattern;
  tabulo::container::WriteSampleDatabase(folder / "plant.db", 20);
  {
    sqlite3* db = nullptr;
    sqlite3_open((folder / "plant.db").c_str(), &db);
    Exec(db, "PRAGMA journal_mode=" + journal);
    sqlite3_close(db);
  }
  std::ofstream(folder / "host.json")
      << R"({"format": 1, "clusters": [)"
      << R"({"name": "Local", "type": "DizuvAdar", "coordinator": "Local",)"
      << R"( "servers": [{"name": "PLANT-01"}]},)"
      << R"({"name": "Local Logging", "type": "Logging", "coordinator": "Local"}],)"
      << R"( "security": {"users": [], "audit_database": "audit.db"}})";

  int ready[2], go[2];
  if (pipe(ready) != 0 || pipe(go) != 0) throw std::runtime_error("cannot make pipes");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, ready[0]);
  posix_spawn_file_actions_addclose(&actions, go[1]);
  std::vector<pid_t> workers;
  for (int k = 0; k < 2; ++k) {
    std::vector<std::string> args = {"concurrent_commits",
                                     "--worker",
                                     std::to_string(k),
                                     folder.string(),
                                     std::to_string(commits / 2 + k * (commits % 2)),
                                     std::to_string(ready[1]),
                                     std::to_string(go[0])};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ) != 0)
      throw std::runtime_error("cannot start a worker");
    workers.push_back(pid);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(ready[1]);
  close(go[0]);
  // Both ready (or gone: the read then ends early), then both go.
  char byte;
  for (int k = 0; k < 2 && read(ready[0], &byte, 1) == 1; ++k) {
  }
  close(ready[0]);
  const auto start = Clock::now();
  close(go[1]);
  bool workers_ok = true;
  for (pid_t pid : workers) {
    int status = 0;
    waitpid(pid, &status, 0);
    workers_ok &= WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();

  // What the workers were told, per attempt.
  int tried = 0, refused = 0, untold = 0;
  int64_t longest_ms = 0;
  std::map<std::string, int> written_row;  // value -> record
  for (int k = 0; k < 2; ++k) {
    std::ifstream in(folder / ("worker-" + std::to_string(k) + ".txt"));
    std::string kind;
    while (in >> kind) {
      if (kind == "T") {
        int64_t ms = 0;
        in >> ms;
        longest_ms = std::max(longest_ms, ms);
        continue;
      }
      int row = 0, told = 0;
      std::string value;
      in >> row >> value >> told;
      ++tried;
      if (kind == "W") {
        written_row[value] = row;
      } else {
        ++refused;
        untold += told ? 0 : 1;
      }
    }
  }

  // The trail: each written value once, marked written, a refused write's record marked not
  // written, nothing pending, the chain whole; the database holds the last value written to
  // each record (among written records the trail's order is the commits' order: a write's
  // record is committed before its data, and a later write of the same row was built on the
  // value it wrote, read after that data commit).
  const tabulo::host::AuditTrail trail =
      tabulo::host::ReadAuditTrail((folder / "audit.db").string());
  const tabulo::host::AuditVerdict verdict = tabulo::host::VerifyAuditTrail(trail);
  std::set<std::string> recorded;
  std::map<int, std::string> last_written;
  int unexpected = 0, not_written = 0;
  for (const tabulo::host::AuditRecord& r : trail.records) {
    if (r.state == tabulo::host::AuditState::kNotWritten &&
        written_row.count(r.event.new_value) == 0) {
      ++not_written;
      continue;
    }
    if (r.state != tabulo::host::AuditState::kWritten) {
      ++unexpected;
      continue;
    }
    auto it = written_row.find(r.event.new_value);
    if (it == written_row.end() || !recorded.insert(r.event.new_value).second) {
      ++unexpected;
      continue;
    }
    last_written[it->second] = it->first;
  }
  int lost = static_cast<int>(written_row.size() - recorded.size());
  const std::map<int, std::string> stored = StoredCustomers(folder / "plant.db");
  for (const auto& [row, value] : last_written)
    if (stored.count(row) == 0 || stored.at(row) != value) ++lost;

  std::cout << "journal " << journal << ": commits tried " << tried << ", written "
            << written_row.size() << ", refused " << refused << " (untold " << untold << "), lost "
            << lost << ", audit records " << trail.records.size() << " (not written " << not_written
            << ", unexpected " << unexpected << "), " << verdict.summary << " wall " << wall
            << " s, longest commit " << longest_ms << " ms\n";
  if (!keep) fs::remove_all(folder);
  const bool ok = workers_ok && tried == commits && lost == 0 && untold == 0 && unexpected == 0 &&
                  not_written == refused && verdict.intact && !written_row.empty();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 6 && args[0] == "--worker")
      return Worker(std::stoi(args[1]), args[2], std::stoi(args[3]), std::stoi(args[4]),
                    std::stoi(args[5]));
    int commits = 10000;
    std::string journal = "wal";
    bool keep = false;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--keep") {
        keep = true;
      } else if (args[i] == "--commits" && i + 1 < args.size()) {
        commits = std::stoi(args[++i]);
      } else if (args[i] == "--journal" && i + 1 < args.size() &&
                 (args[i + 1] == "wal" || args[i + 1] == "delete")) {
        journal = args[++i];
      } else {
        std::cerr << "usage: concurrent_commits [--commits N] [--journal wal|delete] [--keep]\n";
        return 2;
      }
    }
    if (commits < 4) throw std::runtime_error("--commits takes at least 4");
    return Run(commits, journal, keep);
  } catch (const tabulo::platform::ComError& e) {
    std::cerr << "concurrent_commits: " << e.description() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "concurrent_commits: " << e.what() << "\n";
  }
  return 1;
}
