// tabulo sample-db PATH [--rows N]: writes the deterministic sample database that the demo,
// the acceptance scripts and the benchmarks browse. The same N always gives the same bytes
// of data: rows are derived from their Id alone.
#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "commands.h"
#include "progress.h"

namespace tabulo::app {
namespace {

constexpr int64_t kDefaultRows = 1000;
constexpr int64_t kMaxRows = 100'000'000;

// Customers include names with quotes and non-ASCII letters, so that literals and
// rendering are exercised by the sample itself.
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

bool Exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::cerr << "tabulo sample-db: " << (err ? err : "error") << "\n";
    sqlite3_free(err);
    return false;
  }
  return true;
}

bool Generate(const std::string& path, int64_t rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::cerr << "tabulo sample-db: cannot create " << path << ": " << sqlite3_errmsg(db) << "\n";
    sqlite3_close(db);
    return false;
  }
  // A new file written in one transaction: no journal is needed, and a failure removes the
  // partial file anyway.
  bool ok = Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;") &&
            Exec(db,
                 "CREATE TABLE Orders(Id INTEGER PRIMARY KEY, Customer VARCHAR(40), Qty INTEGER, "
                 "Price DOUBLE, Placed TIMESTAMP, Note VARCHAR(200));") &&
            Exec(db, "BEGIN;");
  sqlite3_stmt* insert = nullptr;
  if (ok && sqlite3_prepare_v2(db, "INSERT INTO Orders VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1,
                               &insert, nullptr) != SQLITE_OK) {
    std::cerr << "tabulo sample-db: " << sqlite3_errmsg(db) << "\n";
    ok = false;
  }
  Progress progress("Orders", rows);
  char placed[96];
  for (int64_t id = 1; ok && id <= rows; ++id) {
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
      std::cerr << "tabulo sample-db: " << sqlite3_errmsg(db) << "\n";
      ok = false;
    }
    sqlite3_reset(insert);
    if ((id & 0xFFFF) == 0) progress.Update(id);
  }
  progress.Update(rows);
  progress.Finish();
  sqlite3_finalize(insert);
  ok = ok && Exec(db, "COMMIT;");
  // The sample is kept in WAL mode: a browsing record set then holds a read snapshot while
  // writers go on, instead of copying the file (see the data server's snapshot notes).
  ok = ok && Exec(db, "PRAGMA journal_mode=WAL;");
  if (sqlite3_close(db) != SQLITE_OK) ok = false;
  return ok;
}

}  // namespace

int SampleDbCommand(const Args& args) {
  std::string path;
  int64_t rows = kDefaultRows;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--rows" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), rows);
      if (ec != std::errc() || end != v.data() + v.size() || rows < 0 || rows > kMaxRows) {
        std::cerr << "tabulo sample-db: --rows takes a whole number from 0 to " << kMaxRows << "\n";
        return 2;
      }
    } else if (path.empty() && !args[i].starts_with("--")) {
      path = args[i];
    } else {
      std::cerr << "tabulo sample-db: unexpected argument '" << args[i] << "'\n";
      return 2;
    }
  }
  if (path.empty()) {
    std::cerr << "usage: tabulo sample-db PATH [--rows N]\n";
    return 2;
  }
  // Written beside the target and renamed into place, so that an interrupted run never
  // leaves a half-written database under the requested name.
  std::filesystem::path target(path);
  std::filesystem::path partial = target;
  partial += ".partial";
  std::error_code ec;
  std::filesystem::remove(partial, ec);
  if (!Generate(partial.string(), rows)) {
    std::filesystem::remove(partial, ec);
    return 1;
  }
  std::filesystem::rename(partial, target, ec);
  if (ec) {
    std::cerr << "tabulo sample-db: cannot write " << path << ": " << ec.message() << "\n";
    std::filesystem::remove(partial, ec);
    return 1;
  }
  std::cout << "Wrote " << rows << " rows to " << path << "\n";
  return 0;
}

}  // namespace tabulo::app
