// The event lines of `tabulo script`.
#include "container/script/events.h"

#include <utility>

#include "container/script/value.h"

namespace tabulo::container {

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

namespace {

// Holds the log weakly: a control that outlives the script's runner logs nowhere.
class NumberedSink : public platform::EventSink {
 public:
  NumberedSink(std::weak_ptr<EventLog> log, int32_t number)
      : log_(std::move(log)), number_(number) {}
  void OnEvent(platform::DispId, std::string_view name,
               std::vector<platform::Variant>& args) override {
    if (auto log = log_.lock()) log->Add(number_, name, args);
  }

 private:
  std::weak_ptr<EventLog> log_;
  int32_t number_;
};

}  // namespace

void EventLog::OnEvent(platform::DispId, std::string_view name,
                       std::vector<platform::Variant>& args) {
  Add(1, name, args);
}

std::shared_ptr<platform::EventSink> EventLog::SinkFor(int32_t number) {
  return std::make_shared<NumberedSink>(weak_from_this(), number);
}

void EventLog::Add(int32_t number, std::string_view name,
                   const std::vector<platform::Variant>& args) {
  std::string line;
  if (number != 1) {
    line += '[';  // appended piecewise: operator+ on a literal trips a false GCC 12 -Wrestrict
    line += std::to_string(number);
    line += "] ";
  }
  line += FormatEvent(name, args);
  lines_.push_back(std::move(line));
}

std::vector<std::string> EventLog::Take() {
  return std::exchange(lines_, {});
}

}  // namespace tabulo::container
