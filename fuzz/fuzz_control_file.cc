// Fuzzes a control file as a display opening it reads it: the text form of a property bag,
// parsed and handed to a new control's load handler. Malformed files raise ComError, bad
// values are reported by the control; nothing crashes. What the control saves afterwards is
// a fixed point: loading the saved file and saving again gives the same text.
#include <string>

#include "control/tabulo_ctl.h"
#include "fuzz_input.h"
#include "platform/runtime/headless_container.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace {

using tabulo::platform::ComError;

// Loads `text` into a new control and returns what it saves; nothing when it was refused.
std::optional<std::string> LoadAndSave(std::string_view text) {
  tabulo::platform::HeadlessContainer container;
  tabulo::control::TabuloCtl ctl(container);
  try {
    tabulo::platform::PropertyBag bag =
        tabulo::platform::ParsePropertyBag(text, "fuzz.ctl", nullptr);
    ctl.ReadProperties(bag);
  } catch (const ComError&) {
    return std::nullopt;
  }
  tabulo::platform::PropertyBag saved;
  ctl.WriteProperties(saved);
  return tabulo::platform::SerializePropertyBag(saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<std::string> first =
      LoadAndSave(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!first) return 0;
  const std::optional<std::string> second = LoadAndSave(*first);
  if (!second || *second != *first) tabulo::fuzz::Broken();
  return 0;
}
