// The event lines of `tabulo script`.
#include "script_events.h"

#include <utility>

#include "script_value.h"

namespace tabulo::app {

std::string FormatEvent(std::string_view name, const std::vector<platform::Variant>& args) {
  std::string line = "EVENT ";
  line += name;
  line += '(';
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line += ", ";
    line += FormatValue(args[i]);
  }
  line += ')';
  return line;
}

void EventLog::OnEvent(platform::DispId, std::string_view name,
                       std::vector<platform::Variant>& args) {
  lines_.push_back(FormatEvent(name, args));
}

std::vector<std::string> EventLog::Take() {
  return std::exchange(lines_, {});
}

}  // namespace tabulo::app
