// tabulo serve: the operator display in a browser (container/serve_display.h over
// web/http_server.h). Prints the address to open, then serves until interrupted.
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "container/serve_display.h"
#include "platform/runtime/clock.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "serve_command.h"
#include "usage.h"
#include "web/access.h"
#include "web/http_server.h"
#include "web/log.h"

namespace tabulo::app {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

// Under systemd the token may come as the service's credential "token" (LoadCredential=).
std::string CredentialTokenPath() {
  const char* folder = std::getenv("CREDENTIALS_DIRECTORY");
  if (!folder || *folder != '/') return "";
  const std::filesystem::path path = std::filesystem::path(folder) / "token";
  std::error_code ec;
  return std::filesystem::exists(path, ec) ? path.string() : "";
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
  web::ServerOptions server_options;
  std::string token_file, db, sql;
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
      server_options.bind = v;
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
      server_options.public_names.push_back(v);
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
      token_file = v;
    } else if (a == "--port") {
      if (!ReadInt(v, server_options.port) || server_options.port < 0 ||
          server_options.port > 65535)
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
  request.loopback = web::IsLoopback(server_options.bind);
  // A reloaded page's old update stream may linger a moment beside its new one.
  server_options.max_streams = request.max_sessions + 4;
  try {
    const std::string credential = CredentialTokenPath();
    if (!token_file.empty()) {
      server_options.token = web::ReadTokenFile(token_file);
    } else if (!credential.empty()) {
      server_options.token = web::ReadTokenFile(credential, false);
      token_file = credential;
    } else if (!request.loopback) {
      server_options.token = web::NewToken();
    }
    platform::RealClock clock;
    container::ServeDisplay display(request, clock);
    web::HttpServer server(display, server_options);
    const int port = server.Bind();
    // A closed tab must not end the program: writing to it fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    const std::string& host = server_options.bind;
    std::cout << "tabulo serve: http://"
              << (host.find(':') == std::string::npos ? host : "[" + host + "]") << ":" << port
              << "/"
              << (server_options.token.empty() || !token_file.empty()
                      ? ""
                      : "?token=" + server_options.token)
              << "  (Ctrl-C stops)" << std::endl;
    web::LogEvent("info", "serve_started",
                  {{"port", port},
                   {"pid", static_cast<int64_t>(::getpid())},
                   {"max_sessions", request.max_sessions},
                   {"token", !server_options.token.empty()},
                   {"sign_in", display.signs_in()}});
    std::thread http([&] { server.Run(); });
    display.Run([] { return g_stop != 0; });
    web::LogEvent("info", "serve_stopped", {{"sessions", display.session_count()}});
    server.Stop();
    http.join();
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
