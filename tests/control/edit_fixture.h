// Test fixture for editing: a control in run mode over an Orders database, the operator's
// input, the control's events recorded, and the database read back by the test.
#pragma once

#include <gmock/gmock.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/audit/audit_log.h"
#include "host/audit/password_hash.h"
#include "host/audit/security_manager.h"
#include "hosted_control.h"
#include "platform/text/text.h"
#include "platform/text/text_metrics.h"
#include "platform/values/conversions.h"
#include "platform/widgets/key_codes.h"

namespace tabulo::control::testing {

// Records the control's events as "Name(arg, arg)" with the arguments as texts, and the id and
// the last arguments of each event as raised.
class EventRecorder : public platform::EventSink {
 public:
  void OnEvent(platform::DispId id, std::string_view name,
               std::vector<platform::Variant>& args) override {
    ids[std::string(name)] = id;
    last[std::string(name)] = args;
    std::string line(name);
    line += "(";
    for (size_t i = 0; i < args.size(); ++i) {
      if (i) line += ", ";
      line += args[i].IsNull() ? "Null" : platform::CStr(args[i], platform::Locale::EnUS());
    }
    line += ")";
    lines.push_back(line);
    if (on_event) on_event(name, args);
  }
  // Lines of one event name only.
  std::vector<std::string> Named(std::string_view name) const {
    std::vector<std::string> out;
    for (const auto& l : lines)
      if (l.compare(0, name.size() + 1, std::string(name) + "(") == 0) out.push_back(l);
    return out;
  }
  std::vector<std::string> lines;
  std::map<std::string, platform::DispId> ids;
  std::map<std::string, std::vector<platform::Variant>> last;
  std::function<void(std::string_view, std::vector<platform::Variant>&)> on_event;
};

class EditTest : public DefaultHostTest {
 protected:
  // A control with updates allowed, unconfirmed, browsing `sql` on `db` and writing `table`.
  TabuloCtl& EditTable(const std::filesystem::path& db, const std::string& sql,
                       const std::string& table) {
    db_ = db;
    TabuloCtl& ctl = Browse(db_, sql);
    ctl.SetDataTable(table);
    ctl.SetAllowUpdates(true);
    ctl.SetConfirmUpdates(false);
    events_ = std::make_shared<EventRecorder>();
    ctl.Advise(events_);
    return ctl;
  }
  // The same on the Orders database of `rows` records.
  TabuloCtl& EditOrders(const std::string& sql =
                            "SELECT Id, Customer, Qty, Price, Placed, Note "
                            "FROM Orders ORDER BY Id",
                        int rows = 50) {
    return EditTable(OrdersDb(rows), sql, "Orders");
  }

  // Clicks grid cell (row, col), selects the editor's whole text and types `text`.
  static void TypeInto(TabuloCtl& ctl, int32_t row, int32_t col, const std::string& text) {
    ctl.Grid.UserClick(row, col);
    ASSERT_TRUE(ctl.txtEdit.visible()) << "no editor opened on " << row << "," << col;
    ctl.txtEdit.set_sel_start(0);
    ctl.txtEdit.set_sel_length(static_cast<int32_t>(platform::Utf8Length(ctl.txtEdit.text())));
    if (text.empty()) {
      ctl.txtEdit.PressKey(platform::kKeyDelete);
    } else {
      ctl.txtEdit.TypeText(text);
    }
  }
  // Types into a cell and presses Enter in the editor.
  static void Edit(TabuloCtl& ctl, int32_t row, int32_t col, const std::string& text) {
    TypeInto(ctl, row, col, text);
    ctl.txtEdit.PressKey(platform::kKeyReturn);
  }

  // What an edit left behind: "open" or "closed", the editor "shown" or "hidden", the pending
  // changes, the edit row and how many cells of grid row `row` still carry the change mark.
  static std::string EditState(const TabuloCtl& ctl, int32_t row) {
    int marked = 0;
    for (int32_t c = 1; c < ctl.Grid.Cols(); ++c) marked += ctl.CellChanged(row, c) ? 1 : 0;
    return std::string(ctl.Editing() ? "open " : "closed ") +
           (ctl.txtEdit.visible() ? "shown " : "hidden ") + std::to_string(ctl.PendingChanges()) +
           " row " + std::to_string(ctl.EditRow()) + " marked " + std::to_string(marked);
  }
  // The CellValueChanged events raised since the recorder was last cleared.
  std::vector<std::string> Changed() const { return events_->Named("CellValueChanged"); }

  // Gives the control a site with the host's real security manager: users alice (level 10),
  // bob (5) and carol (20), cheap hashes (these are tests), writing audit.db in `audit_folder`
  // (the test's folder by default); `audit_busy_ms` 0 refuses a locked audit store at once.
  void AttachSecurity(TabuloCtl& ctl, std::filesystem::path audit_folder = {},
                      int audit_busy_ms = -1) {
    host::SecurityManagerOptions options;
    options.security.users = {{"alice", 10, host::HashPassword("pw-a", 1000)},
                              {"bob", 5, host::HashPassword("pw-b", 1000)},
                              {"carol", 20, host::HashPassword("pw-c", 1000)}};
    options.security.reason_categories = {"Correction", "Maintenance"};
    audit_ = (audit_folder.empty() ? folder_.path() : audit_folder) / "audit.db";
    options.audit.path = audit_.string();
    if (audit_busy_ms >= 0) options.audit.busy_timeout_ms = audit_busy_ms;
    options.operator_name = "op";
    manager_ = std::make_shared<host::SecurityManager>(container_, options);
    ctl.SetControlSite(1, std::make_shared<TestSite>(manager_), 1033, 1033, 0, "");
  }
  std::vector<host::AuditRecord> Audit() const {
    if (!std::filesystem::exists(audit_)) return {};
    return host::ReadAuditRecords(audit_.string());
  }
  // The records of changes that were written; a refused write leaves a "not written" one.
  std::vector<host::AuditRecord> Written() const {
    std::vector<host::AuditRecord> records = Audit();
    std::erase_if(records,
                  [](const host::AuditRecord& r) { return r.state != host::AuditState::kWritten; });
    return records;
  }
  // Settles pending records as a start of the program does, by whether the row still holds
  // its old values in the test's database.
  host::PendingResolution ResolvePending() const {
    host::AuditLogOptions store;
    store.path = audit_.string();
    return host::ResolvePendingAuditRecords(store, [this](const host::AuditRecord& r) {
      const auto rows = TestDb(db_).Rows("SELECT COUNT(*) FROM Orders WHERE " + r.row);
      return rows.at(0).at(0) == "0" ? host::RowOutcome::kWritten : host::RowOutcome::kNotWritten;
    });
  }

  // The first value the query gives, as text ("<null>" for a null; "<no row>" for no row).
  std::string DbValue(const std::string& sql) const {
    const auto rows = TestDb(db_).Rows(sql);
    return rows.empty() ? "<no row>" : rows[0][0];
  }

  // The one UPDATE statement built since the last look ("" and a failure unless exactly one).
  std::string Statement() {
    std::vector<std::string> lines = DebugLines("GetSqlUpdateQuery");
    EXPECT_EQ(lines.size(), 1u);
    return lines.size() == 1 ? lines[0] : std::string();
  }

  // The debug lines written since the last call that start with `prefix`.
  std::vector<std::string> DebugLines(const std::string& prefix) {
    std::vector<std::string> out;
    const auto& all = container_.debug_output();
    for (; debug_seen_ < all.size(); ++debug_seen_) {
      if (all[debug_seen_].find(prefix) != std::string::npos) out.push_back(all[debug_seen_]);
    }
    return out;
  }

  std::filesystem::path db_;
  std::filesystem::path audit_;
  std::shared_ptr<host::SecurityManager> manager_;
  std::shared_ptr<EventRecorder> events_;
  size_t debug_seen_ = 0;
};

}  // namespace tabulo::control::testing
