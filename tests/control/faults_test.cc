// Faults of the data server on each path the control reads or writes by: the Nth query,
// write, move or field read fails (N = 1, 2, ... until a run sees no fault). Each fault must
// end in the control's own error handling, and the control must go on telling the truth:
// the window it shows next is the right one, and an edit is shown as written only when it was.
#include "edit_fixture.h"
#include "fake_data_server.h"

namespace tabulo::control::testing {
namespace {

constexpr char kOrders[] = "SELECT Id, Customer, Qty FROM Orders ORDER BY Id";
const platform::ComError kFault(host::kErrSourceUnusable, "Simulated failure of the data source");

class FaultSweep : public EditTest, public ::testing::WithParamInterface<Fault> {
 protected:
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
  // Runs `step` with the nth call of the swept kind failing; true when that call came.
  bool Faulted(int n, const std::function<void()>& step) {
    fake_->faults->Arm(GetParam(), n);
    step();
    const bool fired = fake_->faults->fired;
    fake_->faults->Arm(GetParam(), 0);
    return fired;
  }

  std::shared_ptr<FakeDataServer> fake_;
};

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
  return std::vector<std::string>{"Query", "Write", "Move",
                                  "Read"}[static_cast<size_t>(info.param)];
}

// Load and first window: the refused load is reported once, and a refresh then shows it all.
class FillFaults : public FaultSweep {};

TEST_P(FillFaults, EachFaultIsReportedOnceAndTheNextRefreshShowsTheWindow) {
  const std::filesystem::path db = OrdersDb(30);
  const std::vector<std::string> reports = {
      "Error|The DSN Name is invalid",
      "Error|Tabulo: " + std::to_string(kFault.number()) + "\r\n" + kFault.description()};
  int n = 1;
  for (;; ++n) {
    SCOPED_TRACE("fault at call " + std::to_string(n));
    controls_.clear();
    ResetProcessState();
    const size_t before = MessageCount();
    TabuloCtl* ctl = nullptr;
    const bool fired = Faulted(n, [&] { ctl = &Browse(db, kOrders); });
    EXPECT_EQ(container_.MousePointer(), platform::kPointerDefault);
    if (!fired) {
      EXPECT_TRUE(MessagesSince(before).empty());
      ExpectOrdersFrom(*ctl, 0, 30);
      break;
    }
    std::vector<std::string> shown = MessagesSince(before);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(std::find(reports.begin(), reports.end(), shown[0]), reports.end()) << shown[0];
    ctl->Refresh();
    EXPECT_EQ(MessageCount(), before + 1);
    ExpectOrdersFrom(*ctl, 0, 30);
  }
  EXPECT_GT(n, 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, FillFaults,
                         ::testing::Values(Fault::kQuery, Fault::kMove, Fault::kRead), FaultName);

// Scrolling: a failed refill is swallowed, and the next move shows the window the bar names.
class ScrollFaults : public FaultSweep {};

TEST_P(ScrollFaults, AFailedRefillLeavesTheNextMoveShowingTheBarsWindow) {
  TabuloCtl& ctl = Browse(OrdersDb(30), kOrders);
  int n = 1;
  for (;; ++n) {
    SCOPED_TRACE("fault at call " + std::to_string(n));
    ctl.Refresh(true);
    ExpectOrdersFrom(ctl, 0, 30);
    const bool fired = Faulted(n, [&] {
      ctl.ScrollBar.SetValue(10);
      ctl.ScrollBar.SetValue(4);
    });
    EXPECT_EQ(MessageCount(), 0u);
    if (!fired) {
      ExpectOrdersFrom(ctl, 4, 30);
      break;
    }
    ctl.ScrollBar.SetValue(12);
    ExpectOrdersFrom(ctl, 12, 30);
  }
  EXPECT_GT(n, 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, ScrollFaults, ::testing::Values(Fault::kMove, Fault::kRead),
                         FaultName);

// The commit of an edit: the grid shows what the database holds, an operator event is written
// for a write that happened and only for it, no mark stays, and the row can be edited again.
class CommitFaults : public FaultSweep {};

TEST_P(CommitFaults, TheGridAndTheAuditTellWhetherTheEditWasWritten) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  ctl.LogEvent = true;
  const std::string stored_qty = "SELECT Qty FROM Orders WHERE Id = 3";
  int n = 1;
  for (;; ++n) {
    SCOPED_TRACE("fault at call " + std::to_string(n));
    host::testing::TestDb(db_).Exec("UPDATE Orders SET Qty = 3 WHERE Id = 3");
    ctl.Refresh();
    events_->lines.clear();
    const size_t before = MessageCount();
    const size_t audited = Audit().size();
    const bool fired = Faulted(n, [&] { Edit(ctl, 3, 2, "33"); });

    EXPECT_EQ(Changed(), std::vector<std::string>{"CellValueChanged(3, 2)"});
    EXPECT_EQ(EditState(ctl, 3), "closed hidden 0 row 1 marked 0");
    const std::string stored = DbValue(stored_qty);
    EXPECT_EQ(ctl.Grid.TextMatrix(3, 2), stored);
    const std::vector<host::AuditRecord> audit = Audit();
    std::vector<std::string> shown = MessagesSince(before);
    if (!fired) {
      EXPECT_TRUE(shown.empty());
      EXPECT_EQ(stored, "33");
      EXPECT_EQ(audit.size(), audited + 1);
      break;
    }
    ASSERT_EQ(shown.size(), 1u);
    // A logged write has its operator event unless the log's own failure was reported.
    const bool log_failed = shown[0] == "Error|Error logging operator event";
    EXPECT_TRUE(log_failed || shown[0] == "Tabulo|Tabulo: " + kFault.description()) << shown[0];
    EXPECT_EQ(audit.size(), audited + (stored == "33" && !log_failed ? 1 : 0));
    EXPECT_TRUE(stored == "3" || stored == "33") << stored;
    // The control's copy of the record is the stored one: the next edit of the row is written.
    Edit(ctl, 3, 2, "34");
    EXPECT_EQ(DbValue(stored_qty), "34");
  }
  EXPECT_GT(n, 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, CommitFaults,
                         ::testing::Values(Fault::kWrite, Fault::kMove, Fault::kRead), FaultName);

}  // namespace
}  // namespace tabulo::control::testing
