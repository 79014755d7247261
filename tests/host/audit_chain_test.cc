// The audit chain against an attacker on a real SQLite store: blanked hashes, records put in
// outside the trail, the tail cut off, a whole chain recomputed; the keyed chain, its key file
// and the anchor kept outside the store. Each case asserts the exact verdict.
#include "host/audit/audit_chain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/audit/audit_log.h"
#include "host/cluster/host_config.h"
#include "platform/storage/whole_file.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using testing::Raised;
using testing::TestDb;

const std::string kKey(32, 'k');

AuditRecord Record(const std::string& new_value) {
  AuditRecord r;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.event =
      OperatorEvent{"Local Logging", "dbUpdate",  "Qty", "Plant: Prod - Orders", "ann", "", "0",
                    new_value,       "Correction"};
  r.operator_name = "op";
  r.row = "Id = 3";
  return r;
}

// An INSERT of an unhashed record with the id `id` ("NULL": the next one).
std::string PutIn(const std::string& id) {
  return "INSERT INTO operator_events (id, recorded_at, cluster, event_type, column_name, "
         "source, signature1, signature2, old_value, new_value, signature3, signed_by1, "
         "signed_by2, signed_reason, signed_at, operator) VALUES (" +
         id + ",'t','c','e','col','s','','','1','2','','','','','','op')";
}

enum class VerifyKey { kNone, kSame, kOther };

struct Attack {
  const char* name;
  bool keyed;  // the four records are written with the key
  VerifyKey verify_key;
  bool anchored;    // the head is anchored before the attack
  std::string sql;  // run on the store of four records
  bool recompute;   // then every hash and the head are computed anew without a key, and
                    // the triggers put back
  const char* summary;
};

const char* kDropTriggers =
    "DROP TRIGGER operator_events_no_update; DROP TRIGGER operator_events_no_delete; ";
// Records #3 and #4 cut off: the head names #2, the numbering is set back.
const std::string kTrim = std::string(kDropTriggers) +
                          "DELETE FROM operator_events WHERE id >= 3; "
                          "UPDATE sqlite_sequence SET seq = 2; "
                          "UPDATE audit_chain_head SET last_id = 2, last_hash = "
                          "(SELECT hash FROM operator_events WHERE id = 2); ";
const std::string kRestoreTriggers =
    "CREATE TRIGGER operator_events_no_update BEFORE UPDATE ON operator_events BEGIN SELECT "
    "RAISE(ABORT, 'x'); END; CREATE TRIGGER operator_events_no_delete BEFORE DELETE ON "
    "operator_events BEGIN SELECT RAISE(ABORT, 'x'); END;";
const std::string kBroken = "Audit trail broken: ";

const Attack kAttacks[] = {
    {"plain_untouched", false, VerifyKey::kNone, false, "", false,
     "Audit trail intact: 4 records chained (#1 to #4)."},
    {"hashes_blanked_head_removed", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) +
         "UPDATE operator_events SET hash = ''; DELETE FROM "
         "audit_chain_head;" +
         kRestoreTriggers,
     false,
     "Audit trail broken: record #1 carries no hash: it was put in outside the audit trail."},
    {"last_hashes_blanked", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) +
         "UPDATE operator_events SET hash = '' WHERE id >= 3; "
         "DELETE FROM audit_chain_head;" +
         kRestoreTriggers,
     false,
     "Audit trail broken: record #3 carries no hash: it was put in outside the audit trail."},
    {"head_removed", false, VerifyKey::kNone, false, "DELETE FROM audit_chain_head", false,
     "Audit trail broken: the head that names the last record has been removed."},
    {"hashes_blanked_marker_dropped", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) +
         "UPDATE operator_events SET hash = ''; DELETE FROM "
         "audit_chain_head; DROP VIEW audit_chain_marker;" +
         kRestoreTriggers,
     false,
     "Audit trail broken: the chain marker that tells chained records from older ones has been "
     "removed (a store last written by an older version gains it with its next record)."},
    // Without the marker too, a record without a hash after a chained one is put in.
    {"marker_dropped_hashes_blanked_after_the_first", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) +
         "UPDATE operator_events SET hash = '' WHERE id >= 2; DROP VIEW audit_chain_marker;" +
         kRestoreTriggers,
     false,
     "Audit trail broken: record #2 carries no hash: it was put in outside the audit trail."},
    // A keyed trail cut back to its first keyed record: the seal still names the old head.
    {"keyed_trimmed_to_the_first_keyed", true, VerifyKey::kSame, false,
     std::string(kDropTriggers) +
         "DELETE FROM operator_events WHERE id >= 2; UPDATE sqlite_sequence SET seq = 1; "
         "UPDATE audit_chain_head SET last_id = 1, last_hash = (SELECT hash FROM "
         "operator_events WHERE id = 1);" +
         kRestoreTriggers,
     false,
     "Audit trail broken: the head does not carry the audit key's seal: records after #1 may "
     "have been removed."},
    {"tail_trimmed_to_one_head_removed", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) +
         "DELETE FROM operator_events WHERE id >= 2; UPDATE sqlite_sequence SET seq = 1; "
         "DELETE FROM audit_chain_head;" +
         kRestoreTriggers,
     false, "Audit trail broken: the head that names the last record has been removed."},
    {"unhashed_id_0", false, VerifyKey::kNone, false, PutIn("0"), false,
     "Audit trail broken: record #0 has an id below 1: it was put in outside the audit trail."},
    {"unhashed_id_negative", false, VerifyKey::kNone, false, PutIn("-7"), false,
     "Audit trail broken: record #-7 has an id below 1: it was put in outside the audit trail."},
    {"unhashed_in_the_middle", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) + "DELETE FROM operator_events WHERE id = 2; " + PutIn("2"), false,
     "Audit trail broken: record #2 carries no hash: it was put in outside the audit trail."},
    {"unhashed_at_the_end", false, VerifyKey::kNone, false, PutIn("NULL"), false,
     "Audit trail broken: record #5 carries no hash: it was put in outside the audit trail."},
    // Without a key nothing in the store proves where it ended.
    {"plain_tail_trimmed", false, VerifyKey::kNone, false, kTrim + kRestoreTriggers, false,
     "Audit trail intact: 2 records chained (#1 to #2)."},
    {"plain_tail_trimmed_anchored", false, VerifyKey::kNone, true, kTrim + kRestoreTriggers, false,
     "Audit trail broken: records #3 to #4 are missing below the head anchored in ANCHOR "
     "(record #4)."},
    {"plain_recomputed", false, VerifyKey::kNone, false,
     std::string(kDropTriggers) + "UPDATE operator_events SET new_value = '9' WHERE id = 2;", true,
     "Audit trail intact: 4 records chained (#1 to #4)."},
    {"plain_recomputed_anchored", false, VerifyKey::kNone, true,
     std::string(kDropTriggers) + "UPDATE operator_events SET new_value = '9' WHERE id = 2;", true,
     "Audit trail broken: record #4 is not the head anchored in ANCHOR (record #4): the trail "
     "has been rewritten."},
    {"plain_anchored_untouched", false, VerifyKey::kNone, true, "", false,
     "Audit trail intact: 4 records chained (#1 to #4)."},
    {"keyed_untouched", true, VerifyKey::kSame, false, "", false,
     "Audit trail intact: 4 records chained (#1 to #4, signed with the audit key from #1)."},
    {"keyed_without_key", true, VerifyKey::kNone, false, "", false,
     "Audit trail cannot be verified: its records from #1 on are signed with an audit key; set "
     "\"audit_key_file\" in the host configuration's \"security\" to the file of that key."},
    {"keyed_other_key", true, VerifyKey::kOther, false, "", false,
     "Audit trail broken: record #1 has been changed since it was written."},
    {"keyed_tail_trimmed", true, VerifyKey::kSame, false, kTrim + kRestoreTriggers, false,
     "Audit trail broken: the head does not carry the audit key's seal: records after #2 may "
     "have been removed."},
    {"keyed_tail_trimmed_head_removed", true, VerifyKey::kSame, false,
     kTrim + "DELETE FROM audit_chain_head;" + kRestoreTriggers, false,
     "Audit trail broken: the head that names the last record has been removed."},
    {"keyed_recomputed_plain", true, VerifyKey::kSame, false,
     std::string(kDropTriggers) + "UPDATE operator_events SET new_value = '9' WHERE id = 2;", true,
     "Audit trail broken: record #1 has been changed since it was written."},
    // The marker set back to a plain chain and every hash recomputed: the anchor remembers.
    {"keyed_downgraded_anchored", true, VerifyKey::kSame, true,
     std::string(kDropTriggers) +
         "DROP VIEW audit_chain_marker; CREATE VIEW audit_chain_marker AS SELECT 1 AS "
         "chained_from, 0 AS keyed_from;",
     true,
     "Audit trail broken: record #4 is not the head anchored in ANCHOR (record #4): the trail "
     "has been rewritten."},
};

class AuditAttackTest : public ::testing::TestWithParam<Attack> {
 protected:
  AuditLogOptions Options(bool keyed) const {
    AuditLogOptions options;
    options.path = (folder_ / "audit.db").string();
    if (keyed) options.key_file = KeyFile(kKey);
    return options;
  }
  std::string KeyFile(const std::string& key, mode_t mode = 0600) const {
    std::filesystem::remove(folder_ / "audit.key");
    const std::string path = folder_.Write("audit.key", key);
    chmod(path.c_str(), mode);
    return path;
  }
  // Every hash of the store and its head computed anew, as an attacker without the key can.
  void Recompute() const {
    TestDb db(folder_ / "audit.db");
    std::string previous;
    int64_t last = 0;
    for (const AuditRecord& r : ReadAuditTrail(Options(false).path).records) {
      previous = ChainHash(previous, r);
      last = r.id;
      db.Exec("UPDATE operator_events SET hash = '" + previous +
              "' WHERE id = " + std::to_string(r.id));
    }
    db.Exec("UPDATE audit_chain_head SET last_id = " + std::to_string(last) + ", last_hash = '" +
            previous + "', seal = ''");
    db.Exec(kRestoreTriggers);
  }
  testing::TestFolder folder_;
};

TEST_P(AuditAttackTest, VerifyGivesTheExactVerdict) {
  const Attack& a = GetParam();
  for (const char* qty : {"1", "2", "3", "4"}) AppendAuditRecord(Options(a.keyed), Record(qty));
  const std::string anchor = (folder_ / "anchor").string();
  if (a.anchored) WriteAuditAnchor(anchor, AnchorOf(ReadAuditTrail(Options(false).path)));
  if (!a.sql.empty()) TestDb(folder_ / "audit.db").Exec(a.sql);
  if (a.recompute) Recompute();
  const std::string key = a.verify_key == VerifyKey::kSame    ? kKey
                          : a.verify_key == VerifyKey::kOther ? std::string(32, 'o')
                                                              : "";
  const AuditTrail trail = ReadAuditTrail(Options(false).path);
  AuditVerdict verdict = VerifyAuditTrail(trail, key);
  if (verdict.intact && a.anchored) {
    const AuditVerdict held = CheckAuditAnchor(trail, *ReadAuditAnchor(anchor), "ANCHOR");
    if (!held.intact) verdict = held;
  }
  EXPECT_EQ(verdict.summary, a.summary);
  EXPECT_EQ(verdict.intact, std::string(a.summary).find(" intact: ") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Attacks, AuditAttackTest, ::testing::ValuesIn(kAttacks),
                         [](const auto& info) { return std::string(info.param.name); });

// The same store, one scenario per test rather than per attack.
class AuditKeyTest : public AuditAttackTest {};

// Records as a reader might hand them over out of order: the walk refuses to sort them out.
TEST_F(AuditKeyTest, RecordsOutOfOrderAreAFault) {
  for (const char* qty : {"1", "2", "3"}) AppendAuditRecord(Options(false), Record(qty));
  AuditTrail trail = ReadAuditTrail(Options(false).path);
  ASSERT_TRUE(VerifyAuditTrail(trail).intact);
  trail.records[1] = trail.records[0];
  EXPECT_EQ(VerifyAuditTrail(trail).summary,
            "Audit trail broken: record #1 is out of order after record #1.");
  // Older records are not numbered without gaps, but still in order.
  AuditTrail older;
  older.records.resize(2);
  older.records[0].id = 5;
  older.records[1].id = 3;
  EXPECT_EQ(VerifyAuditTrail(older).summary,
            "Audit trail broken: record #3 is out of order after record #5.");
  // One older record alone, before a chain not begun yet.
  AuditTrail one;
  one.has_marker = true;
  one.chained_from = 6;
  one.records.resize(1);
  one.records[0].id = 5;
  EXPECT_EQ(VerifyAuditTrail(one).summary,
            "Audit trail intact: 0 records chained, 1 older record from before chaining not "
            "verified.");
}

// Writers refuse a key file that others may read or change, or that is too short, before
// anything is written; verification reads the same file with the same checks.
TEST_F(AuditKeyTest, KeyFilesOpenToOthersOrShortAreRefused) {
  struct Case {
    std::string key;
    mode_t mode;
    const char* fault;  // nullptr: accepted
  };
  const Case cases[] = {
      {std::string(32, 'k'), 0600, nullptr},
      {std::string(32, 'k'), 0400, nullptr},
      {std::string(32, 'k'), 0700, nullptr},
      {std::string(31, 'k'), 0600, "holds 31 bytes; an audit key needs at least 32: make one"},
      {"", 0600, "holds 0 bytes; an audit key needs at least 32: make one"},
      {std::string(32, 'k'), 0644, "is open to other users (mode 0644): allow only its owner"},
      {std::string(32, 'k'), 0640, "is open to other users (mode 0640): allow only its owner"},
      {std::string(32, 'k'), 0604, "is open to other users (mode 0604): allow only its owner"},
      {std::string(32, 'k'), 0602, "is open to other users (mode 0602): allow only its owner"},
      {std::string(32, 'k'), 0601, "is open to other users (mode 0601): allow only its owner"},
  };
  const std::string path = (folder_ / "audit.key").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key.size());
    SCOPED_TRACE(c.mode);
    KeyFile(c.key, c.mode);
    AuditLogOptions options = Options(false);
    options.key_file = path;
    if (!c.fault) {
      EXPECT_EQ(ReadAuditKey(path), c.key);
      continue;
    }
    const std::string prefix = "the audit key file " + path + " " + c.fault;
    EXPECT_EQ(Raised([&] { ReadAuditKey(path); }).description().substr(0, prefix.size()), prefix);
    const platform::ComError e = Raised([&] { AppendAuditRecord(options, Record("1")); });
    EXPECT_EQ(e.code(), kErrAuditWrite);
    const std::string written = "Cannot write the operator event: " + prefix;
    EXPECT_EQ(e.description().substr(0, written.size()), written);
    EXPECT_FALSE(std::filesystem::exists(options.path));
  }
  const std::string missing = (folder_ / "none.key").string();
  EXPECT_EQ(Raised([&] { ReadAuditKey(missing); }).description(),
            "the audit key file " + missing +
                " does not exist (audit_key_file in the host configuration): make one with `head "
                "-c 32 /dev/urandom > " +
                missing + " && chmod 600 " + missing + "` and keep a copy in a safe place");
  EXPECT_EQ(Raised([&] { ReadAuditKey(folder_.path().string()); }).description(),
            "the audit key file " + folder_.path().string() + " is not a regular file");
  const std::string under_a_file = path + "/key";  // any other failure of stat
  EXPECT_EQ(Raised([&] { ReadAuditKey(under_a_file); }).description(),
            "the audit key file " + under_a_file + " cannot be read (Not a directory)");
  // A regular file of the owner's that the bounded read refuses: its reason, not "0 bytes".
  std::filesystem::resize_file(KeyFile(std::string(32, 'k')), platform::kWholeFileLimit + 1);
  EXPECT_EQ(Raised([&] { ReadAuditKey(path); }).description(),
            "the audit key file " + path + " cannot be read (larger than 16 MiB)");
}

// A plain store keyed later keeps its plain records verifiable; once keyed, a write without
// the key is refused, so that dropping the setting cannot end the proof unnoticed.
TEST_F(AuditKeyTest, APlainStoreKeyedLaterStaysKeyed) {
  AppendAuditRecord(Options(false), Record("1"));
  AppendAuditRecord(Options(false), Record("2"));
  EXPECT_EQ(VerifyAuditTrail(ReadAuditTrail(Options(false).path), kKey).summary,
            "Audit trail intact: 2 records chained (#1 to #2, none signed with the audit key).");
  EXPECT_EQ(ReadAuditTrail(Options(false).path).head_seal, "");  // a plain head has no seal
  AppendAuditRecord(Options(true), Record("3"));
  AppendAuditRecord(Options(true), Record("4"));
  const AuditTrail trail = ReadAuditTrail(Options(false).path);
  EXPECT_EQ(std::to_string(trail.chained_from) + " " + std::to_string(trail.keyed_from), "1 3");
  EXPECT_EQ(VerifyAuditTrail(trail, kKey).summary,
            "Audit trail intact: 4 records chained (#1 to #4, signed with the audit key from #3).");
  EXPECT_FALSE(VerifyAuditTrail(trail).intact);
  const platform::ComError e = Raised([&] { AppendAuditRecord(Options(false), Record("5")); });
  EXPECT_EQ(e.description(),
            "Cannot write the operator event: the audit database " + Options(false).path +
                " is signed with an audit key from record #3 on; set \"audit_key_file\" in the "
                "host configuration's \"security\" to the file of that key");
  EXPECT_EQ(ReadAuditTrail(Options(false).path).records.size(), 4u);
  // The keyed records' hashes are not the plain ones.
  EXPECT_NE(trail.records[2].hash, ChainHash(trail.records[1].hash, trail.records[2]));
  EXPECT_EQ(trail.records[2].hash, ChainHash(trail.records[1].hash, trail.records[2], kKey));
  EXPECT_EQ(trail.head_seal, HeadSeal(4, trail.records[3].hash, kKey));
  // A store keyed from its very first record is keyed as well.
  AuditLogOptions first = Options(true);
  first.path = (folder_ / "first.db").string();
  AppendAuditRecord(first, Record("1"));
  first.key_file.clear();
  EXPECT_NE(Raised([&] { AppendAuditRecord(first, Record("2")); })
                .description()
                .find("is signed with an audit key from record #1 on"),
            std::string::npos);
}

// A chained store from before the marker and the seal: its next write adds both, and the
// chain is marked from its first hashed record, not from the record written then.
TEST_F(AuditKeyTest, AChainedStoreWithoutMarkerIsMarkedFromItsFirstHashedRecord) {
  for (const char* qty : {"1", "2"}) AppendAuditRecord(Options(false), Record(qty));
  TestDb(folder_ / "audit.db")
      .Exec("DROP VIEW audit_chain_marker; ALTER TABLE audit_chain_head DROP COLUMN seal");
  EXPECT_FALSE(ReadAuditTrail(Options(false).path).has_marker);
  AppendAuditRecord(Options(false), Record("3"));
  const AuditTrail trail = ReadAuditTrail(Options(false).path);
  EXPECT_EQ(std::to_string(trail.has_marker) + " " + std::to_string(trail.chained_from), "1 1");
  EXPECT_EQ(VerifyAuditTrail(trail).summary, "Audit trail intact: 3 records chained (#1 to #3).");
}

// The marker removed from a store that had it (its head has the seal column), the first
// hashes blanked: the next write does not take the blanked records for older ones.
TEST_F(AuditKeyTest, AMarkerRemovedFromAMarkedStoreIsMadeAnewFromTheFirstRecord) {
  for (const char* qty : {"1", "2"}) AppendAuditRecord(Options(false), Record(qty));
  TestDb(folder_ / "audit.db")
      .Exec(std::string(kDropTriggers) +
            "DROP VIEW audit_chain_marker; UPDATE operator_events SET hash = '' WHERE id = 1");
  AppendAuditRecord(Options(false), Record("3"));
  const AuditTrail trail = ReadAuditTrail(Options(false).path);
  EXPECT_EQ(trail.chained_from, 1);
  EXPECT_EQ(VerifyAuditTrail(trail).summary,
            "Audit trail broken: record #1 carries no hash: it was put in outside the audit "
            "trail.");
}

// A chain start of 0 in the marker means none: keying starts the chain at the record then
// written. A store from before the marker whose first hashed record has id 0 (put in by hand)
// is still marked from #1.
TEST_F(AuditKeyTest, AChainStartIsNeverBelowTheFirstRecord) {
  for (const char* qty : {"1", "2"}) AppendAuditRecord(Options(false), Record(qty));
  TestDb(folder_ / "audit.db")
      .Exec(
          "DROP VIEW audit_chain_marker; CREATE VIEW audit_chain_marker AS SELECT 0 AS "
          "chained_from, 0 AS keyed_from");
  AppendAuditRecord(Options(true), Record("3"));
  AuditTrail trail = ReadAuditTrail(Options(false).path);
  EXPECT_EQ(std::to_string(trail.chained_from) + " " + std::to_string(trail.keyed_from), "3 3");
  AuditLogOptions older;
  older.path = (folder_ / "older.db").string();
  AppendAuditRecord(older, Record("1"));
  TestDb(older.path)
      .Exec("DROP VIEW audit_chain_marker; ALTER TABLE audit_chain_head DROP COLUMN seal; " +
            PutIn("0") + "; " + std::string(kDropTriggers) +
            "UPDATE operator_events SET hash = 'x' WHERE id = 0");
  AppendAuditRecord(older, Record("2"));
  EXPECT_EQ(ReadAuditTrail(older.path).chained_from, 1);
}

TEST(AuditKeyConfig, TheKeyFileIsTakenFromTheConfigurationsFolder) {
  const std::string text =
      R"({"format": 1, "security": {"audit_database": "a.db", "audit_key_file": "keys/a.key"}})";
  HostConfig config = ParseHostConfig(text, "host.json");
  config.base_dir = "/etc/tabulo";
  EXPECT_EQ(AuditStoreOf(config).key_file, "/etc/tabulo/keys/a.key");
  config.security.audit_key_file = "/srv/a.key";
  EXPECT_EQ(AuditStoreOf(config).key_file, "/srv/a.key");
  EXPECT_EQ(AuditStoreOf(ParseHostConfig(R"({"format": 1})", "host.json")).key_file, "");
  EXPECT_NE(Raised([] {
              ParseHostConfig(R"({"format": 1, "security": {"audit_key_file": ""}})", "h.json");
            })
                .description()
                .find("key \"audit_key_file\": empty path"),
            std::string::npos);
}

TEST(AuditAnchor, RoundTripsAndRefusesOtherFiles) {
  testing::TestFolder folder;
  const std::string path = (folder / "anchor").string();
  EXPECT_FALSE(ReadAuditAnchor(path).has_value());
  WriteAuditAnchor(path, AuditAnchor{12, "ab12", 3});
  const std::optional<AuditAnchor> read = ReadAuditAnchor(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(std::to_string(read->id) + " " + read->hash + " " + std::to_string(read->keyed_from),
            "12 ab12 3");
  WriteAuditAnchor(path, AuditAnchor{});
  EXPECT_EQ(ReadAuditAnchor(path)->hash, "");
  // At most 4096 bytes are read.
  const std::string valid = "tabulo audit anchor\nid 1\nhash ab\nkeyed_from 0\n";
  folder.Write("anchor", valid + std::string(4096 - valid.size(), '\n'));
  EXPECT_EQ(ReadAuditAnchor(path)->id, 1);
  folder.Write("anchor", valid + std::string(4097 - valid.size(), '\n'));
  EXPECT_EQ(Raised([&] { ReadAuditAnchor(path); }).description(),
            "The audit anchor " + path + " cannot be read (larger than 4096 bytes)");
  for (const char* text : {"", "tabulo audit anchor\nid 1\nhash ab\n",
                           "tabulo audit anchor\nid 1\nhash ab\nkeyed_from 0\nmore\n",
                           "tabulo audit anchor\nid -1\nhash ab\nkeyed_from 0\n",
                           "tabulo audit anchor\nid x\nhash ab\nkeyed_from 0\n",
                           "tabulo anchor\nid 1\nhash ab\nkeyed_from 0\n"}) {
    SCOPED_TRACE(text);
    folder.Write("anchor", text);
    const platform::ComError e = Raised([&] { ReadAuditAnchor(path); });
    EXPECT_EQ(e.code(), kErrAuditRead);
    EXPECT_EQ(e.description(),
              "The audit anchor " + path +
                  " is not an audit anchor; move it away to anchor the trail anew");
  }
}

// An anchor is checked against the records below it too: a record cut out under the head
// and the keying changed since.
TEST(AuditAnchor, NamesWhatChangedBelowTheAnchoredHead) {
  AuditTrail trail;
  for (int64_t id : {1, 2, 4}) {
    AuditRecord r;
    r.id = id;
    r.hash = "h" + std::to_string(id);
    trail.records.push_back(r);
  }
  struct Case {
    AuditAnchor anchor;
    const char* summary;  // "": held
  };
  const Case cases[] = {
      {{4, "h4", 0}, ""},
      {{2, "h2", 0}, ""},
      {{0, "", 0}, ""},
      {{1, "h9", 0},
       "Audit trail broken: record #1 is not the head anchored in A (record #1): the trail has "
       "been rewritten."},
      {{3, "h3", 0},
       "Audit trail broken: record #3 is missing: the head anchored in A (record #3)."},
      {{5, "h5", 0},
       "Audit trail broken: record #5 is missing below the head anchored in A (record #5)."},
      {{2, "h2", 1},
       "Audit trail broken: the trail was signed with the audit key from #1 when anchored in A, "
       "now it is not."},
      {{2, "h2", 2},
       "Audit trail broken: the trail was signed with the audit key from #2 when anchored in A, "
       "now it is not."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.anchor.id);
    const AuditVerdict v = CheckAuditAnchor(trail, c.anchor, "A");
    EXPECT_EQ(v.summary, c.summary);
    EXPECT_EQ(v.intact, *c.summary == '\0');
  }
  EXPECT_EQ(CheckAuditAnchor(AuditTrail{}, AuditAnchor{1, "h1", 0}, "A").summary,
            "Audit trail broken: record #1 is missing below the head anchored in A (record #1).");
  trail.keyed_from = 3;
  EXPECT_EQ(CheckAuditAnchor(trail, AuditAnchor{4, "h4", 2}, "A").summary,
            "Audit trail broken: the trail was signed with the audit key from #2 when anchored in "
            "A, now from #3.");
  EXPECT_TRUE(CheckAuditAnchor(trail, AuditAnchor{4, "h4", 0}, "A").intact);
  trail.keyed_from = 1;
  EXPECT_EQ(CheckAuditAnchor(trail, AuditAnchor{4, "h4", 2}, "A").summary,
            "Audit trail broken: the trail was signed with the audit key from #2 when anchored in "
            "A, now from #1.");
}

TEST(AuditListing, ControlCharactersInFieldsAreShownEscaped) {
  AuditRecord r;
  r.id = 7;
  r.recorded_at = "2026-12-07T21:46:49.123Z";
  r.event = OperatorEvent{"Local Logging",
                          kRefusedSignatureEvent,
                          "",
                          "Plant: Prod - Orders",
                          "\x1b[2J\r\n#99 ok\x7f\xc2\x9b"
                          "1m\xff",
                          "",
                          "",
                          "",
                          "bad\x1b"};
  EXPECT_EQ(FormatAuditRecord(r),
            "#7 2026-12-07T21:46:49.123Z sign-in refused for \\x1B[2J\\r\\n#99 ok\\x7F\\xC2\\x9B1m"
            "\\xFF (\"bad\\x1B\"); Plant: Prod - Orders, column : \"\" -> \"\"; "
            "ESignatureRefused, cluster Local Logging");
}

}  // namespace
}  // namespace tabulo::host
