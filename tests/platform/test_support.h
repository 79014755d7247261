// Helpers the platform tests share: event-log tags, the text of a raised error, a font's
// attributes as text, and a scriptable object that cannot be saved.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// The error a call raised as "number: description", or "no error".
inline std::string ErrorText(const std::function<void()>& call) {
  try {
    call();
  } catch (const ComError& e) {
    return std::to_string(e.number()) + ": " + e.description();
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
