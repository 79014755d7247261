// The platform's debug-output sink, the stand-in for OutputDebugStringA: components write
// diagnostic text with OutputDebugString and whoever hosts the process decides where it
// goes. The current sink is process-wide, as the operating system's is; by default the
// text is discarded, so writing costs one pointer test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo::platform {

class DebugSink {
 public:
  virtual ~DebugSink() = default;
  // Receives one OutputDebugString call's text exactly as written (line ends included).
  virtual void Write(std::string_view text) = 0;
};

// Writes `text` to the current sink; does nothing when there is none.
void OutputDebugString(std::string_view text);

// Makes `sink` the current sink (nullptr: discard) and returns the previous one. The caller
// keeps ownership and must restore the previous sink before `sink` is destroyed.
DebugSink* SetDebugSink(DebugSink* sink);
DebugSink* CurrentDebugSink();

// Keeps what is written, for tests and the container's "debug" command. Texts are kept as
// written, and also split into lines: a line ends at LF (a CR before it is dropped); text
// after the last line end waits for the next write.
class RecordingDebugSink : public DebugSink {
 public:
  void Write(std::string_view text) override;

  const std::vector<std::string>& writes() const { return writes_; }
  // Complete lines, without their line ends.
  const std::vector<std::string>& lines() const { return lines_; }
  // Text written after the last line end.
  const std::string& pending() const { return pending_; }
  void Clear();

 private:
  std::vector<std::string> writes_;
  std::vector<std::string> lines_;
  std::string pending_;
};

// Writes every text to the process's standard error, unchanged.
class StderrDebugSink : public DebugSink {
 public:
  void Write(std::string_view text) override;
};

// Installs a sink for the lifetime of a scope and puts the previous one back.
class ScopedDebugSink {
 public:
  explicit ScopedDebugSink(DebugSink* sink) : previous_(SetDebugSink(sink)) {}
  ~ScopedDebugSink() { SetDebugSink(previous_); }
  ScopedDebugSink(const ScopedDebugSink&) = delete;
  ScopedDebugSink& operator=(const ScopedDebugSink&) = delete;

 private:
  DebugSink* previous_;
};

}  // namespace tabulo::platform
