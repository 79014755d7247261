// tabulo sample-db PATH [--rows N] [--force]: writes the deterministic sample database
// (container/sample_db.h).
#include <charconv>
#include <iostream>
#include <string>

#include <filesystem>

#include "commands.h"
#include "container/sample_db.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {

int SampleDbCommand(const Args& args) {
  using container::kMaxSampleRows;
  if (HelpAsked("sample-db", args)) return 0;
  std::string path;
  bool force = false;
  int64_t rows = container::kDefaultSampleRows;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--rows" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), rows);
      if (ec != std::errc() || end != v.data() + v.size() || rows < 0 || rows > kMaxSampleRows) {
        return UsageError(
            "sample-db", "--rows takes a whole number from 0 to " + std::to_string(kMaxSampleRows));
      }
    } else if (args[i] == "--force") {
      force = true;
    } else if (path.empty() && !args[i].starts_with("--")) {
      path = args[i];
    } else {
      return UsageError("sample-db", "unexpected argument '" + args[i] + "'");
    }
  }
  if (path.empty()) return UsageError("sample-db", "no PATH given");
  std::error_code ec;
  if (!force && std::filesystem::exists(path, ec)) {
    std::cerr << "tabulo sample-db: " << path << " exists; give --force to replace it\n";
    return kExitFailure;
  }
  try {
    container::WriteSampleDatabase(path, rows);
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo sample-db: " << e.description() << "\n";
    return 1;
  }
  std::cout << "Wrote " << rows << " rows to " << path << "\n";
  return 0;
}

}  // namespace tabulo::app
