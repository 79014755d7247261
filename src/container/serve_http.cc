#include "container/serve_http.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "web/access.h"
#include "web/http_server.h"
#include "web/log.h"

namespace tabulo::container {
namespace {

// Under systemd the token may come as the service's credential "token" (LoadCredential=).
std::string CredentialTokenPath() {
  const char* folder = std::getenv("CREDENTIALS_DIRECTORY");
  if (!folder || *folder != '/') return "";
  const std::filesystem::path path = std::filesystem::path(folder) / "token";
  std::error_code ec;
  return std::filesystem::exists(path, ec) ? path.string() : "";
}

}  // namespace

void ServeOverHttp(ServeRequest request, const ServeListen& listen, platform::Clock& clock,
                   const std::function<void(const std::string& address)>& started,
                   const std::function<bool()>& stop) {
  web::ServerOptions server_options;
  server_options.bind = listen.bind;
  server_options.port = listen.port;
  server_options.public_names = listen.public_names;
  request.loopback = web::IsLoopback(server_options.bind);
  // A reloaded page's old update stream may linger a moment beside its new one.
  server_options.max_streams = request.max_sessions + 4;
  std::string token_file = listen.token_file;
  const std::string credential = CredentialTokenPath();
  if (!token_file.empty()) {
    server_options.token = web::ReadTokenFile(token_file);
  } else if (!credential.empty()) {
    server_options.token = web::ReadTokenFile(credential, false);
    token_file = credential;
  } else if (!request.loopback) {
    server_options.token = web::NewToken();
  }
  ServeDisplay display(request, clock);
  web::HttpServer server(display, server_options);
  const int port = server.Bind();
  const std::string& host = server_options.bind;
  started("http://" + (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" +
          std::to_string(port) + "/" +
          (server_options.token.empty() || !token_file.empty() ? ""
                                                               : "?token=" + server_options.token));
  web::LogEvent("info", "serve_started",
                {{"port", port},
                 {"pid", static_cast<int64_t>(::getpid())},
                 {"max_sessions", request.max_sessions},
                 {"token", !server_options.token.empty()},
                 {"sign_in", display.signs_in()}});
  std::thread http([&] { server.Run(); });
  display.Run(stop);
  web::LogEvent("info", "serve_stopped", {{"sessions", display.session_count()}});
  server.Stop();
  http.join();
}

}  // namespace tabulo::container
