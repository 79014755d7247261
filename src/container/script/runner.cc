// The core of `tabulo script`: the command table, argument readers and the line loop.
#include "container/script/runner.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "container/script/error.h"
#include "container/script/value.h"
#include "platform/text/plain_text.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

std::string CountText(int n) {
  return n == 1 ? "1 argument" : std::to_string(n) + " arguments";
}

void CheckCount(const std::string& name, const Command& command, int count) {
  bool too_few = count < command.min_args;
  bool too_many = command.max_args != Command::kAnyCount && count > command.max_args;
  if (!too_few && !too_many) return;
  std::string expected;
  if (command.min_args == command.max_args) {
    expected = CountText(command.min_args);
  } else if (command.max_args == Command::kAnyCount) {
    expected = "at least " + CountText(command.min_args);
  } else {
    expected = CountText(command.min_args) + " to " + std::to_string(command.max_args);
  }
  throw ScriptError(name + " takes " + expected + ", given " + std::to_string(count) + " (" +
                    command.usage + ")");
}

}  // namespace

platform::Variant CommandContext::Value(size_t i) const {
  try {
    return ParseValue(Arg(i));
  } catch (const ScriptError& e) {
    throw ScriptError("bad value in argument " + std::to_string(i + 1) + " of " + line.command +
                      ": " + e.what());
  }
}

int32_t CommandContext::Integer(size_t i, int32_t min, int32_t max) const {
  platform::Variant v = Value(i);
  using platform::VarType;
  if (v.type() != VarType::Long && v.type() != VarType::Integer && v.type() != VarType::Byte) {
    throw ScriptError(line.command + " expects a whole number in argument " +
                      std::to_string(i + 1) + ", given " + Arg(i));
  }
  int32_t n = v.AsLong();
  if (n < min || n > max) {
    throw ScriptError(line.command + ": argument " + std::to_string(i + 1) + " out of range (" +
                      std::to_string(min) + " to " + std::to_string(max) + "), given " + Arg(i));
  }
  return n;
}

std::vector<platform::Variant> CommandContext::Values(size_t first) const {
  std::vector<platform::Variant> values;
  for (size_t i = first; i < line.args.size(); ++i) values.push_back(Value(i));
  return values;
}

platform::DispId CommandContext::MemberId(std::string_view name) const {
  try {
    return host.control().GetIdOfName(name);
  } catch (const platform::ComError& e) {
    if (e.number() != platform::kErrNotSupported) throw;
    throw ScriptError("unknown member '" + std::string(name) + "' of " +
                      host.control().ClassName());
  }
}

Command CommandTable::Add(std::string name, Command command) {
  Command previous;
  auto [it, inserted] = commands_.try_emplace(platform::AsciiLower(name), Command{});
  if (!inserted) previous = std::move(it->second);
  it->second = std::move(command);
  return previous;
}

const Command* CommandTable::Find(std::string_view name) const {
  auto it = commands_.find(platform::AsciiLower(name));
  return it == commands_.end() ? nullptr : &it->second;
}

std::vector<std::string> CommandTable::Names() const {
  std::vector<std::string> names;
  for (const auto& [name, command] : commands_) names.push_back(name);
  return names;
}

ScriptRunner::ScriptRunner(ScriptHost& host, std::ostream& out, std::ostream& err)
    : host_(host), out_(out), err_(err), events_(std::make_shared<EventLog>()) {
  host_.control().Advise(events_);
  AddBuiltins();
  host_.AddCommands(commands_);
}

void ScriptRunner::RunLine(const ScriptLine& line) {
  const Command* command = commands_.Find(line.command);
  if (command == nullptr || !command->run) {
    throw ScriptError("unknown command '" + line.command + "'", line.number);
  }
  try {
    CheckCount(line.command, *command, static_cast<int>(line.args.size()));
    CommandContext context{host_, line, out_, this};
    try {
      command->run(context);
    } catch (const platform::ComError& e) {
      // Raised to the script: a result of the line, printed where the results go.
      out_ << "ERROR " << e.number() << ": " << e.description() << "\n";
    }
  } catch (const ScriptError& e) {
    if (e.line() != 0) throw;
    throw ScriptError(e.what(), line.number);
  }
}

bool ScriptRunner::RunNested(const std::function<bool()>& closed) {
  while (!closed()) {
    std::optional<ScriptLine> line = reader_ ? reader_->Next() : std::nullopt;
    if (!line) return false;
    RunLine(*line);
    if (after_line) after_line(out_);
  }
  return true;
}

int ScriptRunner::Run(std::istream& in) {
  ScriptReader reader(in);
  reader_ = &reader;
  int line_number = 0;
  try {
    while (auto line = reader.Next()) {
      line_number = line->number;
      RunLine(*line);
      if (after_line) after_line(out_);
    }
  } catch (const ScriptError& e) {
    reader_ = nullptr;
    out_.flush();
    err_ << "line " << e.line() << ": " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    reader_ = nullptr;
    out_.flush();
    err_ << "line " << line_number << ": unexpected failure: " << e.what() << "\n";
    return 1;
  }
  reader_ = nullptr;
  out_.flush();
  return 0;
}

int RunScriptFile(const std::string& path, ScriptHost& host, std::ostream& out, std::ostream& err) {
  if (path == "-") return ScriptRunner(host, out, err).Run(std::cin);
  std::error_code ec;
  std::ifstream file;
  // A folder opens as a stream on some systems and then reads as an empty script.
  if (!std::filesystem::is_directory(path, ec)) file.open(path, std::ios::binary);
  if (!file.is_open()) {
    err << "tabulo script: cannot read '" << path << "'\n";
    return 2;
  }
  return ScriptRunner(host, out, err).Run(file);
}

}  // namespace tabulo::container
