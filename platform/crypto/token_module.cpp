// The token module: PKCS#11 keys through libp11, URIs (RFC 7512) through p11-kit. OpenSSL
// builds every message; libp11 hands it keys whose RSA operations run on the token.

#include <fcntl.h>
#include <libp11.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <p11-kit/pkcs11.h>
#include <p11-kit/uri.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/token_module.h"

namespace {

#ifndef MARQEN_P11_KIT_PROXY
#define MARQEN_P11_KIT_PROXY "p11-kit-proxy.so"
#endif

constexpr std::size_t kPinCapacity = 256;

void setProblem(char* problem, const std::string& text) {
  (void)std::snprintf(problem, kMarqenTokenProblemSize, "%s", text.c_str());
}

struct UriDeleter {
  void operator()(P11KitUri* uri) const noexcept { p11_kit_uri_free(uri); }
};
using UriPtr = std::unique_ptr<P11KitUri, UriDeleter>;

UriPtr parseUri(const char* text, std::string& problem) {
  UriPtr uri(p11_kit_uri_new());
  const int result = uri ? p11_kit_uri_parse(text, P11_KIT_URI_FOR_ANY, uri.get())
                         : static_cast<int>(P11_KIT_URI_UNEXPECTED);
  if (result != P11_KIT_URI_OK) {
    problem = std::string("not a PKCS#11 URI (") + p11_kit_uri_message(result) + ")";
    return nullptr;
  }
  return uri;
}

// A PIN in a buffer that is wiped when it goes.
class PinBuffer {
 public:
  PinBuffer() = default;
  PinBuffer(const PinBuffer&) = delete;
  PinBuffer& operator=(const PinBuffer&) = delete;
  ~PinBuffer() { OPENSSL_cleanse(text_.data(), text_.size()); }
  char* data() noexcept { return text_.data(); }
  std::size_t capacity() const noexcept { return text_.size(); }
  bool set(std::string_view text) {
    if (text.size() >= text_.size()) return false;
    std::memcpy(text_.data(), text.data(), text.size());
    text_[text.size()] = '\0';
    return true;
  }

 private:
  std::array<char, kPinCapacity> text_{};
};

// The first line of a pin-source file ("file:" URI or plain path), read once per login.
bool readPinSource(const char* source, PinBuffer& pin, std::string& problem) {
  std::string_view path(source);
  if (path.rfind("file://", 0) == 0) {
    path.remove_prefix(7);
  } else if (path.rfind("file:", 0) == 0) {
    path.remove_prefix(5);
  }
  const std::string file(path);
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem = "the pin-source file " + file + " cannot be read";
    return false;
  }
  std::array<char, kPinCapacity> bytes{};
  std::size_t length = 0;
  while (length < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + length, bytes.size() - length);
    if (n < 0) {
      ::close(fd);
      OPENSSL_cleanse(bytes.data(), bytes.size());
      problem = "the pin-source file " + file + " cannot be read";
      return false;
    }
    if (n == 0) break;
    length += static_cast<std::size_t>(n);
  }
  ::close(fd);
  std::string_view text(bytes.data(), length);
  text = text.substr(0, text.find_first_of("\r\n"));
  const bool fits = pin.set(text);
  OPENSSL_cleanse(bytes.data(), bytes.size());
  if (!fits) problem = "the PIN in the pin-source file " + file + " is too long";
  return fits;
}

// One PKCS#11 module, loaded once and kept for the life of the process, with its slots.
struct Module {
  PKCS11_CTX* ctx = nullptr;
  PKCS11_SLOT* slots = nullptr;
  unsigned int slotCount = 0;
  std::string problem;
};

// Everything the module keeps. Keys handed out hold a lease; logging out waits until none is
// held, since libp11 forgets its key objects when a token logs out.
struct State {
  std::mutex mutex;
  std::condition_variable released;
  int leases = 0;
  std::map<std::string, std::unique_ptr<Module>> modules;
};

// Never destroyed: at exit the PKCS#11 modules may already have run their own destructors, and
// closing their sessions then would crash. The process's end closes them.
State& state() {
  static auto* const kept = new State;
  return *kept;
}

std::string moduleOf(P11KitUri* uri) {
  const char* path = p11_kit_uri_get_module_path(uri);
  return path && *path ? path : MARQEN_P11_KIT_PROXY;
}

// Caller holds the state's lock.
Module& loadModule(const std::string& path) {
  auto& slot = state().modules[path];
  if (slot) return *slot;
  slot = std::make_unique<Module>();
  Module& module = *slot;
  module.ctx = PKCS11_CTX_new();
  if (!module.ctx || PKCS11_CTX_load(module.ctx, path.c_str()) != 0) {
    module.problem = "the PKCS#11 module " + path + " cannot be loaded";
    if (module.ctx) PKCS11_CTX_free(module.ctx);
    module.ctx = nullptr;
    ERR_clear_error();
    return module;
  }
  if (PKCS11_enumerate_slots(module.ctx, &module.slots, &module.slotCount) != 0) {
    module.slots = nullptr;
    module.slotCount = 0;
    ERR_clear_error();
  }
  return module;
}

// libp11 trims the fields; the URI compares them padded with blanks, as tokens report them.
void copyPadded(unsigned char* field, std::size_t size, const char* text) {
  std::memset(field, ' ', size);
  // Token fields are blank-padded, never zero-terminated.
  if (text) std::copy_n(text, std::min(size, std::strlen(text)), field);
}

bool tokenMatches(P11KitUri* uri, const PKCS11_TOKEN& token) {
  CK_TOKEN_INFO info{};
  copyPadded(info.label, sizeof info.label, token.label);
  copyPadded(info.manufacturerID, sizeof info.manufacturerID, token.manufacturer);
  copyPadded(info.model, sizeof info.model, token.model);
  copyPadded(info.serialNumber, sizeof info.serialNumber, token.serialnr);
  return p11_kit_uri_match_token_info(uri, &info) == 1;
}

std::vector<PKCS11_SLOT*> matchingSlots(Module& module, P11KitUri* uri) {
  std::vector<PKCS11_SLOT*> found;
  for (unsigned int i = 0; i < module.slotCount; ++i) {
    PKCS11_SLOT* slot = &module.slots[i];
    if (slot->token && slot->token->initialized && tokenMatches(uri, *slot->token))
      found.push_back(slot);
  }
  return found;
}

// The slots again when none matched: a token may have been inserted since the last look.
// Only while no key is out, since the keys belong to the slots.
std::vector<PKCS11_SLOT*> findSlots(Module& module, P11KitUri* uri, int leases) {
  auto found = matchingSlots(module, uri);
  if (!found.empty() || leases > 0) return found;
  if (module.slots) PKCS11_release_all_slots(module.ctx, module.slots, module.slotCount);
  module.slots = nullptr;
  module.slotCount = 0;
  if (PKCS11_enumerate_slots(module.ctx, &module.slots, &module.slotCount) != 0) {
    module.slots = nullptr;
    module.slotCount = 0;
  }
  ERR_clear_error();
  return matchingSlots(module, uri);
}

std::string tokenName(const PKCS11_TOKEN& token) {
  return std::string("\"") + (token.label ? token.label : "") + "\"";
}

bool isLoggedIn(PKCS11_SLOT* slot) {
  int loggedIn = 0;
  const bool asked = PKCS11_is_logged_in(slot, 0, &loggedIn) == 0;
  ERR_clear_error();
  return asked && loggedIn != 0;
}

unsigned long loginFailure() {
  unsigned long code = 0;
  for (unsigned long e = ERR_get_error(); e != 0; e = ERR_get_error()) {
    if (ERR_GET_LIB(e) == ERR_get_CKR_code()) code = static_cast<unsigned long>(ERR_GET_REASON(e));
  }
  return code;
}

enum class Login { Done, NoPin, Failed };

// Logs in to the token unless it is logged in already or needs no login. The PIN comes from the
// URI (pin-value, then pin-source), else from the prompt; a wrong PIN is tried once only, so a
// test or a script never locks a token by retrying.
Login logIn(PKCS11_SLOT* slot, P11KitUri* uri, const MarqenTokenPinSource* source,
            std::string& problem) {
  const PKCS11_TOKEN& token = *slot->token;
  if (!token.loginRequired || isLoggedIn(slot)) return Login::Done;
  if (token.userPinLocked) {
    problem = "token " + tokenName(token) + " is locked: its PIN is blocked";
    return Login::Failed;
  }
  PinBuffer pin;
  if (const char* value = p11_kit_uri_get_pin_value(uri); value && *value) {
    if (!pin.set(value)) {
      problem = "the pin-value of the URI is too long";
      return Login::Failed;
    }
  } else if (const char* file = p11_kit_uri_get_pin_source(uri); file && *file) {
    if (!readPinSource(file, pin, problem)) return Login::Failed;
  } else {
    const MarqenTokenPinQuery query{token.label, token.userPinCountLow, token.userPinFinalTry};
    const std::int32_t answer =
        source && source->ask ? source->ask(source->context, &query, pin.data(), pin.capacity())
                              : MARQEN_PIN_NO_PROMPT;
    if (answer != MARQEN_PIN_GIVEN) {
      const std::string why = answer == MARQEN_PIN_CANCELLED ? "the PIN prompt was cancelled"
                              : answer == MARQEN_PIN_NO_DISPLAY
                                  ? "no PIN source in the URI and no display for a PIN prompt"
                                  : "no PIN source in the URI and no PIN prompt";
      problem = "no PIN for token " + tokenName(token) + ": " + why;
      return Login::NoPin;
    }
    pin.data()[pin.capacity() - 1] = '\0';
  }
  if (PKCS11_login(slot, 0, pin.data()) == 0) return Login::Done;
  const unsigned long reason = loginFailure();
  if (reason == CKR_PIN_INCORRECT) {
    problem = "wrong PIN for token " + tokenName(token);
  } else if (reason == CKR_PIN_LOCKED) {
    problem = "token " + tokenName(token) + " is locked: its PIN is blocked";
  } else if (reason == CKR_PIN_EXPIRED) {
    problem = "the PIN of token " + tokenName(token) + " has expired";
  } else {
    char code[32];
    (void)std::snprintf(code, sizeof code, "0x%lX", reason);
    problem = "login to token " + tokenName(token) + " failed (PKCS#11 error " + code + ")";
  }
  return Login::Failed;
}

bool keyMatches(P11KitUri* uri, const PKCS11_KEY& key) {
  CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
  std::array<CK_ATTRIBUTE, 3> attributes{{
      {CKA_CLASS, &keyClass, sizeof keyClass},
      {CKA_ID, key.id, key.id_len},
      {CKA_LABEL, key.label, key.label ? std::strlen(key.label) : 0},
  }};
  return p11_kit_uri_match_attributes(uri, attributes.data(), attributes.size()) == 1;
}

void openKey(const char* uriText, const MarqenTokenPinSource* source, MarqenTokenKeyOutcome* out) {
  out->key = nullptr;
  out->lease = nullptr;
  out->problem[0] = '\0';
  std::string problem;
  const UriPtr uri = parseUri(uriText, problem);
  if (!uri) return setProblem(out->problem, problem);

  State& kept = state();
  std::unique_lock lock(kept.mutex);
  const std::string path = moduleOf(uri.get());
  Module& module = loadModule(path);
  if (!module.ctx) return setProblem(out->problem, module.problem);
  const auto slots = findSlots(module, uri.get(), kept.leases);
  if (slots.empty())
    return setProblem(out->problem, "no token matching the URI is present (module " + path + ")");

  for (PKCS11_SLOT* slot : slots) {
    const Login login = logIn(slot, uri.get(), source, problem);
    if (login != Login::Done) return setProblem(out->problem, problem);
    PKCS11_KEY* keys = nullptr;
    unsigned int keyCount = 0;
    if (PKCS11_enumerate_keys(slot->token, &keys, &keyCount) != 0) keyCount = 0;
    for (unsigned int i = 0; i < keyCount; ++i) {
      if (!keyMatches(uri.get(), keys[i])) continue;
      out->key = PKCS11_get_private_key(&keys[i]);
      if (!out->key) continue;
      ++kept.leases;
      out->lease = &kept;
      ERR_clear_error();
      return;
    }
  }
  ERR_clear_error();
  setProblem(out->problem,
             "no private key matching the URI on token " + tokenName(*slots.front()->token));
}

void releaseKey(void* lease) {
  if (!lease) return;
  State& kept = *static_cast<State*>(lease);
  {
    std::lock_guard lock(kept.mutex);
    --kept.leases;
  }
  kept.released.notify_all();
}

void forgetPin(const char* uriText) {
  std::string problem;
  const UriPtr uri = parseUri(uriText, problem);
  if (!uri) return;
  State& kept = state();
  std::unique_lock lock(kept.mutex);
  kept.released.wait(lock, [&] { return kept.leases == 0; });
  const auto found = kept.modules.find(moduleOf(uri.get()));
  if (found == kept.modules.end() || !found->second->ctx) return;
  for (PKCS11_SLOT* slot : matchingSlots(*found->second, uri.get())) {
    if (isLoggedIn(slot)) PKCS11_logout(slot);
  }
  ERR_clear_error();
}

// The URI of a key found on a token: the token's identity, the key's id and label, and the
// pin-source and module-path of the URI it was found with (never a pin-value).
std::string keyUri(P11KitUri* from, const PKCS11_TOKEN& token, const PKCS11_KEY& key) {
  UriPtr uri(p11_kit_uri_new());
  if (!uri) return {};
  CK_TOKEN_INFO* info = p11_kit_uri_get_token_info(uri.get());
  copyPadded(info->label, sizeof info->label, token.label);
  copyPadded(info->manufacturerID, sizeof info->manufacturerID, token.manufacturer);
  copyPadded(info->model, sizeof info->model, token.model);
  copyPadded(info->serialNumber, sizeof info->serialNumber, token.serialnr);
  CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
  CK_ATTRIBUTE classAttribute{CKA_CLASS, &keyClass, sizeof keyClass};
  p11_kit_uri_set_attribute(uri.get(), &classAttribute);
  if (key.id_len > 0) {
    CK_ATTRIBUTE id{CKA_ID, key.id, key.id_len};
    p11_kit_uri_set_attribute(uri.get(), &id);
  }
  if (key.label && *key.label) {
    CK_ATTRIBUTE label{CKA_LABEL, key.label, std::strlen(key.label)};
    p11_kit_uri_set_attribute(uri.get(), &label);
  }
  if (const char* source = p11_kit_uri_get_pin_source(from); source && *source)
    p11_kit_uri_set_pin_source(uri.get(), source);
  if (const char* path = p11_kit_uri_get_module_path(from); path && *path)
    p11_kit_uri_set_module_path(uri.get(), path);
  char* text = nullptr;
  if (p11_kit_uri_format(uri.get(), P11_KIT_URI_FOR_ANY, &text) != P11_KIT_URI_OK) return {};
  std::string formatted(text);
  std::free(text);
  return formatted;
}

std::int32_t list(const char* uriText, const MarqenTokenPinSource* source,
                  const MarqenTokenListSink* sink, char* problemOut) {
  problemOut[0] = '\0';
  std::string problem;
  const UriPtr uri = parseUri(uriText, problem);
  if (!uri) {
    setProblem(problemOut, problem);
    return 0;
  }
  State& kept = state();
  std::unique_lock lock(kept.mutex);
  Module& module = loadModule(moduleOf(uri.get()));
  if (!module.ctx) {
    setProblem(problemOut, module.problem);
    return 0;
  }
  for (PKCS11_SLOT* slot : findSlots(module, uri.get(), kept.leases)) {
    const PKCS11_TOKEN& token = *slot->token;
    std::string loginProblem;
    const bool loggedIn = logIn(slot, uri.get(), source, loginProblem) == Login::Done;
    const MarqenTokenDescription description{token.label,      token.manufacturer,
                                             token.model,      token.serialnr,
                                             loggedIn ? 1 : 0, loginProblem.c_str()};
    sink->token(sink->context, &description);
    PKCS11_CERT* certificates = nullptr;
    unsigned int certificateCount = 0;
    if (PKCS11_enumerate_certs(slot->token, &certificates, &certificateCount) != 0)
      certificateCount = 0;
    // Private keys are private objects: only a logged-in session sees them.
    PKCS11_KEY* keys = nullptr;
    unsigned int keyCount = 0;
    if (!loggedIn || PKCS11_enumerate_keys(slot->token, &keys, &keyCount) != 0) keyCount = 0;
    for (unsigned int i = 0; i < certificateCount; ++i) {
      const PKCS11_CERT& certificate = certificates[i];
      unsigned char* der = nullptr;
      const int length = certificate.x509 ? i2d_X509(certificate.x509, &der) : -1;
      if (length <= 0) continue;
      const PKCS11_KEY* key = nullptr;
      for (unsigned int k = 0; loggedIn && k < keyCount && !key; ++k) {
        if (keys[k].id_len == certificate.id_len && keys[k].id_len > 0 &&
            std::memcmp(keys[k].id, certificate.id, certificate.id_len) == 0)
          key = &keys[k];
      }
      const std::string uriOfKey = key ? keyUri(uri.get(), token, *key) : std::string();
      const MarqenTokenCertificate entry{der, static_cast<std::size_t>(length), certificate.label,
                                         loggedIn ? (key && !uriOfKey.empty() ? 1 : 0) : -1,
                                         key ? uriOfKey.c_str() : nullptr};
      sink->certificate(sink->context, &entry);
      OPENSSL_free(der);
    }
  }
  ERR_clear_error();
  return 1;
}

constexpr MarqenTokenFunctions kFunctions{openKey, releaseKey, forgetPin, list};

}  // namespace

extern "C" __attribute__((visibility("default"))) const MarqenTokenFunctions* marqen_token_v1() {
  return &kFunctions;
}
