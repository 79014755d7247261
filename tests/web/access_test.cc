#include "web/access.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace tabulo::web {
namespace {

constexpr char kToken[] = "0123456789abcdef0123";

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
      {kToken, "a=1; tabulo_token = 0123456789abcdef0123 ;b=2", "", Access::kAllowed},
      {kToken, "tabulo_token=wrong", kToken, Access::kAllowedSetCookie},
      {kToken, "tabulo_token=0123456789abcdef012", "", Access::kRefused},
      {kToken, "other_token=0123456789abcdef0123", "0123456789abcdef0124", Access::kRefused},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cookie) + " / " + r.query);
    EXPECT_EQ(CheckAccess(r.token, r.cookie, r.query), r.expected);
  }
}

TEST(Access, NewTokensAreLongAndDiffer) {
  const std::string a = NewToken(), b = NewToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

TEST(Access, TokenFiles) {
  const std::string dir = std::getenv("TABULO_TEST_TMP") ? std::getenv("TABULO_TEST_TMP") : "/tmp";
  std::filesystem::create_directories(dir);
  const std::filesystem::path path = dir + "/access_test_token";
  for (auto [content, expected] : std::initializer_list<std::pair<const char*, const char*>>{
           {"  0123456789abcdef0123 \nsecond line", kToken}, {"short\n", nullptr}, {"", nullptr}}) {
    SCOPED_TRACE(content);
    std::ofstream(path) << content;
    if (expected) {
      EXPECT_EQ(ReadTokenFile(path), expected);
    } else {
      EXPECT_THROW(ReadTokenFile(path), std::runtime_error);
    }
  }
  std::filesystem::remove(path);
  EXPECT_THROW(ReadTokenFile(path), std::runtime_error);
}

}  // namespace
}  // namespace tabulo::web
