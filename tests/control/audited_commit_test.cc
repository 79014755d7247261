// A logged edit and its audit records go together: a store that cannot take them refuses the
// edit first; a refused sign-in is told and recorded, whether or not the control logs edits.
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
  Edit(ctl, 2, 2, "21");  // an audited edit first: the trail exists and has one record
  ASSERT_EQ(Audit().size(), 1u);
  auto holder = std::make_unique<TestDb>(audit_);
  holder->Exec("BEGIN EXCLUSIVE");

  Edit(ctl, 3, 2, "31");
  EXPECT_EQ(Qty(3), "3");
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(LastMessage().title, "Error logging operator event");
  EXPECT_THAT(LastMessage().text, ::testing::HasSubstr("is locked by another program"));
  EXPECT_THAT(LastMessage().text, ::testing::EndsWith(". The change was not written."));
  EXPECT_EQ(ctl.Grid.TextMatrix(3, 2), "3");  // the grid shows the stored value

  // Nothing of the refused edit stays behind: no batch is held, the next edit is recorded.
  holder.reset();
  Edit(ctl, 3, 2, "32");
  EXPECT_EQ(Qty(3), "32");
  const std::vector<host::AuditRecord> records = Audit();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].event.old_value + ">" + records[1].event.new_value, "3>32");
}

struct SignIn {
  const char* name;
  const char* user;
  const char* password;
  bool log_event;
  const char* message;  // "" none
  const char* refusal;  // the record's reason ("" no record)
};

const SignIn kSignIns[] = {
    {"wrong_password_logged", "alice", "nope", true,
     "Signature|16|Sign-in failed: The user name or password is not correct.",
     "The user name or password is not correct."},
    {"unknown_user_not_logged", "mallory", "x", false,
     "Signature|16|Sign-in failed: The user name or password is not correct.",
     "The user name or password is not correct."},
    {"below_the_level", "bob", "pw-b", false,
     "Signature|16|Sign-in failed: The user \"bob\" does not hold command level 10.",
     "The user \"bob\" does not hold command level 10."},
    {"cancelled", "", "", true, "", ""},
};

class SignInTest : public AuditedCommitTest, public ::testing::WithParamInterface<SignIn> {};

TEST_P(SignInTest, ARefusedSignInIsToldAndRecordedAgainstTheChange) {
  const SignIn& s = GetParam();
  TabuloCtl& ctl = LoggedControl();
  ctl.LogEvent = s.log_event;
  ctl.SetConfirmUpdates(true);
  ctl.ESignatureRequired = true;
  ctl.ESignature1CommandLevel = 10;
  if (*s.user) {
    container_.QueueDialogAnswer(
        DialogAnswer::Ok(Variant(true), {Variant(s.user), Variant(s.password), Variant("")}));
  } else {
    container_.QueueDialogAnswer(DialogAnswer::Cancel());
  }
  Edit(ctl, 4, 2, "44");
  EXPECT_EQ(Qty(4), "4");
  EXPECT_EQ(MessageCount() ? LastBox() : "", s.message);
  const std::vector<host::AuditRecord> records = Audit();
  ASSERT_EQ(records.size(), *s.refusal ? 1u : 0u);
  if (records.empty()) return;
  const host::AuditRecord& r = records[0];
  const host::OperatorEvent& e = r.event;
  EXPECT_EQ(e.event_type + "|" + e.signature1 + "|" + e.signature3 + "|" + e.column_name + "|" +
                e.old_value + "|" + e.new_value + "|" + r.operator_name,
            std::string("ESignatureRefused|") + s.user + "|" + s.refusal + "|Qty|4|44|op");
  EXPECT_THAT(r.row, ::testing::StartsWith("Id = 4 AND"));
  EXPECT_EQ(e.source, db_.string() + ":  - Orders");
  EXPECT_FALSE(r.recorded_at.empty());
  EXPECT_THAT(host::FormatAuditRecord(r),
              ::testing::HasSubstr(std::string("Z sign-in refused for ") + s.user + " (\""));
}

INSTANTIATE_TEST_SUITE_P(SignIns, SignInTest, ::testing::ValuesIn(kSignIns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tabulo::control::testing
