// The deterministic sample database that the demo, the acceptance scripts and the benchmarks
// browse: one Orders table whose rows are derived from their Id alone, so that the same row
// count always gives the same data.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tabulo::container {

inline constexpr int64_t kDefaultSampleRows = 1000;
inline constexpr int64_t kMaxSampleRows = 100'000'000;

// Writes `rows` orders (0..kMaxSampleRows) to `path`, replacing the file atomically: an
// interrupted or failed run never leaves a half-written database under that name. Shows a
// progress bar on standard error when it is a terminal. Raises platform::ComError with a
// description naming what failed.
void WriteSampleDatabase(const std::filesystem::path& path, int64_t rows);

}  // namespace tabulo::container
