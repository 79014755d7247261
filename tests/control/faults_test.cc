// Faults on each path the control reads and writes by: the Nth call fails in the data server
// (the countdown of fake_data_server.h, every N) or below SQLite (common/fault_vfs.h, a spread
// of N; TABULO_FULL_FAULT_SWEEP=1 tries every N). Every run ends in the control's own error
// handling or in success; the grid shows the right window and the stored value; a change is
// reported as written only when it is, with its audit record; both databases stay sound; and
// the next edit is written.
#include <climits>
#include <cstdlib>
#include <optional>
#include <ostream>

#include "common/fault_vfs.h"
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

using platform::DialogAnswer;
using platform::Variant;
using test_support::FaultOp;
using test_support::FaultVfs;
using ::testing::AnyOf;
using ::testing::Eq;

enum class Path { kLoad, kScroll, kCommit, kAuditedCommit, kSignedCommit };
// A path and the calls that fail: the data server's `server` calls, or else the `op` calls of
// SQLite on the files whose name contains `file` ("" for any).
struct Scenario {
  Path path;
  std::optional<Fault> server;
  FaultOp op = FaultOp::kRead;
  const char* file = "";
};
Scenario Server(Path path, Fault kind) {
  return {path, kind};
}
Scenario Sqlite(Path path, FaultOp op, const char* file = "") {
  return {path, std::nullopt, op, file};
}

const platform::ComError kFault(host::kErrSourceUnusable, "Simulated failure of the data source");
constexpr int kRunsPerSweep = 12;
int injected = 0, survived = 0;

class FaultSweep : public EditTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  static void TearDownTestSuite() {
    std::printf("[ faults ] %d injected, %d survived\n", injected, survived);
  }
  // Every server of the host is a real SQLite one wrapped by the fault-injecting double.
  void SetUp() override {
    fake_ = std::make_shared<FakeDataServer>();
    InstallHostWith(host::DefaultHostConfig("TESTBOX"),
                    [fake = fake_, sqlite = SqliteServers()](const host::HostConfig& c,
                                                             const host::ServerConfig& s) {
                      fake->wrapped = sqlite(c, s);
                      return fake;
                    });
  }
  void TearDown() override { vfs_.Disarm(); }
  bool ByServer() const { return GetParam().server.has_value(); }

  // Runs `step` with the nth call of the swept kind failing (INT_MAX: none, the calls counted);
  // true when that call came.
  bool Faulted(int n, const std::function<void()>& step) {
    const Scenario& s = GetParam();
    if (s.server)
      fake_->faults->Arm(*s.server, n);
    else
      vfs_.Arm(s.op, n, s.file);
    step();
    fired_ = s.server ? fake_->faults->fired : vfs_.fired();
    calls_ = s.server ? fake_->faults->calls : vfs_.calls();
    if (s.server)
      fake_->faults->Arm(*s.server, 0);
    else
      vfs_.Disarm();
    return fired_;
  }
  // Counts the calls of `step`, then runs `run(n)` for every n up to that count (a spread of
  // them below SQLite) and once more with no fault.
  void Sweep(const std::function<void()>& step, const std::function<void(int)>& run) {
    Faulted(INT_MAX, step);
    const int calls = calls_;
    ASSERT_GT(calls, 0) << "the step makes no call of the swept kind";
    const char* full = std::getenv("TABULO_FULL_FAULT_SWEEP");
    const int stride =
        ByServer() || (full && *full == '1') ? 1 : std::max(1, calls / kRunsPerSweep);
    for (int n = 1; n <= calls + 1; n = n < calls ? std::min(n + stride, calls) : n + 1) {
      SCOPED_TRACE("fault at call " + std::to_string(n) + " of " + std::to_string(calls));
      const bool failed_before = HasFailure();
      run(n);
      if (fired_) ++injected;
      if (fired_ && !failed_before && !HasFailure()) ++survived;
    }
  }
  // A database is whole and no connection holds a transaction on it.
  static void ExpectSound(const std::filesystem::path& db) {
    if (!std::filesystem::exists(db)) return;
    TestDb check(db);
    sqlite3_busy_timeout(check.get(), 0);
    EXPECT_EQ(check.Text("PRAGMA integrity_check"), "ok") << db;
    EXPECT_EQ(check.Exec("BEGIN EXCLUSIVE", true), SQLITE_OK) << db << ": a transaction is open";
    check.Exec("ROLLBACK", true);
  }

  void SweepCommit(bool audited, bool signed_edit);

  std::shared_ptr<FakeDataServer> fake_;
  FaultVfs& vfs_ = FaultVfs::Shared();
  int calls_ = 0;
  bool fired_ = false;
};

void FaultSweep::SweepCommit(bool audited, bool signed_edit) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  ctl.LogEvent = audited;
  if (signed_edit) {
    ctl.ESignatureRequired = true;
    ctl.ESignature1CommandLevel = 10;
  }
  const std::string stored_qty = "SELECT Qty FROM Orders WHERE Id = 3";
  auto edit = [&](const std::string& qty) {
    if (signed_edit && container_.pending_dialog_answers() == 0)
      container_.QueueDialogAnswer(DialogAnswer::Ok(
          Variant(true), {Variant("alice"), Variant("pw-a"), Variant("Correction")}));
    Edit(ctl, 3, 2, qty);
  };
  auto reset = [&] {
    TestDb(db_).Exec("UPDATE Orders SET Qty = 3 WHERE Id = 3");
    ctl.Refresh();
    events_->lines.clear();
  };
  reset();
  Sweep([&] { edit("33"); },
        [&](int n) {
          reset();
          const size_t before = MessageCount(), audited_before = Written().size();
          const bool fired = Faulted(n, [&] { edit("33"); });
          const std::vector<std::string> shown = MessagesSince(before);
          const std::string stored = DbValue(stored_qty);
          EXPECT_EQ(Changed(), std::vector<std::string>{"CellValueChanged(3, 2)"});
          EXPECT_TRUE(stored == "3" || stored == "33") << stored;
          ASSERT_LE(shown.size(), fired ? 1u : 0u);
          if (shown.empty()) {
            EXPECT_EQ(stored, "33") << "reported as written, but it was not";
          } else if (ByServer()) {
            // The data server's faults are told as the write's own or as the log's.
            EXPECT_THAT(shown[0], AnyOf(Eq("Error|Error logging operator event"),
                                        Eq("Tabulo|Tabulo: " + kFault.description())));
          }
          if (ByServer()) {
            EXPECT_EQ(shown.size(), fired ? 1u : 0u);
          }
          EXPECT_EQ(ctl.Grid.TextMatrix(3, 2), stored);
          EXPECT_EQ(EditState(ctl, 3), "closed hidden 0 row 1 marked 0");
          // A written change has its record, and a change not written has none that says
          // written, once records a failed mark left pending are settled from the row.
          if (audited) {
            EXPECT_EQ(ResolvePending().pending, 0);
            EXPECT_EQ(Written().size() - audited_before, stored == "33" ? 1u : 0u);
          }
          ExpectSound(db_);
          ExpectSound(audit_);
          // The control's copy of the record is the stored one: the next edit of the row is
          // written.
          edit("34");
          EXPECT_EQ(DbValue(stored_qty), "34");
        });
}

TEST_P(FaultSweep, EveryRunEndsInTheControlsErrorHandlingOrSuccessAndNothingIsLost) {
  switch (GetParam().path) {
    case Path::kLoad: {
      const std::filesystem::path db = OrdersDb(30);
      TabuloCtl* ctl = nullptr;
      auto step = [&] {
        controls_.clear();
        ResetShared();
        ctl = &Browse(db, kOrders);
      };
      Sweep(step, [&](int n) {
        const size_t before = MessageCount();
        const bool fired = Faulted(n, step);
        EXPECT_EQ(container_.MousePointer(), platform::kPointerDefault);
        const std::vector<std::string> shown = MessagesSince(before);
        ASSERT_LE(shown.size(), fired ? 1u : 0u);
        if (ByServer()) {
          // The refused load is reported once.
          ASSERT_EQ(shown.size(), fired ? 1u : 0u);
          if (fired) {
            EXPECT_THAT(shown[0], AnyOf(Eq("Error|The DSN Name is invalid"),
                                        Eq("Error|Tabulo: " + std::to_string(kFault.number()) +
                                           "\r\n" + kFault.description())));
          }
        } else if (!shown.empty()) {
          // The file exists: whatever failed below SQLite, its name is not what is wrong.
          EXPECT_EQ(shown[0].find("The DSN Name is invalid"), std::string::npos) << shown[0];
        }
        if (shown.empty()) ExpectOrdersFrom(*ctl, 0, 30);
        // A refresh then shows it all.
        ctl->Refresh();
        EXPECT_EQ(MessageCount(), before + shown.size());
        ExpectOrdersFrom(*ctl, 0, 30);
        ExpectSound(db);
      });
      break;
    }
    case Path::kScroll: {
      // Large enough that a far move reads pages the snapshot's cache no longer holds.
      constexpr int kRows = 100000;
      TabuloCtl& ctl = BrowseOrders(kRows);
      auto step = [&] {
        ctl.ScrollBar.SetValue(50000);
        ctl.ScrollBar.SetValue(4);
      };
      // A failed refill is swallowed, and the next move shows the window the bar names.
      Sweep(step, [&](int n) {
        ctl.Refresh(true);
        ExpectOrdersFrom(ctl, 0, kRows);
        if (!Faulted(n, step)) ExpectOrdersFrom(ctl, 4, kRows);
        ctl.ScrollBar.SetValue(60000);
        ExpectOrdersFrom(ctl, 60000, kRows);
      });
      EXPECT_EQ(MessageCount(), 0u);
      break;
    }
    case Path::kCommit:
    case Path::kAuditedCommit:
    case Path::kSignedCommit:
      SweepCommit(GetParam().path != Path::kCommit, GetParam().path == Path::kSignedCommit);
      break;
  }
}

std::string Describe(const Scenario& s) {
  const char* paths[] = {"Load", "Scroll", "Commit", "AuditedCommit", "SignedCommit"};
  const std::string name = paths[static_cast<int>(s.path)];
  if (s.server) {
    const char* kinds[] = {"Query", "Write", "Move", "Read"};
    return name + "Server" + kinds[static_cast<int>(*s.server)];
  }
  const char* ops[] = {"Read", "Write", "Sync", "Lock"};
  const std::string file = s.file;
  return name + ops[static_cast<int>(s.op)] +
         (file.empty()         ? "Any"
          : file == "audit.db" ? "Audit"
                               : "Data");
}
// ctest and failure messages name the scenario instead of printing its bytes.
void PrintTo(const Scenario& s, std::ostream* os) {
  *os << Describe(s);
}
std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info) {
  return Describe(info.param);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultSweep,
    ::testing::Values(
        Server(Path::kLoad, Fault::kQuery), Server(Path::kLoad, Fault::kMove),
        Server(Path::kLoad, Fault::kRead), Server(Path::kScroll, Fault::kMove),
        Server(Path::kScroll, Fault::kRead), Server(Path::kAuditedCommit, Fault::kWrite),
        Server(Path::kAuditedCommit, Fault::kMove), Server(Path::kAuditedCommit, Fault::kRead),
        Sqlite(Path::kLoad, FaultOp::kRead), Sqlite(Path::kLoad, FaultOp::kLock),
        Sqlite(Path::kScroll, FaultOp::kRead), Sqlite(Path::kCommit, FaultOp::kRead, "orders.db"),
        Sqlite(Path::kCommit, FaultOp::kWrite, "orders.db"),
        Sqlite(Path::kCommit, FaultOp::kSync, "orders.db"),
        Sqlite(Path::kCommit, FaultOp::kLock, "orders.db"),
        Sqlite(Path::kAuditedCommit, FaultOp::kWrite, "orders.db"),
        Sqlite(Path::kAuditedCommit, FaultOp::kRead, "audit.db"),
        Sqlite(Path::kAuditedCommit, FaultOp::kWrite, "audit.db"),
        Sqlite(Path::kAuditedCommit, FaultOp::kSync, "audit.db"),
        Sqlite(Path::kAuditedCommit, FaultOp::kLock, "audit.db"),
        Sqlite(Path::kSignedCommit, FaultOp::kSync, "orders.db"),
        Sqlite(Path::kSignedCommit, FaultOp::kWrite, "audit.db")),
    ScenarioName);

}  // namespace
}  // namespace tabulo::control::testing
