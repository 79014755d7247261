// Fuzzes ConnectionString set: never raises, the four clears come first, and the values it
// leaves survive a round trip through the ServerType 1 text.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "sql/connection_string.h"

using tabulo::sql::ConnectionSetters;
using tabulo::sql::ConnectionValues;

namespace {

struct Recorder {
  ConnectionValues values;
  int calls = 0;
  ConnectionSetters setters{
      [this](const std::string& v) { Set(values.DSNname, v); },
      [this](const std::string& v) { Set(values.User, v); },
      [this](const std::string& v) { Set(values.Password, v); },
      [this](const std::string& v) { Set(values.Database, v); },
  };
  void Set(std::string& field, const std::string& v) {
    field = v;
    ++calls;
  }
};

bool Same(const ConnectionValues& a, const ConnectionValues& b) {
  return a.DSNname == b.DSNname && a.Database == b.Database && a.User == b.User &&
         a.Password == b.Password;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Recorder first;
  tabulo::sql::ApplyConnectionString(text, first.setters);
  if (first.calls < 4) tabulo::fuzz::Broken();
  for (const std::string* v : {&first.values.DSNname, &first.values.Database, &first.values.User,
                               &first.values.Password}) {
    if (v->find(';') != std::string::npos) tabulo::fuzz::Broken();
  }

  Recorder second;
  tabulo::sql::ApplyConnectionString(tabulo::sql::ComposeConnectionString(first.values, 1),
                                     second.setters);
  if (!Same(first.values, second.values)) tabulo::fuzz::Broken();
  (void)tabulo::sql::ComposeConnectionString(first.values, 0);
  return 0;
}
