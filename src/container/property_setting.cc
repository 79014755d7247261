// Control properties from the command line (property_setting.h).
#include "container/property_setting.h"

#include "container/script/error.h"
#include "container/script/value.h"
#include "control/property_table.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

// A property an operator can give as one value: settable, neither an object nor an array,
// nor one that takes a column index.
bool IsPlain(const control::PropertyRow& row) {
  using control::Declared;
  if (row.set == nullptr || row.kind == control::ValueKind::AsIs) return false;
  return row.declared == Declared::GetLet || row.declared == Declared::LetThenGet ||
         row.declared == Declared::GetLetByRef || row.declared == Declared::LetOnlyByRef;
}

}  // namespace

PropertySetting ParsePropertySetting(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw SettingError("--set takes NAME=VALUE (a property of the control), given '" +
                       std::string(text) + "'");
  const std::string_view name = text.substr(0, eq), value = text.substr(eq + 1);
  const control::PropertyRow* found = nullptr;
  for (const control::PropertyRow& row : control::PropertyTable::Rows())
    if (row.id != platform::kDispIdUnknown && platform::EqualsIgnoreCase(row.name, name))
      found = &row;
  if (found == nullptr)
    throw SettingError("--set " + std::string(text) + ": unknown member '" + std::string(name) +
                       "' of TabuloCtl");
  if (!IsPlain(*found))
    throw SettingError("--set " + std::string(text) + ": " + found->name +
                       " cannot be set from the command line (read-only, an object, an array "
                       "or indexed by column); set it in a control file or a script");
  PropertySetting setting{found->name, std::string(text), {}};
  try {
    setting.value = ParseValue(value);
  } catch (const ScriptError&) {
    setting.value = platform::Variant(std::string(value));
  }
  return setting;
}

void ApplyPropertySettings(control::TabuloCtl& ctl, const std::vector<PropertySetting>& settings) {
  for (const PropertySetting& s : settings) {
    std::vector<platform::Variant> args{s.value};
    try {
      ctl.Invoke(ctl.GetIdOfName(s.name), platform::InvokeKind::PropertyPut, args);
    } catch (const platform::ComError& e) {
      throw SettingError("--set " + s.given + ": " + e.description() + " (error " +
                         std::to_string(e.number()) + ")");
    }
  }
}

}  // namespace tabulo::container
