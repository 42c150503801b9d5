#include "platform/crypto/token_key.h"

#include <openssl/crypto.h>

#include <cstring>
#include <mutex>
#include <utility>

#include "platform/crypto/token_module.h"
#include "platform/os/file_access.h"
#include "platform/os/shared_library.h"

namespace marqen::crypto {
namespace {

struct TokenModule {
  std::optional<os::SharedLibrary> library;
  const MarqenTokenFunctions* functions = nullptr;
  std::string problem;
};

std::once_flag moduleTried;
TokenModule& tokenModule() {
  static TokenModule loaded;
  return loaded;
}

// Loaded on the first use of a token and kept: the tokens' login state lives in it. It lies
// beside the library; an installed tool finds it in the library folder of its prefix.
const TokenModule& loadedModule() {
  std::call_once(moduleTried, [] {
    TokenModule& m = tokenModule();
    m.library = os::SharedLibrary::loadBesideForGood(kTokenModuleFile, m.problem);
#ifdef MARQEN_LIB_FROM_BIN
    if (!m.library) {
      std::string again;
      m.library = os::SharedLibrary::loadBesideForGood(
          std::string(MARQEN_LIB_FROM_BIN) + "/" + kTokenModuleFile, again);
    }
#endif
    if (!m.library) return;
    auto* entry = m.library->function<MarqenTokenEntryPoint>(kTokenEntryPoint);
    m.functions = entry ? entry() : nullptr;
    if (!m.functions) m.problem = std::string(kTokenModuleFile) + " lacks " + kTokenEntryPoint;
  });
  return tokenModule();
}

std::string unavailable() {
  return "the token module cannot be loaded: " + tokenModule().problem;
}

class TokenKey final : public PrivateKey {
 public:
  TokenKey(EvpPkeyPtr key, void* lease, const MarqenTokenFunctions* functions)
      : key_(std::move(key)), lease_(lease), functions_(functions) {}
  TokenKey(const TokenKey&) = delete;
  TokenKey& operator=(const TokenKey&) = delete;
  ~TokenKey() override {
    key_.reset();
    functions_->releaseKey(lease_);
  }
  EVP_PKEY* key() const noexcept override { return key_.get(); }
  std::string kind() const override { return "token"; }

 private:
  EvpPkeyPtr key_;
  void* lease_;
  const MarqenTokenFunctions* functions_;
};

std::int32_t askThrough(void* context, const MarqenTokenPinQuery* query, char* pin,
                        std::size_t capacity) {
  const auto& askPin = *static_cast<const PinAsker*>(context);
  if (!askPin) return MARQEN_PIN_NO_PROMPT;
  PinQuery asked;
  asked.tokenLabel = query->tokenLabel ? query->tokenLabel : "";
  asked.countLow = query->countLow != 0;
  asked.finalTry = query->finalTry != 0;
  std::string text;
  PinAnswer answer = PinAnswer::NoPrompt;
  try {
    answer = askPin(asked, text);
  } catch (...) {
    answer = PinAnswer::NoPrompt;
  }
  std::int32_t result = MARQEN_PIN_NO_PROMPT;
  switch (answer) {
    case PinAnswer::Given:
      result = text.size() < capacity ? MARQEN_PIN_GIVEN : MARQEN_PIN_CANCELLED;
      if (result == MARQEN_PIN_GIVEN) std::memcpy(pin, text.c_str(), text.size() + 1);
      break;
    case PinAnswer::Cancelled:
      result = MARQEN_PIN_CANCELLED;
      break;
    case PinAnswer::NoDisplay:
      result = MARQEN_PIN_NO_DISPLAY;
      break;
    case PinAnswer::NoPrompt:
      break;
  }
  OPENSSL_cleanse(text.data(), text.size());
  return result;
}

std::string orEmpty(const char* text) {
  return text ? text : "";
}

}  // namespace

KeyOpening openTokenKey(const std::string& uri, const PinAsker& askPin) {
  const TokenModule& module = loadedModule();
  if (!module.functions) return {nullptr, unavailable()};
  const MarqenTokenPinSource source{askThrough, const_cast<PinAsker*>(&askPin)};
  MarqenTokenKeyOutcome outcome{};
  module.functions->openKey(uri.c_str(), &source, &outcome);
  if (!outcome.key) return {nullptr, outcome.problem};
  return {std::make_unique<TokenKey>(EvpPkeyPtr(outcome.key), outcome.lease, module.functions), {}};
}

void forgetTokenPin(const std::string& uri) {
  const TokenModule& module = loadedModule();
  if (module.functions) module.functions->forgetPin(uri.c_str());
}

std::optional<std::string> readTokenUriFile(const std::filesystem::path& file) {
  const auto bytes = os::readSmallFile(file.string());
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  text = text.substr(0, text.find_first_of("\r\n"));
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

TokenSurvey surveyTokens(const std::string& uri, const PinAsker& askPin) {
  TokenSurvey survey;
  const TokenModule& module = loadedModule();
  if (!module.functions) {
    survey.problem = unavailable();
    return survey;
  }
  const MarqenTokenPinSource source{askThrough, const_cast<PinAsker*>(&askPin)};
  const MarqenTokenListSink sink{
      &survey,
      [](void* context, const MarqenTokenDescription* token) {
        auto& tokens = static_cast<TokenSurvey*>(context)->tokens;
        TokenListing listing;
        listing.label = orEmpty(token->label);
        listing.manufacturer = orEmpty(token->manufacturer);
        listing.model = orEmpty(token->model);
        listing.serial = orEmpty(token->serial);
        listing.loggedIn = token->loggedIn != 0;
        listing.loginProblem = orEmpty(token->loginProblem);
        tokens.push_back(std::move(listing));
      },
      [](void* context, const MarqenTokenCertificate* entry) {
        auto& tokens = static_cast<TokenSurvey*>(context)->tokens;
        auto certificate = Certificate::fromDer({entry->der, entry->length});
        if (tokens.empty() || !certificate) return;
        TokenCertificate found{std::move(*certificate), orEmpty(entry->label), std::nullopt,
                               orEmpty(entry->keyUri)};
        if (entry->hasKey >= 0) found.hasKey = entry->hasKey == 1;
        tokens.back().certificates.push_back(std::move(found));
      }};
  char problem[kMarqenTokenProblemSize] = {};
  if (module.functions->list(uri.c_str(), &source, &sink, problem) == 0) survey.problem = problem;
  return survey;
}

}  // namespace marqen::crypto
