// Progress of long loads: the data servers of this process report the rows a query's pass has
// collected so far (first after about half a second, then about every half second), and the
// front end shows it where its operator looks — a line on standard error for the terminal
// commands, the control's status bar panel in the full-screen browser. The control's own
// algorithms know nothing of it: the report comes from the host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/runtime/process_state.h"

namespace tabulo::container {

using LoadProgressSink = std::function<void(int64_t rows)>;

// Replaces the sink of a session's process state (empty: reports are dropped). Returns the
// one it replaces.
LoadProgressSink SetLoadProgressSink(platform::ProcessState& state, LoadProgressSink sink);
// What the session's data servers call.
void ReportLoadProgress(platform::ProcessState& state, int64_t rows);

// "Loading: 1,234,567 rows so far"
std::string LoadProgressText(int64_t rows);
// A sink writing LoadProgressText as one line on standard error for each report.
LoadProgressSink StderrLoadProgress();

}  // namespace tabulo::container
