// ConnectionString get and set.
#include "sql/connection_string.h"

#include <exception>

#include "platform/text/regexp.h"
#include "platform/text/text.h"

namespace tabulo::sql {
namespace {

using Setter = std::function<void(const std::string&)>;

const Setter* SetterForKey(const std::string& key, const ConnectionSetters& s) {
  if (key == "dsn" || key == "data source" || key == "datasource") return &s.DSNname;
  if (key == "uid" || key == "user name" || key == "user id") return &s.User;
  if (key == "pwd" || key == "password") return &s.Password;
  if (key == "initial catalog" || key == "database") return &s.Database;
  return nullptr;
}

void Call(const Setter& setter, const std::string& value) {
  if (setter) setter(value);
}

}  // namespace

std::string ComposeConnectionString(const ConnectionValues& v, int16_t server_type) {
  if (server_type == 1) {
    return "DataSource=" + v.DSNname + ";DATABASE=" + v.Database + ";UID=" + v.User +
           ";PWD=" + v.Password + ";";
  }
  return "DSN=" + v.DSNname + ";UID=" + v.User + ";PWD=" + v.Password + ";";
}

void ApplyConnectionString(std::string_view text, ConnectionSetters& setters) {
  try {
    const std::string empty;
    Call(setters.DSNname, empty);
    Call(setters.User, empty);
    Call(setters.Password, empty);
    Call(setters.Database, empty);

    platform::RegExp re;
    re.SetPattern(R"(([\w\s]+)=([^;]*)(;|$))");
    re.SetGlobal(true);
    re.SetIgnoreCase(false);
    const platform::MatchCollection matches = re.Execute(text);
    for (int32_t i = 0; i < matches.Count(); ++i) {
      const std::string pair = platform::ReplaceAll(matches.Item(i).Value(), ";", "");
      const size_t eq = pair.find('=');
      if (eq == std::string::npos) continue;  // the pattern always has one; be safe anyway
      const Setter* setter = SetterForKey(platform::LCase(pair.substr(0, eq)), setters);
      if (setter != nullptr) Call(*setter, pair.substr(eq + 1));
    }
  } catch (const std::exception&) {
    // Silently, as the property has always done: what was set stays set.
  }
}

}  // namespace tabulo::sql
