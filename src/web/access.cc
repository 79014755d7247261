// Who may use the operator display (access.h).
#include "web/access.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
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

bool IsHex(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool IsIpLiteral(std::string_view name) {
  unsigned char address[16];
  if (name.size() > 2 && name.front() == '[' && name.back() == ']')
    return inet_pton(AF_INET6, std::string(name.substr(1, name.size() - 2)).c_str(), address) == 1;
  return inet_pton(AF_INET, std::string(name).c_str(), address) == 1;
}

// "[::1]" for an IPv6 address as it stands in a Host header.
std::string AsHostName(std::string_view address) {
  std::string name = Lower(address);
  if (name.find(':') != std::string::npos && name.front() != '[') {
    name.insert(name.begin(), '[');
    name.push_back(']');
  }
  return name;
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

std::string TokenProblem(std::string_view token) {
  if (token.empty()) return "is empty: a token of at least 128 bits is needed";
  for (size_t i = 0; i < token.size(); ++i) {
    const char c = token[i];
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == '~')
      continue;
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(c));
    return "holds the character " + std::string(code) + " at position " + std::to_string(i + 1) +
           ", which a cookie or an address cannot carry unchanged: use letters, digits, '-', "
           "'_', '.' and '~' only";
  }
  // Bits a character carries in the narrowest alphabet the token fits, in hundredths.
  const bool digits = std::all_of(token.begin(), token.end(), IsDigit);
  const bool hex = std::all_of(token.begin(), token.end(), IsHex);
  const size_t centibits = digits ? 332 : hex ? 400 : 600;
  if (token.size() * centibits < 12800) {
    const size_t needed = digits ? 39 : hex ? 32 : 22;
    return "is too short to guess safely: " + std::to_string(token.size()) + " " +
           (digits ? "decimal digits"
            : hex  ? "hexadecimal digits"
                   : "characters") +
           ", at least " + std::to_string(needed) + " are needed (128 bits)";
  }
  return {};
}

std::string ReadTokenFile(const std::filesystem::path& path, bool check_mode) {
  const std::string name = path.string();
  struct stat info {};
  std::ifstream in(path);
  std::string line;
  if (stat(name.c_str(), &info) != 0 || !in || !std::getline(in, line))
    throw std::runtime_error("cannot read the token file " + name);
  if (check_mode && (info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw std::runtime_error("the token file " + name +
                             " may be read or changed by other users (mode " + mode +
                             "): make it private with chmod 600 " + name);
  }
  std::string token(Trim(line));
  if (const std::string problem = TokenProblem(token); !problem.empty())
    throw std::runtime_error("the token in " + name + " " + problem +
                             "; make one with: openssl rand -hex 32 > " + name);
  return token;
}

bool AcceptedHost(std::string_view host, const HostRules& rules) {
  // The port follows the last colon after any IPv6 bracket; none means 80.
  const size_t bracket = host.rfind(']');
  const size_t colon = host.rfind(':');
  std::string_view name = host;
  int port = 80;
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    name = host.substr(0, colon);
    const std::string_view digits = host.substr(colon + 1);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) return false;
  }
  if (name.empty()) return false;
  const std::string lower = Lower(name);
  // A public name may carry its own port (a proxy's, in front of the display); without
  // one it answers on the bound port.
  for (const std::string& n : rules.names) {
    const size_t sep = n.rfind(':');
    int named_port = rules.port;
    if (sep != std::string::npos) {
      const char* end = n.data() + n.size();
      auto [stop, ec] = std::from_chars(n.data() + sep + 1, end, named_port);
      if (ec != std::errc() || stop != end) continue;
    }
    if (port == named_port && lower == Lower(std::string_view(n).substr(0, sep))) return true;
  }
  if (port != rules.port) return false;
  if (lower == "127.0.0.1" || lower == "localhost" || lower == "[::1]") return true;
  if (lower == AsHostName(rules.bind)) return true;
  return !IsLoopback(rules.bind) && IsIpLiteral(lower);
}

bool AcceptedOrigin(std::string_view origin, const HostRules& rules) {
  constexpr std::string_view kScheme = "http://";
  if (origin.substr(0, kScheme.size()) != kScheme) return false;
  return AcceptedHost(origin.substr(kScheme.size()), rules);
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
