// The display's log: one JSON object per line on standard error, for a log collector to read.
// Every line has "time" (ISO-8601, UTC, milliseconds), "level" ("info", "warn", "error"),
// "event", and, on a session's thread, "session" (the session's serial number, never its
// id: that admits requests) and "operator"; then the caller's own fields. Callers pass only
// safe facts (counts, durations, statuses, error numbers): never cells' values, statements'
// literals, messages of the data server (which may quote a row), passwords or tokens.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace tabulo::web {

// Who the calling thread's lines are about; empty fields are left out.
struct LogContext {
  std::string session;
  std::string operator_name;
};
void SetThreadLogContext(LogContext context);
const LogContext& ThreadLogContext();

// Writes one line. `fields` is an object (or null).
void LogEvent(std::string_view level, std::string_view event,
              const nlohmann::json& fields = nullptr);

// Where lines go instead of standard error (nullptr: back to it); each call gets one line
// without its line break.
void SetLogSink(std::function<void(const std::string&)> sink);

// The time `ms` (milliseconds since 1970) as 2026-12-09T06:01:02.123Z.
std::string IsoTime(int64_t ms);

}  // namespace tabulo::web
