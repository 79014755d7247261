#include "container/load_progress.h"

#include <cstdio>
#include <utility>

namespace tabulo::container {
namespace {

// The part of the process state that holds the sink.
struct LoadProgress {
  LoadProgressSink sink;
};

}  // namespace

LoadProgressSink SetLoadProgressSink(platform::ProcessState& state, LoadProgressSink sink) {
  return std::exchange(state.Get<LoadProgress>().sink, std::move(sink));
}

void ReportLoadProgress(platform::ProcessState& state, int64_t rows) {
  if (const LoadProgressSink& sink = state.Get<LoadProgress>().sink) sink(rows);
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
