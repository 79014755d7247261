// Who may use the operator display: anyone on the machine when it listens on a loopback
// address; elsewhere only a browser that shows the display's token, once in the address it
// was given and from then on in a cookie.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::web {

inline constexpr std::string_view kTokenCookie = "tabulo_token";

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopback(std::string_view address);

// 32 hexadecimal digits from the system's random source.
std::string NewToken();

// What is wrong with `token` as the display's token, or "" when nothing is. A token must
// travel unchanged in an address and a cookie, so it is made of letters, digits, '-', '_',
// '.' and '~' only; and it must hold at least 128 bits: 32 hexadecimal digits, 39 decimal
// ones, or 22 characters of any wider alphabet (base64url).
std::string TokenProblem(std::string_view token);

// The first line of `path`, blanks trimmed; raises std::runtime_error naming the file and
// what to do when it cannot be read, when users other than its owner may read or write it
// (any group or other permission bit), or when its token has a TokenProblem. A file the
// system keeps private by other means (a systemd credential, whose folder only the service
// may open and whose mode bits may show an access list's mask) is read with
// `check_mode` false.
std::string ReadTokenFile(const std::filesystem::path& path, bool check_mode = true);

// The value of cookie `name` in a Cookie header ("a=1; b=2"), or "".
std::string CookieValue(std::string_view header, std::string_view name);

// The names the display answers to. A page served from any other name (a name an attacker
// made resolve to this machine, say) is refused before anything runs.
struct HostRules {
  int port = 0;                    // the bound port: a Host or Origin must name it
  std::string bind;                // the bound address
  std::vector<std::string> names;  // --public-name: further names, any case, "NAME[:PORT]"
};

// The Host header `host` ("name", "name:port", "[v6]:port") names the display: on the bound
// port, as 127.0.0.1, localhost, [::1], the bound address or one of `rules.names` (a name
// with a port, as a proxy in front of the display is reached, on that port); and, when
// the display listens off loopback, as any IP address (a name is needed to rebind).
bool AcceptedHost(std::string_view host, const HostRules& rules);

// The Origin header is "http://" and an accepted host.
bool AcceptedOrigin(std::string_view origin, const HostRules& rules);

enum class Access {
  kAllowed,
  kAllowedSetCookie,  // the token came in the address: the reply sets the cookie
  kRefused,
};

// `token` empty: open to all. Compares in constant time.
Access CheckAccess(std::string_view token, std::string_view cookie_header,
                   std::string_view query_token);

}  // namespace tabulo::web
