#include "web/access.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace tabulo::web {
namespace {

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

TEST(Access, LoopbackAddresses) {
  // clang-format off
  const std::pair<const char*, bool> rows[] = {
      {"127.0.0.1", true}, {"127.1.2.3", true}, {"::1", true}, {"localhost", true},
      {"0.0.0.0", false}, {"192.168.1.7", false}, {"::", false}, {"1270.0.0.1", false}};
  // clang-format on
  for (const auto& [address, loopback] : rows) EXPECT_EQ(IsLoopback(address), loopback) << address;
}

TEST(Access, TheTokenInTheCookieOrTheAddress) {
  struct Row {
    const char* token;
    const char* cookie;
    const char* query;
    Access expected;
  } rows[] = {
      {"", "", "", Access::kAllowed},
      {kToken, "a=1; tabulo_token = 0123456789abcdef0123456789abcdef ;b=2", "", Access::kAllowed},
      {kToken, "a=1;tabulo_token=0123456789abcdef0123456789abcdef", "", Access::kAllowed},
      {kToken, "", "1123456789abcdef0123456789abcdef", Access::kRefused},
      {kToken, "tabulo_token=wrong", kToken, Access::kAllowedSetCookie},
      {kToken, "tabulo_token=0123456789abcdef0123456789abcde", "", Access::kRefused},
      {kToken, "other_token=0123456789abcdef0123456789abcdef", "0123456789abcdef0123456789abcdee",
       Access::kRefused},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cookie) + " / " + r.query);
    EXPECT_EQ(CheckAccess(r.token, r.cookie, r.query), r.expected);
  }
  // Tokens cut from longer texts compare as their views, whatever follows them.
  const std::string texts = std::string(kToken) + "X" + kToken + "Y";
  EXPECT_EQ(CheckAccess(std::string_view(texts).substr(0, 32), "",
                        std::string_view(texts).substr(33, 32)),
            Access::kAllowedSetCookie);
}

TEST(Access, NewTokensAreLongAndDiffer) {
  const std::string a = NewToken(), b = NewToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

// 128 bits at least, in the narrowest alphabet the token fits; only characters that a
// cookie and an address carry unchanged.
TEST(Access, TokenRules) {
  const std::string hex31(31, 'a'), digits38(38, '7'), wide21 = std::string(20, 'a') + "g";
  const std::pair<std::string, const char*> rows[] = {
      {hex31, "31 hexadecimal digits, at least 32"},
      {hex31 + "F", nullptr},
      {digits38, "38 decimal digits, at least 39"},
      {digits38 + "1", nullptr},
      {std::string(38, '0'), "38 decimal digits"},
      {std::string(38, '9'), "38 decimal digits"},
      {wide21, "21 characters, at least 22"},
      {wide21 + "_", nullptr},
      {"Ab-_.~" + std::string(16, 'z'), nullptr},
      {"", "is empty"},
      {hex31 + ";x", "the character 0x3B at position 32"},
      {"a b" + hex31, "0x20 at position 2"},
      {hex31 + ",", "0x2C"},
      {"\"" + hex31, "0x22 at position 1"},
      {hex31 + "\\", "0x5C"},
      {hex31 + "\x01", "0x01"},
      {hex31 + "+", "0x2B"},
      {hex31 + "\xC3\xA9", "0xC3"},
  };
  for (const auto& [token, problem] : rows) {
    SCOPED_TRACE(token);
    const std::string found = TokenProblem(token);
    if (problem)
      EXPECT_NE(found.find(problem), std::string::npos) << found;
    else
      EXPECT_EQ(found, "");
  }
  EXPECT_EQ(TokenProblem(NewToken()), "");
}

TEST(Access, TokenFiles) {
  const std::string dir = std::getenv("TABULO_TEST_TMP") ? std::getenv("TABULO_TEST_TMP") : "/tmp";
  std::filesystem::create_directories(dir);
  const std::filesystem::path path = dir + "/access_test_token";
  auto refused = [&](const char* what) {
    try {
      ReadTokenFile(path);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
  };
  // Content, with the file private.
  for (auto [content, expected] : std::initializer_list<std::pair<const char*, const char*>>{
           {"  0123456789abcdef0123456789abcdef \nsecond line", kToken},
           {"0123456789abcdef0123\n", nullptr},
           {"0123456789abcdef0123456789abcdef;\n", nullptr},
           {"", nullptr}}) {
    SCOPED_TRACE(content);
    std::filesystem::remove(path);
    std::ofstream(path) << content;
    chmod(path.c_str(), 0600);
    if (expected) {
      EXPECT_EQ(ReadTokenFile(path), expected);
    } else {
      EXPECT_THROW(ReadTokenFile(path), std::runtime_error);
    }
  }
  std::ofstream(path) << "0123456789abcdef0123\n";
  refused("openssl rand -hex 32");
  // Modes: any bit for the group or others refuses the file.
  std::ofstream(path) << kToken << "\n";
  for (auto [mode, accepted] : std::initializer_list<std::pair<mode_t, bool>>{{0600, true},
                                                                              {0400, true},
                                                                              {0700, true},
                                                                              {0640, false},
                                                                              {0620, false},
                                                                              {0610, false},
                                                                              {0604, false},
                                                                              {0602, false},
                                                                              {0601, false}}) {
    SCOPED_TRACE(mode);
    chmod(path.c_str(), mode);
    char shown[64];  // the message names the mode in octal
    std::snprintf(shown, sizeof shown, "(mode %04o): make it private with chmod 600", mode);
    if (accepted)
      EXPECT_EQ(ReadTokenFile(path), kToken);
    else
      refused(shown);
  }
  std::filesystem::remove(path);
  refused("cannot read the token file");
}

// The names a display answers to: the Host a page was fetched under, and the Origin of the
// page that posts.
TEST(Access, HostsAndOrigins) {
  const HostRules loopback{8080, "127.0.0.1", {}};
  const HostRules named{8080, "127.0.0.1", {"Tabulo.example.com"}};
  const HostRules wide{8080, "0.0.0.0", {}};
  const HostRules lan{8080, "192.168.1.7", {}};
  const HostRules web{80, "127.0.0.1", {}};
  const HostRules v6{8080, "::1", {}};
  // Behind a proxy: its names, each on the port the proxy is reached on.
  const HostRules proxied{8080, "127.0.0.1", {"Proxy.example:8443", "127.0.0.1:9000", "plant:80"}};
  // Public names whose port cannot be read name nothing; nor does a name that is only a port.
  const HostRules misnamed{8080, "127.0.0.1", {":9000", "plant:80x", "mill:"}};
  struct Row {
    const HostRules& rules;
    const char* host;
    bool accepted;
  } rows[] = {
      {loopback, "127.0.0.1:8080", true},
      {loopback, "localhost:8080", true},
      {loopback, "LocalHost:8080", true},
      {loopback, "[::1]:8080", true},
      {loopback, "127.0.0.1:8081", false},
      {loopback, "127.0.0.1:80800", false},
      {loopback, "127.0.0.1", false},
      {loopback, "127.0.0.1:", false},
      {loopback, "127.0.0.1:8080x", false},
      {loopback, "127.0.0.1:+8080", false},
      {loopback, ":8080", false},
      {loopback, "", false},
      {loopback, "attacker.example:8080", false},
      {loopback, "127.0.0.1.attacker.example:8080", false},
      {loopback, "localhost.:8080", false},
      {loopback, "::1:8080", false},
      {loopback, "127.0.0.2:8080", false},
      {loopback, "192.168.1.7:8080", false},
      {loopback, "tabulo.example.com:8080", false},
      {named, "tabulo.EXAMPLE.com:8080", true},
      {named, "tabulo.example.com:8081", false},
      {wide, "192.168.1.7:8080", true},
      {wide, "[fe80::1]:8080", true},
      {wide, "[1:2:3:4:5:6:7:8]:8080", true},
      {wide, "localhost:8080", true},
      {wide, "attacker.example:8080", false},
      {wide, "192.168.1.7.nip.io:8080", false},
      {lan, "192.168.1.7:8080", true},
      {lan, "lan.example:8080", false},
      {web, "localhost", true},
      {web, "localhost:80", true},
      {web, "localhost:8080", false},
      {proxied, "proxy.example:8443", true},
      {proxied, "proxy.example:8080", false},
      {proxied, "proxy.example", false},
      {proxied, "127.0.0.1:9000", true},
      {proxied, "127.0.0.1:9001", false},
      {proxied, "127.0.0.1:8080", true},
      {proxied, "localhost:9000", false},
      {proxied, "plant", true},
      {proxied, "plant:80", true},
      {proxied, "plant:8080", false},
      {misnamed, ":9000", false},
      {misnamed, "plant:80", false},
      {misnamed, "mill:8080", false},
      {misnamed, "127.0.0.1:8080", true},
      // An IPv6 bind address answers only in brackets, whole.
      {v6, "[::1]:8080", true},
      {v6, "::1:8080", false},
      {v6, "[::1:8080", false},
      {v6, "::1]:8080", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.host) + " bound to " + r.rules.bind);
    EXPECT_EQ(AcceptedHost(r.host, r.rules), r.accepted);
    EXPECT_EQ(AcceptedOrigin("http://" + std::string(r.host), r.rules), r.accepted);
  }
  for (const char* origin : {"https://127.0.0.1:8080", "null", "127.0.0.1:8080",
                             "http://127.0.0.1:8080/", "http://attacker.example:8080", ""})
    EXPECT_FALSE(AcceptedOrigin(origin, loopback)) << origin;
}

}  // namespace
}  // namespace tabulo::web
