#include "host/password_hash.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0, end;
  while ((end = text.find('$', start)) != std::string::npos) {
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string MalformedWhy(const std::string& text) {
  try {
    ParsePasswordHash(text);
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrInvalidProcedureCall);
    return e.description();
  }
  return "(accepted)";
}

TEST(PasswordHash, TextNamesSchemeCostSaltAndKey) {
  std::string text = HashPassword("s3cret", 1000);
  std::vector<std::string> parts = Split(text);
  ASSERT_EQ(parts.size(), 4u) << text;
  EXPECT_EQ(parts[0], "pbkdf2-sha256");
  EXPECT_EQ(parts[1], "1000");
  PasswordHash hash = ParsePasswordHash(text);
  EXPECT_EQ(hash.iterations, 1000);
  EXPECT_EQ(hash.salt.size(), 16u);
  EXPECT_EQ(hash.key.size(), 32u);
  // The key is PBKDF2-HMAC-SHA-256 of the password over the stored salt, nothing else.
  std::vector<unsigned char> expected(32);
  ASSERT_EQ(
      PKCS5_PBKDF2_HMAC("s3cret", 6, hash.salt.data(), 16, 1000, EVP_sha256(), 32, expected.data()),
      1);
  EXPECT_EQ(hash.key, expected);
}

TEST(PasswordHash, EachHashHasItsOwnSalt) {
  std::string a = HashPassword("same", 1000);
  std::string b = HashPassword("same", 1000);
  EXPECT_NE(Split(a)[2], Split(b)[2]);
  EXPECT_NE(a, b);
  EXPECT_TRUE(VerifyPassword("same", a));
  EXPECT_TRUE(VerifyPassword("same", b));
}

TEST(PasswordHash, VerifiesOnlyTheRightPassword) {
  std::string text = HashPassword("Grüße 1", 1000);
  EXPECT_TRUE(VerifyPassword("Grüße 1", text));
  EXPECT_FALSE(VerifyPassword("Grüße 2", text));
  EXPECT_FALSE(VerifyPassword("grüße 1", text));
  EXPECT_FALSE(VerifyPassword("", text));
  EXPECT_FALSE(VerifyPassword("Grüße 1 ", text));
}

TEST(PasswordHash, KnownVectorFromAnotherTool) {
  // Made with Python's hashlib.pbkdf2_hmac("sha256", b"demo", salt, 1000).
  EXPECT_TRUE(VerifyPassword(
      "demo",
      "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY="));
}

TEST(PasswordHash, TamperedPartsFailVerification) {
  std::string text = HashPassword("pw", 1000);
  std::vector<std::string> p = Split(text);
  // Another cost over the same salt derives another key.
  EXPECT_FALSE(VerifyPassword("pw", p[0] + "$1001$" + p[2] + "$" + p[3]));
  // Another salt.
  std::string salt = p[2];
  salt[0] = salt[0] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(VerifyPassword("pw", p[0] + "$" + p[1] + "$" + salt + "$" + p[3]));
  // A flipped key character.
  std::string key = p[3];
  key[5] = key[5] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(VerifyPassword("pw", p[0] + "$" + p[1] + "$" + p[2] + "$" + key));
}

TEST(PasswordHash, MalformedTextsAreRefusedWithTheReason) {
  const std::string salt = "AAECAwQFBgcICQoLDA0ODw==";
  const std::string key = "60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY=";
  EXPECT_NE(MalformedWhy("demo").find("expected \"pbkdf2-sha256$"), std::string::npos);
  EXPECT_NE(MalformedWhy("sha256$1000$" + salt + "$" + key).find("expected"), std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1000$" + salt).find("expected"), std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1000$" + salt + "$" + key + "$x").find("expected"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1e3$" + salt + "$" + key).find("not a number"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$$" + salt + "$" + key).find("not a number"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$999$" + salt + "$" + key).find("between 1000"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$-5000$" + salt + "$" + key).find("not a number"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$99999999999$" + salt + "$" + key).find("between 1000"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1000$AA*=$" + key).find("salt is not base64"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1000$AAAA$" + key).find("salt is too short"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1000$" + salt + "$" + salt).find("must be 32 bytes"),
            std::string::npos);
  EXPECT_NE(MalformedWhy("pbkdf2-sha256$1000$" + salt + "$" + key.substr(1)).find("not base64"),
            std::string::npos);
  EXPECT_THROW(VerifyPassword("demo", "plain:demo"), platform::ComError);
}

TEST(PasswordHash, CostOutsideTheLimitsIsNotHashed) {
  EXPECT_THROW(HashPassword("pw", 999), platform::ComError);
  EXPECT_THROW(HashPassword("pw", 0), platform::ComError);
  EXPECT_THROW(HashPassword("pw", kMaxPasswordIterations + 1), platform::ComError);
}

TEST(Base64, RoundTripsEveryTailLength) {
  std::vector<unsigned char> bytes;
  for (int n = 0; n < 8; ++n) {
    std::string text = Base64Encode(bytes);
    EXPECT_EQ(text.size() % 4, 0u);
    std::vector<unsigned char> back;
    ASSERT_TRUE(Base64Decode(text, back)) << text;
    EXPECT_EQ(back, bytes);
    bytes.push_back(static_cast<unsigned char>(0xF0 + n * 3));
  }
  EXPECT_EQ(Base64Encode({'M', 'a', 'n'}), "TWFu");
  EXPECT_EQ(Base64Encode({'M', 'a'}), "TWE=");
  EXPECT_EQ(Base64Encode({'M'}), "TQ==");
  EXPECT_EQ(Base64Encode({0xFB, 0xFF}), "+/8=");
}

TEST(Base64, DecodeIsStrict) {
  std::vector<unsigned char> out;
  EXPECT_FALSE(Base64Decode("TWF", out));       // not a multiple of four
  EXPECT_FALSE(Base64Decode("TW=u", out));      // data after padding
  EXPECT_FALSE(Base64Decode("T===", out));      // too much padding
  EXPECT_FALSE(Base64Decode("TQ==TWFu", out));  // padding before the end
  EXPECT_FALSE(Base64Decode("TR==", out));      // stray bits below the last byte
  EXPECT_FALSE(Base64Decode("TW-u", out));      // URL alphabet
  EXPECT_FALSE(Base64Decode("TW u", out));
  EXPECT_TRUE(Base64Decode("", out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tabulo::host
