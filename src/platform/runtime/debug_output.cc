// The process-wide debug-output sink and the two sinks the platform provides.
#include "platform/runtime/debug_output.h"

#include <cstdio>

namespace tabulo::platform {
namespace {

// Process-wide by design, like the operating system's debug output. Everything runs on
// the user-interface thread, so no locking.
DebugSink* g_debug_sink = nullptr;

}  // namespace

void OutputDebugString(std::string_view text) {
  if (g_debug_sink != nullptr) g_debug_sink->Write(text);
}

DebugSink* SetDebugSink(DebugSink* sink) {
  DebugSink* previous = g_debug_sink;
  g_debug_sink = sink;
  return previous;
}

DebugSink* CurrentDebugSink() {
  return g_debug_sink;
}

void RecordingDebugSink::Write(std::string_view text) {
  writes_.emplace_back(text);
  for (char c : text) {
    if (c == '\n') {
      if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
      lines_.push_back(std::move(pending_));
      pending_.clear();
    } else {
      pending_ += c;
    }
  }
}

void RecordingDebugSink::Clear() {
  writes_.clear();
  lines_.clear();
  pending_.clear();
}

void StderrDebugSink::Write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tabulo::platform
