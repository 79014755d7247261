// A logged edit and its audit records go together: a store that cannot take them refuses the
// edit first; its records are committed as pending intents before the write and marked after
// it; a refused sign-in is told and recorded, whether or not the control logs edits.
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

using platform::DialogAnswer;
using platform::Variant;

class AuditedCommitTest : public EditTest {
 protected:
  TabuloCtl& LoggedControl() {
    TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
    AttachSecurity(ctl, {}, /*audit_busy_ms=*/0);  // no wait for a locked store in tests
    ctl.LogEvent = true;
    return ctl;
  }
  std::string Qty(int id) const {
    return DbValue("SELECT Qty FROM Orders WHERE Id = " + std::to_string(id));
  }
};

// The audit store's own refusals (locked, not an audit database, no folder) are named by the
// audit log's tests; whichever it is, the control's path is the same.
TEST_F(AuditedCommitTest, ALockedStoreRefusesTheEditBeforeAnythingIsWrittenAndIsLeftUsable) {
  TabuloCtl& ctl = LoggedControl();
  Edit(ctl, 1, 2, "11");  // an audited edit first: the trail exists and has one record
  ASSERT_EQ(Audit().size(), 1u);
  auto holder = std::make_unique<TestDb>(audit_);
  holder->Exec("BEGIN EXCLUSIVE");

  Edit(ctl, 2, 2, "21");
  EXPECT_EQ(Qty(2), "2");
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(LastMessage().title, "Error logging operator event");
  EXPECT_THAT(LastMessage().text, ::testing::HasSubstr("is locked by another program"));
  EXPECT_THAT(LastMessage().text, ::testing::EndsWith(". The change was not written."));
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2), "2");  // the grid shows the stored value

  // Nothing of the refused edit stays behind: no batch is held, the next edit is recorded.
  holder.reset();
  Edit(ctl, 2, 2, "22");
  EXPECT_EQ(Qty(2), "22");
  const std::vector<host::AuditRecord> records = Audit();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].event.old_value + ">" + records[1].event.new_value, "2>22");
}

// The host's SQLite data server, with a look just before and just after each write.
class WatchedDataServer : public host::DataServer {
 public:
  explicit WatchedDataServer(std::shared_ptr<host::DataServer> inner) : inner_(std::move(inner)) {}
  int16_t ServerType() const override { return inner_->ServerType(); }
  void SetServerType(int16_t type) override { inner_->SetServerType(type); }
  std::shared_ptr<host::RecordSet> Query(std::string_view source, std::string_view empty,
                                         std::string_view statement, std::string_view user,
                                         std::string_view password) override {
    const bool write = statement.rfind("UPDATE", 0) == 0;
    if (write && before_write) before_write();
    auto rs = inner_->Query(source, empty, statement, user, password);
    if (write && after_write) after_write();
    return rs;
  }
  std::shared_ptr<host::RecordSet> ListAll(std::string_view s, std::string_view st,
                                           std::string_view u, std::string_view p) override {
    return inner_->ListAll(s, st, u, p);
  }
  std::shared_ptr<host::RecordSet> ListSources(std::string_view s, std::string_view u,
                                               std::string_view p) override {
    return inner_->ListSources(s, u, p);
  }
  std::shared_ptr<host::RecordSet> ListCatalogs() override { return inner_->ListCatalogs(); }
  std::string MachineName() const override { return inner_->MachineName(); }

  std::function<void()> before_write, after_write;

 private:
  std::shared_ptr<host::DataServer> inner_;
};

class IntentCommitTest : public AuditedCommitTest {
 protected:
  void SetUp() override {
    InstallHostWith(
        host::DefaultHostConfig("TESTBOX"),
        [this, sqlite = SqliteServers()](const host::HostConfig& c, const host::ServerConfig& s) {
          server_ = std::make_shared<WatchedDataServer>(sqlite(c, s));
          return server_;
        });
  }
  std::string States() const {
    std::string out;
    for (const host::AuditRecord& r : Audit())
      out += std::string(out.empty() ? "" : ",") + host::AuditStateName(r.state);
    return out;
  }
  std::shared_ptr<WatchedDataServer> server_;
};

// The records are durable before the write: another program reads them pending while the
// write runs. A write that fails leaves them as not written.
TEST_F(IntentCommitTest, TheIntentIsCommittedBeforeTheWriteAndAFailedWriteMarksItNotWritten) {
  TabuloCtl& ctl = LoggedControl();
  std::string seen;
  server_->before_write = [&] {
    seen = TestDb(audit_).Text("SELECT group_concat(state) FROM operator_events");
    throw platform::ComError(host::kErrDiskFull, "The disk holding orders.db is full");
  };
  Edit(ctl, 2, 2, "21");
  EXPECT_EQ(seen, "pending");
  EXPECT_EQ(Qty(2), "2");
  EXPECT_EQ(LastMessage().text, "Tabulo: The disk holding orders.db is full");
  EXPECT_EQ(States(), "not written");
  EXPECT_EQ(ResolvePending().not_written, 0);  // nothing left to settle
}

// A process that dies between the write and the mark: here the store is locked by another
// program at that moment. The change stands, its records stay pending, the operator is told,
// and the next start reads the row and marks them written.
TEST_F(IntentCommitTest, RecordsLeftPendingAfterTheWriteAreSettledWrittenFromTheRow) {
  TabuloCtl& ctl = LoggedControl();
  std::unique_ptr<TestDb> holder;
  server_->after_write = [&] {
    holder = std::make_unique<TestDb>(audit_);
    holder->Exec("BEGIN EXCLUSIVE");
  };
  Edit(ctl, 3, 2, "31");
  EXPECT_EQ(Qty(3), "31");
  EXPECT_THAT(LastMessage().text,
              ::testing::StartsWith("The change was written, but its operator events could not "
                                    "be committed: "));
  EXPECT_THAT(LastMessage().text, ::testing::EndsWith(" stay pending until the next start "
                                                      "confirms them."));
  holder.reset();
  EXPECT_EQ(States(), "pending");
  EXPECT_THAT(host::FormatAuditRecord(Audit()[0]), ::testing::EndsWith("; pending: whether the "
                                                                       "change was written is "
                                                                       "not known yet"));
  const host::PendingResolution settled = ResolvePending();
  EXPECT_EQ(std::to_string(settled.written) + "/" + std::to_string(settled.not_written), "1/0");
  EXPECT_EQ(States(), "written");
  // The next logged edit of the row is written and marked at once.
  server_->after_write = nullptr;
  Edit(ctl, 3, 2, "32");
  EXPECT_EQ(Qty(3) + " " + States(), "32 written,written");
}

struct SignIn {
  const char* name;
  const char* user;
  const char* password;
  bool log_event;
  bool dual;            // a second signature is asked, and given by the same user
  const char* message;  // "" none
  const char* refusal;  // the record's reason ("" no record)
};

const SignIn kSignIns[] = {
    {"wrong_password_logged", "alice", "nope", true, false,
     "Signature|16|Sign-in failed: The user name or password is not correct.",
     "The user name or password is not correct."},
    {"unknown_user_not_logged", "mallory", "x", false, false,
     "Signature|16|Sign-in failed: The user name or password is not correct.",
     "The user name or password is not correct."},
    {"below_the_level", "bob", "pw-b", false, false,
     "Signature|16|Sign-in failed: The user \"bob\" does not hold command level 10.",
     "The user \"bob\" does not hold command level 10."},
    {"same_user_twice", "alice", "pw-a", false, true,
     "Signature|16|Sign-in failed: The second signature must come from a different user.",
     "The second signature must come from a different user."},
    {"cancelled", "", "", true, false, "", ""},
};

class SignInTest : public AuditedCommitTest, public ::testing::WithParamInterface<SignIn> {};

TEST_P(SignInTest, ARefusedSignInIsToldAndRecordedAgainstTheChange) {
  const SignIn& s = GetParam();
  TabuloCtl& ctl = LoggedControl();
  ctl.LogEvent = s.log_event;
  ctl.SetConfirmUpdates(true);
  ctl.ESignatureRequired = true;
  ctl.ESignature1CommandLevel = 10;
  ctl.ESignatureDualSignatureRequired = s.dual;
  ctl.ESignature2CommandLevel = 10;
  if (*s.user) {
    for (int i = 0; i < (s.dual ? 2 : 1); ++i)
      container_.QueueDialogAnswer(
          DialogAnswer::Ok(Variant(true), {Variant(s.user), Variant(s.password), Variant("")}));
  } else {
    container_.QueueDialogAnswer(DialogAnswer::Cancel());
  }
  Edit(ctl, 1, 1, "44");  // the first record and column: a refusal there is recorded too
  EXPECT_EQ(Qty(1), "1");
  EXPECT_EQ(MessageCount() ? LastBox() : "", s.message);
  const std::vector<host::AuditRecord> records = Audit();
  ASSERT_EQ(records.size(), *s.refusal ? 1u : 0u);
  if (records.empty()) return;
  const host::AuditRecord& r = records[0];
  const host::OperatorEvent& e = r.event;
  EXPECT_EQ(e.event_type + "|" + e.signature1 + "|" + e.signature3 + "|" + e.column_name + "|" +
                e.old_value + "|" + e.new_value + "|" + r.operator_name,
            std::string("ESignatureRefused|") + s.user + "|" + s.refusal + "|Id|1|44|op");
  EXPECT_THAT(r.row, ::testing::StartsWith("Id = 1 AND"));
  EXPECT_EQ(e.source, db_.string() + ":  - Orders");
  EXPECT_FALSE(r.recorded_at.empty());
  EXPECT_THAT(host::FormatAuditRecord(r),
              ::testing::HasSubstr(std::string("Z sign-in refused for ") + s.user + " (\""));
}

INSTANTIATE_TEST_SUITE_P(SignIns, SignInTest, ::testing::ValuesIn(kSignIns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tabulo::control::testing
