// The collector behind the rowid pass: an aggregate SQL function that appends each rowid it
// is fed to a KeyList, so that the pass runs inside one statement without returning to the
// caller for each record. Internal to host/servers/sqlite.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "host/key_list.h"

namespace tabulo::host::sqlite {

inline constexpr const char* kCollectorFunction = "tabulo_collect_rowids";

// Rows collected so far, reported while a long pass runs.
using ProgressCallback = std::function<void(int64_t rows)>;

// Where a long pass reports to (may be empty): first after `after`, then once each `after`.
struct ProgressReport {
  ProgressCallback sink;
  std::chrono::milliseconds after{500};
};

struct RowidCollector {
  KeyList ids;
  ProgressReport progress;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point next_report{};
};

// (Re)defines the collector function on `db`; its rowids go to `sink` (nullptr: dropped).
// `sink` must outlive every statement that calls the function.
void RegisterRowidCollector(sqlite3* db, RowidCollector* sink);

// Calls `progress` with `rows` when it is due: first after `after` from `started`, then every
// `after`. `next` keeps the state between calls (zero at first).
void ReportProgressIfDue(const ProgressCallback& progress, int64_t rows,
                         std::chrono::steady_clock::time_point started,
                         std::chrono::milliseconds after,
                         std::chrono::steady_clock::time_point* next);

}  // namespace tabulo::host::sqlite
