// Which audit records a reader asks for: time span and user.
#include "host/audit_log_filter.h"

#include <gtest/gtest.h>

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
      {{"", "2026-12-07", ""}, true},  // the whole day
      {{"", "2026-12-07T21:46", ""}, true},
      {{"", "2026-12-07T21:45", ""}, false},
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

}  // namespace
}  // namespace tabulo::host
