#include "container/progress.h"

#include <unistd.h>

#include <cstdio>

namespace tabulo::container {

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total > 0 ? total : 1), enabled_(isatty(2) == 1) {}

Progress::~Progress() {
  Finish();
}

void Progress::Update(int64_t done) {
  if (!enabled_ || finished_) return;
  int percent = static_cast<int>(done * 100 / total_);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  constexpr int kWidth = 40;
  int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%s [%.*s%*s] %3d%% %lld/%lld", label_.c_str(), filled,
               "########################################", kWidth - filled, "", percent,
               static_cast<long long>(done), static_cast<long long>(total_));
  std::fflush(stderr);
}

void Progress::Finish() {
  if (!enabled_ || finished_) return;
  finished_ = true;
  std::fprintf(stderr, "\n");
}

}  // namespace tabulo::container
