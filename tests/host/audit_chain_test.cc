// The chained audit trail on real files: an intact trail verifies, each kind of tampering is
// named at the first record it breaks, and stores written before chaining are taken along.
#include "host/audit_chain.h"

#include <gtest/gtest.h>

#include "host/security_manager.h"
#include "platform/runtime/headless_container.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using testing::TestDb;

AuditRecord Record(const std::string& column, const std::string& old_value,
                   const std::string& new_value) {
  AuditRecord r;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.event =
      OperatorEvent{"Local Logging", "dbUpdate", column,      "Plant: Prod - Orders", "ann", "",
                    old_value,       new_value,  "Correction"};
  r.operator_name = "op";
  r.row = "Id = 3";
  return r;
}

struct Tampering {
  const char* name;
  const char* sql;      // run on the trail of four records
  bool append_after;    // then one more record is written the normal way
  const char* summary;  // what --verify says
};

const Tampering kTamperings[] = {
    {"none", "", false, "Audit trail intact: 4 records chained (#1 to #4)."},
    {"appended", "", true, "Audit trail intact: 5 records chained (#1 to #5)."},
    {"field_changed",
     "DROP TRIGGER operator_events_no_update; UPDATE operator_events SET new_value = '9' WHERE "
     "id = 1",
     false, "Audit trail broken: record #1 has been changed since it was written."},
    {"later_field_changed",
     "DROP TRIGGER operator_events_no_update; UPDATE operator_events SET row_key = 'Id = 4' "
     "WHERE id = 3",
     false,
     "Audit trail broken: record #3 does not follow from its fields and record #2: one of them "
     "has been changed."},
    {"middle_deleted",
     "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id = 2", false,
     "Audit trail broken: record #2 is missing."},
    {"last_deleted",
     "DROP TRIGGER operator_events_no_delete; DELETE FROM operator_events WHERE id >= 3", false,
     "Audit trail broken: records #3 to #4 are missing."},
    {"table_dropped", "DROP TABLE operator_events", true,
     "Audit trail broken: records #1 to #4 are missing."},
    {"trigger_removed", "DROP TRIGGER operator_events_no_update", false,
     "Audit trail broken: the trigger operator_events_no_update that keeps records from being "
     "changed has been removed."},
    {"unhashed_put_in",
     "INSERT INTO operator_events (recorded_at, cluster, event_type, column_name, source, "
     "signature1, signature2, old_value, new_value, signature3, signed_by1, signed_by2, "
     "signed_reason, signed_at, operator) VALUES ('t','c','e','col','s','','','1','2','','','',"
     "'','','op')",
     false,
     "Audit trail broken: record #5 carries no hash: it was put in outside the audit trail."},
    {"head_rewound", "UPDATE audit_chain_head SET last_hash = 'x'", false,
     "Audit trail broken: record #4 is not the last record the trail recorded."},
};

class AuditChainTest : public ::testing::TestWithParam<Tampering> {
 protected:
  AuditLogOptions Options() const {
    AuditLogOptions options;
    options.path = (folder_ / "audit.db").string();
    return options;
  }
  testing::TestFolder folder_;
};

TEST_P(AuditChainTest, VerifyNamesTheFirstBrokenOrMissingRecord) {
  const Tampering& t = GetParam();
  for (const char* qty : {"1", "2", "3", "4"})
    AppendAuditRecord(Options(), Record("Qty", "0", qty));
  if (*t.sql) TestDb(Options().path).Exec(t.sql);
  if (t.append_after) AppendAuditRecord(Options(), Record("Note", "a", "b"));
  const AuditVerdict verdict = VerifyAuditTrail(ReadAuditTrail(Options().path));
  EXPECT_EQ(verdict.summary, t.summary);
  EXPECT_EQ(verdict.intact, std::string(t.summary).find("intact") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Tamperings, AuditChainTest, ::testing::ValuesIn(kTamperings),
                         [](const auto& info) { return std::string(info.param.name); });

// A store from before chaining and before rows were recorded: no hash or row column, no head.
// Its records still read; writing one adds the columns, and the chain starts after them.
TEST_F(AuditChainTest, OlderStoresGainTheirColumnsAndTheChainStartsAfterTheirRecords) {
  TestDb(Options().path)
      .Exec(
          "CREATE TABLE operator_events (id INTEGER PRIMARY KEY AUTOINCREMENT, recorded_at TEXT, "
          "cluster TEXT, event_type TEXT, column_name TEXT, source TEXT, signature1 TEXT, "
          "signature2 TEXT, old_value TEXT, new_value TEXT, signature3 TEXT, signed_by1 TEXT, "
          "signed_by2 TEXT, signed_reason TEXT, signed_at TEXT, operator TEXT);"
          "INSERT INTO operator_events VALUES (1,'t','c','e','Qty','s','','','1','2','','','','',"
          "'','op'), (2,'t','c','e','Qty','s','','','2','3','','','','','','op')");
  ASSERT_EQ(ReadAuditRecords(Options().path).size(), 2u);
  platform::HeadlessContainer container;
  SecurityManagerOptions options;
  options.audit.path = Options().path;
  SecurityManager manager(container, options);
  std::vector<platform::Variant> args(9, platform::Variant("x"));
  manager.InvokeByName("WriteOperatorEvent", platform::InvokeKind::Method, args);
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(Options().path)).summary,
            "Audit trail intact: 1 record chained (#3 to #3), 2 older records from before "
            "chaining not verified.");
  args.emplace_back("Id = 3 AND Qty = 5");
  manager.InvokeByName("WriteOperatorEvent", platform::InvokeKind::Method, args);
  std::vector<AuditRecord> records = ReadAuditRecords(Options().path);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].row + "|" + records[2].row + "|" + records[3].row, "||Id = 3 AND Qty = 5");
  EXPECT_NE(FormatAuditRecord(records[3]).find("\"x\" -> \"x\"; row Id = 3 AND Qty = 5; x,"),
            std::string::npos)
      << FormatAuditRecord(records[3]);
  EXPECT_EQ(FormatAuditRecord(records[2]).find("; row "), std::string::npos);
}

TEST(ChainHash, FieldBoundariesAndThePredecessorCount) {
  AuditRecord a = Record("ab", "c", "d"), b = Record("a", "bc", "d");
  EXPECT_NE(ChainHash("", a), ChainHash("", b));
  EXPECT_NE(ChainHash("", a), ChainHash("0", a));
  AuditRecord renumbered = a;
  renumbered.id = 7;
  EXPECT_NE(ChainHash("", a), ChainHash("", renumbered));
  EXPECT_EQ(ChainHash("", a).size(), 64u);
}

}  // namespace
}  // namespace tabulo::host
