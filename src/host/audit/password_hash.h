// Salted, slow password hashes for the security manager's users, kept as one self-describing
// text: "pbkdf2-sha256$<iterations>$<salt base64>$<hash base64>" (PBKDF2-HMAC-SHA-256, a
// 16-byte random salt, a 32-byte derived key, standard base64 with padding).
//
// The verifier uses the cost stored with the hash, so that test configurations may use a low
// one; hashes below kMinPasswordIterations are refused as malformed everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabulo::host {

inline constexpr int kDefaultPasswordIterations = 600000;
inline constexpr int kMinPasswordIterations = 1000;
// Keeps one verification from stalling the user-interface thread for minutes.
inline constexpr int kMaxPasswordIterations = 10000000;

struct PasswordHash {
  int iterations = 0;
  std::vector<unsigned char> salt;
  std::vector<unsigned char> key;
};

// A new hash of `password` with a fresh random salt. Iterations outside
// kMinPasswordIterations..kMaxPasswordIterations raise platform::ComError 5.
std::string HashPassword(const std::string& password, int iterations = kDefaultPasswordIterations);

// Reads a hash text; a malformed one raises platform::ComError 5 whose description says
// what is wrong with it.
PasswordHash ParsePasswordHash(const std::string& text);

// Whether `password` matches `text` (compared in constant time). A malformed hash raises as
// ParsePasswordHash does.
bool VerifyPassword(const std::string& password, const std::string& text);

// Standard base64 with padding; Base64Decode is strict (refuses anything else) and returns
// false for a bad text.
std::string Base64Encode(const std::vector<unsigned char>& bytes);
bool Base64Decode(const std::string& text, std::vector<unsigned char>& out);

}  // namespace tabulo::host
