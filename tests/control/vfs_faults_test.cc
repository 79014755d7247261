// Faults injected below SQLite (common/fault_vfs.h) on each path the control reads and writes
// by: the Nth read, write, sync or lock of the database, its snapshots or the audit store
// fails. Every run ends in a clear error or in success; the grid and the database agree; a
// change is reported as written only when it is, and then it has its audit record; both
// databases pass their integrity check and hold no transaction open; and the next edit is
// written. Each sweep tries a bounded spread of N; TABULO_FULL_FAULT_SWEEP=1 tries every N.
#include <climits>
#include <cstdlib>

#include "common/fault_vfs.h"
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

using platform::DialogAnswer;
using platform::Variant;
using test_support::FaultOp;
using test_support::FaultVfs;

enum class Path { kLoad, kScroll, kCommit, kAuditedCommit, kSignedCommit };
struct Scenario {
  Path path;
  FaultOp op;
  const char* file;  // the files faulted: names containing it ("" for any)
};

constexpr char kOrders[] = "SELECT Id, Customer, Qty FROM Orders ORDER BY Id";
constexpr int kRunsPerSweep = 12;
int injected = 0, survived = 0;

class VfsFaultSweep : public EditTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  static void TearDownTestSuite() {
    std::printf("[ faults ] %d injected below SQLite, %d survived\n", injected, survived);
  }
  void TearDown() override { vfs_.Disarm(); }

  // Runs `step` with the nth call of the swept kind failing; true when that call came.
  bool Faulted(int n, const std::function<void()>& step) {
    vfs_.Arm(GetParam().op, n, GetParam().file);
    step();
    const bool fired = vfs_.fired();
    calls_ = vfs_.calls();
    vfs_.Disarm();
    return fired;
  }
  // Counts the calls of `step`, then runs `run(n)` for a spread of n up to that count.
  void Sweep(const std::function<void()>& step, const std::function<void(int)>& run) {
    Faulted(INT_MAX, step);
    const int calls = calls_;
    ASSERT_GT(calls, 0) << "the step makes no call of the swept kind";
    const char* full = std::getenv("TABULO_FULL_FAULT_SWEEP");
    const int stride = full && *full == '1' ? 1 : std::max(1, calls / kRunsPerSweep);
    for (int n = 1; n <= calls; n += stride) {
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

  FaultVfs& vfs_ = FaultVfs::Shared();
  int calls_ = 0;
  bool fired_ = false;
};

void VfsFaultSweep::SweepCommit(bool audited, bool signed_edit) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  ctl.LogEvent = audited;
  if (signed_edit) {
    ctl.ESignatureRequired = true;
    ctl.ESignature1CommandLevel = 10;
  }
  const std::string stored_qty = "SELECT Qty FROM Orders WHERE Id = 3";
  auto step = [&] {
    if (signed_edit && container_.pending_dialog_answers() == 0)
      container_.QueueDialogAnswer(DialogAnswer::Ok(
          Variant(true), {Variant("alice"), Variant("pw-a"), Variant("Correction")}));
    Edit(ctl, 3, 2, "33");
  };
  auto reset = [&] {
    TestDb(db_).Exec("UPDATE Orders SET Qty = 3 WHERE Id = 3");
    ctl.Refresh();
  };
  reset();
  Sweep(step, [&](int n) {
    reset();
    const size_t before = MessageCount(), audited_before = Audit().size();
    fired_ = Faulted(n, step);
    const std::vector<std::string> shown = MessagesSince(before);
    const std::string stored = DbValue(stored_qty);
    EXPECT_TRUE(stored == "3" || stored == "33") << stored;
    EXPECT_LE(shown.size(), 1u);
    if (shown.empty()) {
      EXPECT_EQ(stored, "33") << "reported as written, but it was not";
    }
    EXPECT_EQ(ctl.Grid.TextMatrix(3, 2), stored);
    EXPECT_EQ(EditState(ctl, 3), "closed hidden 0 row 1 marked 0");
    if (audited) {
      // A written change has its record, and a change not written has none.
      EXPECT_EQ(Audit().size() - audited_before, stored == "33" ? 1u : 0u);
    }
    ExpectSound(db_);
    ExpectSound(audit_);
    if (signed_edit && container_.pending_dialog_answers() == 0)
      container_.QueueDialogAnswer(DialogAnswer::Ok(
          Variant(true), {Variant("alice"), Variant("pw-a"), Variant("Correction")}));
    Edit(ctl, 3, 2, "34");
    EXPECT_EQ(DbValue(stored_qty), "34");
  });
}

TEST_P(VfsFaultSweep, EveryRunEndsInAClearErrorOrSuccessAndNothingIsLost) {
  switch (GetParam().path) {
    case Path::kLoad: {
      const std::filesystem::path db = OrdersDb(30);
      TabuloCtl* ctl = nullptr;
      auto step = [&] {
        controls_.clear();
        ResetProcessState();
        ctl = &Browse(db, kOrders);
      };
      Sweep(step, [&](int n) {
        const size_t before = MessageCount();
        fired_ = Faulted(n, step);
        const std::vector<std::string> shown = MessagesSince(before);
        ASSERT_LE(shown.size(), 1u);
        // The file exists: whatever failed, its name is not what is wrong.
        if (shown.empty()) {
          ExpectOrdersFrom(*ctl, 0, 30);
        } else {
          EXPECT_EQ(shown[0].find("The DSN Name is invalid"), std::string::npos) << shown[0];
        }
        ctl->Refresh();
        ExpectOrdersFrom(*ctl, 0, 30);
        ExpectSound(db);
      });
      break;
    }
    case Path::kScroll: {
      // Large enough that a far move reads pages the snapshot's cache no longer holds.
      constexpr int kRows = 100000;
      TabuloCtl& ctl = Browse(OrdersDb(kRows), kOrders);
      auto step = [&] {
        ctl.ScrollBar.SetValue(50000);
        ctl.ScrollBar.SetValue(4);
      };
      Sweep(step, [&](int n) {
        ctl.Refresh(true);
        fired_ = Faulted(n, step);
        if (!fired_) ExpectOrdersFrom(ctl, 4, kRows);
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

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info) {
  const char* paths[] = {"Load", "Scroll", "Commit", "AuditedCommit", "SignedCommit"};
  const char* ops[] = {"Read", "Write", "Sync", "Lock"};
  const std::string file = info.param.file;
  return std::string(paths[static_cast<int>(info.param.path)]) +
         ops[static_cast<int>(info.param.op)] +
         (file.empty()         ? "Any"
          : file == "audit.db" ? "Audit"
                               : "Data");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, VfsFaultSweep,
    ::testing::Values(Scenario{Path::kLoad, FaultOp::kRead, ""},
                      Scenario{Path::kLoad, FaultOp::kLock, ""},
                      Scenario{Path::kScroll, FaultOp::kRead, ""},
                      Scenario{Path::kCommit, FaultOp::kRead, "orders.db"},
                      Scenario{Path::kCommit, FaultOp::kWrite, "orders.db"},
                      Scenario{Path::kCommit, FaultOp::kSync, "orders.db"},
                      Scenario{Path::kCommit, FaultOp::kLock, "orders.db"},
                      Scenario{Path::kAuditedCommit, FaultOp::kWrite, "orders.db"},
                      Scenario{Path::kAuditedCommit, FaultOp::kRead, "audit.db"},
                      Scenario{Path::kAuditedCommit, FaultOp::kWrite, "audit.db"},
                      Scenario{Path::kAuditedCommit, FaultOp::kSync, "audit.db"},
                      Scenario{Path::kAuditedCommit, FaultOp::kLock, "audit.db"},
                      Scenario{Path::kSignedCommit, FaultOp::kSync, "orders.db"},
                      Scenario{Path::kSignedCommit, FaultOp::kWrite, "audit.db"}),
    ScenarioName);

}  // namespace
}  // namespace tabulo::control::testing
