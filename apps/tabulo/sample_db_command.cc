// tabulo sample-db PATH [--rows N]: writes the deterministic sample database
// (container/sample_db.h).
#include <charconv>
#include <iostream>
#include <string>

#include "commands.h"
#include "container/sample_db.h"
#include "platform/values/com_error.h"

namespace tabulo::app {

int SampleDbCommand(const Args& args) {
  using container::kMaxSampleRows;
  std::string path;
  int64_t rows = container::kDefaultSampleRows;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--rows" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), rows);
      if (ec != std::errc() || end != v.data() + v.size() || rows < 0 || rows > kMaxSampleRows) {
        std::cerr << "tabulo sample-db: --rows takes a whole number from 0 to " << kMaxSampleRows
                  << "\n";
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
