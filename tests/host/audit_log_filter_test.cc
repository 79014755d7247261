// Which audit records a reader asks for (time span, user), and the changed row each record
// names, also in audit databases written before rows were recorded.
#include "host/audit_log_filter.h"

#include <gtest/gtest.h>

#include "host/security_manager.h"
#include "platform/runtime/headless_container.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

TEST(AuditLogFilterTest, TimeBoundsAreReadInTheRecordsOwnForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026-12-07", "2026-12-07"},
      {"2026-12-07 21:46", "2026-12-07T21:46"},
      {"2026-12-07T21:46:49Z", "2026-12-07T21:46:49"},
      {"2026-12-07T21:46:49.123", "2026-12-07T21:46:49.123"},
      {"2026-13-07", nullptr},
      {"2026-12-00", nullptr},
      {"2026-12-07T24:00", nullptr},
      {"2026-12-07T21:60", nullptr},
      {"2026-12-07X21:46", nullptr},
      {"2026-12-07T21:46:49,123", nullptr},
      {"yesterday", nullptr},
      {"26-12-07", nullptr},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    std::optional<std::string> parsed = ParseAuditTime(text);
    if (expected) {
      EXPECT_EQ(parsed, std::string(expected));
    } else {
      EXPECT_FALSE(parsed);
    }
  }
}

TEST(AuditLogFilterTest, RecordsMatchTheSpanAndTheUser) {
  AuditRecord r;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.operator_name = "op";
  r.signed_by1 = "alice";
  r.event.signature2 = "bob";
  struct Case {
    AuditFilter filter;
    bool matches;
  };
  const Case cases[] = {
      {{}, true},
      {{"2026-12-07", "", ""}, true},
      {{"2026-12-07T21:46:49.123", "", ""}, true},
      {{"2026-12-07T21:46:49.124", "", ""}, false},
      {{"2026-12-08", "", ""}, false},
      {{"", "2026-12-07", ""}, true},  // the whole day
      {{"", "2026-12-07T21:46", ""}, true},
      {{"", "2026-12-07T21:45", ""}, false},
      {{"", "2026-12-06", ""}, false},
      {{"", "", "op"}, true},
      {{"", "", "alice"}, true},
      {{"", "", "bob"}, true},
      {{"", "", "Alice"}, false},
      {{"2026-12-01", "2026-12-31", "carol"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter.since + "|" + c.filter.until + "|" + c.filter.user);
    EXPECT_EQ(c.filter.Matches(r), c.matches);
  }
}

TEST(AuditLogFilterTest, RecordsNameTheirRowAndOlderDatabasesGainTheColumn) {
  testing::TestFolder folder;
  const std::string path = (folder / "audit.db").string();
  // A database as written before rows were recorded, holding one record.
  testing::TestDb(path).Exec(
      "CREATE TABLE operator_events (id INTEGER PRIMARY KEY AUTOINCREMENT, recorded_at TEXT, "
      "cluster TEXT, event_type TEXT, column_name TEXT, source TEXT, signature1 TEXT, "
      "signature2 TEXT, old_value TEXT, new_value TEXT, signature3 TEXT, signed_by1 TEXT, "
      "signed_by2 TEXT, signed_reason TEXT, signed_at TEXT, operator TEXT);"
      "INSERT INTO operator_events VALUES (1, 't', 'c', 'e', 'Qty', 's', '', '', '1', '2', '', "
      "'', '', '', '', 'op');");
  ASSERT_EQ(ReadAuditRecords(path).size(), 1u);
  platform::HeadlessContainer container;
  SecurityManagerOptions options;
  options.audit.path = path;
  SecurityManager manager(container, options);
  std::vector<platform::Variant> args(9, platform::Variant("x"));
  manager.InvokeByName("WriteOperatorEvent", platform::InvokeKind::Method, args);
  args.emplace_back("Id = 3 AND Qty = 5");
  manager.InvokeByName("WriteOperatorEvent", platform::InvokeKind::Method, args);
  std::vector<AuditRecord> records = ReadAuditRecords(path);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].row, "");
  EXPECT_EQ(records[1].row, "");
  EXPECT_EQ(records[2].row, "Id = 3 AND Qty = 5");
  EXPECT_NE(FormatAuditRecord(records[2]).find("\"x\" -> \"x\"; row Id = 3 AND Qty = 5; x,"),
            std::string::npos)
      << FormatAuditRecord(records[2]);
  EXPECT_EQ(FormatAuditRecord(records[1]).find("; row "), std::string::npos);
}

}  // namespace
}  // namespace tabulo::host
