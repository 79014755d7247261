// Who may use the operator display: anyone on the machine when it listens on a loopback
// address; elsewhere only a browser that shows the display's token, once in the address it
// was given and from then on in a cookie.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tabulo::web {

inline constexpr std::string_view kTokenCookie = "tabulo_token";

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopback(std::string_view address);

// 32 hexadecimal digits from the system's random source.
std::string NewToken();

// The first line of `path`, blanks trimmed; raises std::runtime_error naming the file when
// it cannot be read or holds a token shorter than 16 characters.
std::string ReadTokenFile(const std::filesystem::path& path);

// The value of cookie `name` in a Cookie header ("a=1; b=2"), or "".
std::string CookieValue(std::string_view header, std::string_view name);

enum class Access {
  kAllowed,
  kAllowedSetCookie,  // the token came in the address: the reply sets the cookie
  kRefused,
};

// `token` empty: open to all. Compares in constant time.
Access CheckAccess(std::string_view token, std::string_view cookie_header,
                   std::string_view query_token);

}  // namespace tabulo::web
