// Password hashes: the stored text, verification, malformed texts, and the base64 they use.
#include "host/password_hash.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include "test_folder.h"

namespace tabulo::host {
namespace {

using testing::Raised;

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == '$')
      parts.emplace_back();
    else
      parts.back().push_back(c);
  }
  return parts;
}

TEST(PasswordHash, TextNamesSchemeCostSaltAndKeyAndVerifiesOnlyTheRightPassword) {
  std::string text = HashPassword("s3cret", 1000);
  std::vector<std::string> parts = Split(text);
  ASSERT_EQ(parts.size(), 4u) << text;
  EXPECT_EQ(parts[0] + "$" + parts[1], "pbkdf2-sha256$1000");
  PasswordHash hash = ParsePasswordHash(text);
  EXPECT_EQ(hash.iterations, 1000);
  EXPECT_EQ(hash.salt.size(), 16u);
  // The key is PBKDF2-HMAC-SHA-256 of the password over the stored salt, nothing else.
  std::vector<unsigned char> expected(32);
  ASSERT_EQ(
      PKCS5_PBKDF2_HMAC("s3cret", 6, hash.salt.data(), 16, 1000, EVP_sha256(), 32, expected.data()),
      1);
  EXPECT_EQ(hash.key, expected);
  // Each hash has its own salt.
  std::string again = HashPassword("s3cret", 1000);
  EXPECT_NE(Split(again)[2], parts[2]);
  EXPECT_TRUE(VerifyPassword("s3cret", again) && VerifyPassword("s3cret", text));
  // Only the right password verifies, and only with untampered parts.
  text = HashPassword("Grüße 1", 1000);
  EXPECT_TRUE(VerifyPassword("Grüße 1", text));
  for (const char* wrong : {"Grüße 2", "grüße 1", "", "Grüße 1 "})
    EXPECT_FALSE(VerifyPassword(wrong, text)) << wrong;
  // Made with Python's hashlib.pbkdf2_hmac("sha256", b"demo", salt, 1000).
  EXPECT_TRUE(VerifyPassword(
      "demo",
      "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY="));
  const std::vector<std::string> p = Split(text);
  auto flip = [](std::string s, size_t i) {
    s[i] = s[i] == 'A' ? 'B' : 'A';
    return s;
  };
  // Another cost over the same salt, another salt, a flipped key character.
  for (const std::string& tampered :
       {p[0] + "$1001$" + p[2] + "$" + p[3], p[0] + "$" + p[1] + "$" + flip(p[2], 0) + "$" + p[3],
        p[0] + "$" + p[1] + "$" + p[2] + "$" + flip(p[3], 5)})
    EXPECT_FALSE(VerifyPassword("Grüße 1", tampered)) << tampered;
}

TEST(PasswordHash, MalformedTextsAreRefusedWithTheReason) {
  const std::string salt = "AAECAwQFBgcICQoLDA0ODw==";
  const std::string key = "60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY=";
  const std::string head = "pbkdf2-sha256$";
  // The host configuration's test reads the whole message of a text that is no hash at all.
  const std::pair<std::string, std::string> cases[] = {
      {"sha256$1000$" + salt + "$" + key, "expected"},
      {head + "1000$" + salt, "expected"},
      {head + "1000$" + salt + "$" + key + "$x", "expected"},
      {head + "1e3$" + salt + "$" + key, "not a number"},
      {head + "$" + salt + "$" + key, "not a number"},
      {head + "-5000$" + salt + "$" + key, "not a number"},
      {head + "999$" + salt + "$" + key, "between 1000"},
      {head + "99999999999$" + salt + "$" + key, "between 1000"},
      {head + "1000$AA*=$" + key, "salt is not base64"},
      {head + "1000$AAAA$" + key, "salt is too short"},
      {head + "1000$" + salt + "$" + salt, "must be 32 bytes"},
      {head + "1000$" + salt + "$" + key.substr(1), "not base64"}};
  for (const auto& [text, why] : cases) {
    const platform::ComError e = Raised([&] { ParsePasswordHash(text); });
    EXPECT_EQ(e.number(), platform::kErrInvalidProcedureCall);
    EXPECT_NE(e.description().find(why), std::string::npos) << text << ": " << e.description();
  }
  Raised([] { VerifyPassword("demo", "plain:demo"); });
  // A cost outside the limits is not hashed.
  for (int32_t cost : {999, 0, kMaxPasswordIterations + 1})
    Raised([&] { HashPassword("pw", cost); });
}

TEST(Base64, RoundTripsEveryTailLengthAndDecodesStrictly) {
  std::vector<unsigned char> bytes;
  for (int n = 0; n < 8; ++n) {
    std::string text = Base64Encode(bytes);
    EXPECT_EQ(text.size() % 4, 0u);
    std::vector<unsigned char> back;
    ASSERT_TRUE(Base64Decode(text, back)) << text;
    EXPECT_EQ(back, bytes);
    bytes.push_back(static_cast<unsigned char>(0xF0 + n * 3));
  }
  EXPECT_EQ(Base64Encode({'M', 'a', 'n'}) + Base64Encode({'M', 'a'}) + Base64Encode({'M'}) +
                Base64Encode({0xFB, 0xFF}),
            "TWFuTWE=TQ==+/8=");
  std::vector<unsigned char> out;
  // Not a multiple of four, data after padding, too much padding, padding before the end,
  // stray bits below the last byte, the URL alphabet, a blank.
  for (const char* bad : {"TWF", "TW=u", "T===", "TQ==TWFu", "TR==", "TW-u", "TW u"})
    EXPECT_FALSE(Base64Decode(bad, out)) << bad;
  EXPECT_TRUE(Base64Decode("", out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tabulo::host
