// The sample database (sample_db.h), written by SQLite into the temporary file of an atomic
// replacement.
#include "container/sample_db.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "container/progress.h"
#include "platform/storage/atomic_file.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

constexpr const char* kCustomers[] = {
    "Acme Corp",        "O'Brien & Sons",   "Müller GmbH",   "Lefèvre SARL",
    "Northwind",        "D'Angelo Foods",   "Contoso Ltd",   "Fabrikam",
    "Østergaard A/S",   "Smith \"Big\" Co", "Tailspin Toys", "Wide World Importers",
    "Żabka Sp. z o.o.", "Adventure Works",  "Coho Winery",   "Blue Yonder"};
constexpr int kCustomerCount = sizeof(kCustomers) / sizeof(kCustomers[0]);

constexpr const char* kNotes[] = {"Urgent",         "Call before delivery", "Gift wrap",
                                  "Second attempt", "Leave at the gate",    "Fragile"};
constexpr int kNoteCount = sizeof(kNotes) / sizeof(kNotes[0]);

// A small, fixed mixing function: the data must not depend on the C library's rand().
uint64_t Mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb3f97cdd3b1aULL;
  x ^= x >> 33;
  return x;
}

void FormatTimestamp(int64_t id, char* out, size_t size) {
  // One order every 37 seconds from 2020-01-01 00:00:00, within the calendar.
  int64_t seconds = (id - 1) * 37;
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  // Civil date from days since 2020-01-01 (Howard Hinnant's algorithm, days since 1970).
  int64_t z = days + 18262 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  std::snprintf(out, size, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                static_cast<long long>(rest % 60));
}

// SQLite's messages name no file: the description names the target the caller knows.
platform::ComError Failure(const std::filesystem::path& target, const std::string& what) {
  return platform::ComError(platform::kErrPathFileAccess,
                            "cannot write " + target.string() + ": " + what, "tabulo sample-db");
}

void Exec(sqlite3* db, const char* sql, const std::filesystem::path& target) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string what = err ? err : "error";
    sqlite3_free(err);
    throw Failure(target, what);
  }
}

// Closes the connection however Generate leaves.
struct Closer {
  sqlite3* db;
  ~Closer() { sqlite3_close(db); }
};

// Writes the sample into the file at `path`, which becomes `target`.
void Generate(const std::filesystem::path& path, const std::filesystem::path& target,
              int64_t rows) {
  sqlite3* db = nullptr;
  int opened =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  Closer closer{db};
  if (opened != SQLITE_OK) throw Failure(target, sqlite3_errmsg(db));
  // A new file written in one transaction: no journal is needed, and a failure removes the
  // partial file anyway.
  Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;", target);
  Exec(db,
       "CREATE TABLE Orders(Id INTEGER PRIMARY KEY, Customer VARCHAR(40), Qty INTEGER, "
       "Price DOUBLE, Placed TIMESTAMP, Note VARCHAR(200));",
       target);
  Exec(db, "BEGIN;", target);
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO Orders VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &insert,
                         nullptr) != SQLITE_OK)
    throw Failure(target, sqlite3_errmsg(db));
  Progress progress("Orders", rows);
  char placed[96];
  for (int64_t id = 1; id <= rows; ++id) {
    uint64_t h = Mix(static_cast<uint64_t>(id));
    sqlite3_bind_int64(insert, 1, id);
    sqlite3_bind_text(insert, 2, kCustomers[h % kCustomerCount], -1, SQLITE_STATIC);
    sqlite3_bind_int64(insert, 3, (id - 1) % 500);  // Qty spread evenly over 0..499
    sqlite3_bind_double(insert, 4, static_cast<double>((h >> 16) % 100000) / 100.0);
    FormatTimestamp(id, placed, sizeof placed);
    sqlite3_bind_text(insert, 5, placed, -1, SQLITE_TRANSIENT);
    if (id % 7 == 0)
      sqlite3_bind_null(insert, 6);
    else
      sqlite3_bind_text(insert, 6, kNotes[(h >> 8) % kNoteCount], -1, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) {
      std::string what = sqlite3_errmsg(db);
      sqlite3_finalize(insert);
      throw Failure(target, what);
    }
    sqlite3_reset(insert);
    if ((id & 0xFFFF) == 0) progress.Update(id);
  }
  progress.Update(rows);
  progress.Finish();
  sqlite3_finalize(insert);
  Exec(db, "COMMIT;", target);
  // The sample is kept in WAL mode: a browsing record set then holds a read snapshot while
  // writers go on, instead of copying the file (see the data server's snapshot notes).
  Exec(db, "PRAGMA journal_mode=WAL;", target);
  closer.db = nullptr;
  if (sqlite3_close(db) != SQLITE_OK) throw Failure(target, sqlite3_errmsg(db));
}

}  // namespace

void WriteSampleDatabase(const std::filesystem::path& path, int64_t rows) {
  if (rows < 0 || rows > kMaxSampleRows)
    throw platform::ComError::InvalidProcedureCall("tabulo sample-db");
  platform::ReplaceFileWith(
      path, [&](const std::filesystem::path& temporary) { Generate(temporary, path, rows); });
}

}  // namespace tabulo::container
