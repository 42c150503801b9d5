#include "library/cert/cert_lookup.h"

#include <cstring>
#include <span>
#include <variant>

#include "library/cert/dn_match.h"
#include "library/core/library_error.h"
#include "library/core/log_file.h"
#include "library/util/file_io.h"
#include "platform/crypto/base64.h"
#include "platform/crypto/pfx.h"
#include "platform/os/file_access.h"
#include "platform/os/text.h"
#include "platform/ui/pin_prompt.h"

namespace marqen {

namespace {

// The token's PIN from the prompt, which names the token and the certificate.
crypto::PinAsker pinPromptFor(const crypto::Certificate& certificate) {
  return [&certificate](const crypto::PinQuery& query, std::string& pin) {
    ui::PinPromptRequest request;
    request.tokenLabel = query.tokenLabel;
    request.certificateName = certificate.subjectText();
    request.countLow = query.countLow;
    request.finalTry = query.finalTry;
    switch (ui::askForPin(request, pin)) {
      case ui::PinPromptResult::Given:
        return crypto::PinAnswer::Given;
      case ui::PinPromptResult::Cancelled:
        return crypto::PinAnswer::Cancelled;
      case ui::PinPromptResult::NoDisplay:
        return crypto::PinAnswer::NoDisplay;
      case ui::PinPromptResult::Unavailable:
        break;
    }
    return crypto::PinAnswer::NoPrompt;
  };
}

}  // namespace

std::shared_ptr<crypto::PrivateKey> CertContext::acquirePrivateKey() const {
  if (key_) return key_;
  if (!stored_) return nullptr;
  auto opened = stored_->openPrivateKey(pinPromptFor(certificate_));
  if (!opened.key && !opened.problem.empty()) writeLog("acquirePrivateKey: " + opened.problem);
  return std::move(opened.key);
}

void CertContext::forgetPin() const {
  if (!stored_) return;
  if (const auto uri = crypto::readTokenUriFile(stored_->tokenFile())) crypto::forgetTokenPin(*uri);
}

crypto::CertificateStore openSystemStore(const char* name) {
  auto store = crypto::CertificateStore::open(name);
  if (!store) raiseError(err::STORE_OPEN);
  return std::move(*store);
}

crypto::CertificateStore openCertificateStore(int32_t storeType) {
  return openSystemStore(storeType == STORE_OTHER_PEOPLE ? "ADDRESSBOOK" : "MY");
}

std::string serialNumberText(const crypto::Certificate& certificate) {
  return certificate.serialText();
}

namespace {

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

[[noreturn]] void logAndRaise(const char* line, ErrorCode code) {
  writeLog(line);
  raiseError(code);
}

constexpr const char* kInvalidIssuerLog = "getCertContextFromStore: Invalid Issuer DN";
constexpr const char* kInvalidSerialLog = "getCertContextFromStore: Invalid Cert Serial Number";

void checkUsageBit(const crypto::Certificate* certificate, unsigned bit, ErrorCode missing) {
  if (!certificate) raiseError(err::MISSING_ARGUMENT);
  const auto usage = certificate->keyUsageFirstByte();
  if (!usage) raiseError(err::NO_KEY_USAGE_EXTENSION);
  if (!(*usage & bit)) raiseError(missing);
}

}  // namespace

CertContext getCertContextFromStore(const char16_t* issuerDN, const char* serialNumber,
                                    const crypto::CertificateStore& store) {
  if (!issuerDN) logAndRaise(kInvalidIssuerLog, err::INVALID_ISSUER_DN);
  if (!serialNumber) logAndRaise(kInvalidSerialLog, err::INVALID_SERIAL_NUMBER);
  if (issuerDN[0] == u'\0') logAndRaise(kInvalidIssuerLog, err::INVALID_ISSUER_DN);
  if (serialNumber[0] == '\0') logAndRaise(kInvalidSerialLog, err::INVALID_SERIAL_NUMBER);

  const std::string_view wantedSerial(serialNumber);
  const std::u16string_view wantedIssuer = os::wideView(issuerDN);
  // Only the serial numbers of the other certificates are read: a store of thousands costs
  // little more than one of ten.
  auto found = store.find(
      {.serial =
           [&](std::string_view serial) { return equalIgnoringAsciiCase(serial, wantedSerial); },
       .issuer =
           [&](const std::string& issuer) {
             return compareDistinguishedNames(wantedIssuer, os::toUtf16(issuer)) == 0;
           }});
  if (!found) raiseError(err::CERT_CONTEXT);
  return CertContext(std::move(*found));
}

CertContext getCertContextFromPfxFile(const char16_t* path, const char16_t* password) {
  if (!path) raiseError(err::MISSING_ARGUMENT);
  if (!os::pathExists(os::toUtf8(os::wideView(path)))) raiseError(err::INVALID_CERT_FILE);
  const std::vector<unsigned char> file = readInputFile(path);
  if (file.empty()) raiseError(err::INVALID_INPUT_BUFFER);
  if (!crypto::isPfx(file)) raiseError(err::NOT_PFX_FILE);

  const std::string utf8Password = os::toUtf8(os::wideView(password));
  auto imported = crypto::importPfx(file, utf8Password.c_str());
  if (const auto* error = std::get_if<crypto::PfxError>(&imported)) {
    raiseError(*error == crypto::PfxError::NoCertificateWithKey ? err::CERT_CONTEXT
               : *error == crypto::PfxError::NotPfx             ? err::NOT_PFX_FILE
                                                                : err::PFX_IMPORT);
  }
  auto& contents = std::get<crypto::PfxContents>(imported);
  return CertContext(std::move(contents.certificate), std::move(contents.key));
}

CertContext getCertContextFromCertString(const char* text, int32_t length) {
  if (!text || length < 1) raiseError(err::CERT_CONTEXT);
  // The string is read within its stated length: a caller's buffer need not end in a zero.
  const auto bytes =
      std::span(reinterpret_cast<const unsigned char*>(text), static_cast<std::size_t>(length));
  const std::size_t textLength = ::strnlen(text, bytes.size());
  const auto decoded = crypto::decodeBase64(std::string_view(text, textLength));
  const auto certificate =
      decoded.empty() ? crypto::Certificate::fromDer(bytes) : crypto::Certificate::fromDer(decoded);
  if (!certificate) raiseError(err::CERT_CONTEXT);
  return CertContext(*certificate);
}

void checkDigitalSignatureUsage(const crypto::Certificate* certificate) {
  checkUsageBit(certificate, crypto::kDigitalSignatureUsage, err::NO_DIGITAL_SIGNATURE_USAGE);
}

void checkKeyEnciphermentUsage(const crypto::Certificate* certificate) {
  checkUsageBit(certificate, crypto::kKeyEnciphermentUsage, err::NO_KEY_ENCIPHERMENT_USAGE);
}

}  // namespace marqen
