// Control properties given on the command line (`--set NAME=VALUE`, repeatable): any plain
// property of the control's property table, the value read as a script's `let` reads it
// (script/value.h) and converted by the control's own interface, as `let` converts it. A
// value that is no script value form is taken as the text written, so that
// `--set DataTable=Orders` needs no quotes.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "control/tabulo_ctl.h"
#include "platform/values/variant.h"

namespace tabulo::container {

struct PropertySetting {
  std::string name;   // as the property table spells it
  std::string given;  // NAME=VALUE as written, for messages
  platform::Variant value;
};

// A setting that names no plain property or whose value the control refuses; the message
// names the setting and says what is wrong.
class SettingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads NAME=VALUE; raises SettingError for a missing '=' or a name that is no plain
// property (unknown, read-only, an object or an array).
PropertySetting ParsePropertySetting(std::string_view text);

// Lets each property in turn through the control's automation interface; raises
// SettingError when the control refuses a value (its error's description in the message).
void ApplyPropertySettings(control::TabuloCtl& ctl, const std::vector<PropertySetting>& settings);

}  // namespace tabulo::container
