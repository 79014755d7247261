// The display's log lines (log.h).
#include "web/log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace tabulo::web {
namespace {

thread_local LogContext t_context;

std::mutex& SinkMutex() {
  static std::mutex mu;
  return mu;
}

std::function<void(const std::string&)>& Sink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

}  // namespace

void SetThreadLogContext(LogContext context) {
  t_context = std::move(context);
}

const LogContext& ThreadLogContext() {
  return t_context;
}

std::string IsoTime(int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms % 1000));
  return text;
}

void LogEvent(std::string_view level, std::string_view event, const nlohmann::json& fields) {
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  nlohmann::ordered_json line;
  line["time"] = IsoTime(now);
  line["level"] = level;
  line["event"] = event;
  if (!t_context.session.empty()) line["session"] = t_context.session;
  if (!t_context.operator_name.empty()) line["operator"] = t_context.operator_name;
  if (fields.is_object())
    for (const auto& [name, value] : fields.items())
      if (!line.contains(name)) line[name] = value;
  const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::lock_guard lock(SinkMutex());
  if (Sink()) {
    Sink()(text);
    return;
  }
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void SetLogSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(SinkMutex());
  Sink() = std::move(sink);
}

}  // namespace tabulo::web
