// EventLog: an event sink connected to the scripted control from the start, keeping each
// event it raises as the line `events` prints: EVENT Name(V, V, ...) with the values in the
// script's output forms, as they were when the event was raised.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"

namespace tabulo::app {

// "EVENT Click(0, 4, 1, 0, 0)"; "EVENT DblClick()" for an event without arguments.
std::string FormatEvent(std::string_view name, const std::vector<platform::Variant>& args);

class EventLog : public platform::EventSink {
 public:
  void OnEvent(platform::DispId id, std::string_view name,
               std::vector<platform::Variant>& args) override;
  // The lines since the last call, oldest first.
  std::vector<std::string> Take();

 private:
  std::vector<std::string> lines_;
};

}  // namespace tabulo::app
