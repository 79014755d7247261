// The rowid collector function.
#include "host/servers/sqlite/rowid_collector.h"

namespace tabulo::host::sqlite {
namespace {

// The clock is read once every this many rows only.
constexpr int64_t kProgressStride = 1 << 16;

void Step(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* sink = static_cast<RowidCollector*>(sqlite3_user_data(context));
  if (!sink) return;
  sink->ids.Append(sqlite3_value_int64(argv[0]));
  if (sink->progress.sink && sink->ids.size() % kProgressStride == 0) {
    ReportProgressIfDue(sink->progress.sink, sink->ids.size(), sink->started, sink->progress.after,
                        &sink->next_report);
  }
}

void Final(sqlite3_context* context) {
  sqlite3_result_null(context);
}

}  // namespace

void RegisterRowidCollector(sqlite3* db, RowidCollector* sink) {
  sqlite3_create_function_v2(db, kCollectorFunction, 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, sink,
                             nullptr, Step, Final, nullptr);
}

void ReportProgressIfDue(const ProgressCallback& progress, int64_t rows,
                         std::chrono::steady_clock::time_point started,
                         std::chrono::milliseconds after,
                         std::chrono::steady_clock::time_point* next) {
  const auto now = std::chrono::steady_clock::now();
  if (*next == std::chrono::steady_clock::time_point{}) *next = started + after;
  if (now < *next) return;
  *next = now + after;
  progress(rows);
}

}  // namespace tabulo::host::sqlite
