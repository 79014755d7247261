// `tabulo serve` over HTTP: the access token, the web server around a ServeDisplay and the
// display's sessions, run until the program is told to stop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "container/serve_display.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {

// Where the display listens and how a page proves its right to it.
struct ServeListen {
  std::string bind = "127.0.0.1";
  int port = 8080;                        // 0: any free port
  std::vector<std::string> public_names;  // further names the display answers to
  std::string token_file;                 // "" the service's credential, else a new token
};

// Serves `request` until `stop` returns true. The access token is read from the token file,
// else from the service's credential "token" (systemd's LoadCredential=), else a new one is
// made unless the display listens on loopback only. Once bound, `started` receives the
// address to open (with the new token in it). Raises platform::ComError, SettingError or
// std::runtime_error (the address cannot be bound, the token file cannot be read).
void ServeOverHttp(ServeRequest request, const ServeListen& listen, platform::Clock& clock,
                   const std::function<void(const std::string& address)>& started,
                   const std::function<bool()>& stop);

}  // namespace tabulo::container
