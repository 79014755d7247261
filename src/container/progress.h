// A progress bar on standard error, drawn only when standard error is a terminal, so that
// logs and CI output stay clean.
#pragma once

#include <cstdint>
#include <string>

namespace tabulo::container {

class Progress {
 public:
  Progress(std::string label, int64_t total);
  ~Progress();
  void Update(int64_t done);
  void Finish();

 private:
  std::string label_;
  int64_t total_;
  int last_percent_ = -1;
  bool enabled_;
  bool finished_ = false;
};

}  // namespace tabulo::container
