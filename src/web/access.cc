// Who may use the operator display (access.h).
#include "web/access.h"

#include <fstream>
#include <random>
#include <stdexcept>

namespace tabulo::web {
namespace {

bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string_view Trim(std::string_view s) {
  const size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  return s.substr(begin, s.find_last_not_of(" \t\r\n") - begin + 1);
}

}  // namespace

bool IsLoopback(std::string_view address) {
  return address == "localhost" || address == "::1" || address == "[::1]" ||
         address.substr(0, 4) == "127.";
}

std::string NewToken() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kHex[random() & 15];
  return token;
}

std::string ReadTokenFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line))
    throw std::runtime_error("cannot read the token file " + path.string());
  std::string token(Trim(line));
  if (token.size() < 16)
    throw std::runtime_error("the token in " + path.string() + " is shorter than 16 characters");
  return token;
}

std::string CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t end = header.find(';');
    const std::string_view pair = Trim(header.substr(0, end));
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos && Trim(pair.substr(0, eq)) == name)
      return std::string(Trim(pair.substr(eq + 1)));
    if (end == std::string_view::npos) break;
    header.remove_prefix(end + 1);
  }
  return {};
}

Access CheckAccess(std::string_view token, std::string_view cookie_header,
                   std::string_view query_token) {
  if (token.empty()) return Access::kAllowed;
  if (SameToken(CookieValue(cookie_header, kTokenCookie), token)) return Access::kAllowed;
  if (SameToken(query_token, token)) return Access::kAllowedSetCookie;
  return Access::kRefused;
}

}  // namespace tabulo::web
