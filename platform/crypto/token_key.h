#pragma once
// Keys on PKCS#11 tokens (smart cards, USB tokens), named by a PKCS#11 URI (RFC 7512) such as a
// certificate's .p11 file holds. The module is the URI's module-path, else p11-kit's proxy,
// which reaches every token the user has configured.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/crypto/certificate.h"
#include "platform/crypto/private_key.h"

namespace marqen::crypto {

struct PinQuery {
  std::string tokenLabel;
  bool countLow = false;  // a wrong PIN was entered before
  bool finalTry = false;  // one more wrong PIN locks the token
};

enum class PinAnswer { Given, Cancelled, NoDisplay, NoPrompt };

// Asks the user for a token's PIN, writing it into `pin` (which the caller wipes).
using PinAsker = std::function<PinAnswer(const PinQuery& query, std::string& pin)>;

struct KeyOpening {
  std::unique_ptr<PrivateKey> key;
  std::string problem;  // why there is no key; never holds a PIN
};

// The key the URI names. The PIN comes from the URI's pin-value or pin-source, else from
// `askPin`; a token already logged in in this process is not asked again.
KeyOpening openTokenKey(const std::string& uri, const PinAsker& askPin);

// Logs the token the URI names out, so that its next use asks for the PIN again.
void forgetTokenPin(const std::string& uri);

// The URI in a .p11 file: its first line, without surrounding blanks.
std::optional<std::string> readTokenUriFile(const std::filesystem::path& file);

struct TokenCertificate {
  Certificate certificate;
  std::string label;
  std::optional<bool> hasKey;  // unknown when the token is not logged in
  std::string keyUri;          // set when it has a key
};

struct TokenListing {
  std::string label;
  std::string manufacturer;
  std::string model;
  std::string serial;
  bool loggedIn = false;
  std::string loginProblem;
  std::vector<TokenCertificate> certificates;
};

struct TokenSurvey {
  std::vector<TokenListing> tokens;
  std::string problem;  // set when the tokens cannot be looked at
};

// The tokens the URI matches ("pkcs11:" for all) and the certificates on them. Logs in when a
// PIN can be had, to tell which certificates have a private key; the key URIs keep the given
// URI's pin-source and module-path.
TokenSurvey surveyTokens(const std::string& uri, const PinAsker& askPin);

}  // namespace marqen::crypto
