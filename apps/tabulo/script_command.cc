// tabulo script: replays a session written in the script language against controls hosted
// in the container program.
#include <charconv>
#include <iostream>

#include "commands.h"
#include "container/script/runner.h"
#include "container/session.h"
#include "container/session_script_host.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {
int ScriptCommand(const Args& args) {
  if (HelpAsked("script", args)) return 0;
  container::SessionOptions options;
  std::string path;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--host" && has_value) {
      options.host_config = args[++i];
    } else if (a == "--locale" && has_value) {
      options.locale = args[++i];
      if (!platform::Locale::Find(options.locale))
        return UsageError("script",
                          "--locale takes en-US, de-DE or fr-FR, given '" + options.locale + "'");
    } else if (a == "--ui-lang" && has_value) {
      const std::string& v = args[++i];
      int32_t lang = 0;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), lang);
      if (ec != std::errc() || end != v.data() + v.size() ||
          (lang != 1031 && lang != 1033 && lang != 1036)) {
        return UsageError("script", "--ui-lang takes 1031, 1033 or 1036");
      }
      options.ui_language = lang;
    } else if (path.empty() && (a == "-" || !a.starts_with("--"))) {
      path = a;
    } else {
      return UsageError("script", "unexpected argument '" + a + "'");
    }
  }
  if (path.empty()) return UsageError("script", "no FILE given");
  try {
    container::Session session(options);
    session.NewControl();
    container::SessionScriptHost host(session);
    return container::RunScriptFile(path, host, std::cout, std::cerr);
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo script: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
