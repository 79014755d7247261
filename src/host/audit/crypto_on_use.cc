// OpenSSL's libcrypto is loaded when the audit chain or a password hash first needs it, not at
// every program start: relocating its thousands of symbols was most of the dynamic loader's
// work in a command that never hashes (`tabulo --version`, `show` without an audit log).
// Each function the host calls is defined here with OpenSSL's own declaration (so the compiler
// checks the signatures) and forwards to the library's, found on its first call.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include "host/library_on_use.h"

namespace tabulo::host {
namespace {

void* CryptoFunction(const char* name) {
  static LibraryOnUse library("libcrypto.so.3", "The OpenSSL library", "libssl3",
                              "the audit trail's chain and password hashes");
  return library.Function(name);
}

}  // namespace
}  // namespace tabulo::host

// Defines NAME(PARAMS) returning RET as a call of the library's NAME with ARGS.
#define TABULO_LIBCRYPTO(RET, NAME, PARAMS, ARGS)                             \
  RET NAME PARAMS {                                                           \
    static auto* const real =                                                 \
        reinterpret_cast<RET(*) PARAMS>(tabulo::host::CryptoFunction(#NAME)); \
    return real ARGS;                                                         \
  }

extern "C" {
TABULO_LIBCRYPTO(int, CRYPTO_memcmp, (const void* in_a, const void* in_b, size_t len),
                 (in_a, in_b, len))
TABULO_LIBCRYPTO(EVP_MD_CTX*, EVP_MD_CTX_new, (void), ())
TABULO_LIBCRYPTO(void, EVP_MD_CTX_free, (EVP_MD_CTX * ctx), (ctx))
TABULO_LIBCRYPTO(const EVP_MD*, EVP_sha256, (void), ())
TABULO_LIBCRYPTO(int, EVP_DigestInit_ex, (EVP_MD_CTX * ctx, const EVP_MD* type, ENGINE* impl),
                 (ctx, type, impl))
TABULO_LIBCRYPTO(int, EVP_DigestUpdate, (EVP_MD_CTX * ctx, const void* d, size_t cnt),
                 (ctx, d, cnt))
TABULO_LIBCRYPTO(int, EVP_DigestFinal_ex, (EVP_MD_CTX * ctx, unsigned char* md, unsigned int* s),
                 (ctx, md, s))
TABULO_LIBCRYPTO(EVP_MAC*, EVP_MAC_fetch,
                 (OSSL_LIB_CTX * libctx, const char* algorithm, const char* properties),
                 (libctx, algorithm, properties))
TABULO_LIBCRYPTO(void, EVP_MAC_free, (EVP_MAC * mac), (mac))
TABULO_LIBCRYPTO(EVP_MAC_CTX*, EVP_MAC_CTX_new, (EVP_MAC * mac), (mac))
TABULO_LIBCRYPTO(void, EVP_MAC_CTX_free, (EVP_MAC_CTX * ctx), (ctx))
TABULO_LIBCRYPTO(int, EVP_MAC_init,
                 (EVP_MAC_CTX * ctx, const unsigned char* key, size_t keylen,
                  const OSSL_PARAM params[]),
                 (ctx, key, keylen, params))
TABULO_LIBCRYPTO(int, EVP_MAC_update, (EVP_MAC_CTX * ctx, const unsigned char* data, size_t n),
                 (ctx, data, n))
TABULO_LIBCRYPTO(int, EVP_MAC_final,
                 (EVP_MAC_CTX * ctx, unsigned char* out, size_t* outl, size_t outsize),
                 (ctx, out, outl, outsize))
TABULO_LIBCRYPTO(OSSL_PARAM, OSSL_PARAM_construct_utf8_string,
                 (const char* key, char* buf, size_t bsize), (key, buf, bsize))
TABULO_LIBCRYPTO(int, PKCS5_PBKDF2_HMAC,
                 (const char* pass, int passlen, const unsigned char* salt, int saltlen, int iter,
                  const EVP_MD* digest, int keylen, unsigned char* out),
                 (pass, passlen, salt, saltlen, iter, digest, keylen, out))
TABULO_LIBCRYPTO(int, RAND_bytes, (unsigned char* buf, int num), (buf, num))
}
