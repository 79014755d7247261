// EventLog: the events of the scripted controls, each kept as the line `events` prints:
// EVENT Name(V, V, ...) with the values in the script's output forms, as they were when the
// event was raised. The log is connected to the first control from the start and to every
// control the script creates after it; lines of control N other than the first read
// "[N] EVENT Name(...)", so a one-control session prints as it always did.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"

namespace tabulo::container {

// "EVENT Click(0, 4, 1, 0, 0)"; "EVENT DblClick()" for an event without arguments.
std::string FormatEvent(std::string_view name, const std::vector<platform::Variant>& args);

class EventLog : public platform::EventSink, public std::enable_shared_from_this<EventLog> {
 public:
  // Control 1's events.
  void OnEvent(platform::DispId id, std::string_view name,
               std::vector<platform::Variant>& args) override;
  // A sink that logs the events of control `number` into this log.
  std::shared_ptr<platform::EventSink> SinkFor(int32_t number);
  void Add(int32_t number, std::string_view name, const std::vector<platform::Variant>& args);
  // The lines since the last call, oldest first.
  std::vector<std::string> Take();

 private:
  std::vector<std::string> lines_;
};

}  // namespace tabulo::container
