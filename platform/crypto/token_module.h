#pragma once
// The boundary between the library and its token module. Only the module links libp11 and
// p11-kit, and it is loaded on the first use of a token key and kept for the life of the
// process: a token stays logged in across loads of the library, so a PIN is asked once per
// process, and processes that never use a token never load the PKCS#11 stack. The boundary is
// plain C; keys cross it as OpenSSL keys, which both sides use through the same libcrypto.

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>

extern "C" {

// What the prompt may tell the user about the token whose PIN is asked for.
struct MarqenTokenPinQuery {
  const char* tokenLabel;
  std::int32_t countLow;  // a wrong PIN was entered before
  std::int32_t finalTry;  // one more wrong PIN locks the token
};

enum MarqenTokenPinAnswer : std::int32_t {
  MARQEN_PIN_GIVEN = 1,
  MARQEN_PIN_CANCELLED = 0,
  MARQEN_PIN_NO_DISPLAY = -1,
  MARQEN_PIN_NO_PROMPT = -2,
};

// Asks the user for a PIN: writes it zero-terminated into `pin` and answers MARQEN_PIN_GIVEN,
// or answers why there is none.
typedef std::int32_t MarqenTokenPinFunction(void* context, const MarqenTokenPinQuery* query,
                                            char* pin, std::size_t capacity);

struct MarqenTokenPinSource {
  MarqenTokenPinFunction* ask;  // may be null: no prompt
  void* context;
};

inline constexpr std::size_t kMarqenTokenProblemSize = 512;

struct MarqenTokenKeyOutcome {
  EVP_PKEY* key;  // one reference for the caller; null on failure
  void* lease;    // given back with releaseKey once the key is no longer used
  char problem[kMarqenTokenProblemSize];
};

struct MarqenTokenDescription {
  const char* label;
  const char* manufacturer;
  const char* model;
  const char* serial;
  std::int32_t loggedIn;
  const char* loginProblem;  // why it is not logged in, when it is not
};

struct MarqenTokenCertificate {
  const unsigned char* der;
  std::size_t length;
  const char* label;
  std::int32_t hasKey;  // 1, 0, or -1 when unknown (not logged in)
  const char* keyUri;   // the private key's URI when hasKey is 1
};

// Receives what a listing finds, token by token, each followed by its certificates.
struct MarqenTokenListSink {
  void* context;
  void (*token)(void* context, const MarqenTokenDescription* token);
  void (*certificate)(void* context, const MarqenTokenCertificate* certificate);
};

struct MarqenTokenFunctions {
  // The private key the URI names, logging in to its token first when needed.
  void (*openKey)(const char* uri, const MarqenTokenPinSource* pin, MarqenTokenKeyOutcome* out);
  void (*releaseKey)(void* lease);
  // Logs out of the token the URI names, so the next use asks for the PIN again.
  void (*forgetPin)(const char* uri);
  // The tokens matching the URI (every token for "pkcs11:") and their certificates; logs in
  // when a PIN can be had, to tell which certificates have a key. Returns 0 with `problem`
  // filled when the module cannot be used.
  std::int32_t (*list)(const char* uri, const MarqenTokenPinSource* pin,
                       const MarqenTokenListSink* sink, char* problem);
};

typedef const MarqenTokenFunctions* MarqenTokenEntryPoint();
}

namespace marqen::crypto {

inline constexpr const char* kTokenModuleFile = "libmarqen_token.so";
inline constexpr const char* kTokenEntryPoint = "marqen_token_v1";

}  // namespace marqen::crypto
