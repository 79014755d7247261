// Helpers the platform tests share: event-log tags, a runner of operation scripts, the text
// of a raised error, a font's attributes as text, and a scriptable object that cannot be saved.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/error_of.h"
#include "platform/automation/dispatch.h"
#include "platform/values/com_error.h"
#include "platform/widgets/std_font.h"

namespace tabulo::test_support {

using platform::ComError;
using platform::Dispatch;
using platform::DispId;
using platform::InvokeKind;
using platform::Variant;

using Events = std::vector<std::string>;

// "name" followed by a value, for event logs ("click" 2 -> "click2").
inline std::string Tag(std::string_view name, int64_t n) {
  std::string s(name);
  s.append(std::to_string(n));
  return s;
}

// a followed by b, without operator+ (which trips a false -Wrestrict in GCC 12).
inline std::string Cat(std::string_view a, std::string_view b) {
  return std::string(a).append(b);
}

// Runs `script`: operations separated by ";", each a verb and the rest of its text, handed to
// `run`; an operation that raises logs "error<n>". Returns `log` joined by `separator`.
inline std::string RunScript(
    std::string_view script, Events& log,
    const std::function<void(const std::string& verb, const std::string& arg)>& run,
    std::string_view separator = ", ") {
  std::istringstream ops{std::string(script)};
  for (std::string op; std::getline(ops, op, ';');) {
    op.erase(0, op.find_first_not_of(' '));
    const size_t space = op.find(' ');
    const std::string arg = space == std::string::npos ? "" : op.substr(space + 1);
    const int32_t error = ErrorOf([&] { run(op.substr(0, space), arg); });
    if (error != 0) log.push_back(Tag("error", error));
  }
  std::string joined;
  for (const std::string& e : log) joined.append(joined.empty() ? "" : separator).append(e);
  return joined;
}

// The whole numbers of a script operation's text.
inline std::vector<int> Numbers(const std::string& arg) {
  std::istringstream words(arg);
  std::vector<int> n;
  for (int v; words >> v;) n.push_back(v);
  return n;
}

// The error a call raised as "number: description" (then " from <source>" when asked), or
// "no error".
inline std::string ErrorText(const std::function<void()>& call, bool with_source = false) {
  try {
    call();
  } catch (const ComError& e) {
    return std::to_string(e.number()) + ": " + e.description() +
           (with_source ? " from " + e.source() : "");
  }
  return "no error";
}

// A font as "name size weight charset", then " italic", " underline", " strikethrough" when set
// (bold is weight 600 and above).
inline std::string FontText(const platform::StdFont& f) {
  std::string s = f.name() + " " + std::to_string(f.size_scaled()) + " " +
                  std::to_string(f.weight()) + " " + std::to_string(f.charset());
  return s.append(f.italic() ? " italic" : "")
      .append(f.underline() ? " underline" : "")
      .append(f.strikethrough() ? " strikethrough" : "");
}

// An object with no members and no way to save itself.
class PlainObject : public Dispatch {
 public:
  std::string ClassName() const override { return "Plain"; }
  DispId GetIdOfName(std::string_view) const override { throw ComError::NotSupported(); }
  Variant Invoke(DispId, InvokeKind, std::vector<Variant>&) override {
    throw ComError::NotSupported();
  }
};

}  // namespace tabulo::test_support
