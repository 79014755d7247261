// Fuzzes the script language's reading: lines split into words or refused with ScriptError,
// and every word that reads as a value prints in a form that reads back to the same value.
#include <sstream>
#include <string>

#include "container/script/error.h"
#include "container/script/parser.h"
#include "container/script/value.h"
#include "fuzz_input.h"
#include "platform/values/com_error.h"

using tabulo::container::FormatValue;
using tabulo::container::ParseValue;
using tabulo::container::ScriptError;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  tabulo::container::ScriptReader reader(in);
  try {
    while (auto line = reader.Next()) {
      for (const std::string& word : line->args) {
        std::string printed;
        try {
          printed = FormatValue(ParseValue(word));
        } catch (const ScriptError&) {
          continue;
        } catch (const tabulo::platform::ComError&) {
          continue;
        }
        if (FormatValue(ParseValue(printed)) != printed) tabulo::fuzz::Broken();
      }
    }
  } catch (const ScriptError&) {
  }
  return 0;
}
