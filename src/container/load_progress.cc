#include "container/load_progress.h"

#include <cstdio>
#include <utility>

namespace tabulo::container {
namespace {

// One per user-interface thread, as the rest of the process state.
LoadProgressSink& Sink() {
  thread_local LoadProgressSink sink;
  return sink;
}

}  // namespace

LoadProgressSink SetLoadProgressSink(LoadProgressSink sink) {
  return std::exchange(Sink(), std::move(sink));
}

void ReportLoadProgress(int64_t rows) {
  if (Sink()) Sink()(rows);
}

std::string LoadProgressText(int64_t rows) {
  std::string digits = std::to_string(rows);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return "Loading: " + grouped + " rows so far";
}

LoadProgressSink StderrLoadProgress() {
  return [](int64_t rows) {
    std::fprintf(stderr, "%s\n", LoadProgressText(rows).c_str());
    std::fflush(stderr);
  };
}

}  // namespace tabulo::container
