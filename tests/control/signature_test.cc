// Signed edits and operator events end to end: the host's security manager asks the signature
// dialog (answered from the container's queue) and writes the audit database read back here.
#include "edit_fixture.h"

namespace tabulo::control::testing {
namespace {

using platform::DialogAnswer;
using platform::Variant;

class SignedEditTest : public EditTest {
 protected:
  static void RequireSignature(TabuloCtl& ctl) {
    ctl.SetConfirmUpdates(true);
    ctl.ESignatureRequired = true;
    ctl.ESignaturePrompt = "Sign the change";
  }
  // Each record's event as "cluster|type|column|source|signature 1|signature 2|old|new|reason".
  static std::vector<std::string> Events(const std::vector<host::AuditRecord>& records) {
    std::vector<std::string> out;
    for (const host::AuditRecord& r : records) {
      const host::OperatorEvent& e = r.event;
      out.push_back(e.cluster + "|" + e.event_type + "|" + e.column_name + "|" + e.source + "|" +
                    e.signature1 + "|" + e.signature2 + "|" + e.old_value + "|" + e.new_value +
                    "|" + e.signature3);
    }
    return out;
  }
  void Sign(const std::string& user, const std::string& password, const std::string& reason) {
    container_.QueueDialogAnswer(
        DialogAnswer::Ok(Variant(true), {Variant(user), Variant(password), Variant(reason)}));
  }
};

TEST_F(SignedEditTest, SignedEditsCarryTheSignersAndReasonAndDualOnesNeedTwoDifferentSigners) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  RequireSignature(ctl);
  ctl.ESignature1CommandLevel = 10;
  Sign("alice", "pw-a", "Correction");
  Edit(ctl, 3, 2, "33");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 3"), "33");
  EXPECT_EQ(ctl.SignatureText(1) + "|" + ctl.SignatureText(2) + "|" + ctl.SignatureText(3),
            "alice||Correction");
  ASSERT_EQ(container_.dialogs().size(), 1u);
  const platform::DialogRecord& d = container_.dialogs()[0];
  EXPECT_EQ(std::tuple(d.dialog, d.args.at(3).AsString(), d.args.at(5).AsLong()),
            std::tuple("ESignature", "Sign the change", 10));
  EXPECT_EQ(MessageCount(), 0u);  // no confirmation box besides the signature

  ctl.ESignatureDualSignatureRequired = true;
  ctl.ESignature1CommandLevel = 5;
  ctl.ESignature2CommandLevel = 20;
  Sign("alice", "pw-a", "Maintenance");
  Sign("alice", "pw-a", "");
  Edit(ctl, 4, 2, "44");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4"), "4");
  Sign("bob", "pw-b", "Maintenance");
  Sign("carol", "pw-c", "");
  Edit(ctl, 4, 2, "45");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 4"), "45");
  EXPECT_EQ(ctl.SignatureText(1) + "|" + ctl.SignatureText(2) + "|" + ctl.SignatureText(3),
            "bob|carol|Maintenance");
  ASSERT_EQ(container_.dialogs().size(), 5u);
  // The second signer, at the second level.
  EXPECT_EQ(std::pair(container_.dialogs()[4].args.at(4).AsLong(),
                      container_.dialogs()[4].args.at(5).AsLong()),
            std::pair(2, 20));
}

TEST_F(SignedEditTest, LoggedEditsLeaveOneAuditRecordPerChangedCell) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Customer, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  ctl.LogEvent = true;
  RequireSignature(ctl);
  EditColumns(ctl, {{2, 1, false}});  // Qty hidden, between the edited cells: Note is column 3
  ctl.Refresh();
  // Two changed cells in one row: one put in by the program beforehand (blanks around it),
  // one typed; both go into one statement.
  ctl.SetAllowUpdates(false);
  ctl.Grid.SetTextMatrix(3, 2, " Zed ");
  ctl.MarkCellChanged(3, 2);
  ctl.SetAllowUpdates(true);
  Sign("carol", "pw-c", "Correction");
  const std::string note = "it's \"late\" — spät";
  Edit(ctl, 3, 3, note);
  EXPECT_THAT(Statement(),
              ::testing::HasSubstr("SET Customer = 'Zed' , Note = 'it''s \"late\" — spät' WHERE"));
  ASSERT_EQ(DbValue("SELECT Customer || '|' || Note FROM Orders WHERE Id = 3"), "Zed|" + note);
  EXPECT_EQ(DbValue("SELECT count(*) FROM Orders WHERE Customer = 'Zed'"), "1");
  const std::string source = db_.string() + ":  - Orders";
  // The cluster is the logging cluster of the data's coordinator.
  const std::vector<std::string> expected = {
      "Local Logging|dbUpdate|Customer|" + source + "|carol||C3|Zed|Correction",
      "Local Logging|dbUpdate|Note|" + source + "|carol||n3|" + note + "|Correction"};
  std::vector<host::AuditRecord> records = Audit();
  EXPECT_EQ(Events(records), expected);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].signed_by1 + "|" + records[1].signed_reason + "|" +
                records[1].operator_name + "|" + records[1].recorded_at.back(),  // UTC
            "carol|Correction|op|Z");
  EXPECT_EQ(MessageCount(), 0u);
}

TEST_F(SignedEditTest, OnlyWritesThatHappenedAreAuditedUnsignedWithDefaults) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  ctl.LogEvent = true;
  host::testing::TestDb(db_).Exec("UPDATE Orders SET Qty = 500 WHERE Id = 2");
  Edit(ctl, 2, 2, "20");
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_THAT(LastMessage().text, ::testing::HasSubstr("someone else"));
  // The refused control shows what the database now holds; its intent stays as not written.
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 2) + "|" + std::to_string(Written().size()), "500|0");
  ASSERT_EQ(Audit().size(), 1u);
  EXPECT_EQ(Audit()[0].state, host::AuditState::kNotWritten);

  ctl.LoggingClusterName = "Plant Logging";
  ctl.LogEventType = "noteFix";
  Edit(ctl, 7, 3, "now set");  // Id 7: Note was null
  ASSERT_EQ(DbValue("SELECT Note FROM Orders WHERE Id = 7"), "now set");
  // A named cluster is used as it stands; a null old value is the empty text.
  EXPECT_EQ(Events(Written()),
            std::vector<std::string>{"Plant Logging|noteFix|Note|" + db_.string() +
                                     ":  - Orders|<Default>|<Default>||now "
                                     "set|<Default>"});
  EXPECT_EQ(MessageCount(), 1u);
  ctl.LogEvent = false;
  Edit(ctl, 3, 2, "30");
  EXPECT_EQ(Audit().size(), 2u);
}

class NoLoggingClusterTest : public SignedEditTest {
 protected:
  void SetUp() override {
    host::HostConfig config = host::DefaultHostConfig("TESTBOX");
    std::erase_if(config.clusters,
                  [](const host::ClusterConfig& c) { return c.type == host::kClusterTypeLogging; });
    InstallHost(config);
  }
};

TEST_F(NoLoggingClusterTest, WithoutALoggingClusterTheUpdateIsRefused) {
  TabuloCtl& ctl = EditOrders("SELECT Id, Qty, Note FROM Orders ORDER BY Id");
  AttachSecurity(ctl);
  ctl.LogEvent = true;
  Edit(ctl, 2, 2, "23");
  EXPECT_EQ(DbValue("SELECT Qty FROM Orders WHERE Id = 2") + "|" + std::to_string(Audit().size()),
            "2|0");
  ASSERT_EQ(MessageCount(), 1u);
  EXPECT_EQ(LastBox(), "Operator Logging|0|No OPC CLuster from same coordinator");
}

}  // namespace
}  // namespace tabulo::control::testing
