// tabulo export: writes the result of a statement as CSV or JSON lines (container/export.h),
// with progress on standard error for long results and the row count at the end.
#include <unistd.h>

#include <chrono>
#include <iostream>

#include "commands.h"
#include "container/export.h"
#include "container/load_progress.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {
namespace {

// From this many records on, progress is reported even when standard error is no terminal.
constexpr int64_t kLongResult = 1000000;

}  // namespace

int ExportCommand(const Args& args) {
  if (HelpAsked("export", args)) return 0;
  container::ExportRequest request;
  request.load_progress = container::StderrLoadProgress();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size() || (a != "--db" && a != "--sql" && a != "--format" && a != "--out" &&
                                 a != "--host" && a != "--server-type" && a != "--database"))
      return UsageError("export", "unexpected argument '" + a + "'");
    const std::string& v = args[++i];
    if (a == "--db") {
      request.db = v;
    } else if (a == "--sql") {
      request.sql = v;
    } else if (a == "--out") {
      request.out = v;
    } else if (a == "--host") {
      request.host_config = v;
    } else if (a == "--server-type") {
      if (v != "0" && v != "1")
        return UsageError("export",
                          "--server-type takes 0 (a data source name or SQLite file) or 1 (a "
                          "PostgreSQL server), given '" +
                              v + "'");
      request.server_type = static_cast<int16_t>(v == "1");
    } else if (a == "--database") {
      request.database = v;
    } else {
      std::optional<container::RowFormat> format = container::ParseRowFormat(v);
      if (!format) return UsageError("export", "--format takes csv or json, given '" + v + "'");
      request.format = *format;
    }
  }
  if (request.db.empty() || request.sql.empty())
    return UsageError("export", "--db and --sql are required");
  if (!request.database.empty() && request.server_type != 1)
    return UsageError("export", "--database names the database of a --server-type 1 server");
  const bool terminal = isatty(STDERR_FILENO) == 1;
  auto last = std::chrono::steady_clock::now();
  auto progress = [&](int64_t done) {
    if (!terminal && done < kLongResult) return;
    // At most a line a second.
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::seconds(1)) return;
    last = now;
    std::cerr << "tabulo export: " << done << " rows so far\n";
  };
  try {
    const int64_t rows = container::Export(request, std::cout, progress);
    std::cout.flush();
    std::cerr << "tabulo export: " << rows << (rows == 1 ? " row" : " rows");
    if (!request.out.empty()) std::cerr << " written to " << request.out;
    std::cerr << "\n";
    return 0;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo export: " << e.description() << "\n";
    return kExitFailure;
  }
}

}  // namespace tabulo::app
