#include "host/audit/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>

#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr size_t kSaltBytes = 16;
constexpr size_t kKeyBytes = 32;
// Shorter salts than ours are accepted from other tools, but not trivially short ones.
constexpr size_t kMinSaltBytes = 8;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

[[noreturn]] void Malformed(const std::string& why) {
  throw platform::ComError(platform::kErrInvalidProcedureCall, "Malformed password hash: " + why,
                           "SecurityManager");
}

void CheckIterations(int64_t iterations) {
  if (iterations < kMinPasswordIterations || iterations > kMaxPasswordIterations)
    throw platform::ComError(platform::kErrInvalidProcedureCall,
                             "Password hash iterations must be between " +
                                 std::to_string(kMinPasswordIterations) + " and " +
                                 std::to_string(kMaxPasswordIterations),
                             "SecurityManager");
}

std::vector<unsigned char> Derive(const std::string& password,
                                  const std::vector<unsigned char>& salt, int iterations,
                                  size_t bytes) {
  std::vector<unsigned char> key(bytes);
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(key.size()), key.data()) != 1)
    throw platform::ComError(0x80004005, "The password hash could not be computed",
                             "SecurityManager");
  return key;
}

int DecodeChar(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const std::vector<unsigned char>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = static_cast<uint32_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= bytes[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::vector<unsigned char>& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad > 0) return false;  // data after padding
      v[k] = DecodeChar(c);
      if (v[k] < 0) return false;
    }
    uint32_t n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    // Bits below the last whole byte must be zero, so that each byte string has one text.
    if ((pad == 1 && (n & 0xFF) != 0) || (pad == 2 && (n & 0xFFFF) != 0)) return false;
    out.push_back(static_cast<unsigned char>(n >> 16));
    if (pad < 2) out.push_back(static_cast<unsigned char>((n >> 8) & 0xFF));
    if (pad < 1) out.push_back(static_cast<unsigned char>(n & 0xFF));
  }
  return true;
}

std::string HashPassword(const std::string& password, int iterations) {
  CheckIterations(iterations);
  std::vector<unsigned char> salt(kSaltBytes);
  if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
    throw platform::ComError(0x80004005, "No random salt could be had for the password hash",
                             "SecurityManager");
  std::vector<unsigned char> key = Derive(password, salt, iterations, kKeyBytes);
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + Base64Encode(salt) + "$" +
         Base64Encode(key);
}

PasswordHash ParsePasswordHash(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('$', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (parts.size() != 4 || parts[0] != kScheme)
    Malformed("expected \"pbkdf2-sha256$<iterations>$<salt>$<hash>\"");
  int64_t iterations = 0;
  const std::string& digits = parts[1];
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), iterations);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
      digits[0] == '+' || digits[0] == '-')
    Malformed("the iteration count is not a number");
  if (iterations < kMinPasswordIterations || iterations > kMaxPasswordIterations)
    Malformed("the iteration count must be between " + std::to_string(kMinPasswordIterations) +
              " and " + std::to_string(kMaxPasswordIterations));
  PasswordHash hash;
  hash.iterations = static_cast<int>(iterations);
  if (!Base64Decode(parts[2], hash.salt)) Malformed("the salt is not base64");
  if (hash.salt.size() < kMinSaltBytes) Malformed("the salt is too short");
  if (!Base64Decode(parts[3], hash.key)) Malformed("the hash is not base64");
  if (hash.key.size() != kKeyBytes) Malformed("the hash must be 32 bytes");
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& text) {
  PasswordHash hash = ParsePasswordHash(text);
  std::vector<unsigned char> key = Derive(password, hash.salt, hash.iterations, hash.key.size());
  return CRYPTO_memcmp(key.data(), hash.key.data(), key.size()) == 0;
}

}  // namespace tabulo::host
