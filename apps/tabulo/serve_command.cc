// tabulo serve: the operator display in a browser (container/serve_http.h). Prints the
// address to open, then serves until interrupted.
#include <charconv>
#include <csignal>
#include <iostream>
#include <stdexcept>

#include "container/serve_http.h"
#include "platform/runtime/clock.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "serve_command.h"
#include "usage.h"

namespace tabulo::app {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

bool ReadInt(const std::string& text, int& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ReadInt64(const std::string& text, int64_t& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// "90s", "30min", "2h" or a plain number of minutes, in milliseconds; 0 when it is none.
int64_t ReadDuration(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  int64_t amount = 0;
  if (digits == 0 || digits > 6 || !ReadInt64(text.substr(0, digits), amount)) return 0;
  const std::string unit = text.substr(digits);
  if (unit == "s") return amount * 1000;
  if (unit.empty() || unit == "min") return amount * 60000;
  if (unit == "h") return amount * 3600000;
  return 0;
}

}  // namespace

int ServeDisplayCommand(const Args& args) {
  if (HelpAsked("serve", args)) return 0;
  container::ServeRequest request;
  container::SessionOptions& options = request.session;
  container::ServeListen listening;
  std::string db, sql;
  // Settings apply to every control of the display.
  std::vector<container::PropertySetting> settings;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--design") {
      request.design = true;
      continue;
    }
    if (a == "--sign-in") {
      request.sign_in = true;
      continue;
    }
    if (i + 1 >= args.size() || a.rfind("--", 0) != 0)
      return UsageError("serve", "unexpected argument '" + a + "'");
    const std::string& v = args[++i];
    if (a == "--db") {
      db = v;
    } else if (a == "--sql") {
      sql = v;
    } else if (a == "--load") {
      request.controls.push_back({{}, "", "", v});
    } else if (a == "--host") {
      options.host_config = v;
    } else if (a == "--set") {
      try {
        settings.push_back(container::ParsePropertySetting(v));
      } catch (const container::SettingError& e) {
        return UsageError("serve", e.what());
      }
    } else if (a == "--bind") {
      listening.bind = v;
    } else if (a == "--public-name") {
      // NAME or NAME:PORT (the port a proxy in front of the display is reached on).
      const size_t colon = v.find(':');
      int proxy_port = 0;
      if (v.empty() || colon == 0 || v.find_first_of(" /@[]") != std::string::npos ||
          (colon != std::string::npos &&
           (!ReadInt(v.substr(colon + 1), proxy_port) || proxy_port < 1 || proxy_port > 65535)))
        return UsageError("serve",
                          "--public-name takes a host name such as tabulo.example.com, "
                          "or with the port a proxy is reached on, such as "
                          "tabulo.example.com:8443; given '" +
                              v + "'");
      listening.public_names.push_back(v);
    } else if (a == "--max-sessions") {
      int n = 0;
      if (!ReadInt(v, n) || n < 1 || n > 1000)
        return UsageError("serve", "--max-sessions takes 1 to 1000 (pages open at once)");
      request.max_sessions = static_cast<size_t>(n);
    } else if (a == "--idle-timeout") {
      request.idle_timeout_ms = ReadDuration(v);
      if (request.idle_timeout_ms <= 0)
        return UsageError(
            "serve", "--idle-timeout takes a duration such as 90s, 30min or 2h, given '" + v + "'");
    } else if (a == "--save") {
      request.save_path = v;
    } else if (a == "--token-file") {
      listening.token_file = v;
    } else if (a == "--port") {
      if (!ReadInt(v, listening.port) || listening.port < 0 || listening.port > 65535)
        return UsageError("serve", "--port takes 0 to 65535 (0: any free port)");
    } else if (a == "--locale") {
      options.locale = v;
      if (!platform::Locale::Find(v))
        return UsageError("serve", "--locale takes en-US, de-DE or fr-FR, given '" + v + "'");
    } else if (a == "--ui-lang") {
      if (!ReadInt(v, options.ui_language) ||
          (options.ui_language != 1031 && options.ui_language != 1033 &&
           options.ui_language != 1036))
        return UsageError("serve", "--ui-lang takes 1031, 1033 or 1036");
    } else {
      return UsageError("serve", "unexpected argument '" + a + "'");
    }
    if (!db.empty() && !sql.empty()) {
      request.controls.push_back({{}, db, sql, ""});
      db.clear();
      sql.clear();
    }
  }
  if (!db.empty() || !sql.empty()) return UsageError("serve", "--db and --sql go in pairs");
  if (request.controls.empty())
    return UsageError("serve", "give a control: --db PATH --sql \"SELECT ...\" or --load FILE");
  if (!request.save_path.empty() && !request.design)
    return UsageError("serve", "--save goes with --design");
  for (container::BrowseRequest& control : request.controls) control.settings = settings;
  try {
    platform::RealClock clock;
    container::ServeOverHttp(
        request, listening, clock,
        [](const std::string& address) {
          // A closed tab must not end the program: writing to it fails instead.
          std::signal(SIGPIPE, SIG_IGN);
          struct sigaction action = {};
          action.sa_handler = OnSignal;
          for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
          std::cout << "tabulo serve: " << address << "  (Ctrl-C stops)" << std::endl;
        },
        [] { return g_stop != 0; });
    return 0;
  } catch (const container::SettingError& e) {
    return UsageError("serve", e.what());
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo serve: " << e.description() << "\n";
  } catch (const std::runtime_error& e) {
    std::cerr << "tabulo serve: " << e.what() << "\n";
  }
  return kExitFailure;
}

}  // namespace tabulo::app
